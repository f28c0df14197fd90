#include "client/log/BugReport.h"

#include "platform/StringFormat.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

std::mutex g_writeLock;

} // namespace

void WriteBugReport(const std::string& folder, const std::string& text)
{
    std::string bytes;
    bytes.reserve(text.size() + 16);
    for (char c : text) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    bytes += "\r\n";

    std::lock_guard<std::mutex> lock(g_writeLock);
    std::FILE* file = std::fopen((folder + "BugReport.log").c_str(), "ab");
    if (file == nullptr)
        return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string BugReportTime(std::time_t at)
{
    std::tm local{};
    localtime_r(&at, &local);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, n);
}

std::string StatusReport(const std::string& time, int statusCode)
{
    return platform::StringFormat("Error Time:%s\nError Code:%d\n", time.c_str(), statusCode);
}

std::string TransportErrorReport(const std::string& time, int errorCode, const std::string& message)
{
    constexpr std::size_t kMessageLimit = 1024;
    const std::string cut = message.substr(0, kMessageLimit);
    return platform::StringFormat("Error Time:%s\nError Code:%d\nError Msg:%s", time.c_str(), errorCode, cut.c_str());
}

std::string OtherErrorReport(const std::string& time, const std::string& message)
{
    return platform::StringFormat("Error Time:%s\nError Msg:%s", time.c_str(), message.c_str());
}
