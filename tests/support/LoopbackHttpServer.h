// Runs a cpp-httplib server (plain or TLS) on a loopback address, 127.0.0.1 unless told
// otherwise ("::1"), on a port the system picks, on a thread of its own. The caller sets
// up the routes first and keeps the server alive longer than this object.
//
// started() says whether the server is accepting; it is false when the port could not be
// bound or the accept loop did not begin within the deadline, so a test fails with a
// message instead of hanging. stop() (and the destructor) returns only once the accept
// loop has ended: a stop issued before the loop began would otherwise be lost and leave
// the join waiting for ever.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

namespace testsupport {

class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(httplib::Server& server, std::string host = "127.0.0.1",
                                std::chrono::milliseconds deadline = std::chrono::seconds(10))
        : m_server(server), m_host(std::move(host))
    {
        m_port = m_server.bind_to_any_port(m_host);
        if (m_port <= 0) {
            m_port = 0;
            return;
        }
        // Bound and listening already: connections wait in the backlog until accepted.
        m_thread = std::thread([this] {
            m_server.listen_after_bind();
            m_ended = true;
        });
        const auto until = std::chrono::steady_clock::now() + deadline;
        while (!m_server.is_running() && !m_ended && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_started = m_server.is_running();
    }

    ~LoopbackHttpServer() { stop(); }

    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    void stop()
    {
        if (!m_thread.joinable())
            return;
        while (!m_ended) {
            m_server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_thread.join();
    }

    [[nodiscard]] bool started() const { return m_started; }
    [[nodiscard]] int port() const { return m_port; }
    // "http://127.0.0.1:<port>" ("http://[::1]:<port>"), to which a test appends its path.
    [[nodiscard]] std::string origin() const
    {
        const bool ipv6 = m_host.find(':') != std::string::npos;
        return "http://" + (ipv6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_port);
    }

private:
    httplib::Server& m_server;
    std::string m_host;
    int m_port = 0;
    bool m_started = false;
    std::atomic<bool> m_ended{false};
    std::thread m_thread;
};

} // namespace testsupport
