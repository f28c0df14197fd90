#include "client/service/RequestText.h"

#include "client/service/Version.h"

#include <json/reader.h>

#include <limits>

namespace {

constexpr const char* kIndent = "   ";

void appendQuoted(std::string& out, const std::string& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += kHex[(c >> 4) & 0x0f];
                out += kHex[c & 0x0f];
            } else {
                out += c; // UTF-8 bytes pass through unchanged
            }
        }
    }
    out += '"';
}

void appendIndent(std::string& out, int depth)
{
    for (int i = 0; i < depth; ++i)
        out += kIndent;
}

void appendValue(std::string& out, const Json::Value& value, int depth)
{
    switch (value.type()) {
    case Json::objectValue: {
        const Json::Value::Members names = value.getMemberNames(); // in the library's map order
        if (names.empty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        for (std::size_t i = 0; i < names.size(); ++i) {
            appendIndent(out, depth + 1);
            appendQuoted(out, names[i]);
            out += " : ";
            appendValue(out, value[names[i]], depth + 1);
            if (i + 1 < names.size())
                out += ',';
            out += '\n';
        }
        appendIndent(out, depth);
        out += '}';
        return;
    }
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        value.getString(&begin, &end);
        appendQuoted(out, std::string(begin, end));
        return;
    }
    case Json::intValue: out += std::to_string(value.asLargestInt()); return;
    case Json::uintValue: out += std::to_string(value.asLargestUInt()); return;
    case Json::booleanValue: out += value.asBool() ? "true" : "false"; return;
    default: out += "null"; return;
    }
}

Json::Value envelope(const char* cmd, const char* cmdType)
{
    Json::Value request(Json::objectValue);
    request["cmd"] = cmd;
    request["cmdType"] = cmdType;
    return request;
}

const Json::Value* member(const Json::Value& object, const char* name)
{
    if (!object.isObject())
        return nullptr;
    return object.find(name, name + std::char_traits<char>::length(name));
}

} // namespace

std::string StyledText(const Json::Value& value)
{
    std::string out;
    appendValue(out, value, 0);
    out += '\n';
    return out;
}

std::string BuildEnvelope(const std::string& cmd, const std::string& cmdType, const std::string& contentText)
{
    Json::Value request(Json::objectValue);
    request["cmd"] = cmd;
    request["cmdType"] = cmdType;
    request["content"] = contentText;
    return StyledText(request);
}

std::string BuildLoadRequest(const std::string& datasource, int currentpage, int pagesize)
{
    Json::Value request = envelope("load", "");
    Json::Value& content = request["content"];
    content["datasource"] = datasource;
    content["currentpage"] = currentpage;
    content["pagesize"] = pagesize;
    return StyledText(request);
}

std::string BuildExamAdsRequest() { return BuildLoadRequest("examtime_ad_address", 0, 0); }
std::string BuildUnreadMessagesRequest() { return BuildLoadRequest("msg_unread_count", 0, 0); }
std::string BuildForumNoticeRequest() { return BuildLoadRequest("discussion_sys_publish", 1, 15); }
std::string BuildLoginInfoRequest() { return BuildLoadRequest("get_login_info", 0, 0); }

std::string BuildLoginRequest(const std::string& userIdUtf8, const std::string& passwordDigest,
                              const std::string& hardwareinfo)
{
    Json::Value request = envelope("login", "query");
    Json::Value& content = request["content"];
    content["userID"] = userIdUtf8;
    content["pass"] = passwordDigest;
    content["encrypt"] = true;
    content["hardwareinfo"] = hardwareinfo;
    content["source"] = "cs_v2013";
    content["ver"] = kClientVersion;
    return StyledText(request);
}

std::string BuildConnectRequest(int uid)
{
    Json::Value inner(Json::objectValue);
    inner["uid"] = uid;
    return BuildEnvelope("connect", "", StyledText(inner));
}

std::string BuildLogoutRequest(int uid, const std::string& userIdUtf8)
{
    Json::Value inner(Json::objectValue);
    inner["uid"] = uid;
    inner["userID"] = userIdUtf8;
    return BuildEnvelope("logout", "", StyledText(inner));
}

std::optional<Json::Value> ParseAnswer(const std::string& answerText)
{
    try {
        Json::Value root;
        Json::Reader reader; // comments allowed
        if (!reader.parse(answerText, root, false) || !root.isObject())
            return std::nullopt;
        return root;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<int> ReadOptionalInt(const Json::Value& object, const char* name)
{
    const Json::Value* v = member(object, name);
    if (v == nullptr || !v->isNumeric())
        return std::nullopt;
    if (v->isInt())
        return v->asInt();
    if (v->isDouble()) {
        const double d = v->asDouble();
        if (d > static_cast<double>(std::numeric_limits<int>::min()) - 1.0
            && d < static_cast<double>(std::numeric_limits<int>::max()) + 1.0)
            return static_cast<int>(d);
    }
    return std::nullopt; // out of the 32-bit range
}

int ReadInt(const Json::Value& object, const char* name, int defaultValue)
{
    return ReadOptionalInt(object, name).value_or(defaultValue);
}

bool ReadBool(const Json::Value& object, const char* name, bool defaultValue)
{
    const Json::Value* v = member(object, name);
    return v != nullptr && v->isBool() ? v->asBool() : defaultValue;
}

std::string ReadString(const Json::Value& object, const char* name, const std::string& defaultValue)
{
    const Json::Value* v = member(object, name);
    return v != nullptr && v->isString() ? v->asString() : defaultValue;
}

Json::Value ReadObject(const Json::Value& object, const char* name)
{
    const Json::Value* v = member(object, name);
    return v != nullptr && v->isObject() ? *v : Json::Value(Json::objectValue);
}

bool CheckAnswerEnvelope(const std::string& answerText, int& total, int& currentpage, int& pagesize)
{
    total = currentpage = pagesize = 0;
    const std::optional<Json::Value> answer = ParseAnswer(answerText);
    if (!answer || !ReadBool(*answer, "success", false))
        return false;
    total = ReadInt(*answer, "total", 0);
    currentpage = ReadInt(*answer, "currentpage", 0);
    pagesize = ReadInt(*answer, "pagesize", 0);
    return true;
}
