// nginx on loopback for the update tests: a real web server that serves a published
// folder, in the foreground, one process, everything it writes below a prefix folder.
#pragma once

#include "LoopbackSocket.h"
#include "TempDir.h"
#include "UpdaterChildProcess.h"

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

inline const std::string kNginx = "/usr/sbin/nginx";

class NginxServer {
public:
    NginxServer(const std::filesystem::path& prefix, const std::filesystem::path& root) : m_port(freePort())
    {
        std::filesystem::create_directories(prefix / "temp");
        const std::string p = prefix.string();
        std::ofstream(prefix / "nginx.conf") << "daemon off;\nmaster_process off;\npid " << p << "/nginx.pid;\n"
                                             << "error_log " << p << "/error.log;\n"
                                             << "events { worker_connections 64; }\n"
                                             << "http {\n  default_type application/octet-stream;\n"
                                             << "  access_log " << p << "/access.log;\n"
                                             << "  client_body_temp_path " << p << "/temp/body;\n"
                                             << "  proxy_temp_path " << p << "/temp/proxy;\n"
                                             << "  fastcgi_temp_path " << p << "/temp/fastcgi;\n"
                                             << "  uwsgi_temp_path " << p << "/temp/uwsgi;\n"
                                             << "  scgi_temp_path " << p << "/temp/scgi;\n"
                                             << "  server {\n    listen 127.0.0.1:" << m_port << ";\n"
                                             << "    root " << root.string() << ";\n  }\n}\n";
        m_process = std::make_unique<UpdaterChildProcess>(
            kNginx, std::vector<std::string>{"-p", p + "/", "-c", p + "/nginx.conf", "-e", p + "/error.log"},
            std::map<std::string, std::string>{}, p + "/stdout.txt");
        m_log = prefix / "access.log";
    }
    ~NginxServer()
    {
        if (m_process && m_process->started()) {
            ::kill(m_process->pid(), SIGTERM);
            m_process->wait();
        }
    }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool ready() const
    {
        return m_process->started() && waitUntil([&] { return accepting(m_port); }, std::chrono::seconds(10));
    }
    int port() const { return m_port; }
    std::string accessLog() const { return TempDir::readFile(m_log); }

private:
    static int freePort()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int port = bindLoopback(s);
        ::close(s);
        return port;
    }
    static bool accepting(int port)
    {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        const bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(s);
        return connected;
    }

    int m_port;
    std::unique_ptr<UpdaterChildProcess> m_process;
    std::filesystem::path m_log;
};

} // namespace testsupport
