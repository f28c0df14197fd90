// The texts of the service protocol: request texts in the styled layout the service
// expects, and safe reads of answer texts.
//
// Request text layout (jsoncpp's StyledWriter layout, byte for byte): members of every
// object in ascending byte order of their names, one per line, nested objects indented by
// three spaces per level, " : " between name and value, "," at the end of every member
// line but the last, a line break after the closing brace. Strings are escaped as the
// JSON library does (quote, backslash, control characters); bytes at or above 0x80 pass
// through unchanged, so UTF-8 text travels as UTF-8 (the distribution's StyledWriter would
// write it as \uXXXX escapes, which is why we lay the text out ourselves).
//
// Answers: every read treats a member of an unexpected JSON type as absent, and nothing
// here throws.
//
// All functions are pure and may be called from any thread.
#pragma once

#include <json/value.h>

#include <optional>
#include <string>

// Carried with a request through the transport and handed back with its answer; selects
// the answer handler. Values 2 and 3 are not used.
enum RequestKind {
    RK_NONE = 0,
    RK_LOGIN = 1,
    RK_EXAM_ADS = 4,
    RK_UNREAD_MESSAGES = 5,
    RK_FORUM_NOTICE = 6,
    RK_CONNECT = 7,
    RK_LOGIN_INFO = 8,
};

// ---- Request texts ----

// value in the styled layout. Objects, strings, integers, booleans and null are written;
// the client sends nothing else (an array or a real is written as null).
[[nodiscard]] std::string StyledText(const Json::Value& value);

// {"cmd", "cmdType", "content"} with content the string contentText ("connect", "logout").
[[nodiscard]] std::string BuildEnvelope(const std::string& cmd, const std::string& cmdType,
                                        const std::string& contentText);

// "load" of a data source: content {"currentpage", "datasource", "pagesize"}.
[[nodiscard]] std::string BuildLoadRequest(const std::string& datasource, int currentpage, int pagesize);
[[nodiscard]] std::string BuildExamAdsRequest();         // RK_EXAM_ADS
[[nodiscard]] std::string BuildUnreadMessagesRequest();  // RK_UNREAD_MESSAGES
[[nodiscard]] std::string BuildForumNoticeRequest();     // RK_FORUM_NOTICE
[[nodiscard]] std::string BuildLoginInfoRequest();       // RK_LOGIN_INFO

// "login" / "query" (RK_LOGIN). userIdUtf8: the user name in UTF-8, apostrophes already
// doubled; passwordDigest: the 32-character MD5 hexdigest of the (GBK) password.
[[nodiscard]] std::string BuildLoginRequest(const std::string& userIdUtf8, const std::string& passwordDigest,
                                            const std::string& hardwareinfo);

// "connect" (RK_CONNECT): content is the styled text of {"uid": uid}.
[[nodiscard]] std::string BuildConnectRequest(int uid);

// "logout" (RK_NONE): content is the styled text of {"uid": uid, "userID": userIdUtf8}.
[[nodiscard]] std::string BuildLogoutRequest(int uid, const std::string& userIdUtf8);

// ---- Answers ----

// Parses an answer (comments allowed). Empty when the text is not JSON or not an object.
[[nodiscard]] std::optional<Json::Value> ParseAnswer(const std::string& answerText);

// Member reads of an object; the default when the member is missing, null, of another
// JSON type, or when object is not an object. Integers accept JSON numbers in the 32-bit
// range (a fraction is cut off, as the JSON library's integer read does).
[[nodiscard]] int ReadInt(const Json::Value& object, const char* name, int defaultValue);
// The same integer read, empty where ReadInt would give its default.
[[nodiscard]] std::optional<int> ReadOptionalInt(const Json::Value& object, const char* name);
[[nodiscard]] bool ReadBool(const Json::Value& object, const char* name, bool defaultValue);
[[nodiscard]] std::string ReadString(const Json::Value& object, const char* name,
                                     const std::string& defaultValue = {});
// The member when it is an object; otherwise an empty object.
[[nodiscard]] Json::Value ReadObject(const Json::Value& object, const char* name);

// True when the text parses and "success" is true. total, currentpage and pagesize are set
// to 0 first, then to the members of those names where they are present.
[[nodiscard]] bool CheckAnswerEnvelope(const std::string& answerText, int& total, int& currentpage,
                                       int& pagesize);
