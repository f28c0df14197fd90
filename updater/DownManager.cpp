#include "updater/DownManager.h"

#include "platform/FileMove.h"

#include <cstdio>
#include <curl/curl.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace updater {
namespace {

struct Receiver {
    std::FILE* file = nullptr;
    ContentCheck* check = nullptr;
    std::optional<std::uint64_t> limit;
    std::uint64_t received = 0;
    bool tooLarge = false;
};

std::size_t receive(char* bytes, std::size_t size, std::size_t count, void* data)
{
    Receiver& receiver = *static_cast<Receiver*>(data);
    const std::size_t length = size * count;
    receiver.received += length;
    // An endless or oversized answer stops here, before it fills the disk.
    if (receiver.limit && receiver.received > *receiver.limit) {
        receiver.tooLarge = true;
        return 0;
    }
    if (receiver.check)
        receiver.check->update(reinterpret_cast<const unsigned char*>(bytes), length);
    return std::fwrite(bytes, 1, length, receiver.file);
}

} // namespace

std::string urlEncodeName(const std::string& name)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~';
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kDigits[c >> 4];
            encoded += kDigits[c & 0x0F];
        }
    }
    return encoded;
}

int download(const CDownManager& manager, const std::string& url, const std::filesystem::path& destination,
             const ExpectedContent* expected, std::uint64_t limit)
{
    const std::filesystem::path temporary = destination.string() + ".~vm";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!file) {
        if (fd >= 0)
            ::close(fd);
        return kDownloadCannotStart;
    }
    CURL* handle = curl_easy_init();
    if (!handle) {
        std::fclose(file);
        return kDownloadCannotStart;
    }

    std::unique_ptr<ContentCheck> check = expected ? std::make_unique<ContentCheck>(*expected) : nullptr;
    Receiver receiver;
    receiver.file = file;
    receiver.check = check.get();
    if (expected)
        receiver.limit = expected->size;
    else if (limit != 0)
        receiver.limit = limit;
    if (!manager.proxy().empty())
        curl_easy_setopt(handle, CURLOPT_PROXY, manager.proxy().c_str());
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, manager.transferTimeout());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, manager.connectTimeout());
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, manager.lowSpeedBytesPerSecond());
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, manager.lowSpeedSeconds());
    // An announced length past the limit ends the transfer before its first byte (0
    // would mean no limit to libcurl; the receiver still holds an empty file to none).
    if (receiver.limit.value_or(0) != 0)
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(*receiver.limit));
    if (!manager.caFile().empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, manager.caFile().c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &receiver);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);

    int result = curl_easy_perform(handle);
    long status = 0;
    if (result == CURLE_OK)
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(handle);
    const bool closed = std::fclose(file) == 0;
    if (receiver.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        return kDownloadTooLarge;
    if (result != CURLE_OK)
        return result;
    // An error page is a failed transfer, never a file to install.
    if (status < 200 || status > 299)
        return CURLE_HTTP_RETURNED_ERROR;
    if (!closed)
        return CURLE_WRITE_ERROR;

    if (check && !check->matches())
        return kDownloadWrongContent;
    int error = 0;
    if (!platform::MoveFileReplacing(temporary, destination, &error))
        return CURLE_WRITE_ERROR;
    return CURLE_OK;
}

} // namespace updater
