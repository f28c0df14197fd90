// Loopback servers for the updater's tests.
//
// UpdaterTestServer: a cpp-httplib server that publishes named files under the update
// folder of the download server, records every request path in arrival order, and can
// make a file fail in the ways a real server does (error status, fewer bytes than
// announced, a stall). ResettingServer: accepts connections and resets them at once.
#pragma once

#include <httplib.h>

#include "LoopbackHttpServer.h"
#include "LoopbackSocket.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

class UpdaterTestServer {
public:
    static constexpr const char* kFolder = "/SOFTWARES/VEL_SOFT_V2013/update/";

    enum class Fault {
        None,
        NotFound,     // 404 with an HTML body
        ServerError,  // 500 with an HTML body
        ShortBody,    // announces the full length, sends half, closes
        Stall,        // sends headers, then nothing until the server stops
        Endless,      // an endless chunked body of 64 KiB chunks
        Drip,         // the announced bytes, one every 200 ms
    };

    UpdaterTestServer()
    {
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            serve(request, response);
        });
        m_running.emplace(m_server);
    }

    ~UpdaterTestServer()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_released.notify_all();
        m_running.reset();
    }

    UpdaterTestServer(const UpdaterTestServer&) = delete;
    UpdaterTestServer& operator=(const UpdaterTestServer&) = delete;

    void put(const std::string& name, std::string bytes, Fault fault = Fault::None)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files[name] = {std::move(bytes), fault};
    }

    bool started() const { return m_running->started(); }
    int port() const { return m_running->port(); }
    std::string baseUrl() const { return m_running->origin() + kFolder; }
    std::string url(const std::string& name) const { return baseUrl() + name; }

    // Decoded request paths, oldest first.
    std::vector<std::string> requests() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    void clearRequests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.clear();
    }

    // The path a request for `name` arrives with.
    static std::string pathOf(const std::string& name) { return std::string(kFolder) + name; }

private:
    struct File {
        std::string bytes;
        Fault fault = Fault::None;
    };

    void serve(const httplib::Request& request, httplib::Response& response)
    {
        File file;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request.path);
            const std::string folder = kFolder;
            const auto found = request.path.rfind(folder, 0) == 0 ? m_files.find(request.path.substr(folder.size()))
                                                                   : m_files.end();
            if (found == m_files.end()) {
                response.status = 404;
                response.set_content("<html><body>404 Not Found</body></html>", "text/html");
                return;
            }
            file = found->second;
        }
        switch (file.fault) {
        case Fault::None:
            response.set_content(file.bytes, "application/octet-stream");
            return;
        case Fault::NotFound:
            response.status = 404;
            response.set_content("<html><body>404 Not Found</body></html>", "text/html");
            return;
        case Fault::ServerError:
            response.status = 500;
            response.set_content("<html><body>500 Internal Server Error</body></html>", "text/html");
            return;
        case Fault::ShortBody: {
            const std::string half = file.bytes.substr(0, file.bytes.size() / 2);
            response.set_content_provider(file.bytes.size(), "application/octet-stream",
                                          [half](size_t offset, size_t, httplib::DataSink& sink) {
                                              if (offset == 0 && !half.empty())
                                                  sink.write(half.data(), half.size());
                                              return false; // the connection closes here
                                          });
            return;
        }
        case Fault::Endless:
            response.set_chunked_content_provider("application/octet-stream",
                                                  [this, chunk = std::string(1 << 16, 'x')](size_t, httplib::DataSink& sink) {
                                                      return !stopping() && sink.write(chunk.data(), chunk.size());
                                                  });
            return;
        case Fault::Drip:
            response.set_content_provider(file.bytes.size(), "application/octet-stream",
                                          [this, bytes = file.bytes](size_t offset, size_t, httplib::DataSink& sink) {
                                              std::unique_lock<std::mutex> lock(m_mutex);
                                              if (m_released.wait_for(lock, std::chrono::milliseconds(200),
                                                                      [this] { return m_stopping; }))
                                                  return false;
                                              lock.unlock();
                                              return sink.write(bytes.data() + offset, 1);
                                          });
            return;
        case Fault::Stall:
            response.set_content_provider(file.bytes.size(), "application/octet-stream",
                                          [this](size_t, size_t, httplib::DataSink&) {
                                              std::unique_lock<std::mutex> lock(m_mutex);
                                              m_released.wait_for(lock, std::chrono::seconds(30),
                                                                  [this] { return m_stopping; });
                                              return false;
                                          });
            return;
        }
    }

    bool stopping() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stopping;
    }

    httplib::Server m_server;
    std::optional<LoopbackHttpServer> m_running;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_stopping = false;
    std::map<std::string, File> m_files;
    std::vector<std::string> m_requests;
};

// Accepts every connection and resets it (RST) without a byte of answer.
class ResettingServer {
public:
    ResettingServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        m_port = testsupport::bindLoopback(m_listener);
        ::listen(m_listener, 8);
        m_thread = std::thread([this] {
            for (;;) {
                const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection < 0)
                    return;
                ++m_accepted;
                linger reset{1, 0};
                ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                ::close(connection);
            }
        });
    }
    ~ResettingServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    ResettingServer(const ResettingServer&) = delete;
    ResettingServer& operator=(const ResettingServer&) = delete;

    std::string url(const std::string& name) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + UpdaterTestServer::kFolder + name;
    }
    int accepted() const { return m_accepted; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

} // namespace testsupport
