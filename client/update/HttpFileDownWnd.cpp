#include "client/update/HttpFileDownWnd.h"

#include "client/update/DownloadTransfer.h"

#include <filesystem>

CHttpFileDownWnd::~CHttpFileDownWnd() = default;

void CHttpFileDownWnd::Download(const std::string& address, const std::string& path, std::function<void()> done)
{
    m_pfnDone = std::move(done);
    if (record(address) == nullptr)
        StartDownload(address, path, kPriorityIdle);
}

void CHttpFileDownWnd::ClearRecords()
{
    m_records.clear();
}

const DownloadRecord* CHttpFileDownWnd::FindRecord(const std::string& address) const
{
    for (const auto& r : m_records) {
        if (r->address == address)
            return r.get();
    }
    return nullptr;
}

DownloadRecord* CHttpFileDownWnd::record(const std::string& address)
{
    return const_cast<DownloadRecord*>(FindRecord(address));
}

int CHttpFileDownWnd::OnCheckTime(const std::string& address, const std::string& path, const std::string&)
{
    auto r = std::make_unique<DownloadRecord>();
    r->address = address;
    r->path = path;
    r->status = "Downloading";
    m_records.push_back(std::move(r));
    return 1;
}

void CHttpFileDownWnd::OnProgress(const std::string& address, int done, int total)
{
    DownloadRecord* r = record(address);
    if (r == nullptr)
        return;
    r->done = done;
    r->total = total;
}

void CHttpFileDownWnd::OnDownFinished(const std::string& address, int, int length)
{
    DownloadRecord* r = record(address);
    if (r == nullptr)
        return;
    r->total = r->done = length;
    r->status = "Finished";
    // The file replaces an older one of the same name; a failed move is not a failed
    // download, the finish function runs all the same.
    std::error_code ignored;
    std::filesystem::rename(TempPathFor(r->path), r->path, ignored);
    if (m_pfnDone)
        m_pfnDone();
}

void CHttpFileDownWnd::OnError(const std::string& address)
{
    if (DownloadRecord* r = record(address))
        r->status = "Error";
}
