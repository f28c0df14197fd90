// The detail log facility: leveled messages to the debugger output, a file and the console.
//
// On Linux the debugger output and the console output both go to standard error (a text
// goes there once when both are on). The
// client keeps one process-wide instance, DetailLog(), configured for the debugger output
// only; nothing writes to it in normal operation, so no detail log file appears.
//
// No lock: an instance belongs to one thread at a time.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

enum LogChannel : unsigned {
    LOG_DEBUGGER = 1,
    LOG_FILE = 2,
    LOG_CONSOLE = 4,
};

class Log {
public:
    // Seconds since 1970; tests pass their own clock.
    using TimeSource = std::function<std::time_t()>;

    // Stores the level threshold; with a file name, SetFile(fileName, append); then
    // SetChannels(channels).
    Log(unsigned channels, int level, const char* fileName, bool append, TimeSource now = {});
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Debugger output on exactly when LOG_DEBUGGER is set. LOG_FILE opens the file unless
    // file output is already on; without it any open file is closed. LOG_CONSOLE switches
    // console output on or off.
    void SetChannels(unsigned flags);

    // Does nothing when name is nullptr; otherwise closes any open file, keeps a copy of
    // name and append, and opens the file when LOG_FILE is among the channels. Opening
    // with append off keeps the previous log as name + ".bak" and starts an empty one.
    void SetFile(const char* name, bool append);

    // Drops the message when level is above the threshold. Otherwise writes a stamp line
    // ("Wed Jun 30 21:49:08 1993\r\n", local time) when the second changed since the last
    // one, then the message cut to 1022 characters, with no line break added.
    void Print(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    unsigned channels() const { return m_channels; }
    bool debuggerOutput() const { return m_debugger; }
    bool fileOutput() const { return m_fileOn; }

private:
    void openFile();
    void closeFile();
    void write(const char* text, std::size_t length);

    unsigned m_channels = 0;
    int m_level = 0;
    bool m_debugger = false;
    bool m_fileOn = false;
    bool m_console = false;
    std::FILE* m_file = nullptr;
    std::string m_fileName;
    bool m_hasFileName = false;
    bool m_append = false;
    std::time_t m_lastStamp = 0;
    TimeSource m_now;
};

// The client's process-wide detail log: LOG_DEBUGGER only, level threshold 1, no file.
Log& DetailLog();
