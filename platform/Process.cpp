#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <utility>

extern char** environ;

namespace platform {

std::optional<Process> Process::start(const std::string& program, const std::vector<std::string>& arguments,
                                      int* error, Descriptors descriptors)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    // The program starts with default signal handling and nothing blocked, whatever the
    // caller ignores (the updater ignores SIGPIPE) or blocks on its own thread.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (descriptors == Descriptors::StandardOnly)
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    pid_t pid = -1;
    // glibc's posix_spawn reports a failed exec as its own result, so a missing program
    // is an error here rather than a child that exits with 127.
    const int result = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        if (error)
            *error = result;
        return std::nullopt;
    }
    if (error)
        *error = 0;
    return Process(pid);
}

Process::Process(Process&& other) noexcept : m_pid(std::exchange(other.m_pid, -1)) {}

Process& Process::operator=(Process&& other) noexcept
{
    m_pid = std::exchange(other.m_pid, -1);
    return *this;
}

std::optional<int> Process::wait()
{
    if (m_pid <= 0)
        return std::nullopt;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(m_pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    if (result != m_pid)
        return std::nullopt;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}

} // namespace platform
