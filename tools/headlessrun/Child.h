// Child processes of the run command: started with fork and exec, ended by their own pid.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ChildOptions {
    std::string folder;                  // working folder; empty: ours
    std::string output;                  // file for standard output and error; empty: ours
    bool quiet = false;                  // standard output to /dev/null (error stays)
    std::vector<std::string> environment; // "NAME=VALUE" added to ours
    int keepFd = -1;                     // a descriptor the child inherits
};

class Child {
public:
    Child() = default;
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // False when the program could not be started at all.
    [[nodiscard]] bool start(const std::vector<std::string>& argv, const ChildOptions& options = {});
    [[nodiscard]] pid_t pid() const { return m_pid; }
    // True while it runs; reaps it when it has ended.
    [[nodiscard]] bool running();
    // Its exit code as a shell reports it (128 + signal when a signal ended it); nullopt
    // while it runs or when it was never started.
    [[nodiscard]] std::optional<int> exitCode();
    // Waits until it ends; its exit code (127 when it could not be run).
    int wait();
    // SIGTERM, then SIGKILL when it has not ended within five seconds.
    void stop();

private:
    pid_t m_pid = -1;
    std::optional<int> m_code;
};

// Runs a program to its end; its exit code.
int RunProgram(const std::vector<std::string>& argv, const ChildOptions& options = {});

// Polls until done() holds or the time has passed; false when time ran out (or an
// interruption was asked for, see Interrupted).
[[nodiscard]] bool WaitUntil(std::chrono::milliseconds time, const std::function<bool()>& done);

// The signal (SIGINT, SIGTERM) that asked the run command to end, 0 while none did.
[[nodiscard]] int Interrupted();
void CatchInterruptions();
