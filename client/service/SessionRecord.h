// SessionRecord: the logged-in member's data, held by the main window, and the reading of
// a login answer ("login", or "get_login_info" after an external-account login) into it.
//
// Texts are GBK unless a field says otherwise. A member is logged in when uid is not 0
// and loginSuccess is set.
//
// Threads: the record belongs to the user-interface thread; the functions are pure.
#pragma once

#include <optional>
#include <string>

struct SessionRecord {
    int uid = 0;
    bool loginSuccess = false;
    std::string userID;          // UTF-8 as handed to RequestLogin; GBK once an answer set it
    std::string password;        // as handed to RequestLogin (apostrophes doubled)
    std::string passwordDigest;  // 32 lower-case hex characters
    std::string hardwareinfo;    // nothing sets it
    int loginStatus = 0;         // meaningful only after a login answer
    int memberType = 0;
    int memberRoleID = 0;
    std::string memberRoleName;
    bool position = false;
    std::string username;
    std::string realname;
    std::string groupName;
    int money = 0;
    std::string loginRand;       // as sent
    int canOffline = 0;
    std::string avatar;          // address of the member's picture
    std::string phone;           // as sent
    int showinvalidfun = 0;
    std::string email;           // as sent
    std::string loginDateTime;   // as sent, "%Y-%m-%d %H:%M:%S"
    std::string plan;            // UTF-8 as sent

    [[nodiscard]] bool IsLoggedIn() const { return uid != 0 && loginSuccess; }

    // The fields a session reset clears; password, loginRand, avatar, loginStatus,
    // memberType, canOffline, showinvalidfun and loginDateTime keep their values.
    void Reset();
};

// What a login answer asks of the window beyond the record.
struct LoginAnswer {
    std::string message; // "loginMessage", GBK; shown whether or not the login succeeded
    std::string link;    // "href", GBK: a forum thread id; empty for a plain notice
    bool loginSuccess = false;
    std::string serverTime; // "serTime" (default "1970-01-01 12:00:00"); set on success only
};

// Reads a login answer. Empty when the envelope is refused (not JSON, "success" not true):
// then nothing changes. Otherwise record.loginSuccess is set from the answer and, when it
// is true, every member field is read (a member of the wrong JSON type counts as absent);
// an empty real name becomes the user name, a missing "loginDateTime" the local time now.
// localNow: the local time in "%Y-%m-%d %H:%M:%S", used only for that default.
[[nodiscard]] std::optional<LoginAnswer> ReadLoginAnswer(const std::string& answerText, SessionRecord& record,
                                                         const std::string& localNow);

// The member lines of the logged-in face, each at most 99 bytes (never ending inside a
// GBK character): "%s 【%s】" of realname and role, "等级：%s" of the group, "金币：%d".
[[nodiscard]] std::string MemberNameLine(const SessionRecord& record);
[[nodiscard]] std::string MemberLevelLine(const SessionRecord& record);
[[nodiscard]] std::string MemberCoinsLine(const SessionRecord& record);

// The longest prefix of a GBK text of at most maxBytes bytes that does not split a
// two-byte character (lead byte 0x81-0xFE followed by its trail byte).
[[nodiscard]] std::string CutGbk(const std::string& text, std::size_t maxBytes);

