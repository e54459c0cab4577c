#include "tests/relay/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace korvan {

RawClient::RawClient(uint16_t port, const char* from) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return;
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, from, &source.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

RawClient::~RawClient() {
    if (fd_ >= 0) close(fd_);
}

bool RawClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

void RawClient::ShutdownWrite() { shutdown(fd_, SHUT_WR); }

long RawClient::ReadSome(std::chrono::milliseconds limit) {
    pollfd waiting{fd_, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(limit.count())) <= 0) return -1;
    char chunk[16384];
    ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return 0;
    buffered_.append(chunk, static_cast<size_t>(got));
    return got;
}

std::string RawClient::ReadAnswer(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        const size_t headEnd = buffered_.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
            const size_t at = buffered_.find("Content-Length: ");
            if (at != std::string::npos && at < headEnd) {
                const size_t total =
                    headEnd + 4 + std::strtoul(buffered_.c_str() + at + 16, nullptr, 10);
                if (buffered_.size() >= total) {
                    std::string answer = buffered_.substr(0, total);
                    buffered_.erase(0, total);
                    return answer;
                }
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ReadSome(left) <= 0) break;
    }
    std::string partial;
    partial.swap(buffered_);
    return partial;
}

bool RawClient::ClosedByServer(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const long got = ReadSome(std::max(left, std::chrono::milliseconds(0)));
        if (got == 0) return true;
        if (got < 0) return false;  // nothing more within the time
        buffered_.clear();
    }
}

std::string RawGet(const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

int StatusOf(const std::string& answer) {
    if (answer.rfind("HTTP/1.1 ", 0) != 0 || answer.size() < 12) return 0;
    return std::atoi(answer.c_str() + 9);
}

std::string BodyOf(const std::string& answer) {
    const size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

}  // namespace korvan
