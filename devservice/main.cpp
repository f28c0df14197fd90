// kavrel-devservice: the local study service for development, demos and end-to-end tests.
//
//   kavrel-devservice [--host H] [--port P] [--update-folder DIR] [--post-path PATH]
//                     [--page-base PATH] [--tls-cert FILE --tls-key FILE]
//
// With --tls-cert and --tls-key (PEM files, both or neither) it serves https instead.
// Prints one line with the address it listens on, then serves until SIGINT or SIGTERM.
// Exit codes: 0 after a signal, 1 when the port cannot be bound or the certificate and key
// cannot be loaded, 2 for a bad command line.
#include "devservice/DevService.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void usage()
{
    std::fprintf(stderr, "usage: kavrel-devservice [--host H] [--port P] [--update-folder DIR] "
                         "[--post-path PATH] [--page-base PATH] [--tls-cert FILE --tls-key FILE]\n");
}

} // namespace

int main(int argc, char** argv)
{
    devservice::DevServiceOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        const std::string value = argv[++i];
        if (arg == "--host") {
            options.host = value;
        } else if (arg == "--port") {
            try {
                std::size_t used = 0;
                options.port = std::stoi(value, &used);
                if (used != value.size() || options.port < 0 || options.port > 65535)
                    throw std::out_of_range(value);
            } catch (const std::exception&) {
                usage();
                return 2;
            }
        } else if (arg == "--update-folder") {
            options.updateFolder = value;
        } else if (arg == "--post-path") {
            options.postPath = value;
        } else if (arg == "--page-base") {
            options.pageBase = value;
        } else if (arg == "--tls-cert") {
            options.tlsCert = value;
        } else if (arg == "--tls-key") {
            options.tlsKey = value;
        } else {
            usage();
            return 2;
        }
    }

    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        usage();
        return 2;
    }

    // Signals are taken by sigwait below, so every thread started from here blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    devservice::DevService service(options);
    if (!service.start()) {
        std::fprintf(stderr, "kavrel-devservice: cannot listen on %s:%d%s\n", options.host.c_str(), options.port,
                     options.tlsCert.empty() ? "" : " with that certificate and key");
        return 1;
    }
    std::printf("kavrel-devservice listening on %s\n", service.siteBase().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    service.stop();
    return 0;
}
