// The dev service's side of the study protocol: demo members and the answers to the four
// commands ("login", "load", "connect", "logout") posted as JSON texts.
//
// Answers are UTF-8 JSON texts. A request that is not a JSON object, or names an unknown
// command or data source, gets {"success": false, "message": ...}; nothing a client sends
// can make it throw.
//
// Threads: every public operation may be called from any thread (one lock inside).
#pragma once

#include "devservice/PngWriter.h"

#include <json/value.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace devservice {

struct DemoMember {
    int uid = 0;
    std::string userID;   // log-in name (UTF-8)
    std::string password; // in the clear (UTF-8); the client sends the digest of its GBK bytes
    std::string username;
    std::string realname; // may be empty: the client then shows username
    std::string memberRoleName;
    int memberRoleID = 0;
    std::string groupName;
    int money = 0;
    std::string plan;     // today's study plan; empty for members without one
    std::string href;     // forum thread id linked from the login notice; empty for none
    std::string phone;
    std::string email;
    Rgba colour;          // of the member picture
};

// The demo members every dev service knows.
const std::vector<DemoMember>& DemoMembers();

// The "pass" a client sends for a password: lower-case hex MD5 of the password's GBK bytes
// after every apostrophe has been doubled.
std::string PasswordDigest(const std::string& passwordUtf8);

// The name of the session cookie the service sets at login and knows the member by.
inline constexpr char kSessionCookie[] = "SID";

class StudyService {
public:
    // siteBase: "http://host:port" as clients reach the service; pageBase: the path of the
    // study pages ("/soft").
    StudyService(std::string siteBase, std::string pageBase);

    // The answer text to one request text. session: the value of the request's session
    // cookie (kSessionCookie), empty when it carried none. A successful "login" ends that
    // session and starts a new one, whose value goes to *newSession for the answer's
    // Set-Cookie; "get_login_info" answers for the member of the session.
    std::string Answer(const std::string& requestText, const std::string& session = {},
                       std::string* newSession = nullptr);

    // Notices for the next "connect" answer; type 10 makes the client log out.
    void PushNotice(const std::string& notice, const std::string& href, int noticeType);
    void ForceLogout();
    // The external-account login page was confirmed for this member: a new session for it,
    // whose value the page sets as the session cookie; empty for an unknown member.
    std::string StartSession(int uid);
    // The member whose session this is, or none.
    std::optional<DemoMember> MemberOfSession(const std::string& session) const;

    // Forgets the logged-in member, the sessions and pending notices.
    void Reset();

    std::optional<int> LoggedInUid() const;
    const std::string& SiteBase() const { return m_siteBase; }
    const std::string& PageBase() const { return m_pageBase; }
    // Address of a member's picture.
    std::string AvatarAddress(int uid) const;

private:
    struct Notice {
        std::string notice;
        std::string href;
        int type = 0;
    };

    std::string answerLogin(const std::string& userID, const std::string& pass, const std::string& session,
                            std::string* newSession);
    std::string answerLoad(const std::string& datasource, int currentpage, int pagesize,
                           const std::string& session);
    std::string answerConnect(const std::string& contentText);
    std::string answerLogout(const std::string& contentText);
    std::string loginAnswerFor(const DemoMember& member);
    std::string newSessionFor(int uid);

    const std::string m_siteBase;
    const std::string m_pageBase;
    mutable std::mutex m_lock;
    std::optional<int> m_loggedIn;
    std::map<std::string, int> m_sessions; // session cookie value -> uid
    bool m_messageShown = false;
    bool m_forumShown = false;
    std::vector<Notice> m_notices;
};

// Parses text (comments allowed) as one JSON object; false for anything else. Never throws.
bool ParseJsonObject(const std::string& text, Json::Value& out);

} // namespace devservice
