#include "tools/relay/relay_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <linux/tcp.h>  // tcp_info with the bytes received
#endif
#include <microhttpd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace korvan {

namespace {

// How libmicrohttpd reports a request it refused itself, before or instead of
// calling the server; the status follows as an unsigned.
constexpr char RefusalFormat[] = "Error processing request (HTTP response code is %u";
// How it reports a connection refused because the server holds its most.
constexpr char ConnectionLimitText[] = "Server reached connection limit";

// Header lines a request may carry; each costs the HTTP layer some of the
// connection's memory besides its text, so their number bounds that too.
constexpr unsigned MaxHeaderLines = 64;

// What one request carries from its request line to its end.
struct RequestRecord {
    std::string Target;          // as sent, still percent-encoded
    std::string Forwarded = {};  // the forwarded client counted in flight, if any
    // Where the HTTP layer held the target when it read the request line.
    const char* TargetAt = nullptr;
    bool Seen = false;
    bool Answered = false;
};

using SteadyClock = std::chrono::steady_clock;

#if defined(__linux__)
constexpr bool CanCountBytes = true;
#else
constexpr bool CanCountBytes = false;
#endif

// The bytes this socket has received so far; 0 where the platform cannot tell.
uint64_t BytesReceived(int fd) {
#if defined(__linux__)
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return 0;
    return info.tcpi_bytes_received;
#else
    (void)fd;
    return 0;
#endif
}

// The length of the request head as sent, from its parts.
size_t HeadBytes(const char* method, const std::string& target, const char* version,
                 MHD_Connection* connection, unsigned& lines) {
    size_t bytes = std::strlen(method) + 1 + target.size() + 1 + std::strlen(version) + 2 + 2;
    struct Count {
        size_t* Bytes;
        unsigned* Lines;
    } count{&bytes, &lines};
    lines = 0;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char* value) {
            auto* c = static_cast<Count*>(cls);
            *c->Bytes += std::strlen(key) + 2 + (value ? std::strlen(value) : 0) + 2;
            ++*c->Lines;
            return MHD_YES;
        },
        &count);
    return bytes;
}

// The HTTP layer reads the request line in place and ends the target where it
// ends: a NUL byte inside the target would cut it short unseen. The version
// follows the target in the same buffer, one separator further; when it lies
// further still, the target held a NUL.
bool TargetCutShort(const RequestRecord& record, const char* version) {
    if (!record.TargetAt) return false;
    const auto target = reinterpret_cast<uintptr_t>(record.TargetAt);
    const auto at = reinterpret_cast<uintptr_t>(version);
    const uintptr_t expected = target + record.Target.size() + 1;
    // Only a version within the same head can tell.
    return at > expected && at - target <= RelayServer::ConnectionMemory;
}

struct ListenAddress {
    sockaddr_storage Storage{};
    bool Ipv6 = false;
};

// The address in its usual written form ("::1" for "0:0::1").
std::string AddressText(const ListenAddress& address) {
    char text[INET6_ADDRSTRLEN] = "";
    const void* bytes =
        address.Ipv6 ? static_cast<const void*>(
                           &reinterpret_cast<const sockaddr_in6*>(&address.Storage)->sin6_addr)
                     : static_cast<const void*>(
                           &reinterpret_cast<const sockaddr_in*>(&address.Storage)->sin_addr);
    inet_ntop(address.Ipv6 ? AF_INET6 : AF_INET, bytes, text, sizeof text);
    return text;
}

bool SameHeaderName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string PeerText(const sockaddr* peer) {
    char text[INET6_ADDRSTRLEN] = "";
    if (peer->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(peer)->sin_addr, text,
                  sizeof text);
    } else if (peer->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(peer)->sin6_addr, text,
                  sizeof text);
    }
    return text;
}

bool ParseAddress(const std::string& text, uint16_t port, ListenAddress& out) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out.Storage);
    if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&out.Storage);
    if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        out.Ipv6 = true;
        return true;
    }
    return false;
}

MHD_Result AppendHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* head = static_cast<std::string*>(cls);
    *head += key;
    *head += ": ";
    *head += value ? value : "";
    *head += "\r\n";
    return MHD_YES;
}

unsigned PoolThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores, 1u, 4u);
}

}  // namespace

struct RelayServer::ConnectionRecord {
    int Fd = -1;
    std::string Address;   // the peer's, in its usual written form
    bool Proxy = false;    // a trusted proxy
    bool Counted = false;  // in perAddress_
    bool CutOff = false;   // its head was overdue
    // Between requests: since when a head is awaited, and the bytes received
    // before it; once bytes beyond those come, the head's deadline runs.
    SteadyClock::time_point Since;
    uint64_t BytesBefore = 0;
    // BytesBefore is taken by the watcher's next round rather than on every
    // answer: a head that begins in between has its deadline start that much
    // later.
    bool BaselineDue = false;
    bool HeadStarted = false;
    bool InRequest = false;
};

struct RelayServer::Callbacks {
    static void* UriLog(void*, const char* uri, MHD_Connection*) {
        auto* record = new RequestRecord{uri ? uri : ""};
        record->TargetAt = uri;
        return record;
    }

    static MHD_Result Accept(void* cls, const sockaddr* address, socklen_t) {
        return static_cast<RelayServer*>(cls)->MayConnect(PeerText(address)) ? MHD_YES : MHD_NO;
    }

    static ConnectionRecord* RecordOf(MHD_Connection* connection) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<ConnectionRecord*>(info->socket_context) : nullptr;
    }

    static void Notify(void* cls, MHD_Connection* connection, void** context,
                       MHD_ConnectionNotificationCode code) {
        auto* server = static_cast<RelayServer*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* record = new ConnectionRecord;
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            record->Fd = info ? static_cast<int>(info->connect_fd) : -1;
            const MHD_ConnectionInfo* peer =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            if (peer && peer->client_addr) record->Address = PeerText(peer->client_addr);
            record->Since = SteadyClock::now();
            *context = record;
            server->Opened(record);
        } else if (*context) {
            auto* record = static_cast<ConnectionRecord*>(*context);
            server->Closed(record);
            delete record;
            *context = nullptr;
        }
    }

    static MHD_Result Access(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char*,
                             size_t* uploadSize, void** requestContext) {
        auto* record = static_cast<RequestRecord*>(*requestContext);
        if (!record) {
            record = new RequestRecord{url};
            *requestContext = record;
        }
        if (!record->Seen) {
            if (ConnectionRecord* connectionRecord = RecordOf(connection)) {
                std::lock_guard<std::mutex> lock(static_cast<RelayServer*>(cls)->connectionsMutex_);
                connectionRecord->InRequest = true;
            }
        }
        if (!record->Seen && std::strcmp(method, "GET") == 0) {
            // Answered on the next call: a response queued with the head would
            // cost the kept-alive connection.
            record->Seen = true;
            return MHD_YES;
        }
        *uploadSize = 0;  // a body is not looked at; the connection closes after the answer
        if (record->Answered) return MHD_YES;
        record->Answered = true;
        unsigned lines = 0;
        int status = 0;  // the request's own
        if (TargetCutShort(*record, version)) {
            status = 400;
        } else if (record->Target.size() > RelayService::MaxRequestBytes) {
            status = 414;
        } else if (HeadBytes(method, record->Target, version, connection, lines) >
                       RelayService::MaxRequestBytes ||
                   lines > MaxHeaderLines) {
            status = 431;
        }
        auto* server = static_cast<RelayServer*>(cls);
        const ConnectionRecord* connectionRecord = RecordOf(connection);
        const std::string client = server->ClientOf(connection, connectionRecord);
        if (status == 0 && connectionRecord && connectionRecord->Proxy) {
            if (server->BeginForwarded(client)) {
                record->Forwarded = client;
            } else {
                status = 503;
                server->counters_.Refused(RelayRefusal::ForwardedInFlight);
            }
        }
        const bool queued =
            server->Answer(connection, status, method, version, record->Target, client);
        return queued ? MHD_YES : MHD_NO;
    }

    static void Completed(void* cls, MHD_Connection* connection, void** requestContext,
                          MHD_RequestTerminationCode) {
        auto* request = static_cast<RequestRecord*>(*requestContext);
        if (request && !request->Forwarded.empty())
            static_cast<RelayServer*>(cls)->EndForwarded(request->Forwarded);
        delete request;
        *requestContext = nullptr;
        if (ConnectionRecord* record = RecordOf(connection)) {
            std::lock_guard<std::mutex> lock(static_cast<RelayServer*>(cls)->connectionsMutex_);
            record->InRequest = false;
            record->HeadStarted = false;
            record->BaselineDue = true;
            record->Since = SteadyClock::now();
        }
    }

    static void Logger(void* cls, const char* format, va_list arguments) {
        auto* server = static_cast<RelayServer*>(cls);
        va_list status;
        va_copy(status, arguments);
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        server->Log(text);
        if (std::strncmp(format, RefusalFormat, sizeof RefusalFormat - 1) == 0) {
            const int code = static_cast<int>(va_arg(status, unsigned));
            server->counters_.Answered(code);
            if (server->observer_) server->observer_("", code);
        } else if (std::strncmp(text, ConnectionLimitText, sizeof ConnectionLimitText - 1) == 0) {
            server->counters_.Refused(RelayRefusal::ConnectionLimit);
        }
        va_end(status);
    }
};

RelayServer::RelayServer(RelayLimits limits, RelayService::Clock clock)
    : service_(limits, std::move(clock)) {}

RelayServer::~RelayServer() { Stop(); }

void RelayServer::SetTls(std::string certificate, std::string key) {
    certificate_ = std::move(certificate);
    key_ = std::move(key);
}

void RelayServer::Log(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (printLog_ && !text.empty()) std::fprintf(stderr, "korvan-relay: %s\n", text.c_str());
    std::lock_guard<std::mutex> lock(logMutex_);
    errorText_ = std::move(text);
}

bool RelayServer::Answer(MHD_Connection* connection, int status, const char* method,
                         const char* version, const std::string& target,
                         const std::string& client) {
    const char* type = "text/html";
    RelayReply reply;
    const std::string_view path = std::string_view(target).substr(0, target.find('?'));
    if (status) {
        reply = {status, RelayPage("")};
    } else if ((path == "/healthz" || path == "/metrics") && std::strcmp(method, "GET") == 0 &&
               adminFrom_.Contains(client)) {
        type = "text/plain; version=0.0.4; charset=utf-8";
        if (path == "/metrics") {
            reply = {200, MetricsText()};
        } else {
            reply = draining_ ? RelayReply{503, "stopping\n"} : RelayReply{200, "serving\n"};
        }
    } else {
        reply = service_.Handle(method, target, client);
    }
    counters_.Answered(reply.Status);
    if (observer_) {
        std::string head = std::string(method) + " " + target + " " + version + "\r\n";
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &AppendHeader, &head);
        observer_(head + "\r\n", reply.Status);
    }
    MHD_Response* response = MHD_create_response_from_buffer(
        reply.Body.size(), const_cast<char*>(reply.Body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return false;
    MHD_add_response_header(response, "Content-Type", type);
    MHD_add_response_header(response, "Cache-Control", "no-cache");
    // While stopping, clients move on to another relay.
    if (draining_) MHD_add_response_header(response, "Connection", "close");
    if (reply.Status == 405) MHD_add_response_header(response, "Allow", "GET");
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(reply.Status), response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

bool RelayServer::Listen(const std::string& address, uint16_t port) {
    Stop();
    draining_ = false;
    ListenAddress listen;
    if (!ParseAddress(address, port, listen)) {
        Log("not an address: " + address);
        return false;
    }
    trusted_.clear();
    for (const std::string& proxy : connectionLimits_.TrustedProxies) {
        ListenAddress parsed;
        if (!ParseAddress(proxy, 0, parsed)) {
            Log("not an address: " + proxy);
            return false;
        }
        trusted_.insert(AddressText(parsed));
    }
    const bool tls = !certificate_.empty();
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        Log("this libmicrohttpd has no TLS");
        return false;
    }
    // ITC: the listening socket can be given up while connections are served.
    unsigned flags = MHD_USE_POLL_INTERNAL_THREAD | MHD_USE_ERROR_LOG | MHD_USE_ITC;
    if (listen.Ipv6) flags |= MHD_USE_IPv6;
    if (tls) flags |= MHD_USE_TLS;

    using Fn = intptr_t;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_SOCK_ADDR, 0, &listen.Storage},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(connectionLimits_.MaxConnections),
         nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(connectionLimits_.IdleSeconds),
         nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(ConnectionMemory), nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, static_cast<intptr_t>(PoolThreads()), nullptr},
        {MHD_OPTION_LISTEN_BACKLOG_SIZE, 4096, nullptr},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<Fn>(&Callbacks::UriLog), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<Fn>(&Callbacks::Completed), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<Fn>(&Callbacks::Notify), this},
    };
#ifndef _WIN32
    options.push_back({MHD_OPTION_LISTENING_ADDRESS_REUSE, 1, nullptr});
#endif
    if (tls) {
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(certificate_.c_str())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(key_.c_str())});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});

    Log("");
    daemon_ = MHD_start_daemon(flags, port, &Callbacks::Accept, this, &Callbacks::Access, this,
                               MHD_OPTION_EXTERNAL_LOGGER, &Callbacks::Logger, this,
                               MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!daemon_) {
        if (ErrorText().empty()) Log("the HTTP server did not start");
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? info->port : port;
    address_ = AddressText(listen);
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        watching_ = true;
    }
    watcher_ = std::thread([this] { WatchHeads(); });
    return true;
}

void RelayServer::Stop() {
    if (watcher_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(connectionsMutex_);
            watching_ = false;
        }
        watchWake_.notify_all();
        watcher_.join();
    }
    if (daemon_) MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    port_ = 0;
}

bool RelayServer::MayConnect(const std::string& address) {
    if (connectionLimits_.PerAddress == 0 || trusted_.count(address)) return true;
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    auto found = perAddress_.find(address);
    if (found == perAddress_.end() || found->second < connectionLimits_.PerAddress) return true;
    counters_.Refused(RelayRefusal::PerAddressConnections);
    return false;
}

AddressRanges RelayServer::Loopback() {
    AddressRanges loopback;
    loopback.Add("127.0.0.0/8");
    loopback.Add("::1");
    return loopback;
}

void RelayServer::BeginDrain() {
    draining_ = true;
    if (!daemon_) return;
    const MHD_socket listening = MHD_quiesce_daemon(daemon_);
    if (listening != MHD_INVALID_SOCKET) {
#ifdef _WIN32
        closesocket(listening);
#else
        close(listening);
#endif
    }
}

size_t RelayServer::OpenConnections() {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    return connections_.size();
}

std::string RelayServer::MetricsText() {
    RelayGauges gauges;
    gauges.ConnectionsOpen = OpenConnections();
    gauges.Draining = draining_;
    return RelayMetricsText(counters_, service_.Counts(), gauges);
}

void RelayServer::Opened(ConnectionRecord* record) {
    record->Proxy = trusted_.count(record->Address) != 0;
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    connections_.insert(record);
    if (connectionLimits_.PerAddress == 0 || record->Proxy) return;
    // Counted here, where opening and closing are seen alike; the check on
    // acceptance only spares the work for an address known to be at its most.
    unsigned& open = perAddress_[record->Address];
    if (open >= connectionLimits_.PerAddress) {
        if (record->Fd >= 0) shutdown(record->Fd, SHUT_RDWR);
        counters_.Refused(RelayRefusal::PerAddressConnections);
        return;
    }
    ++open;
    record->Counted = true;
}

void RelayServer::Closed(ConnectionRecord* record) {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    connections_.erase(record);
    if (!record->Counted) return;
    auto found = perAddress_.find(record->Address);
    if (--found->second == 0) perAddress_.erase(found);
}

std::string RelayServer::ClientOf(MHD_Connection* connection,
                                  const ConnectionRecord* record) const {
    if (!record) return {};
    if (!record->Proxy) return record->Address;
    // The proxy appends the address it took the request from: the last entry
    // is the one it vouches for.
    // Of several X-Forwarded-For lines, the proxy's own comes last.
    const char* forwarded = nullptr;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char* value) {
            if (SameHeaderName(key, "X-Forwarded-For")) *static_cast<const char**>(cls) = value;
            return MHD_YES;
        },
        &forwarded);
    if (!forwarded) return record->Address;
    std::string_view list(forwarded);
    const size_t comma = list.rfind(',');
    std::string_view last = comma == std::string_view::npos ? list : list.substr(comma + 1);
    while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) last.remove_prefix(1);
    while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) last.remove_suffix(1);
    ListenAddress parsed;
    if (!ParseAddress(std::string(last), 0, parsed)) return record->Address;
    return AddressText(parsed);
}

bool RelayServer::BeginForwarded(const std::string& client) {
    if (connectionLimits_.PerAddress == 0) return true;
    std::lock_guard<std::mutex> lock(forwardedMutex_);
    unsigned& count = inFlight_[client];
    if (count >= connectionLimits_.PerAddress) return false;
    ++count;
    return true;
}

void RelayServer::EndForwarded(const std::string& client) {
    std::lock_guard<std::mutex> lock(forwardedMutex_);
    auto found = inFlight_.find(client);
    if (found != inFlight_.end() && --found->second == 0) inFlight_.erase(found);
}

void RelayServer::WatchHeads() {
    const auto deadline = std::chrono::seconds(std::max(1u, connectionLimits_.HeadSeconds));
    // Checked a few times within the deadline: a head is cut off at most a
    // fifth of it late.
    const auto period = std::chrono::duration_cast<std::chrono::milliseconds>(deadline) / 5;
    std::unique_lock<std::mutex> lock(connectionsMutex_);
    while (watching_) {
        watchWake_.wait_for(lock, period);
        const auto now = SteadyClock::now();
        for (ConnectionRecord* record : connections_) {
            if (record->InRequest || record->Fd < 0) continue;
            if (!record->HeadStarted) {
                // Where the bytes received cannot be told, a head is due from
                // the connection's start or its previous answer.
                if (CanCountBytes) {
                    const uint64_t received = BytesReceived(record->Fd);
                    if (record->BaselineDue) {
                        record->BaselineDue = false;
                        record->BytesBefore = received;
                    }
                    if (received == record->BytesBefore) continue;
                    record->Since = now;
                }
                record->HeadStarted = true;
            }
            // The connection is still open: its close is reported under this
            // lock before the socket is released, so the descriptor is its own.
            // A head already past the cap is answered at once, whether or not
            // the rest of it ever comes.
            if (CanCountBytes && !record->CutOff &&
                BytesReceived(record->Fd) - record->BytesBefore > RelayService::MaxRequestBytes) {
                static constexpr char TooLong[] =
                    "HTTP/1.1 414 URI Too Long\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
                send(record->Fd, TooLong, sizeof TooLong - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
                shutdown(record->Fd, SHUT_RDWR);
                counters_.Answered(414);
                if (observer_) observer_("", 414);
                record->CutOff = true;
                continue;
            }
            if (now - record->Since > deadline) {
                shutdown(record->Fd, SHUT_RDWR);
                if (!record->CutOff) counters_.Refused(RelayRefusal::HeadDeadline);
                record->CutOff = true;
            }
        }
    }
}

uint16_t RelayServer::Port() const { return port_; }

std::string RelayServer::ErrorText() const {
    std::lock_guard<std::mutex> lock(logMutex_);
    return errorText_;
}

bool ValidListenAddress(const std::string& address) {
    ListenAddress parsed;
    return ParseAddress(address, 0, parsed);
}

uint64_t RaiseOpenFileLimit() {
#ifdef _WIN32
    return 0;
#else
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : static_cast<uint64_t>(limit.rlim_cur);
#endif
}

}  // namespace korvan
