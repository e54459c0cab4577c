// The relay server on a TCP port, on libmicrohttpd: it reads and answers HTTP,
// limits connections, times out the silent ones and, given a certificate,
// speaks TLS. What a request means is RelayService's business.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tools/relay/relay_admin.h"
#include "tools/relay/relay_service.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace korvan {

struct RelayConnectionLimits {
    unsigned MaxConnections = 4096;
    // Connections from one address at a time; 0 for no limit. Trusted proxies
    // are not limited: they carry many clients. For the requests they forward,
    // this many at a time may be in flight for one forwarded client address.
    unsigned PerAddress = 32;
    // Proxies (IPv4 or IPv6 addresses) whose X-Forwarded-For is believed;
    // from anyone else it is ignored.
    std::vector<std::string> TrustedProxies;
    // A connection that sends nothing for this long is closed (also between
    // the requests of a kept-alive connection).
    unsigned IdleSeconds = 10;
    // A request head must arrive whole within this long of its first byte,
    // however slowly it trickles in; the connection is closed otherwise.
    unsigned HeadSeconds = 5;
};

class RelayServer {
  public:
    // Called with each request's line and headers (up to the blank line) and the
    // status answered, on a server thread. Requests refused by the HTTP layer
    // itself (a request line or header too long, a malformed request) come with
    // an empty head.
    using Observer = std::function<void(const std::string& head, int status)>;

    // Request heads beyond RelayService::MaxRequestBytes are refused with 414 (a
    // long request line) or 431 (long headers). A connection's memory holds the
    // head and, beyond it, the answer's own header lines (its body is sent from
    // where it lies): a head at the cap must still leave room to answer, or the
    // message taken for it would be lost. Heads longer still are refused by the
    // HTTP layer itself.
    static constexpr size_t AnswerRoom = 4 * 1024;
    static constexpr size_t ConnectionMemory = RelayService::MaxRequestBytes + AnswerRoom;

    explicit RelayServer(RelayLimits limits = {}, RelayService::Clock clock = {});
    ~RelayServer();
    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    // These take effect with the next Listen.
    void SetConnectionLimits(const RelayConnectionLimits& limits) { connectionLimits_ = limits; }
    // PEM texts of the certificate (chain) and its key: the server speaks HTTPS.
    void SetTls(std::string certificate, std::string key);
    void SetObserver(Observer observer) { observer_ = std::move(observer); }
    // What the HTTP layer reports (refused connections, TLS failures) goes to stderr too.
    void SetPrintLog(bool print) { printLog_ = print; }
    // Who is answered GET /healthz and GET /metrics (the client as the server
    // sees it: a trusted proxy's forwarded client); everyone else gets 404.
    // Loopback unless set.
    void SetAdminFrom(AddressRanges ranges) { adminFrom_ = std::move(ranges); }

    // An IPv4 or IPv6 address; port 0 picks a free port, Port() tells which.
    bool Listen(const std::string& address, uint16_t port);
    // The start of a graceful stop: no new connections are accepted, /healthz
    // answers 503, and every answer closes its connection. Stop ends it.
    void BeginDrain();
    bool Draining() const { return draining_; }
    size_t OpenConnections();
    void Stop();
    uint16_t Port() const;
    // The listening address in its usual written form.
    const std::string& Address() const { return address_; }
    std::string ErrorText() const;

    RelayService& Service() { return service_; }
    std::string MetricsText();

    // Exposed for libmicrohttpd's callbacks.
    struct Callbacks;

    // One open connection, from its acceptance to its close.
    struct ConnectionRecord;

  private:
    void Log(std::string text);
    // Queues the answer to one request: status when the request is refused
    // already, else the relay's. False when it could not be queued.
    bool Answer(MHD_Connection* connection, int status, const char* method, const char* version,
                const std::string& target, const std::string& client);
    // False when the address has its most connections already.
    bool MayConnect(const std::string& address);
    void Opened(ConnectionRecord* record);
    void Closed(ConnectionRecord* record);
    // The client a request comes from: the peer, or for a trusted proxy the
    // address it forwards for.
    std::string ClientOf(MHD_Connection* connection, const ConnectionRecord* record) const;
    // Counts a forwarded request in flight; false when its client has its most.
    bool BeginForwarded(const std::string& client);
    void EndForwarded(const std::string& client);
    // Closes the connections whose request head is overdue, until Stop.
    void WatchHeads();

    RelayService service_;
    RelayConnectionLimits connectionLimits_;
    std::string certificate_;
    std::string key_;
    Observer observer_;
    bool printLog_ = false;
    MHD_Daemon* daemon_ = nullptr;
    uint16_t port_ = 0;
    std::string address_;
    mutable std::mutex logMutex_;
    std::string errorText_;

    std::mutex connectionsMutex_;
    std::unordered_set<ConnectionRecord*> connections_;
    std::unordered_map<std::string, unsigned> perAddress_;  // open connections
    std::unordered_set<std::string> trusted_;               // in their usual written form
    AddressRanges adminFrom_ = Loopback();
    RelayCounters counters_;
    std::atomic<bool> draining_{false};
    static AddressRanges Loopback();

    std::mutex forwardedMutex_;
    std::unordered_map<std::string, unsigned> inFlight_;  // forwarded requests
    std::condition_variable watchWake_;
    bool watching_ = false;
    std::thread watcher_;
};

// An IPv4 or IPv6 address the server can listen on.
bool ValidListenAddress(const std::string& address);

// Raises the process's limit of open files to the most it may have, so that
// thousands of connections can be held; returns the limit now in force, or 0
// where the platform has no such limit.
uint64_t RaiseOpenFileLimit();

}  // namespace korvan
