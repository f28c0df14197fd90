#include "client/service/AnswerRouter.h"

#include "client/service/RequestText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every call the router makes, in order.
class AnswerRouting : public ::testing::Test {
protected:
    AnswerRouting()
        : m_router(handlers())
    {
    }

    AnswerHandlers handlers()
    {
        AnswerHandlers h;
        h.login = [this](const std::string& t) { m_calls.push_back("login:" + t); };
        h.examAds = [this](const std::string& t) { m_calls.push_back("examAds:" + t); };
        h.unreadMessages = [this](const std::string& t) { m_calls.push_back("unread:" + t); };
        h.forumNotice = [this](const std::string& t) { m_calls.push_back("forum:" + t); };
        h.connect = [this](const std::string& t) { m_calls.push_back("connect:" + t); };
        h.showNotice = [this](const std::string& t, int delay) {
            m_calls.push_back("notice(" + std::to_string(delay) + "):" + t);
        };
        h.logout = [this] { m_calls.push_back("logout"); };
        return h;
    }

    void route(const std::string& answer, int kind)
    {
        m_router.OnHttpReturnSucc(std::make_unique<std::string>(answer), kind);
    }

    std::vector<std::string> m_calls;
    AnswerRouter m_router;
};

struct RouteCase {
    const char* name;
    int kind;
    const char* handler; // the expected call's prefix; nullptr: none
};

class RoutingByKind : public AnswerRouting, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(RoutingByKind, ReachesItsHandlerOnly)
{
    const std::string answer = R"({"success":true,"content":{"uid":1}})";
    route(answer, GetParam().kind);
    if (GetParam().handler == nullptr)
        EXPECT_TRUE(m_calls.empty());
    else
        EXPECT_EQ(m_calls, std::vector<std::string>{std::string(GetParam().handler) + ":" + answer});
}

INSTANTIATE_TEST_SUITE_P(AnswerRouter, RoutingByKind,
                         ::testing::Values(RouteCase{"login", RK_LOGIN, "login"},
                                           RouteCase{"login_info", RK_LOGIN_INFO, "login"},
                                           RouteCase{"exam_ads", RK_EXAM_ADS, "examAds"},
                                           RouteCase{"unread_messages", RK_UNREAD_MESSAGES, "unread"},
                                           RouteCase{"forum_notice", RK_FORUM_NOTICE, "forum"},
                                           RouteCase{"connect", RK_CONNECT, "connect"},
                                           RouteCase{"none", RK_NONE, nullptr},
                                           RouteCase{"unused_2", 2, nullptr},
                                           RouteCase{"unused_3", 3, nullptr},
                                           RouteCase{"unknown_99", 99, nullptr},
                                           RouteCase{"negative", -1, nullptr}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(AnswerRouting, RefusedAnswerShowsMessageInGbkAndStops)
{
    // 密码错误 in UTF-8 arrives, the notice shows it in GBK.
    route("{\"success\":false,\"message\":\"\xe5\xaf\x86\xe7\xa0\x81\xe9\x94\x99\xe8\xaf\xaf\"}", RK_LOGIN);
    EXPECT_EQ(m_calls, std::vector<std::string>{"notice(100):\xc3\xdc\xc2\xeb\xb4\xed\xce\xf3"});
}

TEST_F(AnswerRouting, RefusedAnswerWithoutMessageIsDroppedSilently)
{
    route(R"({"success":false})", RK_EXAM_ADS);
    EXPECT_TRUE(m_calls.empty());
}

TEST_F(AnswerRouting, RefusedAnswerWithMessageOfWrongTypeShowsNothing)
{
    route(R"({"success":false,"message":42})", RK_CONNECT);
    EXPECT_TRUE(m_calls.empty());
}

TEST_F(AnswerRouting, AnswerWithoutSuccessIsRouted)
{
    route(R"({"content":{}})", RK_LOGIN);
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_EQ(m_calls[0], R"(login:{"content":{}})");
    // The login handler then ignores it: the envelope check wants "success" true.
    int total, page, size;
    EXPECT_FALSE(CheckAnswerEnvelope(R"({"content":{}})", total, page, size));
}

TEST_F(AnswerRouting, SuccessOfWrongTypeCountsAsAbsentAndIsRouted)
{
    route(R"({"success":"false"})", RK_UNREAD_MESSAGES);
    EXPECT_EQ(m_calls, std::vector<std::string>{R"(unread:{"success":"false"})"});
}

TEST_F(AnswerRouting, NonJsonAnswersAreDroppedSilently)
{
    for (const char* text : {"", "not json", "<html></html>", "[1,2]", "\"text\"", "{\"success\":"})
        route(text, RK_LOGIN);
    m_router.OnHttpReturnSucc(nullptr, RK_LOGIN);
    EXPECT_TRUE(m_calls.empty());
}

TEST_F(AnswerRouting, FailureShowsNoticeThenLogsOut)
{
    m_router.OnHttpReturnFail(RK_UNREAD_MESSAGES);
    EXPECT_EQ(m_calls, (std::vector<std::string>{
                           "notice(100):\r\n\xb7\xfe\xce\xf1\xc6\xf7\xcd\xa8\xd0\xc5\xca\xa7\xb0\xdc\xa3\xa1\r\n",
                           "logout"}));
}

// An unset handler is skipped without stopping the ones that are set: the failure path
// still logs out without a notice handler, and other kinds still reach theirs.
TEST(AnswerRouterWithoutHandlers, UnsetHandlersAreSkipped)
{
    std::vector<std::string> calls;
    AnswerHandlers handlers;
    handlers.login = [&calls](const std::string& t) { calls.push_back("login:" + t); };
    handlers.logout = [&calls] { calls.push_back("logout"); };
    AnswerRouter router{handlers};
    router.OnHttpReturnSucc(std::make_unique<std::string>(R"({"success":false,"message":"m"})"), RK_LOGIN);
    router.OnHttpReturnSucc(std::make_unique<std::string>(R"({"success":true})"), RK_EXAM_ADS);
    router.OnHttpReturnSucc(std::make_unique<std::string>(R"({"success":true})"), RK_LOGIN);
    router.OnHttpReturnFail(RK_LOGIN);
    EXPECT_EQ(calls, (std::vector<std::string>{R"(login:{"success":true})", "logout"}));

    AnswerRouter empty{AnswerHandlers{}};
    empty.OnHttpReturnSucc(std::make_unique<std::string>(R"({"success":false,"message":"m"})"), RK_LOGIN);
    empty.OnHttpReturnSucc(std::make_unique<std::string>(R"({"success":true})"), RK_LOGIN);
    empty.OnHttpReturnFail(RK_LOGIN); // nothing set: nothing to call, and no crash
}

} // namespace
