#include "devservice/StudyService.h"

#include "platform/CodeLib.h"
#include "platform/MD5.h"

#include <json/json.h>

#include <ctime>
#include <exception>
#include <memory>
#include <sstream>

namespace devservice {

namespace {

std::string write(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

std::string refused(const std::string& message)
{
    Json::Value answer(Json::objectValue);
    answer["success"] = false;
    answer["message"] = message;
    return write(answer);
}

std::string stringMember(const Json::Value& object, const char* name)
{
    const Json::Value& v = object[name];
    return v.isString() ? v.asString() : std::string();
}

int intMember(const Json::Value& object, const char* name)
{
    const Json::Value& v = object[name];
    return v.isInt() ? v.asInt() : 0;
}

std::string localTime(const char* pattern)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, pattern, &local);
    return std::string(text, n);
}

// Days from today to the examination (the second Saturday of September, a fixed choice
// of the dev service).
int daysToExam()
{
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    today.tm_hour = 12;
    today.tm_min = today.tm_sec = 0;
    for (int year = today.tm_year;; ++year) {
        std::tm exam{};
        exam.tm_year = year;
        exam.tm_mon = 8;
        exam.tm_mday = 1;
        exam.tm_hour = 12;
        exam.tm_isdst = -1;
        std::mktime(&exam);
        const int firstSaturday = 1 + (6 - exam.tm_wday + 7) % 7;
        exam.tm_mday = firstSaturday + 7;
        std::tm copy = today;
        const double seconds = std::difftime(std::mktime(&exam), std::mktime(&copy));
        if (seconds >= 0)
            return static_cast<int>(seconds / 86400.0 + 0.5);
    }
}

const DemoMember* findByUserID(const std::string& userID)
{
    for (const DemoMember& member : DemoMembers()) {
        if (member.userID == userID)
            return &member;
    }
    return nullptr;
}

const DemoMember* findByUid(int uid)
{
    for (const DemoMember& member : DemoMembers()) {
        if (member.uid == uid)
            return &member;
    }
    return nullptr;
}

} // namespace

const std::vector<DemoMember>& DemoMembers()
{
    static const std::vector<DemoMember> members = {
        {1001, "zhangsan", "123456", "zhangsan", "张三", "VIP会员", 3, "高级学员", 520,
         "今日计划：民法总则第三章（2课时），刑法分则练习题30道，晚间复习当日错题。", "", "13800000001",
         "zhangsan@example.com", {46, 125, 212, 255}},
        {1002, "李四", "学习2013", "lisi", "李四", "普通会员", 1, "初级学员", 88, "", "15", "13800000002",
         "lisi@example.com", {233, 120, 36, 255}},
        {1003, "wangwu", "it's-me", "wangwu", "", "体验会员", 2, "中级学员", 1200,
         "今日计划：行政诉讼法第五章，模拟考场一套。", "", "", "", {56, 160, 90, 255}},
    };
    return members;
}

bool ParseJsonObject(const std::string& text, Json::Value& out)
{
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["collectComments"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(text.data(), text.data() + text.size(), &out, &errors) && out.isObject();
    } catch (const std::exception&) {
        return false;
    }
}

std::string PasswordDigest(const std::string& passwordUtf8)
{
    std::string doubled;
    for (char c : CCodeLib::Utf8ToAnsi(passwordUtf8)) {
        doubled += c;
        if (c == '\'')
            doubled += '\'';
    }
    return velmar::md5(doubled);
}

StudyService::StudyService(std::string siteBase, std::string pageBase)
    : m_siteBase(std::move(siteBase)), m_pageBase(std::move(pageBase))
{
}

std::string StudyService::AvatarAddress(int uid) const
{
    return m_siteBase + m_pageBase + "/avatar/" + std::to_string(uid) + ".png";
}

void StudyService::PushNotice(const std::string& notice, const std::string& href, int noticeType)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_notices.push_back({notice, href, noticeType});
}

void StudyService::ForceLogout()
{
    PushNotice("您的账号已在其他地方登录，您已被强制下线。", "", 10);
}

void StudyService::CompleteExternalLogin(int uid, const std::string& loginToken)
{
    if (loginToken.empty())
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_externalLogins[loginToken] = uid;
}

void StudyService::Reset()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_loggedIn.reset();
    m_externalLogins.clear();
    m_messageShown = false;
    m_forumShown = false;
    m_notices.clear();
}

std::optional<int> StudyService::LoggedInUid() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_loggedIn;
}

std::string StudyService::Answer(const std::string& requestText, const std::string& loginToken)
{
    try {
        Json::Value request;
        if (!ParseJsonObject(requestText, request))
            return refused("请求格式错误。");
        const std::string cmd = stringMember(request, "cmd");
        const Json::Value& content = request["content"];
        std::lock_guard<std::mutex> lock(m_lock);
        if (cmd == "login") {
            if (!content.isObject())
                return refused("登录请求缺少内容。");
            return answerLogin(stringMember(content, "userID"), stringMember(content, "pass"));
        }
        if (cmd == "load") {
            if (!content.isObject())
                return refused("数据请求缺少内容。");
            return answerLoad(stringMember(content, "datasource"), intMember(content, "currentpage"),
                              intMember(content, "pagesize"), loginToken);
        }
        if (cmd == "connect")
            return answerConnect(content.isString() ? content.asString() : std::string());
        if (cmd == "logout")
            return answerLogout(content.isString() ? content.asString() : std::string());
        return refused("未知的命令。");
    } catch (const std::exception&) {
        return refused("服务暂时无法处理该请求。");
    }
}

std::string StudyService::loginAnswerFor(const DemoMember& member)
{
    m_loggedIn = member.uid;
    m_messageShown = false;
    m_forumShown = false;

    Json::Value content(Json::objectValue);
    content["loginSuccess"] = true;
    content["loginMessage"] = "欢迎回来，" + (member.realname.empty() ? member.username : member.realname)
                              + "！祝您学习愉快。";
    if (!member.href.empty())
        content["href"] = member.href;
    content["uid"] = member.uid;
    content["loginStatus"] = 11;
    content["memberType"] = 1;
    content["memberRoleID"] = member.memberRoleID;
    content["memberRoleName"] = member.memberRoleName;
    content["position"] = false;
    content["userID"] = member.userID;
    content["username"] = member.username;
    content["realname"] = member.realname;
    content["groupName"] = member.groupName;
    content["money"] = member.money;
    content["loginRand"] = std::to_string(member.uid * 7919 % 100000);
    content["version"] = "3.0.0.25";
    content["canOffline"] = 0;
    content["avatar"] = AvatarAddress(member.uid);
    content["phone"] = member.phone;
    content["showinvalidfun"] = 0;
    content["email"] = member.email;
    content["serTime"] = localTime("%Y-%m-%d %H:%M:%S");
    content["validphone"] = member.phone.empty() ? 0 : 1;
    content["loginDateTime"] = localTime("%Y-%m-%d %H:%M:%S");
    if (!member.plan.empty()) {
        Json::Value plan(Json::objectValue);
        plan["plan"] = member.plan;
        content["planIndexResult"] = plan;
    }
    Json::Value answer(Json::objectValue);
    answer["success"] = true;
    answer["content"] = content;
    return write(answer);
}

std::string StudyService::answerLogin(const std::string& userID, const std::string& pass)
{
    const DemoMember* member = findByUserID(userID);
    if (member == nullptr || pass != PasswordDigest(member->password)) {
        Json::Value content(Json::objectValue);
        content["loginSuccess"] = false;
        content["loginMessage"] = "用户名或密码错误，请重新输入。";
        Json::Value answer(Json::objectValue);
        answer["success"] = true;
        answer["content"] = content;
        return write(answer);
    }
    return loginAnswerFor(*member);
}

std::string StudyService::answerLoad(const std::string& datasource, int currentpage, int pagesize,
                                     const std::string& loginToken)
{
    Json::Value answer(Json::objectValue);
    answer["success"] = true;
    answer["currentpage"] = currentpage;
    answer["pagesize"] = pagesize;
    answer["total"] = 1;
    const std::string pages = m_siteBase + m_pageBase + "/";
    const DemoMember* member = m_loggedIn ? findByUid(*m_loggedIn) : nullptr;

    if (datasource == "examtime_ad_address") {
        answer["exam_datetime"] = std::to_string(daysToExam());
        answer["ad_address_login"] = "ad_login.htm";
        answer["ad_address_top"] = "ad_top.htm";
        answer["renren_url"] = pages + "social_login.htm?site=renren";
        answer["sinaweibo_url"] = pages + "social_login.htm?site=weibo";
        answer["qq_url"] = pages + "social_login.htm?site=qq";
        return write(answer);
    }
    if (datasource == "msg_unread_count") {
        // The newest message is announced once per login; the count stays.
        answer["unreadCount"] = member != nullptr ? 3 : 0;
        if (member != nullptr && !m_messageShown) {
            m_messageShown = true;
            answer["latestSubject"] = "【学习提醒】本周模拟考试将于周六上午九点开始";
            answer["latestMessage"] = "请提前十分钟进入模拟考场，准备好草稿纸和法条汇编。";
            answer["latestURL"] = "77";
        }
        return write(answer);
    }
    if (datasource == "discussion_sys_publish") {
        if (member != nullptr && !m_forumShown) {
            m_forumShown = true;
            answer["author"] = "管理员";
            answer["subject"] = "【公告】2013年司法考试大纲变化解读已发布";
            answer["tid"] = 15;
        }
        return write(answer);
    }
    if (datasource == "get_login_info") {
        const auto external = m_externalLogins.find(loginToken);
        if (external != m_externalLogins.end()) {
            const int uid = external->second;
            m_externalLogins.erase(external);
            if (const DemoMember* confirmed = findByUid(uid))
                return loginAnswerFor(*confirmed);
        }
        Json::Value content(Json::objectValue);
        content["loginSuccess"] = false;
        content["loginMessage"] = "第三方账号登录尚未完成，请重新登录。";
        answer["content"] = content;
        return write(answer);
    }
    return refused("未知的数据源：" + datasource);
}

std::string StudyService::answerConnect(const std::string& contentText)
{
    Json::Value inner;
    if (!ParseJsonObject(contentText, inner))
        return refused("保持连接请求格式错误。");
    Json::Value notices(Json::arrayValue);
    for (const Notice& n : m_notices) {
        Json::Value element(Json::objectValue);
        element["notice"] = n.notice;
        if (!n.href.empty())
            element["href"] = n.href;
        element["noticeType"] = n.type;
        notices.append(element);
    }
    m_notices.clear();
    Json::Value content(Json::objectValue);
    content["uid"] = intMember(inner, "uid");
    content["notices"] = notices;
    Json::Value answer(Json::objectValue);
    answer["success"] = true;
    answer["content"] = content;
    return write(answer);
}

std::string StudyService::answerLogout(const std::string& contentText)
{
    Json::Value inner;
    if (!ParseJsonObject(contentText, inner))
        return refused("退出请求格式错误。");
    if (m_loggedIn && *m_loggedIn == intMember(inner, "uid"))
        m_loggedIn.reset();
    Json::Value answer(Json::objectValue);
    answer["success"] = true;
    return write(answer);
}

} // namespace devservice
