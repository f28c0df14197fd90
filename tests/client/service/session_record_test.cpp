// Reading login answers into the session record, the member lines and their byte limit,
// and the feed readers: defaults, conversions and answers of the wrong shape.
#include "client/service/Feeds.h"
#include "client/service/SessionRecord.h"
#include "platform/CodeLib.h"

#include <gtest/gtest.h>

namespace {

std::string gbk(const std::string& utf8)
{
    return CCodeLib::Utf8ToAnsi(utf8);
}

TEST(ReadLoginAnswer, FillsEveryMemberFieldWithConversions)
{
    SessionRecord record;
    const auto answer = ReadLoginAnswer(
        R"({"success": true, "content": {"loginSuccess": true, "loginMessage": "欢迎", "uid": 1001,
            "loginStatus": 3, "memberType": 2, "memberRoleID": 7, "memberRoleName": "VIP会员", "position": true,
            "userID": "张三", "username": "zs", "realname": "张三", "groupName": "高级", "money": 520,
            "loginRand": "42", "canOffline": 1, "avatar": "http://h/a.png", "phone": "138", "showinvalidfun": 1,
            "email": "z@e", "serTime": "2013-05-01 08:00:00", "loginDateTime": "2013-05-01 07:59:59",
            "planIndexResult": {"plan": "今日计划"}}})",
        record, "now");
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->loginSuccess);
    EXPECT_EQ(gbk("欢迎"), answer->message);
    EXPECT_EQ("", answer->link);
    EXPECT_EQ("2013-05-01 08:00:00", answer->serverTime);
    EXPECT_TRUE(record.IsLoggedIn());
    EXPECT_EQ(1001, record.uid);
    EXPECT_EQ(3, record.loginStatus);
    EXPECT_EQ(2, record.memberType);
    EXPECT_EQ(7, record.memberRoleID);
    EXPECT_EQ(gbk("VIP会员"), record.memberRoleName);
    EXPECT_TRUE(record.position);
    EXPECT_EQ(gbk("张三"), record.userID);
    EXPECT_EQ(gbk("张三"), record.realname);
    EXPECT_EQ(520, record.money);
    EXPECT_EQ("42", record.loginRand);
    EXPECT_EQ("http://h/a.png", record.avatar);
    EXPECT_EQ("2013-05-01 07:59:59", record.loginDateTime);
    EXPECT_EQ("今日计划", record.plan); // kept as sent (UTF-8)
}

TEST(ReadLoginAnswer, MissingAndMistypedMembersTakeTheirDefaults)
{
    SessionRecord record;
    // Every member of the wrong JSON type counts as absent.
    const auto answer = ReadLoginAnswer(R"({"success": true, "content": {"loginSuccess": true, "uid": "12",
        "username": "lisi", "realname": 5, "money": "lots", "planIndexResult": "plan", "serTime": 0}})",
                                        record, "2020-01-02 03:04:05");
    ASSERT_TRUE(answer);
    EXPECT_EQ(0, record.uid); // logged in with uid 0
    EXPECT_FALSE(record.IsLoggedIn());
    EXPECT_EQ(11, record.loginStatus);
    EXPECT_EQ(1, record.memberType);
    EXPECT_EQ("lisi", record.realname); // the user name stands in for an empty real name
    EXPECT_EQ(0, record.money);
    EXPECT_EQ("", record.plan);
    EXPECT_EQ("2020-01-02 03:04:05", record.loginDateTime);
    EXPECT_EQ("1970-01-01 12:00:00", answer->serverTime);
}

TEST(ReadLoginAnswer, RefusalsChangeOnlyWhatTheyShould)
{
    SessionRecord record;
    record.uid = 5;
    record.loginSuccess = true;
    record.realname = "kept";
    // Refused envelopes, broken text and non-objects change nothing.
    for (const char* text : {R"({"success": false, "message": "no"})", R"({"content": {"loginSuccess": true}})",
                             "{broken", "[1, 2]", "", R"({"success": "true"})"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ReadLoginAnswer(text, record, "now"));
        EXPECT_EQ(5, record.uid);
        EXPECT_TRUE(record.loginSuccess);
    }
    // An account refusal sets loginSuccess alone, and carries its message and link.
    const auto refused = ReadLoginAnswer(
        R"({"success": true, "content": {"loginSuccess": false, "loginMessage": "密码错误", "href": "15", "uid": 9}})",
        record, "now");
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->loginSuccess);
    EXPECT_EQ(gbk("密码错误"), refused->message);
    EXPECT_EQ("15", refused->link);
    EXPECT_EQ(5, record.uid);
    EXPECT_FALSE(record.loginSuccess);
    EXPECT_EQ("kept", record.realname);
    // A content of the wrong type is an answer without members.
    EXPECT_TRUE(ReadLoginAnswer(R"({"success": true, "content": [true]})", record, "now"));
    EXPECT_FALSE(record.loginSuccess);
}

TEST(SessionRecord, ResetKeepsWhatTheNextLoginNeeds)
{
    SessionRecord record;
    record.uid = 1;
    record.loginSuccess = true;
    record.userID = "u";
    record.password = "p";
    record.passwordDigest = "d";
    record.avatar = "a";
    record.plan = "x";
    record.loginStatus = 11;
    record.Reset();
    EXPECT_FALSE(record.IsLoggedIn());
    EXPECT_EQ(0, record.uid);
    EXPECT_EQ("", record.userID);
    EXPECT_EQ("", record.passwordDigest);
    EXPECT_EQ("", record.plan);
    EXPECT_EQ("p", record.password);
    EXPECT_EQ("a", record.avatar);
    EXPECT_EQ(11, record.loginStatus);
}

TEST(MemberLines, ComposedAsShownAndCutWithoutSplittingACharacter)
{
    SessionRecord record;
    record.realname = gbk("张三");
    record.memberRoleName = gbk("VIP会员");
    record.groupName = gbk("高级学员");
    record.money = -20;
    EXPECT_EQ(gbk("张三 【VIP会员】"), MemberNameLine(record));
    EXPECT_EQ(gbk("等级：高级学员"), MemberLevelLine(record));
    EXPECT_EQ(gbk("金币：-20"), MemberCoinsLine(record));

    // 60 two-byte characters: the line stops at 98 bytes, the last whole character.
    std::string longName;
    for (int i = 0; i < 60; ++i)
        longName += gbk("法");
    record.realname = longName;
    EXPECT_EQ(longName.substr(0, 98), MemberNameLine(record));
    // One ASCII byte first: now 99 bytes fit exactly.
    record.realname = "a" + longName;
    EXPECT_EQ(("a" + longName).substr(0, 99), MemberNameLine(record));
    record.groupName = std::string(200, 'g');
    EXPECT_EQ(99u, MemberLevelLine(record).size());
}

TEST(CutGbk, KeepsWholeCharacters)
{
    struct Case {
        std::string text;
        std::size_t max;
        std::string cut;
    };
    const Case cases[] = {
        {"abc", 2, "ab"},
        {"a\xd6\xd0", 2, "a"},
        {"a\xd6\xd0", 3, "a\xd6\xd0"},
        {"\xd6\xd0\xd6", 3, "\xd6\xd0\xd6"}, // a lone final lead byte is one byte
        {"\x81\x40z", 1, ""},                // the whole lead range, not only above 0xA0
        {"", 5, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.cut, CutGbk(c.text, c.max)) << c.text << " / " << c.max;
}

TEST(CountdownDigits, PadsWithZerosAndKeepsThreeCharacters)
{
    struct Case {
        const char* days;
        const char* digits;
    };
    const Case cases[] = {{"5", "005"}, {"123", "123"}, {"0", "000"}, {"1234", "123"}, {"", "000"}, {"-4", "0-4"}};
    for (const Case& c : cases)
        EXPECT_EQ(c.digits, CountdownDigits(c.days)) << c.days;
}

TEST(FeedReaders, ReadTheirMembersWithDefaults)
{
    FeedTexts texts;
    ASSERT_TRUE(ReadExamAds(R"({"success": true, "ad_address_top": "ad_top.htm", "qq_url": "http://q/登录"})", texts));
    EXPECT_EQ("0", texts.examDays);
    EXPECT_EQ("ad_top.htm", texts.topAdAddress);
    EXPECT_EQ(gbk("http://q/登录"), texts.qqAddress);
    EXPECT_EQ("", texts.loginAdAddress);

    ASSERT_TRUE(ReadUnreadMessages(R"({"unreadCount": 3, "latestSubject": "课程", "latestURL": "77"})", texts));
    EXPECT_EQ("3", texts.unreadCount);
    EXPECT_EQ(gbk("课程"), texts.latestSubject);
    EXPECT_EQ("77", texts.latestMessageId);
    ASSERT_TRUE(ReadUnreadMessages(R"({"unreadCount": 0})", texts));
    EXPECT_EQ("", texts.unreadCount);
    EXPECT_EQ("", texts.latestSubject);

    ASSERT_TRUE(ReadForumNotice(R"({"author": "a", "subject": "s", "tid": 15})", texts));
    EXPECT_EQ("15", texts.forumThreadId);
    ASSERT_TRUE(ReadForumNotice(R"({"author": "a", "tid": "15"})", texts));
    EXPECT_EQ("", texts.forumThreadId);
}

TEST(FeedReaders, BrokenAnswersChangeNothing)
{
    FeedTexts texts;
    texts.examDays = "9";
    texts.unreadCount = "4";
    texts.forumSubject = "s";
    std::vector<ConnectNotice> notices{{"h", "n", 1}};
    for (const char* text : {"", "{", "null", "[]", "\"text\"", "42"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ReadExamAds(text, texts));
        EXPECT_FALSE(ReadUnreadMessages(text, texts));
        EXPECT_FALSE(ReadForumNotice(text, texts));
        EXPECT_FALSE(ReadConnectNotices(text, notices));
    }
    EXPECT_EQ("9", texts.examDays);
    EXPECT_EQ("4", texts.unreadCount);
    EXPECT_EQ("s", texts.forumSubject);
    // Wrong member types read as absent.
    ASSERT_TRUE(ReadExamAds(R"({"exam_datetime": 5, "ad_address_top": ["x"]})", texts));
    EXPECT_EQ("0", texts.examDays);
    EXPECT_EQ("", texts.topAdAddress);
}

TEST(ReadConnectNotices, TakesEveryNoticeInOrder)
{
    std::vector<ConnectNotice> notices;
    EXPECT_FALSE(ReadConnectNotices(R"({"success": true})", notices)); // no content
    EXPECT_TRUE(ReadConnectNotices(R"({"content": {"notices": {"notice": "x"}}})", notices));
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(ReadConnectNotices(R"({"content": "text"})", notices));
    EXPECT_TRUE(notices.empty());
    ASSERT_TRUE(ReadConnectNotices(R"({"content": {"notices": [{"notice": "一", "href": "21"}, 7,
        {"notice": "下线", "noticeType": 10}, {"noticeType": "10"}]}})", notices));
    ASSERT_EQ(4u, notices.size());
    EXPECT_EQ(gbk("一"), notices[0].notice);
    EXPECT_EQ("21", notices[0].href);
    EXPECT_EQ(0, notices[0].type);
    EXPECT_EQ("", notices[1].notice); // not an object: an empty notice
    EXPECT_EQ(10, notices[2].type);
    EXPECT_EQ(0, notices[3].type); // a type of the wrong JSON type counts as 0
}

} // namespace
