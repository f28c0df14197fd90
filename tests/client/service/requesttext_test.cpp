#include "client/service/RequestText.h"

#include "client/service/Version.h"
#include "platform/CodeLib.h"
#include "platform/MD5.h"

#include <gtest/gtest.h>
#include <json/writer.h>

#include <string>

namespace {

struct RequestCase {
    const char* name;
    std::string text;
    std::string expected;
};

class RequestTexts : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestTexts, AreByteIdenticalToStyledLayout)
{
    EXPECT_EQ(GetParam().text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    RequestText, RequestTexts,
    ::testing::Values(
        RequestCase{"load_exam_ads", BuildExamAdsRequest(),
                    "{\n"
                    "   \"cmd\" : \"load\",\n"
                    "   \"cmdType\" : \"\",\n"
                    "   \"content\" : {\n"
                    "      \"currentpage\" : 0,\n"
                    "      \"datasource\" : \"examtime_ad_address\",\n"
                    "      \"pagesize\" : 0\n"
                    "   }\n"
                    "}\n"},
        RequestCase{"load_unread_messages", BuildUnreadMessagesRequest(),
                    "{\n   \"cmd\" : \"load\",\n   \"cmdType\" : \"\",\n   \"content\" : {\n"
                    "      \"currentpage\" : 0,\n      \"datasource\" : \"msg_unread_count\",\n"
                    "      \"pagesize\" : 0\n   }\n}\n"},
        RequestCase{"load_forum_notice", BuildForumNoticeRequest(),
                    "{\n   \"cmd\" : \"load\",\n   \"cmdType\" : \"\",\n   \"content\" : {\n"
                    "      \"currentpage\" : 1,\n      \"datasource\" : \"discussion_sys_publish\",\n"
                    "      \"pagesize\" : 15\n   }\n}\n"},
        RequestCase{"load_login_info", BuildLoginInfoRequest(),
                    "{\n   \"cmd\" : \"load\",\n   \"cmdType\" : \"\",\n   \"content\" : {\n"
                    "      \"currentpage\" : 0,\n      \"datasource\" : \"get_login_info\",\n"
                    "      \"pagesize\" : 0\n   }\n}\n"},
        RequestCase{"connect_uid_12", BuildConnectRequest(12),
                    "{\n"
                    "   \"cmd\" : \"connect\",\n"
                    "   \"cmdType\" : \"\",\n"
                    "   \"content\" : \"{\\n   \\\"uid\\\" : 12\\n}\\n\"\n"
                    "}\n"},
        // 张三 in UTF-8 travels as its UTF-8 bytes.
        RequestCase{"login_chinese_user", BuildLoginRequest("\xe5\xbc\xa0\xe4\xb8\x89", velmar::md5("pa''ss"), ""),
                    "{\n"
                    "   \"cmd\" : \"login\",\n"
                    "   \"cmdType\" : \"query\",\n"
                    "   \"content\" : {\n"
                    "      \"encrypt\" : true,\n"
                    "      \"hardwareinfo\" : \"\",\n"
                    "      \"pass\" : \"" + velmar::md5("pa''ss") + "\",\n"
                    "      \"source\" : \"cs_v2013\",\n"
                    "      \"userID\" : \"\xe5\xbc\xa0\xe4\xb8\x89\",\n"
                    "      \"ver\" : \"3.0.0.25\"\n"
                    "   }\n"
                    "}\n"},
        RequestCase{"logout_chinese_user", BuildLogoutRequest(12, "\xe5\xbc\xa0\xe4\xb8\x89"),
                    "{\n"
                    "   \"cmd\" : \"logout\",\n"
                    "   \"cmdType\" : \"\",\n"
                    "   \"content\" : \"{\\n   \\\"uid\\\" : 12,\\n   \\\"userID\\\" : \\\"\xe5\xbc\xa0\xe4\xb8\x89\\\"\\n}\\n\"\n"
                    "}\n"},
        RequestCase{"escapes_like_the_library", BuildEnvelope("c", "t", "q\"b\\n\n\r\t\b\f\x01\x1f/\x7f"),
                    "{\n   \"cmd\" : \"c\",\n   \"cmdType\" : \"t\",\n"
                    "   \"content\" : \"q\\\"b\\\\n\\n\\r\\t\\b\\f\\u0001\\u001f/\x7f\"\n}\n"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RequestText, LoginVersionIsTheClientVersion)
{
    EXPECT_STREQ(kClientVersion, "3.0.0.25");
    EXPECT_NE(BuildLoginRequest("u", "p", "").find("\"ver\" : \"3.0.0.25\""), std::string::npos);
}

TEST(RequestText, LoginUserNameFromGbkIsSentAsUtf8)
{
    const std::string gbk = "\xd5\xc5\xc8\xfd"; // 张三
    const std::string text = BuildLoginRequest(CCodeLib::AnsiToUtf8(gbk), velmar::md5("x"), "");
    EXPECT_NE(text.find("\"userID\" : \"\xe5\xbc\xa0\xe4\xb8\x89\""), std::string::npos);
}

TEST(RequestText, MembersAreInNameOrderWhateverTheInsertionOrder)
{
    Json::Value v(Json::objectValue);
    v["zeta"] = 1;
    v["Zeta"] = 2; // upper case sorts first in byte order
    v["alpha"] = false;
    v["nested"]["b"] = "x";
    v["nested"]["a"] = -7;
    v["empty"] = Json::Value(Json::objectValue);
    EXPECT_EQ(StyledText(v), "{\n"
                             "   \"Zeta\" : 2,\n"
                             "   \"alpha\" : false,\n"
                             "   \"empty\" : {},\n"
                             "   \"nested\" : {\n"
                             "      \"a\" : -7,\n"
                             "      \"b\" : \"x\"\n"
                             "   },\n"
                             "   \"zeta\" : 1\n"
                             "}\n");
}

TEST(RequestText, AsciiLayoutMatchesTheLibrarysStyledWriter)
{
    Json::Value v(Json::objectValue);
    v["cmd"] = "login";
    v["content"]["quote\"and\\slash"] = "tab\there\nline\x01";
    v["content"]["deep"]["deeper"]["n"] = 4294967295u;
    v["content"]["flag"] = true;
    v["content"]["neg"] = -2147483647 - 1;
    v["none"] = Json::Value();
    Json::StyledWriter writer;
    EXPECT_EQ(StyledText(v), writer.write(v));
}

TEST(RequestText, ConnectContentParsesBackToUid)
{
    const auto request = ParseAnswer(BuildConnectRequest(12));
    ASSERT_TRUE(request.has_value());
    const auto inner = ParseAnswer(ReadString(*request, "content"));
    ASSERT_TRUE(inner.has_value());
    EXPECT_EQ(ReadInt(*inner, "uid", 0), 12);
}

struct EnvelopeCase {
    const char* name;
    std::string answer;
    bool ok;
    int total, currentpage, pagesize;
};

class AnswerEnvelope : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(AnswerEnvelope, ChecksSuccessAndPaging)
{
    int total = -1, currentpage = -1, pagesize = -1;
    EXPECT_EQ(CheckAnswerEnvelope(GetParam().answer, total, currentpage, pagesize), GetParam().ok);
    EXPECT_EQ(total, GetParam().total);
    EXPECT_EQ(currentpage, GetParam().currentpage);
    EXPECT_EQ(pagesize, GetParam().pagesize);
}

INSTANTIATE_TEST_SUITE_P(
    RequestText, AnswerEnvelope,
    ::testing::Values(
        EnvelopeCase{"success_with_paging", R"({"success":true,"total":31,"currentpage":2,"pagesize":15})", true, 31, 2, 15},
        EnvelopeCase{"success_without_paging", R"({"success":true})", true, 0, 0, 0},
        EnvelopeCase{"refused", R"({"success":false,"message":"no","total":5})", false, 0, 0, 0},
        EnvelopeCase{"success_absent", R"({"total":5})", false, 0, 0, 0},
        EnvelopeCase{"success_wrong_type", R"({"success":"true"})", false, 0, 0, 0},
        EnvelopeCase{"success_as_number", R"({"success":1})", false, 0, 0, 0},
        EnvelopeCase{"paging_wrong_types_count_as_absent",
                     R"({"success":true,"total":"31","currentpage":[1],"pagesize":{"a":1}})", true, 0, 0, 0},
        EnvelopeCase{"paging_null_counts_as_absent", R"({"success":true,"total":null})", true, 0, 0, 0},
        EnvelopeCase{"paging_fraction_cut", R"({"success":true,"total":7.9})", true, 7, 0, 0},
        EnvelopeCase{"paging_out_of_range", R"({"success":true,"total":99999999999})", true, 0, 0, 0},
        EnvelopeCase{"comments_allowed", "// answer\n{\"success\":true, /* n */ \"pagesize\":3}", true, 0, 0, 3},
        EnvelopeCase{"not_json", "<html>502 Bad Gateway</html>", false, 0, 0, 0},
        EnvelopeCase{"empty_text", "", false, 0, 0, 0},
        EnvelopeCase{"array_root", R"([{"success":true}])", false, 0, 0, 0},
        EnvelopeCase{"string_root", R"("success")", false, 0, 0, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AnswerReads, WrongTypesGiveDefaults)
{
    const auto answer = ParseAnswer(R"({"i":"12","b":"true","s":5,"o":[1],"n":null,"ok":{"x":1}})");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(ReadInt(*answer, "i", 11), 11);
    EXPECT_EQ(ReadBool(*answer, "b", false), false);
    EXPECT_EQ(ReadString(*answer, "s", "d"), "d");
    EXPECT_TRUE(ReadObject(*answer, "o").isObject());
    EXPECT_EQ(ReadObject(*answer, "o").size(), 0u);
    EXPECT_EQ(ReadInt(*answer, "n", 1), 1);
    EXPECT_EQ(ReadInt(ReadObject(*answer, "ok"), "x", 0), 1);
    EXPECT_EQ(ReadInt(ReadObject(*answer, "missing"), "x", 3), 3);
    EXPECT_EQ(ReadString(Json::Value("not an object"), "s", "d"), "d");
    EXPECT_EQ(ReadInt(Json::Value(Json::arrayValue), "i", 4), 4);
}

} // namespace
