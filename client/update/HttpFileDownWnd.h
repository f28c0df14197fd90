// CHttpFileDownWnd: the client's download window. It keeps one record per address it
// was asked for and, when a file has arrived, moves it from its temporary name into place
// and calls the finish function. An address is fetched at most once between two
// ClearRecords, whatever the outcome, once the server has answered it with 200.
//
// Threads: user-interface thread only.
#pragma once

#include "client/update/DownloadFileWndBase.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct DownloadRecord {
    std::string address;
    std::string path;
    std::string status; // "Downloading", then "Finished" or "Error"
    std::int32_t done = 0;
    std::int32_t total = 0;
};

class CHttpFileDownWnd : public ZTDownloadFileWndBase {
public:
    CHttpFileDownWnd() = default;
    ~CHttpFileDownWnd() override;

    // Fetches address to path unless it has a record; done runs after a successful
    // download (the latest one given wins).
    void Download(const std::string& address, const std::string& path, std::function<void()> done);
    void ClearRecords();

    // The record of address, or null.
    [[nodiscard]] const DownloadRecord* FindRecord(const std::string& address) const;

protected:
    int OnCheckTime(const std::string& address, const std::string& path, const std::string& lastModified) override;
    void OnProgress(const std::string& address, int done, int total) override;
    void OnDownFinished(const std::string& address, int zero, int length) override;
    void OnError(const std::string& address) override;

private:
    DownloadRecord* record(const std::string& address);

    std::vector<std::unique_ptr<DownloadRecord>> m_records;
    std::function<void()> m_pfnDone;
};
