#include "tools/monitor/line_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace korvan {

LineServer::~LineServer() { Stop(); }

bool LineServer::Start(const std::string& address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        lastError_ = address + " is not an IPv4 address";
        return false;
    }
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    if (listener_ < 0 || setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        listen(listener_, 8) != 0 || pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        lastError_ = "cannot listen on " + address + ":" + std::to_string(port) + ": " +
                     std::strerror(errno);
        Stop();
        return false;
    }
    socklen_t length = sizeof where;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&where), &length);
    port_ = ntohs(where.sin_port);
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void LineServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) {
        Wake();
        thread_.join();
    }
    for (int* fd : {&listener_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (Client& c : clients_) close(c.Fd);
    clients_.clear();
}

void LineServer::Wake() {
    const char byte = 1;
    if (wake_[1] < 0) return;
    // A full pipe already holds a wake-up.
    const ssize_t n = write(wake_[1], &byte, 1);
    static_cast<void>(n);
}

void LineServer::Send(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (clients_.empty()) return;
        for (Client& c : clients_) {
            c.Queue += line;
            c.Queue += '\n';
        }
    }
    Wake();
}

size_t LineServer::Clients() {
    std::lock_guard<std::mutex> lock(mutex_);
    return clients_.size();
}

bool LineServer::Accept() {
    for (;;) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (clients_.size() >= MaxClients) {
            close(fd);  // the reader sees the end of the stream at once
            continue;
        }
        clients_.push_back({fd, {}});
        ++joined_;
    }
}

void LineServer::Run() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point acceptAgain{};
    while (!stop_) {
        // While accepting is paused the listener is left out (poll skips a negative fd).
        const auto pause = std::chrono::ceil<std::chrono::milliseconds>(acceptAgain - Clock::now());
        const bool paused = pause.count() > 0;
        std::vector<pollfd> watched = {{wake_[0], POLLIN, 0}, {paused ? -1 : listener_, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const Client& c : clients_)
                watched.push_back(
                    {c.Fd, static_cast<short>(c.Queue.empty() ? POLLIN : POLLIN | POLLOUT), 0});
        }
        const int wait = paused ? static_cast<int>(std::min<long long>(pause.count(), 1000)) : 1000;
        if (poll(watched.data(), watched.size(), wait) < 0 && errno != EINTR) break;
        if (watched[0].revents & POLLIN) {
            char drain[64];
            while (read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if ((watched[1].revents & POLLIN) && !Accept())
            acceptAgain = Clock::now() + std::chrono::milliseconds(AcceptPauseMs);
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 2; i < watched.size(); ++i) {
            const pollfd& p = watched[i];
            auto client = clients_.begin();
            while (client != clients_.end() && client->Fd != p.fd) ++client;
            if (client == clients_.end()) continue;
            bool gone = (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
            if (!gone && (p.revents & POLLIN)) {
                // What a client says is not for us; end of stream means it left.
                char ignored[512];
                const ssize_t n = recv(p.fd, ignored, sizeof ignored, 0);
                gone = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
            }
            if (!gone && !client->Queue.empty()) {
                const ssize_t n =
                    send(p.fd, client->Queue.data(), client->Queue.size(), MSG_NOSIGNAL);
                if (n > 0) client->Queue.erase(0, static_cast<size_t>(n));
                gone = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
            }
            gone = gone || client->Queue.size() > QueueLimit;
            if (gone) {
                close(client->Fd);
                clients_.erase(client);
            }
        }
    }
}

}  // namespace korvan
