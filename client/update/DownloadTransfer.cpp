#include "client/update/DownloadTransfer.h"

#include "client/update/DownloadFileWndBase.h"
#include "client/service/CookieJar.h"
#include "client/service/Curl.h"
#include "platform/window/WindowSystem.h"

#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <strings.h>
#include <thread>

namespace {

constexpr long kConnectTimeoutMs = 30000;
constexpr auto kConnectBackOff = std::chrono::milliseconds(1000);
constexpr int kConnectAttempts = 2; // one retry after a refused connection
constexpr long kPieceBytes = 8192;
// A server that sends nothing for this long is given up, so no worker waits for ever.
constexpr long kStallSeconds = 60;

bool isHttpAddress(const std::string& address)
{
    return strncasecmp(address.c_str(), "http://", 7) == 0 || strncasecmp(address.c_str(), "https://", 8) == 0;
}

// A report to the owner; a window that is gone counts as a refusal (0).
LRESULT report(HWND owner, const char* name, const void* data)
{
    if (!IsWindow(owner))
        return 0;
    return SendMessage(owner, RegisterWindowMessage(name), reinterpret_cast<WPARAM>(data), 0);
}

std::string trimmed(std::string_view text)
{
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos)
        return {};
    const std::size_t end = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(begin, end - begin + 1));
}

// The value of a header line when its name is `name` (without regard to case).
std::optional<std::string> headerValue(std::string_view line, std::string_view name)
{
    if (line.size() <= name.size() || line[name.size()] != ':' ||
        strncasecmp(line.data(), name.data(), name.size()) != 0)
        return std::nullopt;
    return trimmed(line.substr(name.size() + 1));
}

// What one transfer's callbacks share.
struct Transfer {
    const DownloadTask* task = nullptr;
    const std::atomic<bool>* stop = nullptr;
    CURL* handle = nullptr;
    std::string tempPath;

    // The response whose headers are arriving.
    std::string lastModified;
    std::optional<int> contentLength;
    bool hasLocation = false;

    bool proxyAuthWanted = false; // the final answer was 407
    bool inBody = false;          // the answer was accepted and the file is open
    bool failed = false;          // refused, or a write failed
    std::FILE* file = nullptr;
    long long written = 0;

    bool stopping() const { return stop->load() || !IsWindow(task->owner); }

    void resetResponse()
    {
        lastModified.clear();
        contentLength.reset();
        hasLocation = false;
    }

    // The headers of the final answer are complete: decide, then open the file.
    bool acceptAnswer(long status, bool askedForCredentials)
    {
        if (status == 407 && !askedForCredentials) {
            proxyAuthWanted = true;
            return false;
        }
        if (status != 200 || (contentLength && *contentLength > kMaxDownloadBytes))
            return false;
        std::string address = task->address;
        std::string path = task->path;
        std::string modified = lastModified;
        DownloadTextsReport check{address, path, modified};
        if (report(task->owner, ZTDownloadFileWndBase::kCheckTime, &check) == 0)
            return false;
        report(task->owner, ZTDownloadFileWndBase::kStartDownload, &task->address);
        file = std::fopen(tempPath.c_str(), "wb");
        if (file == nullptr)
            return false;
        inBody = true;
        return true;
    }
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.rfind("HTTP/", 0) == 0) {
        transfer->resetResponse();
        return bytes;
    }
    if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(transfer->handle, CURLINFO_RESPONSE_CODE, &status);
        // Interim answers and redirects being followed are not the file's answer.
        if (status < 200 || ((status >= 300 && status < 400) && transfer->hasLocation))
            return bytes;
        const bool askedBefore = transfer->proxyAuthWanted;
        transfer->proxyAuthWanted = false;
        if (!transfer->acceptAnswer(status, askedBefore)) {
            if (!transfer->proxyAuthWanted)
                transfer->failed = true;
            return 0; // ends the transfer
        }
        return bytes;
    }
    if (auto modified = headerValue(line, "Last-Modified"))
        transfer->lastModified = *modified;
    else if (auto length = headerValue(line, "Content-Length"))
        transfer->contentLength = ContentLengthValue(*length);
    else if (headerValue(line, "Location"))
        transfer->hasLocation = true;
    return bytes;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (!transfer->inBody)
        return bytes; // the body of an answer that is not the file
    if (transfer->stopping())
        return 0;
    const DownloadTask& task = *transfer->task;
    if (transfer->contentLength && *transfer->contentLength > 0) {
        const long long length = *transfer->contentLength;
        const std::size_t take =
            static_cast<std::size_t>(std::min<long long>(length - transfer->written, bytes));
        if (take == 0)
            return bytes; // bytes beyond Content-Length are not taken
        if (std::fwrite(data, 1, take, transfer->file) != take) {
            transfer->failed = true;
            return 0;
        }
        transfer->written += static_cast<long long>(take);
        DownloadCountsReport progress{task.address, static_cast<int>(transfer->written), static_cast<int>(length)};
        report(task.owner, ZTDownloadFileWndBase::kProgress, &progress);
        return bytes;
    }
    if (transfer->written + static_cast<long long>(bytes) > kMaxDownloadBytes
        || std::fwrite(data, 1, bytes, transfer->file) != bytes) {
        transfer->failed = true;
        return 0;
    }
    transfer->written += static_cast<long long>(bytes);
    DownloadCountsReport progress{task.address, static_cast<int>(std::min<long long>(transfer->written, INT_MAX)), 0};
    report(task.owner, ZTDownloadFileWndBase::kProgress, &progress);
    return bytes;
}

// Also called while nothing arrives, so a stop is seen within about a second.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(user)->stopping() ? 1 : 0;
}

// Performs the request once; false when it did not end with the whole file on disk.
bool perform(Transfer& transfer)
{
    for (int attempt = 1;; ++attempt) {
        transfer.resetResponse();
        const CURLcode result = curl_easy_perform(transfer.handle);
        CookieJar::Process().AfterTransfer();
        if (result == CURLE_COULDNT_CONNECT && attempt < kConnectAttempts && !transfer.stopping()) {
            std::this_thread::sleep_for(kConnectBackOff);
            continue;
        }
        if (result != CURLE_OK || transfer.failed || !transfer.inBody)
            return false;
        // A file of announced length must have arrived whole.
        return !(transfer.contentLength && *transfer.contentLength > 0 && transfer.written != *transfer.contentLength);
    }
}

bool download(const DownloadTask& task, const std::atomic<bool>& stop, int& length)
{
    if (!isHttpAddress(task.address))
        return false;
    const CurlHandle owned = NewCurlHandle();
    if (!owned)
        return false;
    CURL* const handle = owned.get();

    Transfer transfer;
    transfer.task = &task;
    transfer.stop = &stop;
    transfer.handle = handle;
    transfer.tempPath = TempPathFor(task.path);

    // Every download is fetched anew from the server, never from a cache.
    // A picture asked for over https is never redirected to plain http.
    const bool secure = strncasecmp(task.address.c_str(), "https://", 8) == 0;
    SetCommonOptions(handle, task.address, secure ? "https" : "http,https", kConnectTimeoutMs, kPieceBytes,
                     [&transfer] { return transfer.stopping(); });
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

    bool ok = perform(transfer);
    if (!ok && transfer.proxyAuthWanted && !transfer.stopping()) {
        // The proxy asked for credentials: whatever the window answers, asked once.
        std::string user;
        std::string password;
        DownloadTextsReport credentials{task.address, user, password};
        report(task.owner, ZTDownloadFileWndBase::kProxyValidate, &credentials);
        curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, user.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, password.c_str());
        ok = perform(transfer);
    }

    if (transfer.file != nullptr && std::fclose(transfer.file) != 0)
        ok = false;
    if (transfer.inBody && !ok) {
        std::error_code ignored;
        std::filesystem::remove(transfer.tempPath, ignored);
    }
    length = transfer.contentLength.value_or(0);
    return ok;
}

} // namespace

std::optional<int> ContentLengthValue(const std::string& headerValue)
{
    long long value = 0;
    const char* end = headerValue.data() + headerValue.size();
    const auto [last, ec] = std::from_chars(headerValue.data(), end, value);
    if (ec != std::errc() || last != end || value < 0 || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string TempPathFor(const std::string& path)
{
    return path + ".~vm";
}

void RunDownload(const DownloadTask& task, const std::atomic<bool>& stop)
{
    int length = 0;
    if (download(task, stop, length)) {
        DownloadCountsReport finished{task.address, 0, length};
        report(task.owner, ZTDownloadFileWndBase::kDownFinished, &finished);
    } else {
        report(task.owner, ZTDownloadFileWndBase::kError, &task.address);
    }
}
