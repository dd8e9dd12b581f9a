#include "cli_SilentRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool sendAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= sent;
    }
    return true;
}

}  // namespace

SilentRelay::SilentRelay(int targetPort, const QByteArray& trigger)
    : targetPort_(targetPort), trigger_(trigger.toLower()) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&SilentRelay::run, this);
}

SilentRelay::~SilentRelay() {
    quit_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

void SilentRelay::run() {
    // Pairs of descriptors: even index the client's side, the next one the server's.
    std::vector<int> ends;
    std::vector<char> buffer(65536);
    while (!quit_) {
        std::vector<pollfd> watched{{listener_, POLLIN, 0}};
        for (int fd : ends) {
            watched.push_back({fd, POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), 100) <= 0) {
            continue;
        }
        if (watched[0].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in target = loopback(targetPort_);
            if (client >= 0 && server >= 0 &&
                ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
                ends.push_back(client);
                ends.push_back(server);
            } else {
                ::close(client);
                ::close(server);
            }
        }
        for (size_t i = 1; i < watched.size(); ++i) {
            if ((watched[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const size_t end = i - 1;
            const int from = ends[end];
            const int to = ends[end ^ 1];
            const ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
            if (got <= 0) {
                // A client that leaves ends its conversation; a server that leaves a silent relay goes
                // unnoticed by the client, whose side stays open.
                ::close(from);
                ends[end] = -1;
                if (end % 2 == 0 || !silent_) {
                    ::close(to);
                    ends[end ^ 1] = -1;
                }
                continue;
            }
            if (end % 2 == 0 && QByteArray(buffer.data(), got).toLower().contains(trigger_)) {
                silent_ = true;
            }
            if (!silent_) {
                sendAll(to, buffer.data(), got);
            }
        }
    }
    for (int fd : ends) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}
