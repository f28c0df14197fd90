#include "HeadlessRun.h"

#include "Child.h"
#include "ClientWindows.h"

#include "DomainVmx.h"
#include "ProgramFolderCopy.h"

#include "client/settings/Settings.h"
#include "devservice/DevService.h"
#include "dulib/Element.h"
#include "dulib/Render.h"
#include "dulib/View.h"
#include "dulib/dulib.h"

#include <json/json.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kDemoUser = "zhangsan";
const std::string kDemoPassword = "123456";
const std::string kTile = "window_kaodian"; // first function tile: its place does not move with the width
const std::string kTileLabel = "考点精讲";
const std::string kTilePage = "testSites_sitesList.htm";
const std::string kLoginLayout = "window_landing";
const std::string kMainLayout = "MainFrame_Window";
constexpr int kAnswerDelayMs = 1000;
const std::string kUpdateVersion = "3.0.0.25";

struct Place {
    int x = 0, y = 0, width = 0, height = 0;
};

// The place of an element (empty name: the layout itself) when the layout is laid out at
// that size (0: its own); nullopt when the skin or the element cannot be found. The
// drawing goes to scratchPng.
std::optional<Place> SkinPlace(const fs::path& skin, const std::string& layout, const std::string& element,
                               int width, int height, const fs::path& scratchPng)
{
    SkinManager* manager = LoadStyleA(skin.c_str());
    std::optional<Place> place;
    if (manager->GetError().empty()) {
        dulib::RenderOptions options;
        options.width = width;
        options.height = height;
        options.layoutHook = [&](dulib::View& view) {
            const dulib::Element* e = element.empty() ? view.root() : view.Find(element);
            if (!e)
                return;
            const RECT& r = e->rect();
            place = Place{r.left, r.top, r.right - r.left, r.bottom - r.top};
        };
        std::string error;
        if (!dulib::RenderLayout(manager, layout, options, scratchPng.string(), &error)) {
            std::fprintf(stderr, "run.sh: %s\n", error.c_str());
            place.reset();
        }
    }
    dulib::FreeSkin(manager);
    return place;
}

// "post CMD[:DATASOURCE]" for service posts, "METHOD PATH" for everything else.
std::string RequestLine(const devservice::RecordedRequest& request)
{
    const std::string pathOnly = request.path.substr(0, request.path.find('?'));
    if (pathOnly != "/service/post")
        return request.method + " " + request.path;
    Json::Value body;
    Json::CharReaderBuilder reader;
    std::istringstream in(request.body);
    std::string ignored;
    if (!Json::parseFromStream(reader, in, &body, &ignored) || !body.isObject())
        body = Json::objectValue;
    const std::string cmd = body["cmd"].isString() ? body["cmd"].asString() : "?";
    std::string line = "post " + cmd;
    if (cmd == "load") {
        // The content comes as a JSON text inside the JSON, or as an object.
        Json::Value content = body["content"];
        if (content.isString()) {
            std::istringstream text(content.asString());
            if (!Json::parseFromStream(reader, text, &content, &ignored))
                content = Json::objectValue;
        }
        line += ":" + (content.isObject() && content["datasource"].isString() ? content["datasource"].asString() : "?");
    }
    return line;
}

class HeadlessRun {
public:
    HeadlessRun(fs::path build, std::vector<std::string> clientArguments)
        : m_build(std::move(build))
        , m_program(m_build / "program")
        , m_run(m_build / "headless")
        , m_copy(m_run / "program")
        , m_shots(m_build / "screenshots")
        , m_clientArguments(std::move(clientArguments))
    {
    }
    ~HeadlessRun() { stopAll(); }

    int run()
    {
        const int code = prepare() && startScreen() ? runClient() : 1;
        stopAll();
        // Asked to end: everything is stopped, nothing more is reported.
        return Interrupted() ? 128 + Interrupted() : code;
    }

private:
    int runClient()
    {
        std::printf("run.sh: no display; running the client on Xvfb %s with %s remembered for automatic login\n",
                    m_displayName.c_str(), kDemoUser.c_str());
        std::fflush(stdout);
        return startClient() ? watch() : 1;
    }

    bool prepare()
    {
        if (access((m_program / "Kavrel").c_str(), X_OK) != 0) {
            std::fprintf(stderr, "run.sh: %s/Kavrel is not built; nothing to run\n", m_program.c_str());
            return false;
        }
        std::error_code ec;
        fs::remove_all(m_run, ec);
        fs::create_directories(m_shots, ec);
        // Only this run's own pictures go: the session program test keeps its own in screenshots/session.
        std::vector<fs::path> previous;
        for (const auto& entry : fs::directory_iterator(m_shots, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 2 && std::isdigit(static_cast<unsigned char>(name[0])) && name[1] == '-'
                && entry.path().extension() == ".png")
                previous.push_back(entry.path());
        }
        for (const fs::path& file : previous)
            fs::remove(file, ec);
        fs::create_directories(m_run, ec);
        if (!testsupport::copyProgramFolder(m_program, m_copy)) {
            std::fprintf(stderr, "run.sh: cannot copy %s to %s\n", m_program.c_str(), m_copy.c_str());
            return false;
        }

        devservice::DevServiceOptions options;
        const char* port = std::getenv("KAVREL_SERVICE_PORT");
        options.port = port && *port ? std::atoi(port) : 0;
        options.updateFolder = (m_run / "update").string();
        m_service = std::make_unique<devservice::DevService>(options);
        if (!m_service->start()) {
            std::fprintf(stderr, "run.sh: the study service did not start (is port %d in use?)\n", options.port);
            return false;
        }
        std::printf("kavrel-devservice listening on %s\n", m_service->siteBase().c_str());
        std::ofstream(m_copy / "domain.vmx", std::ios::binary)
            << testsupport::domainVmx(m_service->siteBase(), testsupport::kXmlDeclaration | testsupport::kWebAddress
                                                                 | testsupport::kLineEnd);
        publishUpdateFolder();
        rememberDemoMember();

        const auto login = SkinPlace(m_copy / "skin/config.xml", kLoginLayout, "", 0, 0, m_run / "where.png");
        if (login)
            m_loginSize = *login;
        m_service->addFault({"/service/post", 0, kAnswerDelayMs, -1, false, 0});
        return true;
    }

    // The update folder the service publishes: a snapshot of the program folder and its
    // manifest, signed with the development key pair of the build folder (made once), whose
    // public key the program folder holds, so the client's update check finds an
    // installation that is up to date.
    void publishUpdateFolder()
    {
        const fs::path updater = m_copy / "vmUpdate";
        const fs::path publish = m_run / "update", snapshot = m_run / "snapshot";
        std::error_code ec;
        fs::create_directories(publish, ec);
        if (access(updater.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "run.sh: %s is not built yet; the service publishes an empty update folder\n",
                         (m_program / "vmUpdate").c_str());
            return;
        }
        const fs::path keys = m_build / "devkeys";
        if (!fs::exists(keys / "vmupdate.key", ec))
            RunProgram({updater.string(), "-k", keys.string()});
        fs::copy_file(keys / "vmupdate.pub", m_copy / "vmupdate.pub", fs::copy_options::overwrite_existing, ec);
        ChildOptions options;
        options.quiet = true;
        options.environment = {"VMUPDATE_SIGNING_KEY=" + (keys / "vmupdate.key").string()};
        if (!testsupport::copyProgramFolder(m_copy, snapshot)
            || RunProgram({updater.string(), "-g", publish.string(), "vmupdate.xml", kUpdateVersion, snapshot.string()},
                          options)
                   != 0)
            std::fprintf(stderr, "run.sh: vmUpdate could not publish the update folder; the service publishes nothing\n");
    }

    // Remembered login at level 3 (name, password, automatic login). The member has started
    // the client before and seen this version's news, so neither the guidance tour nor the
    // what's-new window stands between the login and the main window.
    void rememberDemoMember()
    {
        std::error_code ec;
        fs::create_directories(m_copy / "data", ec);
        const Settings settings(Settings::PathIn(m_copy.string() + "/"));
        settings.setUser(kDemoUser);
        settings.setPassword(kDemoPassword);
        settings.setAutologin(3);
        settings.setFirstlogin(1);
        settings.setHasupdate(1);
    }

    bool startScreen()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        ChildOptions options;
        options.output = (m_run / "xvfb.log").string();
        options.keepFd = fds[1];
        const bool started = m_screen.start({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                             "1280x1024x24", "-nolisten", "tcp"},
                                            options);
        close(fds[1]);
        std::string number;
        char c = 0;
        // Xvfb writes the display number and a line end once it accepts connections.
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (started && !Interrupted()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd ready{fds[0], POLLIN, 0};
            if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0)
                break;
            if (read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            std::ifstream log(m_run / "xvfb.log");
            std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(log), {}).c_str());
            std::fprintf(stderr, "run.sh: Xvfb did not start\n");
            return false;
        }
        m_displayName = ":" + number;
        setenv("DISPLAY", m_displayName.c_str(), 1);
        m_windows = std::make_unique<ClientWindows>(m_displayName.c_str());
        return m_windows->opened();
    }

    bool startClient()
    {
        std::vector<std::string> argv{"./Kavrel"};
        argv.insert(argv.end(), m_clientArguments.begin(), m_clientArguments.end());
        ChildOptions options;
        options.folder = m_copy.string();
        options.output = clientLog().string();
        if (!m_client.start(argv, options)) {
            std::fprintf(stderr, "run.sh: cannot start %s/Kavrel\n", m_copy.c_str());
            return false;
        }
        return true;
    }

    fs::path clientLog() const { return m_run / "client.log"; }

    std::vector<std::string> requests() const
    {
        std::vector<std::string> lines;
        for (const devservice::RecordedRequest& r : m_service->requests())
            lines.push_back(RequestLine(r));
        return lines;
    }
    bool loginRequested() const
    {
        for (const std::string& line : requests())
            if (line == "post login")
                return true;
        return false;
    }
    std::vector<std::string> requestsAfterLogin() const
    {
        const std::vector<std::string> all = requests();
        std::vector<std::string> after;
        bool seen = false;
        for (const std::string& line : all) {
            if (seen)
                after.push_back(line);
            seen = seen || line == "post login";
        }
        return after;
    }
    // Main-window pages carry the cache-buster, "?randomtime=...".
    bool pageRequested() const
    {
        for (const std::string& line : requests())
            if (line == "GET /soft/" + kTilePage || line.starts_with("GET /soft/" + kTilePage + "?"))
                return true;
        return false;
    }

    std::optional<ClientWindow> loginWindow() { return m_windows->otherWindow(m_client.pid(), m_loginSize.width, m_loginSize.height); }
    std::optional<ClientWindow> mainWindow() { return m_windows->mainWindow(m_client.pid()); }
    bool anyWindow() { return !m_windows->of(m_client.pid()).empty(); }

    void screenshot(const std::string& name)
    {
        const fs::path file = m_shots / name;
        if (m_windows->saveScreen(file.string()))
            m_screenshots.push_back(file.string());
    }

    // A real click in the middle of a main-window element, placed where the skin lays it
    // out for the window's present size.
    bool clickElement(const std::string& name)
    {
        const auto window = mainWindow();
        if (!window)
            return false;
        const auto place = SkinPlace(m_copy / "skin/config.xml", kMainLayout, name, window->width, window->height,
                                     m_run / "where.png");
        if (!place)
            return false;
        m_windows->click(window->x + place->x + place->width / 2, window->y + place->y + place->height / 2);
        return true;
    }

    int watch()
    {
        (void)WaitUntil(30s, [&] { return anyWindow() || !m_client.running(); });
        if (Interrupted())
            return 1;
        if (!anyWindow()) {
            std::string why = "no window of it appeared within 30 s";
            if (const auto code = m_client.exitCode())
                why = "it ended with exit code " + std::to_string(*code) + " before showing a window";
            screenshot("0-no-window.png");
            std::fprintf(stderr, "run.sh: the client did not come up; its output (%s):\n", clientLog().c_str());
            std::fprintf(stderr, "%s", lastLines(clientLog(), 20).c_str());
            std::fflush(stderr);
            printResult();
            std::printf("Summary: Kavrel did not come up: %s.\n", why.c_str());
            return 1;
        }

        // The login window opens over the main window, modally, right after start.
        bool sawLogin = false, signedIn = false, clicked = false, page = false;
        if (WaitUntil(10s, [&] { return loginWindow().has_value(); })) {
            sawLogin = true;
            screenshot("1-login-window.png");
        }
        if (sawLogin || loginRequested())
            signedIn = WaitUntil(20s, [&] { return !loginWindow() && !requestsAfterLogin().empty(); });
        (void)WaitUntil(10s, [&] { return mainWindow().has_value(); });
        screenshot("2-main-window.png");

        if (!Interrupted() && mainWindow() && clickElement(kTile)) {
            clicked = true;
            page = WaitUntil(3s, [&] { return pageRequested(); });
            if (!page) {
                screenshot("3-after-click.png");
                page = WaitUntil(12s, [&] { return pageRequested(); });
            }
            if (page) {
                // The page was fetched; give the web view a moment to draw it.
                std::this_thread::sleep_for(1500ms);
                screenshot("3-study-page.png");
            }
        }

        if (Interrupted())
            return 1;
        printResult();
        std::printf("Summary: %s.\n", summary(sawLogin, signedIn, clicked, page).c_str());
        return 0;
    }

    std::string summary(bool sawLogin, bool signedIn, bool clicked, bool page) const
    {
        std::string text = "Kavrel came up";
        text += sawLogin ? "; its login window opened" : "; no login window opened";
        if (loginRequested()) {
            if (signedIn) {
                // Posts after the login, counted by command, in the order of their names.
                std::map<std::string, int> counts;
                for (const std::string& line : requestsAfterLogin())
                    if (line.starts_with("post "))
                        ++counts[line.substr(5)];
                std::string after;
                for (const auto& [command, count] : counts)
                    after += (after.empty() ? "" : ", ") + command + " x" + std::to_string(count);
                text += " and it signed in as " + kDemoUser + " (login request, then: "
                        + (after.empty() ? "nothing" : after) + ")";
            } else {
                text += " and sent a login request for " + kDemoUser + ", but the sign-in did not complete within 20 s";
            }
        } else {
            text += ", and no login took place: no login request reached the service";
        }
        if (!clicked)
            text += "; the function tile could not be clicked (no main window)";
        else if (page)
            text += "; a click on the tile " + kTileLabel + " opened the study page " + kTilePage;
        else
            text += "; a click on the tile " + kTileLabel + " opened no study page";
        return text;
    }

    void printResult() const
    {
        std::printf("Screenshots:\n");
        for (const std::string& file : m_screenshots)
            std::printf("  %s\n", file.c_str());
        std::printf("Requests the study service received:\n");
        for (const std::string& line : requests())
            std::printf("  %s\n", line.c_str());
        std::printf("Client output: %s\n", clientLog().c_str());
        std::fflush(stdout);
    }

    static std::string lastLines(const fs::path& file, std::size_t count)
    {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line + "\n");
        std::string text;
        for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
            text += lines[i];
        return text;
    }

    void stopAll()
    {
        m_client.stop();
        m_windows.reset();
        if (m_service)
            m_service->stop();
        m_screen.stop();
    }

    fs::path m_build, m_program, m_run, m_copy, m_shots;
    std::vector<std::string> m_clientArguments;
    std::unique_ptr<devservice::DevService> m_service;
    Child m_screen, m_client;
    std::string m_displayName;
    std::unique_ptr<ClientWindows> m_windows;
    Place m_loginSize;
    std::vector<std::string> m_screenshots;
};
} // namespace

int RunHeadless(const std::filesystem::path& build, std::vector<std::string> clientArguments)
{
    CatchInterruptions();
    HeadlessRun run(build, std::move(clientArguments));
    return run.run();
}
