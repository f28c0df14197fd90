#include "client/ui/FunctionTiles.h"
#include "devservice/DevService.h"
#include "devservice/StudyPages.h"

#include "DevServiceFixture.h"
#include "TempDir.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <json/json.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

extern char** environ;

namespace {

Json::Value parse(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << text;
    return value;
}

class DevServiceTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        m_dir.write("update/vmupdate.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest/>\n");
        m_dir.write("update/Kavrel", std::string("\x7f" "ELF\0\0\x01\x02", 8) + std::string(70000, 'k'));
        m_dir.write("secret.txt", "not published");
        m_service = std::make_unique<testsupport::DevServiceRunner>((m_dir.path() / "update").string());
        ASSERT_TRUE(m_service->started());
        m_client = std::make_unique<httplib::Client>("127.0.0.1", (**m_service).port());
    }

    devservice::DevService& service() { return **m_service; }

    std::unique_ptr<testsupport::DevServiceRunner> m_service;
    std::unique_ptr<httplib::Client> m_client;
};

// Every page name the client opens is served as an HTML page in UTF-8 with its title.
TEST_F(DevServiceTest, ServesAPageForEveryPageNameOfTheClient)
{
    // The tiles' pages, and the pages the notice links open.
    std::vector<std::string> names = {"shortMessage_viewReceived.htm?pmid=77", "discuss_forum.htm?tid=15"};
    for (const FunctionTile& tile : kFunctionTiles) {
        if (!tile.page.empty())
            names.emplace_back(tile.page);
    }
    for (const std::string& name : names) {
        const std::string title = devservice::PageTitle(name);
        ASSERT_FALSE(title.empty()) << name;
        auto res = m_client->Get("/soft/" + name + (name.find('?') != std::string::npos ? "&" : "?")
                                 + "randomtime=2026-01-01%2012:00:00");
        ASSERT_TRUE(res) << name;
        EXPECT_EQ(res->status, 200) << name;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << name;
        EXPECT_NE(res->body.find("<title>" + title + "</title>"), std::string::npos) << name;
        EXPECT_NE(res->body.find("<meta charset=\"utf-8\">"), std::string::npos) << name;
    }
    // Notice links land on the message and the thread they name.
    EXPECT_NE(m_client->Get("/soft/shortMessage_viewReceived.htm?pmid=77")->body.find("#77"), std::string::npos);
    EXPECT_NE(m_client->Get("/soft/discuss_forum.htm?tid=15")->body.find("#15"), std::string::npos);

    auto unknown = m_client->Get("/soft/someNewPage.htm");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 200);
    EXPECT_NE(unknown->body.find("someNewPage.htm"), std::string::npos);
    for (const char* ad : {"/soft/ad_top.htm", "/soft/ad_login.htm", "/"}) {
        auto res = m_client->Get(ad);
        ASSERT_TRUE(res) << ad;
        EXPECT_EQ(res->status, 200) << ad;
    }
}

// The value of the session cookie a Set-Cookie header gives, "" when it gives none.
std::string sessionSetBy(const httplib::Result& res)
{
    const std::string header = res->get_header_value("Set-Cookie");
    const std::string prefix = "SID=";
    const std::string suffix = "; Path=/; HttpOnly";
    if (header.rfind(prefix, 0) != 0 || header.size() < prefix.size() + suffix.size()
        || header.compare(header.size() - suffix.size(), suffix.size(), suffix) != 0)
        return {};
    return header.substr(prefix.size(), header.size() - prefix.size() - suffix.size());
}

const char kGetLoginInfo[] = "{\"cmd\":\"load\",\"cmdType\":\"\",\"content\":{\"currentpage\":0,"
                             "\"datasource\":\"get_login_info\",\"pagesize\":0}}";

TEST_F(DevServiceTest, ExternalLoginPageSetsTheSessionThatGetLoginInfoAnswersFor)
{
    auto page = m_client->Get("/soft/social_login.htm?site=qq");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("social_login.htm?site=qq&amp;member=1002"), std::string::npos);
    EXPECT_FALSE(page->has_header("Set-Cookie"));

    auto confirm = m_client->Get("/soft/social_login.htm?site=qq&member=1002");
    ASSERT_TRUE(confirm);
    EXPECT_EQ(confirm->status, 302);
    EXPECT_EQ(confirm->get_header_value("Location"), service().pageBaseAddress() + "/memberCenter_testCenter.htm");
    const std::string session = sessionSetBy(confirm);
    ASSERT_FALSE(session.empty()) << confirm->get_header_value("Set-Cookie");

    auto anonymous = m_client->Post("/service/post", kGetLoginInfo, "text/html");
    ASSERT_TRUE(anonymous);
    EXPECT_FALSE(parse(anonymous->body)["content"]["loginSuccess"].asBool());
    auto info = m_client->Post("/service/post", {{"Cookie", "theme=blue; SID=" + session}}, kGetLoginInfo, "text/html");
    ASSERT_TRUE(info);
    EXPECT_EQ(parse(info->body)["content"]["uid"], 1002);
    EXPECT_FALSE(info->has_header("Set-Cookie")) << "get_login_info keeps the session it came with";
}

// The member pages know the member only by the session cookie; other pages greet no one.
TEST_F(DevServiceTest, MemberPagesGreetTheMemberOfTheSessionCookieOnly)
{
    auto login = m_client->Post("/service/post",
                                "{\"cmd\":\"login\",\"cmdType\":\"query\",\"content\":{\"userID\":\"zhangsan\","
                                "\"pass\":\"e10adc3949ba59abbe56e057f20f883e\"}}",
                                "text/html");
    ASSERT_TRUE(login);
    const std::string session = sessionSetBy(login);
    ASSERT_FALSE(session.empty()) << login->get_header_value("Set-Cookie");

    struct Case {
        const char* page;
        std::string cookie;
        const char* greeting; // nullptr: no greeting line at all
    };
    const std::string sid = "SID=" + session;
    const Case cases[] = {
        {"memberCenter_testCenter.htm", "", "<p class=\"greeting\">您还没有登录。</p>"},
        {"memberCenter_testCenter.htm", "SID=0123", "<p class=\"greeting\">您还没有登录。</p>"},
        {"memberCenter_testCenter.htm", sid, "<p class=\"greeting\">您好，张三！</p>"},
        {"memberCenter_testCenter.htm?randomtime=x", "a=1; " + sid, "<p class=\"greeting\">您好，张三！</p>"},
        {"./resource_index.htm", sid, "<p class=\"greeting\">您好，张三！</p>"},
        {"shortMessage_viewReceived.htm?pmid=77", "", "<p class=\"greeting\">您还没有登录。</p>"},
        {"testSites_sitesList.htm", sid, nullptr},
    };
    for (const Case& c : cases) {
        httplib::Headers headers;
        if (!c.cookie.empty())
            headers.emplace("Cookie", c.cookie);
        auto res = m_client->Get("/soft/" + std::string(c.page), headers);
        ASSERT_TRUE(res) << c.page;
        if (c.greeting)
            EXPECT_NE(res->body.find(c.greeting), std::string::npos) << c.page << " / " << c.cookie;
        else
            EXPECT_EQ(res->body.find("class=\"greeting\""), std::string::npos) << c.page;
    }
}

TEST_F(DevServiceTest, MemberPictureIsAPng)
{
    auto res = m_client->Get("/soft/avatar/1001.png");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/png");

    struct Reader {
        const std::string* bytes;
        std::size_t at = 0;
    } reader{&res->body};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* r = static_cast<Reader*>(closure);
            if (r->at + length > r->bytes->size())
                return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, r->bytes->data() + r->at, length);
            r->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 96);
    EXPECT_EQ(cairo_image_surface_get_height(image), 96);
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const auto alphaAt = [&](int x, int y) {
        return reinterpret_cast<const std::uint32_t*>(data + y * stride)[x] >> 24;
    };
    EXPECT_EQ(alphaAt(0, 0), 0u);   // outside the round badge
    EXPECT_EQ(alphaAt(15, 48), 255u); // on the badge
    cairo_surface_destroy(image);

    auto missing = m_client->Get("/soft/avatar/4242.png");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST_F(DevServiceTest, PublishesTheUpdateFolderAndNothingBesideIt)
{
    auto manifest = m_client->Get("/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml");
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->status, 200);
    EXPECT_EQ(manifest->body, m_dir.read("update/vmupdate.xml"));

    auto binary = m_client->Get("/SOFTWARES/VEL_SOFT_V2013/update/Kavrel");
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->status, 200);
    EXPECT_TRUE(binary->body == m_dir.read("update/Kavrel"));

    for (const char* path : {"/SOFTWARES/VEL_SOFT_V2013/update/missing.dll",
                             "/SOFTWARES/VEL_SOFT_V2013/update/../secret.txt",
                             "/SOFTWARES/VEL_SOFT_V2013/update/%2e%2e/secret.txt",
                             "/SOFTWARES/VEL_SOFT_V2013/update/"}) {
        auto res = m_client->Get(path);
        if (res) {
            EXPECT_NE(res->status, 200) << path;
            EXPECT_EQ(res->body.find("not published"), std::string::npos) << path;
        }
    }
}

TEST_F(DevServiceTest, RecordsEveryRequestButControlOnes)
{
    httplib::Headers headers{{"X-Probe", "1"}};
    m_client->Post("/service/post?q=1", headers, "{\"cmd\":\"fly\"}", "text/html");
    m_client->Get("/soft/outline_list.htm");
    m_client->Get("/control/requests");
    const auto requests = service().requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/service/post?q=1");
    EXPECT_EQ(requests[0].body, "{\"cmd\":\"fly\"}");
    EXPECT_EQ(requests[0].header("content-type"), "text/html");
    EXPECT_EQ(requests[0].header("X-Probe"), "1");
    EXPECT_EQ(requests[0].header("REMOTE_ADDR"), "");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].path, "/soft/outline_list.htm");

    auto listed = m_client->Get("/control/requests");
    ASSERT_TRUE(listed);
    const Json::Value list = parse(listed->body)["requests"];
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["body"], "{\"cmd\":\"fly\"}");
}

TEST_F(DevServiceTest, FaultsAnswerWithStatusTruncateOrDrop)
{
    const std::string post = "{\"cmd\":\"load\",\"content\":{\"datasource\":\"examtime_ad_address\"}}";
    // Over the control path, as a separate process would.
    auto made = m_client->Post("/control/fault", "{\"path\":\"/service\",\"status\":502,\"times\":2}", "application/json");
    ASSERT_TRUE(made);
    EXPECT_EQ(made->status, 200);
    for (int expected : {502, 502, 200}) {
        auto res = m_client->Post("/service/post", post, "text/html");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, expected);
    }

    // Only the matching path is touched.
    service().addFault({"/soft/", 404, 0, -1, false, 1});
    auto other = m_client->Post("/service/post", post, "text/html");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->status, 200);
    EXPECT_EQ(m_client->Get("/soft/outline_list.htm")->status, 404);
    // An error answer can come without any body, over the control path too.
    ASSERT_TRUE(m_client->Post("/control/fault", "{\"path\":\"/soft/\",\"status\":503,\"emptyBody\":true}",
                               "application/json"));
    auto bare = m_client->Get("/soft/outline_list.htm");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->status, 503);
    EXPECT_EQ(bare->body, "");

    service().addFault({"", 0, 0, 10, false, 1});
    EXPECT_FALSE(m_client->Post("/service/post", post, "text/html"));
    service().addFault({"", 0, 0, -1, true, 1});
    EXPECT_FALSE(m_client->Post("/service/post", post, "text/html"));
    service().addFault({"", 0, 30, -1, false, 1});
    auto delayed = m_client->Post("/service/post", post, "text/html");
    ASSERT_TRUE(delayed);
    EXPECT_EQ(delayed->status, 200);

    auto bad = m_client->Post("/control/fault", "{oops", "application/json");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_EQ(m_client->Post("/control/nonsense", "{}", "application/json")->status, 404);
}

TEST_F(DevServiceTest, ForcedLogoutOnDemand)
{
    const std::string connect = "{\"cmd\":\"connect\",\"cmdType\":\"\",\"content\":\"{\\\"uid\\\":1001}\"}";
    ASSERT_TRUE(m_client->Post("/control/notice", "{\"notice\":\"通知\",\"href\":\"3\"}", "application/json"));
    ASSERT_TRUE(m_client->Post("/control/logout", "", "application/json"));
    auto res = m_client->Post("/service/post", connect, "text/html");
    ASSERT_TRUE(res);
    const Json::Value notices = parse(res->body)["content"]["notices"];
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0]["notice"], "通知");
    EXPECT_EQ(notices[1]["noticeType"], 10);
    EXPECT_EQ(m_client->Get("/service/post")->status, 405);
}

// The program: one line with its address, served until SIGTERM, exit code 0.
TEST(DevServiceProgram, PrintsItsAddressAndStopsOnSigterm)
{
    const std::string program = std::string(KAVREL_BINARY_DIR) + "/devservice/kavrel-devservice";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {program.c_str(), "--port", "0", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    const std::string prefix = "kavrel-devservice listening on http://127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const int port = std::stoi(line.substr(prefix.size()));

    httplib::Client client("127.0.0.1", port);
    auto res = client.Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);

    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const char* bad[] = {program.c_str(), "--port", "seventy", nullptr};
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(bad), environ), 0);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
