// A desktop input method for windowed tests: IBus with its pinyin engine and its own
// candidate window (its panel program), running on the test's X server and
// session bus (make DesktopPrograms first) with its settings in a folder of its own. Make
// it before the window system starts: it tells this process's GTK which input-method module
// to load and where the daemon listens. Ended by its own pid when the object goes;
// the process environment is put back.
#pragma once

#include "TempDir.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

class InputMethodDaemon {
public:
    // asyncKeys: IBus answers key events later (its GTK module's asynchronous mode), else
    // within the key press.
    explicit InputMethodDaemon(bool asyncKeys)
    {
        const std::string home = m_home.path().string();
        m_environment = g_get_environ();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
            std::string value = std::string(name) == "HOME" ? home : home + "/" + name;
            m_environment = g_environ_setenv(m_environment, name, value.c_str(), TRUE);
        }
        // Settings kept in memory, here too: nothing of the machine's user leaks in, and no
        // settings service holds a connection to the test's session bus, whose end would
        // then end this process (and whose worker thread can deadlock with the input
        // method's module loading in GLib's type locks).
        setProcessVariable("GSETTINGS_BACKEND", "memory");
        const std::string address = "unix:path=" + home + "/ibus-socket";
        m_environment = g_environ_setenv(m_environment, "IBUS_ADDRESS", address.c_str(), TRUE);
        setProcessVariable("IBUS_ADDRESS", address);
        setProcessVariable("IBUS_ENABLE_SYNC_MODE", asyncKeys ? "0" : "1");
        setProcessVariable("GTK_IM_MODULE", "ibus");
        m_ready = spawn({"ibus-daemon", "--replace", "--panel=/usr/libexec/ibus-ui-gtk3",
                         "--config=/usr/libexec/ibus-memconf", ("--address=" + address).c_str()})
                  && waitForCommand({"ibus", "engine"});
    }
    InputMethodDaemon(const InputMethodDaemon&) = delete;
    InputMethodDaemon& operator=(const InputMethodDaemon&) = delete;
    ~InputMethodDaemon()
    {
        for (auto pid = m_pids.rbegin(); pid != m_pids.rend(); ++pid) {
            kill(*pid, SIGTERM);
            waitpid(*pid, nullptr, 0);
        }
        for (auto& [name, before] : m_before) {
            if (before)
                g_setenv(name.c_str(), before->c_str(), TRUE);
            else
                g_unsetenv(name.c_str());
        }
        g_strfreev(m_environment);
    }

    bool ready() const { return m_ready; }

    // Makes the pinyin engine compose for the focused window (it fails, harmlessly, when
    // the engine already is the global one).
    void activate() const { runCommand({"ibus", "engine", "libpinyin"}); }

    // Runs the input method's command-line tool with its environment; true on exit code 0.
    bool runCommand(std::vector<const char*> argv) const
    {
        argv.push_back(nullptr);
        gint status = 1;
        GError* error = nullptr;
        const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
        const bool ran = g_spawn_sync(nullptr, const_cast<char**>(argv.data()), m_environment, flags, nullptr, nullptr,
                                      nullptr, nullptr, &status, &error);
        g_clear_error(&error);
        return ran && g_spawn_check_wait_status(status, nullptr);
    }

private:
    void setProcessVariable(const std::string& name, const std::string& value)
    {
        const char* before = g_getenv(name.c_str());
        m_before.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
        g_setenv(name.c_str(), value.c_str(), TRUE);
        m_environment = g_environ_setenv(m_environment, name.c_str(), value.c_str(), TRUE);
    }
    // The daemon takes a moment to answer its tool.
    bool waitForCommand(const std::vector<const char*>& argv) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < until) {
            if (runCommand(argv))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << argv[0] << " never answered";
        return false;
    }
    bool spawn(std::vector<const char*> argv)
    {
        argv.push_back(nullptr);
        GPid pid = 0;
        GError* error = nullptr;
        const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD
                                                    | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
        if (!g_spawn_async(nullptr, const_cast<char**>(argv.data()), m_environment, flags, nullptr, nullptr, &pid, &error)) {
            ADD_FAILURE() << argv[0] << " did not start: " << (error ? error->message : "?")
                          << " (scripts/setup.sh installs it)";
            g_clear_error(&error);
            return false;
        }
        m_pids.push_back(pid);
        return true;
    }

    TempDir m_home;
    gchar** m_environment = nullptr;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_before;
    std::vector<GPid> m_pids;
    bool m_ready = false;
};

} // namespace testsupport
