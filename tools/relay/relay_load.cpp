// korvan-relay-load: load figures of korvan-relay on loopback. It starts the
// server as its own process with its default options, then runs rounds of
// clients that poll it back to back over kept-alive connections (customer and
// technician pairs, each pair in a session of its own, each client from an
// address of 127.1.0.0/16), optionally while sockets from 127.0.0.2 are held
// open without a request. Prints requests per second, latency percentiles and
// what was refused. Linux only (epoll).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "relay/relay_protocol.h"
#include "tools/relay/relay_server.h"

extern char** environ;

namespace {

using korvan::RelayDataField;
using korvan::RelayPagePath;
using korvan::RelaySide;
using korvan::RelayTimeField;
using korvan::RelayUserField;
using korvan::RelayUserName;
using Clock = std::chrono::steady_clock;

struct Round {
    int Clients;
    int IdleSockets;
    int PauseMs;            // between an answer and the client's next request; 0: back to back
    bool KeepAlive = true;  // false: a new connection for every request
};

struct Figures {
    std::vector<double> LatencyMs;
    long Refused = 0;        // connection refused, reset or closed before the answer
    long NotOk = 0;          // answers other than 200
    long IdleHeld = 0;       // idle sockets still open at the end
    long Answers = 0;        // during the warm-up too
    double ServerCpuUs = 0;  // the server's CPU over the whole round
};

struct Client {
    int Fd = -1;
    std::string Source;
    std::string Request;
    size_t Sent = 0;
    std::string Answer;
    Clock::time_point Began;
    bool Idle = false;  // an idle socket: connects, never asks
    bool Connected = false;
};

// Clients waiting out their pause, soonest first.
using Later = std::pair<Clock::time_point, Client*>;
std::priority_queue<Later, std::vector<Later>, std::greater<Later>> paused;
std::chrono::milliseconds pause{0};
Clock::time_point measureFrom;

int epollFd = -1;
uint16_t serverPort = 0;

std::string StateRequest(int pair, bool customer, bool keepAlive) {
    char session[32];
    std::snprintf(session, sizeof session, "/LOAD-%06d", pair);
    std::string target =
        std::string(session) + std::string(RelayPagePath) + "?" + std::string(RelayUserField) +
        "=" + std::string(RelayUserName(customer ? RelaySide::Client : RelaySide::Support)) + "&" +
        std::string(RelayDataField) + "=";
    if (customer) {
        target += "2";
        for (int i = 0; i < 144; ++i) {
            target += '$';
            target += std::to_string((i * 37 + pair) % 256);
        }
    } else {
        target += "0";
    }
    return "GET " + target + "&" + std::string(RelayTimeField) +
           "=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: korvan-relay-load\r\n" +
           (keepAlive ? "" : "Connection: close\r\n") + "\r\n";
}

void Close(Client& client) {
    if (client.Fd >= 0) close(client.Fd);
    client.Fd = -1;
    client.Connected = false;
}

void Connect(Client& client, Figures& figures) {
    Close(client);
    client.Fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, client.Source.c_str(), &source.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(serverPort);
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (client.Fd < 0 ||
        bind(client.Fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        (connect(client.Fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 &&
         errno != EINPROGRESS)) {
        ++figures.Refused;
        Close(client);
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;
    event.data.ptr = &client;
    epoll_ctl(epollFd, EPOLL_CTL_ADD, client.Fd, &event);
}

// Starts the next request: on the kept connection, or on a new one.
void Begin(Client& client, Figures& figures) {
    client.Began = Clock::now();
    client.Sent = 0;
    client.Answer.clear();
    if (client.Fd < 0) Connect(client, figures);
    if (client.Fd < 0 || !client.Connected) return;  // sent once connected
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;
    event.data.ptr = &client;
    epoll_ctl(epollFd, EPOLL_CTL_MOD, client.Fd, &event);
}

void SendSome(Client& client) {
    while (client.Sent < client.Request.size()) {
        ssize_t n = send(client.Fd, client.Request.data() + client.Sent,
                         client.Request.size() - client.Sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        client.Sent += static_cast<size_t>(n);
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.ptr = &client;
    epoll_ctl(epollFd, EPOLL_CTL_MOD, client.Fd, &event);
}

// True once a whole answer is in; its status goes to status.
bool Complete(const std::string& answer, int& status, bool& closes) {
    const size_t headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    const size_t length = answer.find("Content-Length: ");
    if (length == std::string::npos || length > headEnd) return false;
    if (answer.size() < headEnd + 4 + std::strtoul(answer.c_str() + length + 16, nullptr, 10))
        return false;
    status = answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
    closes = answer.find("Connection: close", 0) < headEnd;
    return true;
}

void Readable(Client& client, Figures& figures, bool measuring) {
    char chunk[8192];
    while (true) {
        ssize_t n = recv(client.Fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            client.Answer.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        int status = 0;
        bool closes = false;
        // An answer the server closed its connection after.
        if (!client.Idle && Complete(client.Answer, status, closes)) break;
        // Closed: a refusal when a request was under way, else the end of a kept connection.
        if (measuring && !client.Idle && (client.Sent > 0 || !client.Answer.empty()))
            ++figures.Refused;
        Close(client);
        if (!client.Idle) Begin(client, figures);
        return;
    }
    int status = 0;
    bool closes = false;
    if (client.Idle || !Complete(client.Answer, status, closes)) return;
    ++figures.Answers;
    // Only requests begun after the warm-up count: connections made in its rush
    // would bring their waits along.
    if (measuring && client.Began >= measureFrom) {
        figures.LatencyMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - client.Began).count());
        if (status != 200) ++figures.NotOk;
    }
    if (closes || client.Request.find("Connection: close") != std::string::npos) Close(client);
    if (pause.count() == 0) {
        Begin(client, figures);
    } else {
        paused.push({Clock::now() + pause, &client});
    }
}

void Handle(Client& client, uint32_t events, Figures& figures, bool measuring) {
    if (!client.Connected && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(client.Fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            if (measuring && !client.Idle) ++figures.Refused;
            Close(client);
            if (!client.Idle) Begin(client, figures);
            return;
        }
        client.Connected = true;
        if (client.Idle) {
            epoll_event event{};
            event.events = EPOLLIN | EPOLLRDHUP;
            event.data.ptr = &client;
            epoll_ctl(epollFd, EPOLL_CTL_MOD, client.Fd, &event);
            return;
        }
    }
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        Readable(client, figures, measuring);
        if (client.Fd < 0 || !client.Connected) return;
    }
    if (!client.Idle && client.Sent < client.Request.size()) SendSome(client);
}

std::vector<Client> MakeClients(const Round& round) {
    std::vector<Client> clients(static_cast<size_t>(round.Clients + round.IdleSockets));
    for (int i = 0; i < round.Clients; ++i) {
        Client& client = clients[static_cast<size_t>(i)];
        client.Source = "127.1." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1);
        client.Request = StateRequest(i / 2, i % 2 == 0, round.KeepAlive);
    }
    for (int i = round.Clients; i < round.Clients + round.IdleSockets; ++i) {
        clients[static_cast<size_t>(i)].Source = "127.0.0.2";
        clients[static_cast<size_t>(i)].Idle = true;
    }
    return clients;
}

// CPU time a process has used so far (user and system), in microseconds.
double CpuMicroseconds(pid_t pid) {
    FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file) return 0;
    char text[1024] = "";
    const size_t got = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[got] = 0;
    const char* at = std::strrchr(text, ')');
    unsigned long user = 0;
    unsigned long system = 0;
    if (!at || std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                           &system) != 2)
        return 0;
    return static_cast<double>(user + system) * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

Figures Run(const Round& round, std::chrono::seconds warmUp, std::chrono::seconds measured,
            pid_t server) {
    Figures figures;
    const double cpuBefore = server > 0 ? CpuMicroseconds(server) : 0;
    pause = std::chrono::milliseconds(round.PauseMs);
    std::vector<Client> clients = MakeClients(round);
    epollFd = epoll_create1(0);
    for (Client& client : clients) {
        if (client.Idle) Connect(client, figures);
    }
    for (Client& client : clients) {
        if (!client.Idle) Begin(client, figures);
    }
    const auto start = Clock::now();
    measureFrom = start + warmUp;
    const auto end = start + warmUp + measured;
    std::vector<epoll_event> events(4096);
    while (Clock::now() < end) {
        const bool measuring = Clock::now() >= start + warmUp;
        while (!paused.empty() && paused.top().first <= Clock::now()) {
            Client* due = paused.top().second;
            paused.pop();
            Begin(*due, figures);
        }
        const int ready = epoll_wait(epollFd, events.data(), static_cast<int>(events.size()),
                                     paused.empty() ? 50 : 1);
        for (int i = 0; i < ready; ++i) {
            Handle(*static_cast<Client*>(events[static_cast<size_t>(i)].data.ptr),
                   events[static_cast<size_t>(i)].events, figures, measuring);
        }
    }
    for (Client& client : clients) {
        if (client.Idle && client.Fd >= 0) ++figures.IdleHeld;
        Close(client);
    }
    paused = {};
    close(epollFd);
    if (server > 0) figures.ServerCpuUs = CpuMicroseconds(server) - cpuBefore;
    return figures;
}

double Percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) return 0;
    const size_t at = std::min(values.size() - 1,
                               static_cast<size_t>(fraction * static_cast<double>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(at), values.end());
    return values[at];
}

pid_t StartServer(const char* program, uint16_t& port) {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* argv[] = {const_cast<char*>(program), const_cast<char*>("--port"), const_cast<char*>("0"),
                    nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char c = 0;
    while (pid > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const size_t at = line.rfind(" port ");
    port = at == std::string::npos ? 0 : static_cast<uint16_t>(std::atoi(line.c_str() + at + 6));
    return pid;
}

void PrintRound(const Round& round, Figures f, std::chrono::seconds measured) {
    const double rate =
        static_cast<double>(f.LatencyMs.size()) / static_cast<double>(measured.count());
    const double p50 = Percentile(f.LatencyMs, 0.50);
    const double p99 = Percentile(f.LatencyMs, 0.99);
    const double most =
        f.LatencyMs.empty() ? 0 : *std::max_element(f.LatencyMs.begin(), f.LatencyMs.end());
    const double cpu = f.Answers ? f.ServerCpuUs / static_cast<double>(f.Answers) : 0;
    std::printf("%8d %6d %6d %5s %10zu %9.0f %8.2f %8.2f %8.2f %8ld %8ld %6ld %7.0f\n",
                round.Clients, round.PauseMs, round.IdleSockets, round.KeepAlive ? "on" : "off",
                f.LatencyMs.size(), rate, p50, p99, most, f.Refused, f.NotOk, f.IdleHeld, cpu);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvan-relay-load PATH-TO-korvan-relay [SECONDS]\n");
        return 2;
    }
    const std::chrono::seconds measured(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
    signal(SIGPIPE, SIG_IGN);
    korvan::RaiseOpenFileLimit();
    const pid_t server = StartServer(argv[1], serverPort);
    if (server <= 0 || serverPort == 0) {
        std::fprintf(stderr, "korvan-relay-load: could not start %s\n", argv[1]);
        return 1;
    }
    std::printf("korvan-relay on loopback, default options, %ld s per round after 1 s warm-up\n",
                static_cast<long>(measured.count()));
    std::printf("%8s %6s %6s %5s %10s %9s %8s %8s %8s %8s %8s %6s %7s\n", "clients", "pause",
                "idle", "keep", "requests", "req/s", "p50 ms", "p99 ms", "max ms", "refused",
                "non-200", "held", "cpu us");
    // Back to back (the server's capacity), then paced: every 100 ms, and every
    // 2 s as the tool itself polls.
    const Round rounds[] = {
        {32, 0, 0},     {1000, 0, 0},   {32, 0, 0, false}, {1000, 0, 0, false}, {32, 500, 0},
        {1000, 500, 0}, {1000, 0, 100}, {1000, 500, 100},  {1000, 0, 2000},     {1000, 500, 2000}};
    for (const Round& round : rounds)
        PrintRound(round, Run(round, std::chrono::seconds(1), measured, server), measured);
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    return 0;
}
