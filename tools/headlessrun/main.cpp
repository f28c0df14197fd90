// kavrel-headless-run BUILD-FOLDER [client arguments...]
// kavrel-headless-run --main-window PID
//
// The run command on a machine without a display (run.sh starts it): the built client on a
// private Xvfb screen, from a scratch copy of BUILD-FOLDER/program (BUILD-FOLDER/headless/
// program; the build's own folder is never written) whose settings remember the demo member
// for automatic login, against the dev study service on a free loopback port (or
// KAVREL_SERVICE_PORT) whose every post is answered a second late, so that the login window
// stays up long enough to be seen. It watches from outside what a person would see: the
// login window, the main window after sign-in, one study page opened by a real click on the
// first function tile. It saves screenshots into BUILD-FOLDER/screenshots/, prints their
// paths, the requests the service received and a one-line summary, and stops the client,
// the service and the screen. Exit code 1 only when the client did not come up (or the run
// could not be prepared); 130 or 143 when interrupted.
//
// --main-window PID prints "ID X Y WIDTH HEIGHT" of the shown main window of that process
// on $DISPLAY and exits 0, or exits 1 when there is none (scripts wait with it).
#include "ClientWindows.h"
#include "HeadlessRun.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int PrintMainWindow(const char* pid)
{
    const ClientWindows windows;
    const auto w = windows.opened() ? windows.mainWindow(static_cast<pid_t>(std::atol(pid))) : std::nullopt;
    if (!w)
        return 1;
    std::printf("0x%lx %d %d %d %d\n", w->id, w->x, w->y, w->width, w->height);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: kavrel-headless-run BUILD-FOLDER [client arguments...]\n"
                         "       kavrel-headless-run --main-window PID\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string first = argv[1];
    if (first == "--main-window")
        return argc == 3 ? PrintMainWindow(argv[2]) : Usage();
    std::error_code ec;
    if (!fs::is_directory(first, ec))
        return Usage();
    return RunHeadless(fs::absolute(first, ec).lexically_normal(), std::vector<std::string>(argv + 2, argv + argc));
}
