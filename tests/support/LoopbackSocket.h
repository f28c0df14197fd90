// Loopback sockets for tests: a socket bound to 127.0.0.1 on a port the system picks.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace testsupport {

// Binds fd to 127.0.0.1 on a free port and answers that port (0 when binding failed).
inline int bindLoopback(int fd)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return 0;
    socklen_t size = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace testsupport
