// A probe program's start-up time as the benches read it: the process started, and the
// moment it prints its "painted" line (its first drawn frame).
#pragma once

#include <chrono>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace firstframe {

// Milliseconds from the start of the process to its "painted" line; negative on failure.
inline double TimeToFirstFrame(const std::string& program, const std::string& argument)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string prog = program;
    std::string arg = argument;
    char* argv[] = {prog.data(), arg.empty() ? nullptr : arg.data(), nullptr};
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, prog.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    std::string line;
    char c = 0;
    double ms = -1;
    while (read(fds[0], &c, 1) == 1) {
        if (c == '\n') {
            if (line.rfind("painted", 0) == 0)
                ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            break;
        }
        line += c;
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return ms;
}

} // namespace firstframe
