#include "Child.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_interruption = 0;

void Note(int signal)
{
    g_interruption = signal;
}

int ShellCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

// In the child after fork: only async-signal-safe calls until exec.
[[noreturn]] void Exec(std::vector<char*>& args, std::vector<char*>& environment, const ChildOptions& options)
{
    if (!options.folder.empty() && chdir(options.folder.c_str()) != 0)
        _exit(127);
    if (!options.output.empty()) {
        const int fd = open(options.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            _exit(127);
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    } else if (options.quiet) {
        const int fd = open("/dev/null", O_WRONLY);
        if (fd >= 0) {
            dup2(fd, 1);
            close(fd);
        }
    }
    // Nothing of ours (the service's sockets, the X connection) goes to the child.
    if (options.keepFd > 3)
        close_range(3, static_cast<unsigned>(options.keepFd) - 1, 0);
    close_range(static_cast<unsigned>(std::max(options.keepFd, 2)) + 1, ~0u, 0);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    execvpe(args[0], args.data(), environment.data());
    _exit(127);
}

} // namespace

bool Child::start(const std::vector<std::string>& argv, const ChildOptions& options)
{
    if (argv.empty())
        return false;
    // Prepared before fork: the child may not allocate.
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> environment;
    // An added variable replaces one of ours of the same name: the first one counts.
    const auto added = [&](const char* entry) {
        for (const std::string& e : options.environment)
            if (std::string_view(entry).starts_with(std::string_view(e).substr(0, e.find('=') + 1)))
                return true;
        return false;
    };
    for (char** e = environ; *e; ++e)
        if (!added(*e))
            environment.push_back(*e);
    for (const std::string& e : options.environment)
        environment.push_back(const_cast<char*>(e.c_str()));
    environment.push_back(nullptr);
    if (options.keepFd >= 0)
        fcntl(options.keepFd, F_SETFD, 0);
    m_code.reset();
    m_pid = fork();
    if (m_pid == 0)
        Exec(args, environment, options);
    if (options.keepFd >= 0)
        fcntl(options.keepFd, F_SETFD, FD_CLOEXEC);
    return m_pid > 0;
}

bool Child::running()
{
    if (m_pid <= 0 || m_code)
        return false;
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == 0)
        return true;
    m_code = r == m_pid ? ShellCode(status) : 127;
    return false;
}

std::optional<int> Child::exitCode()
{
    if (m_pid <= 0 || running())
        return std::nullopt;
    return m_code;
}

int Child::wait()
{
    if (m_pid <= 0)
        return 127;
    if (!m_code) {
        int status = 0;
        pid_t r;
        while ((r = waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
        }
        m_code = r == m_pid ? ShellCode(status) : 127;
    }
    return *m_code;
}

void Child::stop()
{
    if (!running())
        return;
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (running())
        kill(m_pid, SIGKILL);
    wait();
}

int RunProgram(const std::vector<std::string>& argv, const ChildOptions& options)
{
    Child child;
    if (!child.start(argv, options))
        return 127;
    return child.wait();
}

bool WaitUntil(std::chrono::milliseconds time, const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (!done()) {
        if (g_interruption || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

int Interrupted()
{
    return g_interruption;
}

void CatchInterruptions()
{
    struct sigaction action {};
    action.sa_handler = Note;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
