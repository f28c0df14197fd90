#include "client/log/Log.h"

#include <cstdarg>
#include <utility>

namespace {

constexpr std::size_t kMessageLimit = 1022;

} // namespace

Log::Log(unsigned channels, int level, const char* fileName, bool append, TimeSource now)
    : m_level(level)
    , m_now(now ? std::move(now) : TimeSource([] { return std::time(nullptr); }))
{
    if (fileName != nullptr)
        SetFile(fileName, append);
    SetChannels(channels);
}

Log::~Log()
{
    closeFile();
}

void Log::SetChannels(unsigned flags)
{
    m_channels = flags;
    m_debugger = (flags & LOG_DEBUGGER) != 0;
    if (flags & LOG_FILE) {
        if (!m_fileOn)
            openFile();
    } else {
        closeFile();
        m_fileOn = false;
    }
    if (flags & LOG_CONSOLE) {
        // Standard error stands in for the console window, so there is nothing to allocate.
        m_console = true;
    } else {
        m_console = false;
    }
}

void Log::SetFile(const char* name, bool append)
{
    if (name == nullptr)
        return;
    closeFile();
    m_fileName = name;
    m_hasFileName = true;
    m_append = append;
    if (m_channels & LOG_FILE)
        openFile();
}

void Log::openFile()
{
    if (!m_hasFileName) {
        m_debugger = true;
        m_fileOn = false;
        Print(0, "Error opening log file\n");
        return;
    }
    m_fileOn = true;
    if (!m_append) {
        const std::string backup = m_fileName + ".bak";
        std::remove(backup.c_str());
        std::rename(m_fileName.c_str(), backup.c_str());
    }
    closeFile();
    m_file = std::fopen(m_fileName.c_str(), m_append ? "ab" : "wb");
    if (m_file == nullptr) {
        m_debugger = true;
        m_fileOn = false;
        Print(0, "Error opening log file %s\n", m_fileName.c_str());
    }
}

void Log::closeFile()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void Log::Print(int level, const char* format, ...)
{
    if (level > m_level)
        return;

    const std::time_t now = m_now();
    if (now != m_lastStamp) {
        m_lastStamp = now;
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[64] = {};
        asctime_r(&local, stamp); // "Wed Jun 30 21:49:08 1993\n"
        std::string line(stamp, 24);
        line += "\r\n";
        write(line.data(), line.size());
    }

    char message[kMessageLimit + 1];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (n < 0)
        return;
    write(message, static_cast<std::size_t>(n) < kMessageLimit ? static_cast<std::size_t>(n) : kMessageLimit);
}

void Log::write(const char* text, std::size_t length)
{
    if (m_debugger || m_console) {
        // Both stand-ins are standard error; a text goes there once.
        std::fwrite(text, 1, length, stderr);
    }
    if (m_fileOn && m_file != nullptr) {
        std::fwrite(text, 1, length, m_file);
        std::fflush(m_file);
    }
}

Log& DetailLog()
{
    static Log instance(LOG_DEBUGGER, 1, nullptr, false);
    return instance;
}
