#include "devservice/DevService.h"

#include "devservice/PngWriter.h"
#include "devservice/StudyPages.h"
#include "devservice/StudyService.h"

#include <httplib.h>
#include <json/json.h>

#include <arpa/inet.h>
#include <csignal>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace devservice {

namespace {

const char kControlPrefix[] = "/control/";
const char kHtml[] = "text/html; charset=utf-8";
const char kJson[] = "application/json; charset=utf-8";

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

int intOf(const Json::Value& object, const char* name, int fallback)
{
    const Json::Value& v = object[name];
    return v.isInt() ? v.asInt() : fallback;
}

std::string stringOf(const Json::Value& object, const char* name)
{
    const Json::Value& v = object[name];
    return v.isString() ? v.asString() : std::string();
}

int portOf(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

// The HTTP library does not hand its sockets to handlers, so the connection of a request
// is found by its two port numbers and shut down; the library's answer then goes nowhere
// and the client sees the connection close without a reply.
void dropConnection(const httplib::Request& req)
{
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr)
        return;
    while (dirent* entry = readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(fds))
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &localSize) != 0
            || getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
            continue;
        if (portOf(local) == req.local_port && portOf(peer) == req.remote_port) {
            shutdown(static_cast<int>(fd), SHUT_RDWR);
            break;
        }
    }
    closedir(fds);
}

bool isRecordedHeader(const std::string& name)
{
    // Added by the HTTP library itself, not sent by the client.
    return name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT";
}

std::string notFoundPage(const std::string& path)
{
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>404</title></head>"
           "<body><h1>页面不存在</h1><p>"
           + HtmlEscape(path) + "</p></body></html>\n";
}

// The session cookie's value among the request's cookies, "" when it has none.
std::string sessionOf(const httplib::Request& req)
{
    const std::string prefix = std::string(kSessionCookie) + "=";
    for (auto [it, end] = req.headers.equal_range("Cookie"); it != end; ++it) {
        const std::string& line = it->second;
        std::size_t at = 0;
        while (at < line.size()) {
            std::size_t stop = line.find(';', at);
            if (stop == std::string::npos)
                stop = line.size();
            std::size_t begin = line.find_first_not_of(' ', at);
            if (begin < stop && line.compare(begin, prefix.size(), prefix) == 0)
                return line.substr(begin + prefix.size(), stop - begin - prefix.size());
            at = stop + 1;
        }
    }
    return {};
}

bool servesTls(const DevServiceOptions& options)
{
    return !options.tlsCert.empty() && !options.tlsKey.empty();
}

} // namespace

std::string SessionCookieHeader(const std::string& session)
{
    // A session cookie for the whole site, out of the pages' scripts' reach.
    return std::string(kSessionCookie) + "=" + session + "; Path=/; HttpOnly";
}

std::string RecordedRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.size() == name.size()
            && std::equal(key.begin(), key.end(), name.begin(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a))
                                                      == std::tolower(static_cast<unsigned char>(b)); }))
            return value;
    }
    return {};
}

DevService::DevService(DevServiceOptions options)
    : m_options(std::move(options))
{
    m_server = servesTls(m_options) ? std::make_unique<httplib::SSLServer>(m_options.tlsCert.c_str(), m_options.tlsKey.c_str())
                   : std::make_unique<httplib::Server>();
    for (const DemoMember& member : DemoMembers())
        m_pictures.emplace_back(member.uid, EncodePng(MemberPicture(96, member.colour)));
}

DevService::~DevService()
{
    stop();
}

std::string DevService::siteBase() const
{
    std::string host = m_options.host == "0.0.0.0" ? std::string("127.0.0.1") : m_options.host;
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return (servesTls(m_options) ? "https://" : "http://") + host + ":" + std::to_string(m_port);
}

bool DevService::start()
{
    // A client that goes away while being answered must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    // An SSLServer whose certificate or key did not load refuses every connection.
    if (!m_server->is_valid())
        return false;

    const auto handler = [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_server->set_keep_alive_max_count(100);

    if (m_options.port == 0) {
        m_port = m_server->bind_to_any_port(m_options.host);
        if (m_port <= 0)
            return false;
    } else {
        if (!m_server->bind_to_port(m_options.host, m_options.port))
            return false;
        m_port = m_options.port;
    }
    m_service = std::make_unique<StudyService>(siteBase(), m_options.pageBase);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() only reaches a server that is already running.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_server->is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_server->is_running();
}

void DevService::waitDelay(std::chrono::milliseconds delay)
{
    std::unique_lock<std::mutex> lock(m_lock);
    const std::uint64_t resets = m_resets;
    m_delayEnds.wait_for(lock, delay, [&] { return m_resets != resets; });
}

void DevService::stop()
{
    {
        // A long delay under way must not hold the server's threads past its end.
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_resets;
    }
    m_delayEnds.notify_all();
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

void DevService::addFault(const Fault& fault)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_faults.push_back(fault);
}

void DevService::reset()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_faults.clear();
        m_requests.clear();
        ++m_resets;
    }
    m_delayEnds.notify_all();
    if (m_service)
        m_service->Reset();
}

std::vector<RecordedRequest> DevService::requests() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

void DevService::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_requests.clear();
}

void DevService::addMedia(const std::string& name, std::string bytes, std::string type)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_media[name] = Media{std::move(bytes), std::move(type)};
}

std::optional<Fault> DevService::takeFault(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (!startsWith(path, it->path))
            continue;
        Fault fault = *it;
        if (it->times > 0 && --it->times == 0)
            m_faults.erase(it);
        return fault;
    }
    return std::nullopt;
}

void DevService::handle(const httplib::Request& req, httplib::Response& res)
{
    try {
        if (startsWith(req.path, kControlPrefix)) {
            handleControl(req, res);
            return;
        }
        {
            RecordedRequest record;
            record.method = req.method;
            record.path = req.target.empty() ? req.path : req.target;
            for (const auto& [name, value] : req.headers) {
                if (isRecordedHeader(name))
                    record.headers.emplace_back(name, value);
            }
            record.body = req.body;
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(std::move(record));
        }

        const std::optional<Fault> fault = takeFault(req.path);
        if (fault && fault->delayMs > 0)
            waitDelay(std::chrono::milliseconds(fault->delayMs));
        if (fault && fault->drop) {
            dropConnection(req);
            res.status = 500;
            return;
        }
        if (fault && fault->status > 0) {
            res.status = fault->status;
            if (fault->emptyBody)
                return;
            res.set_content(std::to_string(fault->status) + " (fault injected by the dev service)\n",
                            "text/plain; charset=utf-8");
            return;
        }
        route(req, res);
        if (fault && fault->truncate >= 0) {
            const auto body = std::make_shared<std::string>(std::move(res.body));
            const std::size_t keep = std::min<std::size_t>(static_cast<std::size_t>(fault->truncate), body->size());
            std::string type = res.get_header_value("Content-Type");
            res.body.clear();
            res.headers.erase("Content-Type");
            // The full length is announced; the connection ends after keep bytes.
            res.set_content_provider(body->size(), type,
                                     [body, keep](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                         if (offset >= keep)
                                             return false;
                                         sink.write(body->data() + offset, std::min(length, keep - offset));
                                         return true;
                                     });
        }
    } catch (const std::exception&) {
        res.status = 500;
        res.set_content("internal error\n", "text/plain; charset=utf-8");
    }
}

void DevService::route(const httplib::Request& req, httplib::Response& res)
{
    const std::string pagePrefix = m_options.pageBase + "/";
    const std::string updatePrefix = m_options.updatePath + "/";
    if (req.path == m_options.postPath) {
        if (req.method != "POST") {
            res.status = 405;
            res.set_content("POST only\n", "text/plain; charset=utf-8");
            return;
        }
        std::string started;
        res.set_content(m_service->Answer(req.body, sessionOf(req), &started), kJson);
        if (!started.empty())
            res.set_header("Set-Cookie", SessionCookieHeader(started));
        return;
    }
    if (startsWith(req.path, pagePrefix)) {
        servePage(req, res, req.path.substr(pagePrefix.size()));
        return;
    }
    if (startsWith(req.path, updatePrefix) && !m_options.updateFolder.empty()) {
        serveUpdateFile(req.path.substr(updatePrefix.size()), res);
        return;
    }
    if (req.path == "/") {
        res.set_content(FrontPage(m_options.pageBase), kHtml);
        return;
    }
    res.status = 404;
    res.set_content(notFoundPage(req.path), kHtml);
}

void DevService::servePage(const httplib::Request& req, httplib::Response& res, const std::string& name)
{
    static const std::string kAvatar = "avatar/";
    if (startsWith(name, kAvatar)) {
        const std::string file = name.substr(kAvatar.size());
        for (const auto& [uid, png] : m_pictures) {
            if (file == std::to_string(uid) + ".png") {
                res.set_content(png, "image/png");
                return;
            }
        }
        res.status = 404;
        res.set_content(notFoundPage(req.path), kHtml);
        return;
    }
    if (name == "ad_top.htm" || name == "ad_login.htm") {
        res.set_content(AdvertisementPage(name), kHtml);
        return;
    }
    if (name == "social_login.htm") {
        const std::string site = req.get_param_value("site");
        if (req.has_param("member")) {
            int uid = 0;
            try {
                uid = std::stoi(req.get_param_value("member"));
            } catch (const std::exception&) {
            }
            // The account confirmed: the browser now carries the member's session, and the
            // client's "get_login_info" with it.
            if (const std::string session = m_service->StartSession(uid); !session.empty())
                res.set_header("Set-Cookie", SessionCookieHeader(session));
            res.set_redirect(pageBaseAddress() + "/memberCenter_testCenter.htm");
            return;
        }
        res.set_content(SocialLoginPage(site, pageBaseAddress() + "/social_login.htm?site=" + site), kHtml);
        return;
    }
    PageParams params(req.params.begin(), req.params.end());
    static const std::string kBrowser = "browser/";
    static const std::string kFile = "browser/file/";
    static const std::string kMedia = "browser/media/";
    if (startsWith(name, kMedia)) {
        std::unique_lock<std::mutex> lock(m_lock);
        const auto it = m_media.find(name.substr(kMedia.size()));
        if (it == m_media.end()) {
            lock.unlock();
            res.status = 404;
            res.set_content(notFoundPage(req.path), kHtml);
            return;
        }
        res.set_content(it->second.bytes, it->second.type); // ranges are the library's
        return;
    }
    if (startsWith(name, kFile)) {
        const std::string file = name.substr(kFile.size());
        if (file != "data.bin")
            res.set_header("Content-Disposition", "attachment; filename=\"" + file + "\"");
        res.set_content(BrowserTestFile(), file == "data.bin" ? "application/x-kavrel-data" : "application/octet-stream");
        return;
    }
    if (startsWith(name, kBrowser)) {
        const std::string page = BrowserTestPage(name.substr(kBrowser.size()), params, pageBaseAddress());
        if (page.empty()) {
            res.status = 404;
            res.set_content(notFoundPage(req.path), kHtml);
        } else {
            res.set_content(page, kHtml);
        }
        return;
    }
    std::string memberName;
    if (IsMemberPage(name)) {
        if (const auto member = m_service->MemberOfSession(sessionOf(req)))
            memberName = member->realname.empty() ? member->username : member->realname;
    }
    res.set_content(StudyPage(name, params, memberName), kHtml);
}

void DevService::serveUpdateFile(const std::string& relative, httplib::Response& res)
{
    namespace fs = std::filesystem;
    const fs::path rel = fs::path(relative).lexically_normal();
    bool inside = !rel.empty() && rel.is_relative();
    for (const fs::path& part : rel) {
        if (part == "..")
            inside = false;
    }
    const fs::path file = fs::path(m_options.updateFolder) / rel;
    std::error_code ec;
    if (!inside || !fs::is_regular_file(file, ec)) {
        res.status = 404;
        res.set_content(notFoundPage(relative), kHtml);
        return;
    }
    std::ifstream in(file, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const bool xml = file.extension() == ".xml";
    res.set_content(std::move(bytes), xml ? "text/xml; charset=utf-8" : "application/octet-stream");
}

void DevService::handleControl(const httplib::Request& req, httplib::Response& res)
{
    const std::string what = req.path.substr(std::string(kControlPrefix).size());
    Json::Value body(Json::objectValue);
    if (req.method == "POST" && !req.body.empty() && !ParseJsonObject(req.body, body)) {
        res.status = 400;
        res.set_content("{\"ok\":false,\"error\":\"bad JSON\"}\n", kJson);
        return;
    }
    Json::Value answer(Json::objectValue);
    answer["ok"] = true;
    if (what == "fault" && req.method == "POST") {
        Fault fault;
        fault.path = stringOf(body, "path");
        fault.status = intOf(body, "status", 0);
        fault.delayMs = intOf(body, "delayMs", 0);
        fault.truncate = intOf(body, "truncate", -1);
        fault.drop = body["drop"].isBool() && body["drop"].asBool();
        fault.emptyBody = body["emptyBody"].isBool() && body["emptyBody"].asBool();
        fault.times = intOf(body, "times", 1);
        addFault(fault);
    } else if (what == "notice" && req.method == "POST") {
        m_service->PushNotice(stringOf(body, "notice"), stringOf(body, "href"), intOf(body, "noticeType", 0));
    } else if (what == "logout" && req.method == "POST") {
        m_service->ForceLogout();
    } else if (what == "reset" && req.method == "POST") {
        reset();
    } else if (what == "requests" && req.method == "GET") {
        Json::Value list(Json::arrayValue);
        for (const RecordedRequest& r : requests()) {
            Json::Value item(Json::objectValue);
            item["method"] = r.method;
            item["path"] = r.path;
            Json::Value headers(Json::arrayValue);
            for (const auto& [name, value] : r.headers) {
                Json::Value pair(Json::arrayValue);
                pair.append(name);
                pair.append(value);
                headers.append(pair);
            }
            item["headers"] = headers;
            item["body"] = r.body;
            list.append(item);
        }
        answer["requests"] = list;
    } else {
        res.status = 404;
        answer["ok"] = false;
        answer["error"] = "unknown control request";
    }
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    res.set_content(Json::writeString(builder, answer) + "\n", kJson);
}

} // namespace devservice
