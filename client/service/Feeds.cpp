#include "client/service/Feeds.h"

#include "client/service/RequestText.h"
#include "platform/CodeLib.h"

#include <optional>

namespace {

std::string gbkMember(const Json::Value& object, const char* name)
{
    return CCodeLib::Utf8ToAnsi(ReadString(object, name));
}

} // namespace

bool ReadExamAds(const std::string& answerText, FeedTexts& texts)
{
    const std::optional<Json::Value> answer = ParseAnswer(answerText);
    if (!answer)
        return false;
    texts.examDays = ReadString(*answer, "exam_datetime", "0");
    texts.loginAdAddress = gbkMember(*answer, "ad_address_login");
    texts.topAdAddress = gbkMember(*answer, "ad_address_top");
    texts.renrenAddress = gbkMember(*answer, "renren_url");
    texts.weiboAddress = gbkMember(*answer, "sinaweibo_url");
    texts.qqAddress = gbkMember(*answer, "qq_url");
    return true;
}

bool ReadUnreadMessages(const std::string& answerText, FeedTexts& texts)
{
    const std::optional<Json::Value> answer = ParseAnswer(answerText);
    if (!answer)
        return false;
    const int count = ReadInt(*answer, "unreadCount", 0);
    texts.unreadCount = count != 0 ? std::to_string(count) : std::string();
    texts.latestSubject = gbkMember(*answer, "latestSubject");
    texts.latestMessage = gbkMember(*answer, "latestMessage");
    texts.latestMessageId = gbkMember(*answer, "latestURL");
    return true;
}

bool ReadForumNotice(const std::string& answerText, FeedTexts& texts)
{
    const std::optional<Json::Value> answer = ParseAnswer(answerText);
    if (!answer)
        return false;
    texts.forumAuthor = gbkMember(*answer, "author");
    texts.forumSubject = gbkMember(*answer, "subject");
    // "tid" is an integer; absent, of another type or out of range it reads as absent.
    const std::optional<int> tid = ReadOptionalInt(*answer, "tid");
    texts.forumThreadId = tid ? std::to_string(*tid) : std::string();
    return true;
}

bool ReadConnectNotices(const std::string& answerText, std::vector<ConnectNotice>& notices)
{
    notices.clear();
    const std::optional<Json::Value> answer = ParseAnswer(answerText);
    if (!answer || !answer->isMember("content"))
        return false;
    const Json::Value content = ReadObject(*answer, "content");
    const Json::Value& list = content["notices"];
    if (!list.isArray())
        return true;
    for (const Json::Value& element : list) {
        ConnectNotice notice;
        notice.href = gbkMember(element, "href");
        notice.notice = gbkMember(element, "notice");
        notice.type = ReadInt(element, "noticeType", 0);
        notices.push_back(std::move(notice));
    }
    return true;
}

std::string CountdownDigits(const std::string& examDays)
{
    std::string digits = examDays.size() < 3 ? std::string(3 - examDays.size(), '0') + examDays : examDays;
    return digits.substr(0, 3);
}
