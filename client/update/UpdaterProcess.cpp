#include "client/update/UpdaterProcess.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <utility>

extern char** environ;

std::optional<UpdaterProcess> UpdaterProcess::start(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Default signal handling and nothing blocked, whatever the client's threads set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int result = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return std::nullopt;
    return UpdaterProcess(pid);
}

UpdaterProcess::UpdaterProcess(UpdaterProcess&& other) noexcept : m_pid(std::exchange(other.m_pid, -1)) {}

int UpdaterProcess::wait()
{
    if (m_pid <= 0)
        return 0;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(m_pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    m_pid = -1;
    return result > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}
