// nbxd -c FILE: runs one host until SIGTERM or SIGINT.
//
// Exit codes: 0 after a clean stop, 2 when the configuration or the start fails (one line on
// standard error saying why), 1 for a wrong command line.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "host/host_config_file.h"
#include "host/host_daemon.h"

namespace {

int usage() {
    std::cerr << "usage: nbxd -c FILE\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-c" && i + 1 < argc) {
            file = argv[++i];
        } else {
            return usage();
        }
    }
    if (file.empty()) return usage();

    // Every thread inherits the blocked signals; the main thread alone takes them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        host::CHostDaemon daemon(host::CHostConfigFile::read(file));
        daemon.start();
        int received = 0;
        sigwait(&signals, &received);
        daemon.stop();
    } catch (nbx::CException& failure) {
        std::cerr << "nbxd: " << failure.text() << "\n";
        return 2;
    } catch (std::exception& failure) {
        std::cerr << "nbxd: " << failure.what() << "\n";
        return 2;
    }
    return 0;
}
