#include "updater/DownManager.h"

#include "platform/FileMove.h"

#include <cstdio>
#include <curl/curl.h>

namespace updater {
namespace {

std::size_t appendToFile(char* bytes, std::size_t size, std::size_t count, void* file)
{
    return std::fwrite(bytes, size, count, static_cast<std::FILE*>(file)) * size;
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
             const ExpectedContent* expected)
{
    const std::filesystem::path temporary = destination.string() + ".~vm";
    std::FILE* file = std::fopen(temporary.c_str(), "wbe");
    if (!file)
        return kDownloadCannotStart;
    CURL* handle = curl_easy_init();
    if (!handle) {
        std::fclose(file);
        return kDownloadCannotStart;
    }

    if (!manager.proxy().empty())
        curl_easy_setopt(handle, CURLOPT_PROXY, manager.proxy().c_str());
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, manager.transferTimeout());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, manager.connectTimeout());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendToFile);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);

    int result = curl_easy_perform(handle);
    long status = 0;
    if (result == CURLE_OK)
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(handle);
    const bool closed = std::fclose(file) == 0;
    if (result != CURLE_OK)
        return result;
    // An error page is a failed transfer, never a file to install.
    if (status < 200 || status > 299)
        return CURLE_HTTP_RETURNED_ERROR;
    if (!closed)
        return CURLE_WRITE_ERROR;

    if (expected && !hasContent(temporary, *expected))
        return kDownloadWrongContent;
    int error = 0;
    if (!platform::MoveFileReplacing(temporary, destination, &error))
        return CURLE_WRITE_ERROR;
    return CURLE_OK;
}

} // namespace updater
