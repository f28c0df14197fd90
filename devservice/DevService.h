// The local study service: the protocol's post address, the study pages, member pictures
// and a published update folder over HTTP (or HTTPS) on one port, with a control surface
// for tests.
//
// Paths (defaults):
//   POST /service/post                         the four commands (StudyService); a successful
//                                              login sets the session cookie "SID"
//   GET  /soft/<page name>                     study, advertisement and external-login pages
//   GET  /soft/avatar/<uid>.png                member pictures
//   GET  /SOFTWARES/VEL_SOFT_V2013/update/...  files of the update folder, manifest included
//   GET  /                                     front page of the web site
//   /control/...                               the control path (below); never recorded
//
// Control path (JSON bodies): POST /control/fault {"path", "status", "emptyBody", "delayMs",
// "truncate", "drop", "times"}; POST /control/notice {"notice", "href", "noticeType"}; POST
// /control/logout (forced-logout notice); POST /control/reset; GET /control/requests.
//
// Threads: start and stop on one thread; every other operation from any thread.
#pragma once

#include "devservice/StudyService.h"

#include <map>
#include <memory>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}

namespace devservice {

struct DevServiceOptions {
    std::string host = "127.0.0.1";
    int port = 18080;             // 0: any free port
    std::string postPath = "/service/post";
    std::string pageBase = "/soft";
    std::string updateFolder;     // published update folder; empty: none
    std::string updatePath = "/SOFTWARES/VEL_SOFT_V2013/update";
    // Both set: https with this certificate chain and key (PEM files); else plain http.
    std::string tlsCert;
    std::string tlsKey;
};

// What the service does to the next requests whose path starts with path ("" matches all).
struct Fault {
    std::string path;
    int status = 0;        // answer with this status (and a short text) instead
    int delayMs = 0;       // wait before answering
    long truncate = -1;    // send the announced length but only this many body bytes
    bool drop = false;     // close the connection without answering
    int times = 1;         // how many requests it applies to; 0 or less: all until reset
    bool emptyBody = false; // with status: the answer has no body at all
};

struct RecordedRequest {
    std::string method;
    std::string path;   // as sent, query included
    std::vector<std::pair<std::string, std::string>> headers; // as the server parsed them
    std::string body;

    std::string header(const std::string& name) const; // first value, "" when absent
};

// The Set-Cookie value that gives a client this session.
std::string SessionCookieHeader(const std::string& session);

class DevService {
public:
    explicit DevService(DevServiceOptions options);
    ~DevService();

    DevService(const DevService&) = delete;
    DevService& operator=(const DevService&) = delete;

    // Binds and starts serving on a thread of its own. False when the port cannot be bound
    // or the TLS certificate and key cannot be loaded.
    [[nodiscard]] bool start();
    void stop();

    int port() const { return m_port; }
    // "http://host:port", or "https://host:port" over TLS; an IPv6 host in brackets.
    std::string siteBase() const;
    std::string postAddress() const { return siteBase() + m_options.postPath; }
    std::string pageBaseAddress() const { return siteBase() + m_options.pageBase; }

    // The protocol side; exists from a successful start on.
    StudyService& service() { return *m_service; }

    void addFault(const Fault& fault);
    // Serves bytes of the given type at <page base>/browser/media/<name> (a video a test
    // made), until stop.
    void addMedia(const std::string& name, std::string bytes, std::string type);
    void reset(); // faults, records and pending notices
    std::vector<RecordedRequest> requests() const;
    void clearRequests();

private:
    void handle(const httplib::Request& req, httplib::Response& res);
    void handleControl(const httplib::Request& req, httplib::Response& res);
    void route(const httplib::Request& req, httplib::Response& res);
    void servePage(const httplib::Request& req, httplib::Response& res, const std::string& name);
    void serveUpdateFile(const std::string& relative, httplib::Response& res);
    std::optional<Fault> takeFault(const std::string& path);
    // A fault's delay; reset and stop end it early.
    void waitDelay(std::chrono::milliseconds delay);

    DevServiceOptions m_options;
    int m_port = 0;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<StudyService> m_service;
    std::thread m_thread;

    mutable std::mutex m_lock;
    std::vector<Fault> m_faults;
    std::condition_variable m_delayEnds;
    std::uint64_t m_resets = 0; // delays under way end when it changes
    std::vector<RecordedRequest> m_requests;
    std::vector<std::pair<int, std::string>> m_pictures; // uid, PNG bytes
    struct Media {
        std::string bytes;
        std::string type;
    };
    std::map<std::string, Media> m_media; // by name
};

} // namespace devservice
