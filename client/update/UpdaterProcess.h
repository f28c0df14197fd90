// UpdaterProcess: vmUpdate started by the client. Unlike a plain platform::Process the
// updater inherits no descriptor but standard input, output and error: it may outlive
// the client (check mode) or replace it (apply mode), and must hold none of its sockets,
// lock files or X connection.
//
// Threads: any; one object belongs to one thread at a time.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class UpdaterProcess {
public:
    // Starts program with argv[0] = program and then arguments. Nothing when it cannot be
    // started (missing, not executable).
    [[nodiscard]] static std::optional<UpdaterProcess> start(const std::string& program,
                                                             const std::vector<std::string>& arguments);

    UpdaterProcess(UpdaterProcess&& other) noexcept;
    UpdaterProcess& operator=(UpdaterProcess&&) = delete;
    UpdaterProcess(const UpdaterProcess&) = delete;
    ~UpdaterProcess() = default; // neither waits nor kills

    // Blocks without a time limit until the program ends; its exit code, 0 when it did
    // not exit normally or cannot be waited for.
    [[nodiscard]] int wait();

private:
    explicit UpdaterProcess(pid_t pid) : m_pid(pid) {}
    pid_t m_pid = -1;
};
