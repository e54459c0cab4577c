// korvan-relay-load: load figures of korvan-relay on loopback, side by side
// with the relay behind HAProxy and with nginx serving a static page of the
// same size, all under the same load from this one tool. It starts each server
// as its own process, then runs rounds of clients that poll it back to back
// (customer and technician pairs, each pair in a session of its own, each
// client from an address of 127.1.0.0/16), over kept-alive connections or a
// new connection per request; for the relay alone also paced rounds, some
// while sockets from 127.0.0.2 are held open without a request. Prints
// requests per second, latency percentiles, what was refused and the server's
// CPU per answer, then the relay's figures as multiples of nginx's. Linux only
// (epoll, /proc); HAProxy and nginx are skipped where they are not installed.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "relay/relay_protocol.h"
#include "tools/relay/relay_server.h"
#include "tools/relay/relay_service.h"

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
    // Header names in any case: HAProxy writes them in small letters.
    std::string head = answer.substr(0, headEnd);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const size_t length = head.find("content-length: ");
    if (length == std::string::npos) return false;
    if (answer.size() < headEnd + 4 + std::strtoul(head.c_str() + length + 16, nullptr, 10))
        return false;
    status = answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
    closes = head.find("connection: close") != std::string::npos;
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

// CPU of the processes and their children (nginx's workers).
double CpuMicroseconds(const std::vector<pid_t>& processes) {
    double total = 0;
    for (pid_t pid : processes) total += CpuMicroseconds(pid);
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const pid_t child = std::atoi(entry->d_name);
        if (child <= 0) continue;
        FILE* file = std::fopen(("/proc/" + std::to_string(child) + "/stat").c_str(), "r");
        if (!file) continue;
        char text[1024] = "";
        const size_t got = std::fread(text, 1, sizeof text - 1, file);
        std::fclose(file);
        text[got] = 0;
        const char* at = std::strrchr(text, ')');
        int parent = 0;
        if (at && std::sscanf(at + 2, "%*c %d", &parent) == 1 &&
            std::find(processes.begin(), processes.end(), parent) != processes.end())
            total += CpuMicroseconds(child);
    }
    if (proc) closedir(proc);
    return total;
}

Figures Run(const Round& round, std::chrono::seconds warmUp, std::chrono::seconds measured,
            const std::vector<pid_t>& server) {
    Figures figures;
    const double cpuBefore = CpuMicroseconds(server);
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
    figures.ServerCpuUs = CpuMicroseconds(server) - cpuBefore;
    return figures;
}

double Percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) return 0;
    const size_t at = std::min(values.size() - 1,
                               static_cast<size_t>(fraction * static_cast<double>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(at), values.end());
    return values[at];
}

// Starts program with args (its standard output read up to the first line,
// which gives the port when portFromLine), its other output to log.
pid_t Spawn(const std::vector<std::string>& args, const std::string& log, bool portFromLine,
            uint16_t& port) {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (portFromLine) {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& arg : copy) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (portFromLine) {
        std::string line;
        char c = 0;
        while (pid > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
        const size_t at = line.rfind(" port ");
        port =
            at == std::string::npos ? 0 : static_cast<uint16_t>(std::atoi(line.c_str() + at + 6));
    }
    close(out[0]);
    return pid;
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &any.sin_addr);
    socklen_t size = sizeof any;
    bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    getsockname(fd, reinterpret_cast<sockaddr*>(&any), &size);
    close(fd);
    return ntohs(any.sin_port);
}

// True once something accepts connections on port, within 5 s.
bool Listening(uint16_t port) {
    for (int i = 0; i < 100; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        const bool up = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        close(fd);
        if (up) return true;
        usleep(50000);
    }
    return false;
}

bool WriteText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// One server under load: what it is, the processes behind it and the port the
// clients use; serverPid is the process whose CPU is counted.
struct Target {
    std::string Name;
    std::vector<pid_t> Processes;
    pid_t Measured = -1;
    uint16_t Port = 0;
};

Target StartRelay(const std::string& relay, const std::string& dir) {
    Target target{"relay", {}, -1, 0};
    const pid_t pid = Spawn({relay, "--port", "0"}, dir + "/relay.log", true, target.Port);
    target.Processes = {pid};
    target.Measured = pid;
    return target;
}

// The relay behind HAProxy on plain HTTP: the shipped configuration's routing
// and checks, without its TLS.
Target StartHaproxy(const std::string& relay, const std::string& dir) {
    Target target{"haproxy", {}, -1, 0};
    uint16_t relayPort = 0;
    const pid_t relayPid = Spawn({relay, "--port", "0", "--trusted-proxy", "127.0.0.1"},
                                 dir + "/relay-behind.log", true, relayPort);
    target.Processes.push_back(relayPid);
    target.Port = FreePort();
    const std::string config = dir + "/haproxy.cfg";
    WriteText(config,
              "global\n    nbthread 2\n"
              "defaults\n    mode http\n    timeout connect 2s\n"
              "    timeout client 30s\n    timeout server 30s\n"
              "    timeout http-request 5s\n    retries 2\n"
              "    retry-on conn-failure empty-response\n    option redispatch 1\n"
              "frontend public\n    bind 127.0.0.1:" +
                  std::to_string(target.Port) +
                  "\n    http-request del-header X-Forwarded-For\n"
                  "    option forwardfor\n    default_backend relays\n"
                  "backend relays\n    balance hash path,field(2,/)\n"
                  "    hash-type consistent\n    option httpchk\n"
                  "    http-check send meth GET uri /healthz\n"
                  "    server relay1 127.0.0.1:" +
                  std::to_string(relayPort) + " check inter 1s maxconn 4000\n");
    uint16_t unused = 0;
    const pid_t proxy =
        Spawn({"/usr/sbin/haproxy", "-db", "-f", config}, dir + "/haproxy.log", false, unused);
    target.Processes.push_back(proxy);
    target.Measured = proxy;
    if (relayPort == 0 || !Listening(target.Port)) target.Port = 0;
    return target;
}

// nginx serving a tiny static page for every request, as many workers as cores.
Target StartNginx(const std::string& dir) {
    Target target{"nginx", {}, -1, FreePort()};
    WriteText(dir + "/tiny.html", korvan::RelayPage(""));
    const std::string config = dir + "/nginx.conf";
    WriteText(config,
              "daemon off;\nmaster_process on;\nworker_processes auto;\n"
              "pid " +
                  dir + "/nginx.pid;\nerror_log " + dir +
                  "/nginx.log;\n"
                  "events { worker_connections 8192; }\n"
                  "http { access_log off; keepalive_requests 1000000;\n"
                  "  client_body_temp_path " +
                  dir + "; proxy_temp_path " + dir +
                  ";\n"
                  "  server { listen 127.0.0.1:" +
                  std::to_string(target.Port) +
                  ";\n"
                  "    root " +
                  dir +
                  "; default_type text/html;\n"
                  "    location / { try_files /tiny.html =404; } } }\n");
    uint16_t unused = 0;
    const pid_t pid = Spawn({"/usr/sbin/nginx", "-c", config, "-e", dir + "/nginx.log"},
                            dir + "/nginx.out", false, unused);
    target.Processes = {pid};
    target.Measured = pid;
    if (!Listening(target.Port)) target.Port = 0;
    return target;
}

struct Summary {
    double Rate = 0;
    double P50 = 0;
    double P99 = 0;
};

Summary PrintRound(const std::string& name, const Round& round, Figures f,
                   std::chrono::seconds measured) {
    Summary summary;
    summary.Rate = static_cast<double>(f.LatencyMs.size()) / static_cast<double>(measured.count());
    summary.P50 = Percentile(f.LatencyMs, 0.50);
    summary.P99 = Percentile(f.LatencyMs, 0.99);
    const double most =
        f.LatencyMs.empty() ? 0 : *std::max_element(f.LatencyMs.begin(), f.LatencyMs.end());
    const double cpu = f.Answers ? f.ServerCpuUs / static_cast<double>(f.Answers) : 0;
    std::printf("%-8s %7d %6d %6d %5s %9zu %8.0f %7.2f %7.2f %7.2f %8ld %7ld %5ld %6.0f\n",
                name.c_str(), round.Clients, round.PauseMs, round.IdleSockets,
                round.KeepAlive ? "on" : "off", f.LatencyMs.size(), summary.Rate, summary.P50,
                summary.P99, most, f.Refused, f.NotOk, f.IdleHeld, cpu);
    std::fflush(stdout);
    return summary;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvan-relay-load PATH-TO-korvan-relay [SECONDS]\n");
        return 2;
    }
    const std::string relay = argv[1];
    const std::chrono::seconds measured(argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
    signal(SIGPIPE, SIG_IGN);
    korvan::RaiseOpenFileLimit();  // the servers started inherit it
    char dirTemplate[] = "/tmp/korvan-relay-load-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    const std::string dir = dirTemplate;
    chmod(dir.c_str(), 0755);  // nginx's workers read the page as another user

    std::printf(
        "Loopback, the same load for every server, %ld s per round after 1 s warm-up.\n"
        "relay: korvan-relay, default options; haproxy: korvan-relay behind HAProxy "
        "(plain HTTP, the shipped routing); nginx: a static page of the relay's size.\n"
        "cpu us: the server's CPU (all its processes) per answer.\n",
        static_cast<long>(measured.count()));
    std::printf("%-8s %7s %6s %6s %5s %9s %8s %7s %7s %7s %8s %7s %5s %6s\n", "server", "clients",
                "pause", "idle", "keep", "requests", "req/s", "p50 ms", "p99 ms", "max ms",
                "refused", "non-200", "held", "cpu us");
    const Round compared[] = {
        {32, 0, 0, true}, {1000, 0, 0, true}, {32, 0, 0, false}, {1000, 0, 0, false}};
    std::vector<std::pair<std::string, std::vector<Summary>>> results;
    bool keepLogs = false;
    for (const std::string name : {"relay", "haproxy", "nginx"}) {
        if (name == "haproxy" && access("/usr/sbin/haproxy", X_OK) != 0) continue;
        if (name == "nginx" && access("/usr/sbin/nginx", X_OK) != 0) continue;
        const Target target = name == "relay"     ? StartRelay(relay, dir)
                              : name == "haproxy" ? StartHaproxy(relay, dir)
                                                  : StartNginx(dir);
        serverPort = target.Port;
        std::vector<Summary> summaries;
        if (target.Port == 0) {
            std::printf("%-8s did not start (see %s)\n", name.c_str(), dir.c_str());
            keepLogs = true;
        } else {
            for (const Round& round : compared)
                summaries.push_back(PrintRound(
                    name, round, Run(round, std::chrono::seconds(1), measured, target.Processes),
                    measured));
            if (name == "relay") {
                // Paced as the tools poll, and with idle sockets held open.
                const Round paced[] = {{1000, 500, 0},
                                       {1000, 0, 100},
                                       {1000, 500, 100},
                                       {1000, 0, 2000},
                                       {1000, 500, 2000}};
                for (const Round& round : paced)
                    PrintRound(name, round,
                               Run(round, std::chrono::seconds(1), measured, target.Processes),
                               measured);
            }
        }
        for (auto it = target.Processes.rbegin(); it != target.Processes.rend(); ++it) Stop(*it);
        results.emplace_back(name, summaries);
    }

    // Side by side with nginx: the relay's goals are at least 0.7 of its
    // requests per second with a new connection per request, at least as many
    // with keep-alive, and a p99 at most 2.5 times its.
    const auto nginx = std::find_if(results.begin(), results.end(),
                                    [](const auto& r) { return r.first == "nginx"; });
    if (nginx != results.end() && nginx->second.size() == std::size(compared)) {
        std::printf(
            "\nAgainst nginx (goals: req/s >= 0.7 with keep-alive off, >= 1.0 on; "
            "p99 <= 2.5 times):\n");
        for (const auto& [name, summaries] : results) {
            if (name == "nginx" || summaries.size() != std::size(compared)) continue;
            for (size_t i = 0; i < summaries.size(); ++i) {
                const Summary& ours = summaries[i];
                const Summary& theirs = nginx->second[i];
                std::printf("%-8s %5d clients keep-alive %-3s  req/s x%.2f  p99 x%.2f\n",
                            name.c_str(), compared[i].Clients, compared[i].KeepAlive ? "on" : "off",
                            theirs.Rate > 0 ? ours.Rate / theirs.Rate : 0,
                            theirs.P99 > 0 ? ours.P99 / theirs.P99 : 0);
            }
        }
    }
    if (!keepLogs) std::filesystem::remove_all(dir);
    return 0;
}
