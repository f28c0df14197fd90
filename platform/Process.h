// platform::Process: a child program started with an argument vector, and its exit code.
//
// Started with posix_spawn: it inherits the environment, the working folder and every open
// descriptor that is not close-on-exec (or, when asked, only standard input, output and
// error); signals start at their defaults, none blocked. Dropping a Process does not wait
// and does not kill;
// an unwaited child stays a zombie until this process ends, which suits the callers (each
// starts one program and then either waits for it or exits soon after).
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

class Process {
public:
    enum class Descriptors {
        Inherited,    // every open descriptor that is not close-on-exec
        StandardOnly, // 0, 1 and 2: for a program that may outlive or replace its starter
    };

    // Starts `program` (a path; no search of PATH) with argv[0] = program and then
    // `arguments`. Nothing when the program cannot be started; `error` then holds the
    // errno value (the program missing or not executable is reported here, not later).
    [[nodiscard]] static std::optional<Process> start(const std::string& program,
                                                      const std::vector<std::string>& arguments,
                                                      int* error = nullptr,
                                                      Descriptors descriptors = Descriptors::Inherited);

    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() = default;

    pid_t id() const { return m_pid; }

    // Blocks without a time limit until the program has ended and returns its exit code.
    // A program that did not exit normally (ended by a signal) reads as 0. Nothing when
    // the wait itself fails (already waited for, or not our child).
    [[nodiscard]] std::optional<int> wait();

private:
    explicit Process(pid_t pid) : m_pid(pid) {}

    pid_t m_pid = -1;
};

} // namespace platform
