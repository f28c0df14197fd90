#include "devservice/StudyService.h"

#include "platform/MD5.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <regex>
#include <set>
#include <string>

namespace {

using devservice::StudyService;

const char kSite[] = "http://127.0.0.1:18080";

Json::Value parse(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << text;
    return value;
}

std::string loginText(const std::string& userID, const std::string& pass)
{
    Json::Value content(Json::objectValue);
    content["encrypt"] = true;
    content["hardwareinfo"] = "";
    content["pass"] = pass;
    content["source"] = "cs_v2013";
    content["userID"] = userID;
    content["ver"] = "3.0.0.25";
    Json::Value request(Json::objectValue);
    request["cmd"] = "login";
    request["cmdType"] = "query";
    request["content"] = content;
    return Json::StyledWriter().write(request);
}

std::string loadText(const std::string& datasource, int currentpage = 0, int pagesize = 0)
{
    Json::Value content(Json::objectValue);
    content["currentpage"] = currentpage;
    content["datasource"] = datasource;
    content["pagesize"] = pagesize;
    Json::Value request(Json::objectValue);
    request["cmd"] = "load";
    request["cmdType"] = "";
    request["content"] = content;
    return Json::StyledWriter().write(request);
}

std::string envelope(const std::string& cmd, const Json::Value& inner)
{
    Json::Value request(Json::objectValue);
    request["cmd"] = cmd;
    request["cmdType"] = "";
    request["content"] = Json::StyledWriter().write(inner);
    return Json::StyledWriter().write(request);
}

std::string connectText(int uid)
{
    Json::Value inner(Json::objectValue);
    inner["uid"] = uid;
    return envelope("connect", inner);
}

// The digests a client sends: MD5 of the GBK password bytes, apostrophes doubled.
const std::string kZhangsanPass = "e10adc3949ba59abbe56e057f20f883e";         // "123456"
const std::string kLisiPass = velmar::md5("\xD1\xA7\xCF\xB0" "2013");        // "学习2013" in GBK
const std::string kWangwuPass = velmar::md5("it''s-me");                     // "it's-me"

bool isTime(const Json::Value& v)
{
    return v.isString() && std::regex_match(v.asString(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"));
}

TEST(StudyService, PasswordDigestIsOverGbkBytesWithApostrophesDoubled)
{
    EXPECT_EQ(devservice::PasswordDigest("123456"), kZhangsanPass);
    EXPECT_EQ(devservice::PasswordDigest("学习2013"), kLisiPass);
    EXPECT_EQ(devservice::PasswordDigest("it's-me"), kWangwuPass);
}

TEST(StudyService, LoginAnswersCarryEveryMemberField)
{
    struct Case {
        std::string userID;
        std::string pass;
        int uid;
        bool hasPlan;
        bool hasHref;
    };
    const Case cases[] = {
        {"zhangsan", kZhangsanPass, 1001, true, false},
        {"李四", kLisiPass, 1002, false, true},
        {"wangwu", kWangwuPass, 1003, true, false},
    };
    for (const Case& c : cases) {
        StudyService service(kSite, "/soft");
        const Json::Value answer = parse(service.Answer(loginText(c.userID, c.pass)));
        ASSERT_TRUE(answer["success"].isBool() && answer["success"].asBool()) << c.userID;
        const Json::Value& content = answer["content"];
        EXPECT_TRUE(content["loginSuccess"].asBool()) << c.userID;
        EXPECT_EQ(content["uid"], c.uid) << c.userID;
        EXPECT_EQ(content["userID"].asString(), c.userID);
        for (const char* name : {"uid", "loginStatus", "memberType", "memberRoleID", "money", "canOffline",
                                 "showinvalidfun", "validphone"})
            EXPECT_TRUE(content[name].isInt()) << c.userID << " " << name;
        for (const char* name : {"loginMessage", "memberRoleName", "userID", "username", "realname", "groupName",
                                 "loginRand", "version", "avatar", "phone", "email"})
            EXPECT_TRUE(content[name].isString()) << c.userID << " " << name;
        EXPECT_TRUE(content["position"].isBool());
        EXPECT_TRUE(isTime(content["serTime"])) << content["serTime"];
        EXPECT_TRUE(isTime(content["loginDateTime"]));
        EXPECT_EQ(content["avatar"].asString(), std::string(kSite) + "/soft/avatar/" + std::to_string(c.uid) + ".png");
        EXPECT_EQ(content["planIndexResult"]["plan"].isString() && !content["planIndexResult"]["plan"].asString().empty(),
                  c.hasPlan)
            << c.userID;
        EXPECT_EQ(content.isMember("href"), c.hasHref) << c.userID;
        EXPECT_EQ(service.LoggedInUid(), c.uid);
    }
}

TEST(StudyService, WrongPasswordOrUnknownMemberIsRefusedByTheAccountCheck)
{
    const std::string requests[] = {
        loginText("zhangsan", velmar::md5("654321")),
        loginText("zhangsan", "123456"), // the password itself instead of its digest
        loginText("李四", velmar::md5("学习2013")), // UTF-8 bytes digested instead of GBK
        loginText("nobody", kZhangsanPass),
    };
    for (const std::string& request : requests) {
        StudyService service(kSite, "/soft");
        const Json::Value answer = parse(service.Answer(request));
        EXPECT_TRUE(answer["success"].asBool());
        EXPECT_FALSE(answer["content"]["loginSuccess"].asBool());
        EXPECT_FALSE(answer["content"]["loginMessage"].asString().empty());
        EXPECT_FALSE(answer["content"].isMember("uid"));
        EXPECT_FALSE(service.LoggedInUid().has_value());
    }
}

TEST(StudyService, LoadDataSourcesAnswerAtTopLevel)
{
    StudyService service(kSite, "/soft");
    const Json::Value ads = parse(service.Answer(loadText("examtime_ad_address")));
    EXPECT_TRUE(ads["success"].asBool());
    EXPECT_TRUE(std::regex_match(ads["exam_datetime"].asString(), std::regex(R"(\d{1,3})")));
    EXPECT_EQ(ads["ad_address_login"], "ad_login.htm");
    EXPECT_EQ(ads["ad_address_top"], "ad_top.htm");
    EXPECT_EQ(ads["renren_url"], std::string(kSite) + "/soft/social_login.htm?site=renren");
    EXPECT_EQ(ads["sinaweibo_url"], std::string(kSite) + "/soft/social_login.htm?site=weibo");
    EXPECT_EQ(ads["qq_url"], std::string(kSite) + "/soft/social_login.htm?site=qq");

    // Before a login there is nothing to announce.
    const Json::Value none = parse(service.Answer(loadText("msg_unread_count")));
    EXPECT_EQ(none["unreadCount"], 0);
    EXPECT_FALSE(none.isMember("latestSubject"));

    service.Answer(loginText("zhangsan", kZhangsanPass));
    const Json::Value unread = parse(service.Answer(loadText("msg_unread_count")));
    EXPECT_EQ(unread["unreadCount"], 3);
    EXPECT_TRUE(unread["latestSubject"].isString());
    EXPECT_TRUE(unread["latestMessage"].isString());
    EXPECT_EQ(unread["latestURL"], "77");
    // Announced once per login; the count stays.
    const Json::Value again = parse(service.Answer(loadText("msg_unread_count")));
    EXPECT_EQ(again["unreadCount"], 3);
    EXPECT_FALSE(again.isMember("latestSubject"));

    const Json::Value forum = parse(service.Answer(loadText("discussion_sys_publish", 1, 15)));
    EXPECT_TRUE(forum["author"].isString());
    EXPECT_TRUE(forum["subject"].isString());
    EXPECT_EQ(forum["tid"], 15);
    EXPECT_EQ(forum["currentpage"], 1);
    EXPECT_EQ(forum["pagesize"], 15);
}

TEST(StudyService, GetLoginInfoAnswersForTheMemberOfTheSessionCookie)
{
    StudyService service(kSite, "/soft");
    const Json::Value before = parse(service.Answer(loadText("get_login_info")));
    EXPECT_TRUE(before["success"].asBool());
    EXPECT_FALSE(before["content"]["loginSuccess"].asBool());

    const std::string session = service.StartSession(1002);
    ASSERT_EQ(32u, session.size());
    EXPECT_TRUE(service.StartSession(4242).empty()) << "no session for an unknown member";
    // Without the cookie, or with another value, the request names no one.
    EXPECT_FALSE(parse(service.Answer(loadText("get_login_info")))["content"]["loginSuccess"].asBool());
    EXPECT_FALSE(parse(service.Answer(loadText("get_login_info"), "other"))["content"]["loginSuccess"].asBool());
    const Json::Value after = parse(service.Answer(loadText("get_login_info"), session));
    EXPECT_TRUE(after["content"]["loginSuccess"].asBool());
    EXPECT_EQ(after["content"]["uid"], 1002);
    EXPECT_EQ(after["content"]["realname"], "李四");
    // The session lasts until the member logs out.
    EXPECT_TRUE(parse(service.Answer(loadText("get_login_info"), session))["content"]["loginSuccess"].asBool());
    ASSERT_TRUE(service.MemberOfSession(session));
    EXPECT_EQ("李四", service.MemberOfSession(session)->realname);

    Json::Value inner(Json::objectValue);
    inner["uid"] = 1002;
    inner["userID"] = "李四";
    service.Answer(envelope("logout", inner), session);
    EXPECT_FALSE(service.MemberOfSession(session));
    EXPECT_FALSE(parse(service.Answer(loadText("get_login_info"), session))["content"]["loginSuccess"].asBool());
}

TEST(StudyService, EachLoginStartsANewSessionAndEndsTheOneItCameWith)
{
    StudyService service(kSite, "/soft");
    std::string first;
    std::string refusedSession;
    EXPECT_TRUE(parse(service.Answer(loginText("zhangsan", kZhangsanPass), "", &first))["content"]["loginSuccess"].asBool());
    ASSERT_FALSE(first.empty());
    EXPECT_FALSE(parse(service.Answer(loginText("zhangsan", "wrong"), first, &refusedSession))["content"]["loginSuccess"].asBool());
    EXPECT_TRUE(refusedSession.empty()) << "a refused login sets no cookie";
    ASSERT_TRUE(service.MemberOfSession(first));

    std::string second;
    parse(service.Answer(loginText("wangwu", kWangwuPass), first, &second));
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second);
    EXPECT_FALSE(service.MemberOfSession(first)) << "the replaced session still names a member";
    ASSERT_TRUE(service.MemberOfSession(second));
    EXPECT_EQ("wangwu", service.MemberOfSession(second)->userID);
}

TEST(StudyService, ConnectCarriesPushedNoticesOnceAndForcedLogout)
{
    StudyService service(kSite, "/soft");
    service.Answer(loginText("zhangsan", kZhangsanPass));
    Json::Value answer = parse(service.Answer(connectText(1001)));
    EXPECT_TRUE(answer["success"].asBool());
    ASSERT_TRUE(answer["content"]["notices"].isArray());
    EXPECT_EQ(answer["content"]["notices"].size(), 0u);

    service.PushNotice("新课程已上线", "21", 0);
    service.ForceLogout();
    answer = parse(service.Answer(connectText(1001)));
    const Json::Value& notices = answer["content"]["notices"];
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0]["notice"], "新课程已上线");
    EXPECT_EQ(notices[0]["href"], "21");
    EXPECT_EQ(notices[0]["noticeType"], 0);
    EXPECT_FALSE(notices[1]["notice"].asString().empty());
    EXPECT_EQ(notices[1]["noticeType"], 10);
    EXPECT_EQ(parse(service.Answer(connectText(1001)))["content"]["notices"].size(), 0u);

    Json::Value inner(Json::objectValue);
    inner["uid"] = 1001;
    inner["userID"] = "zhangsan";
    EXPECT_TRUE(parse(service.Answer(envelope("logout", inner)))["success"].asBool());
    EXPECT_FALSE(service.LoggedInUid().has_value());
}

// Whatever arrives, the answer is a JSON object with "success" false and a message.
TEST(StudyService, MalformedRequestsGetAnErrorAnswer)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string requests[] = {
        "",
        "garbage",
        "[1, 2]",
        "{\"cmd\": 5}",
        "{\"cmd\": \"fly\"}",
        "{\"cmd\": \"login\", \"content\": \"x\"}",
        "{\"cmd\": \"load\", \"content\": 3}",
        "{\"cmd\": \"load\", \"content\": {\"datasource\": 7}}",
        "{\"cmd\": \"load\", \"content\": {\"datasource\": \"nonexistent\"}}",
        "{\"cmd\": \"connect\", \"content\": {\"uid\": 1}}",
        "{\"cmd\": \"connect\", \"content\": \"not json\"}",
        "{\"cmd\": \"logout\", \"content\": \"[]\"}",
        "{\"cmd\": \"login\"",
        std::string("{\"cmd\": \"\xff\xfe\"}"),
        deep,
    };
    StudyService service(kSite, "/soft");
    for (const std::string& request : requests) {
        const Json::Value answer = parse(service.Answer(request));
        EXPECT_TRUE(answer["success"].isBool() && !answer["success"].asBool()) << request.substr(0, 60);
        EXPECT_TRUE(answer["message"].isString()) << request.substr(0, 60);
    }
}

} // namespace
