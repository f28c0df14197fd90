// What the benches that run the real program share: a private program folder against a
// dev service of its own, starting and stopping the program, and reading its windows
// from the X server. Needs an X display (run under xvfb-run).
#pragma once

#include "devservice/DevService.h"
#include "tests/support/DomainVmx.h"
#include "tests/support/ShownWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace programrun {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

inline pid_t spawn(const std::string& program, const std::vector<std::string>& arguments = {}, bool quiet = true)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

inline void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

// Windows of other processes come and go while they are looked at: such errors are ignored.
inline int ignoreXErrors(Display*, XErrorEvent*)
{
    return 0;
}

inline Display* openDisplay()
{
    XSetErrorHandler(ignoreXErrors);
    return XOpenDisplay(nullptr);
}

// A shown window of this size, or 0.
inline ::Window findWindow(Display* dpy, int width, int height)
{
    const auto found = testsupport::findShownWindow(dpy, width, height);
    return found ? found->id : 0;
}

inline unsigned long pixel(Display* dpy, ::Window window, int x, int y)
{
    XImage* image = XGetImage(dpy, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    const unsigned long value = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return value;
}

inline bool blueish(unsigned long rgb)
{
    const int r = (rgb >> 16) & 0xFF, b = rgb & 0xFF;
    return b > 150 && b > r + 40;
}

inline bool whiteish(unsigned long rgb)
{
    return ((rgb >> 16) & 0xFF) > 230 && ((rgb >> 8) & 0xFF) > 230 && (rgb & 0xFF) > 230;
}

// Polls every 2 ms until done() holds; the milliseconds since start, or -1 after 30 s.
template <class Done>
double msUntil(Clock::time_point start, Done done)
{
    while (!done()) {
        if (Clock::now() - start > std::chrono::seconds(30))
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A private program folder pointed at a dev service of its own.
class ProgramFolder {
public:
    ProgramFolder()
    {
        devservice::DevServiceOptions options;
        options.port = 0;
        m_service = std::make_unique<devservice::DevService>(options);
        m_ok = m_service->start();
        m_dir = fs::temp_directory_path() / ("kavrel-bench-" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "data");
        const fs::path program = KAVREL_PROGRAM_DIR;
        fs::copy_file(program / "Kavrel", m_dir / "Kavrel");
        fs::copy(program / "skin", m_dir / "skin", fs::copy_options::recursive);
        const std::string base = m_service->siteBase();
        std::ofstream(m_dir / "domain.vmx") << testsupport::domainVmx(base, testsupport::kLineEnd);
    }
    ~ProgramFolder()
    {
        m_service->stop();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    void settings(const std::string& text) { std::ofstream(m_dir / "data" / "config.ini", std::ios::binary) << text; }
    std::string program() const { return (m_dir / "Kavrel").string(); }
    const fs::path& dir() const { return m_dir; }
    devservice::DevService& service() { return *m_service; }
    bool ok() const { return m_ok; }

private:
    std::unique_ptr<devservice::DevService> m_service;
    fs::path m_dir;
    bool m_ok = false;
};

} // namespace programrun
