// Runs a program of the updater's tests as a real child process: its own environment,
// standard output into a file, optionally a standard input the test closes when it likes.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

// The programs the updater's process tests run: the built updater, and a small parent
// that starts it and ends.
inline const std::string kBuiltUpdater = KAVREL_PROGRAM_DIR "/vmUpdate";
inline const std::string kTestParent = KAVREL_BINARY_DIR "/tests/updater/updater_test_parent";

class UpdaterChildProcess {
public:
    // `environment` replaces the test's own (PATH is added when missing). Standard error
    // goes to `errorFile` when one is named, else to the test's own.
    UpdaterChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                        const std::map<std::string, std::string>& environment, const std::string& outputFile,
                        bool pipeInput = false, const std::string& errorFile = {})
        : m_outputFile(outputFile)
    {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> argp;
        for (auto& a : argv)
            argp.push_back(a.data());
        argp.push_back(nullptr);

        std::vector<std::string> env;
        for (const auto& [key, value] : environment)
            env.push_back(key + "=" + value);
        if (!environment.count("PATH"))
            env.push_back("PATH=/usr/local/bin:/usr/bin:/bin");
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (!errorFile.empty())
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0644);
        int input[2] = {-1, -1};
        if (pipeInput && pipe2(input, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
            m_input = input[1];
        } else {
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        }
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argp.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (input[0] >= 0)
            ::close(input[0]);
    }

    ~UpdaterChildProcess()
    {
        closeInput();
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            wait();
        }
    }

    UpdaterChildProcess(const UpdaterChildProcess&) = delete;
    UpdaterChildProcess& operator=(const UpdaterChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    void closeInput()
    {
        if (m_input >= 0) {
            ::close(m_input);
            m_input = -1;
        }
    }

    // The exit code; -1 when the program did not exit normally or could not be waited for.
    int wait()
    {
        if (m_pid <= 0)
            return -1;
        int status = 0;
        const pid_t result = ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return result > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string output() const { return readAll(m_outputFile); }

    static std::string readAll(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string m_outputFile;
    pid_t m_pid = -1;
    int m_input = -1;
};

// Polls `condition` every 10 ms for at most `limit`: for events in processes that are
// not our children (a restarted program, an adopted updater).
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace testsupport
