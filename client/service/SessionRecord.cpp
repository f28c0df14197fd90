#include "client/service/SessionRecord.h"

#include "client/service/RequestText.h"
#include "platform/CodeLib.h"
#include "platform/StringFormat.h"

void SessionRecord::Reset()
{
    uid = money = memberRoleID = 0;
    loginSuccess = position = false;
    userID.clear();
    passwordDigest.clear();
    username.clear();
    realname.clear();
    groupName.clear();
    memberRoleName.clear();
    phone.clear();
    email.clear();
    plan.clear();
}

std::optional<LoginAnswer> ReadLoginAnswer(const std::string& answerText, SessionRecord& record,
                                           const std::string& localNow)
{
    const std::optional<Json::Value> root = ParseAnswer(answerText);
    if (!root || !ReadBool(*root, "success", false))
        return std::nullopt;
    const Json::Value c = ReadObject(*root, "content");
    auto gbk = [&c](const char* name) { return CCodeLib::Utf8ToAnsi(ReadString(c, name)); };

    LoginAnswer answer;
    answer.message = gbk("loginMessage");
    answer.loginSuccess = record.loginSuccess = ReadBool(c, "loginSuccess", false);
    answer.link = gbk("href");
    if (!answer.loginSuccess)
        return answer;

    record.uid = ReadInt(c, "uid", 0);
    record.loginStatus = ReadInt(c, "loginStatus", 11);
    record.memberType = ReadInt(c, "memberType", 1);
    record.memberRoleID = ReadInt(c, "memberRoleID", 0);
    record.memberRoleName = gbk("memberRoleName");
    record.position = ReadBool(c, "position", false);
    record.userID = gbk("userID");
    record.username = gbk("username");
    record.realname = gbk("realname");
    record.groupName = gbk("groupName");
    record.money = ReadInt(c, "money", 0);
    record.loginRand = ReadString(c, "loginRand");
    record.canOffline = ReadInt(c, "canOffline", 0);
    record.avatar = gbk("avatar");
    record.phone = ReadString(c, "phone");
    record.showinvalidfun = ReadInt(c, "showinvalidfun", 0);
    record.email = ReadString(c, "email");
    answer.serverTime = ReadString(c, "serTime", "1970-01-01 12:00:00");
    if (record.realname.empty())
        record.realname = record.username;
    record.loginDateTime = ReadString(c, "loginDateTime", localNow);
    record.plan = ReadString(ReadObject(c, "planIndexResult"), "plan");
    return answer;
}

std::string CutGbk(const std::string& text, std::size_t maxBytes)
{
    std::size_t end = 0;
    while (end < text.size()) {
        const auto byte = static_cast<unsigned char>(text[end]);
        const std::size_t length = byte >= 0x81 && byte <= 0xFE && end + 1 < text.size() ? 2 : 1;
        if (end + length > maxBytes)
            break;
        end += length;
    }
    return text.substr(0, end);
}

namespace {

// The lines were composed into a 100-byte buffer: at most 99 bytes of text.
constexpr std::size_t kLineBytes = 99;

} // namespace

std::string MemberNameLine(const SessionRecord& record)
{
    // "%s 【%s】"
    return CutGbk(record.realname + " \xa1\xbe" + record.memberRoleName + "\xa1\xbf", kLineBytes);
}

std::string MemberLevelLine(const SessionRecord& record)
{
    // "等级：%s"
    return CutGbk("\xb5\xc8\xbc\xb6\xa3\xba" + record.groupName, kLineBytes);
}

std::string MemberCoinsLine(const SessionRecord& record)
{
    // "金币：%d"
    return CutGbk(platform::StringFormat("\xbd\xf0\xb1\xd2\xa3\xba%d", record.money), kLineBytes);
}
