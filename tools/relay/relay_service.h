// What the relay server does with one request, free of sockets and of HTTP
// framing: the request target in, the status and the page out. Each request
// posts the sender's message into its conversation and takes the other side's.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "relay/relay_protocol.h"
#include "tools/relay/relay_sessions.h"

namespace korvan {

struct RelayReply {
    int Status = 200;
    std::string Body;
};

struct RelayLimits {
    // The bare "/support3.php" reaches one conversation shared by every tool
    // that knows no session code.
    bool DefaultSession = true;
    std::chrono::seconds SessionIdle{15 * 60};
    size_t MaxSessions = 10000;
    // All messages waiting in all conversations; a post beyond it is refused.
    size_t MaxWaitingBytes = size_t{256} << 20;
    // Conversations one client address may have created and still live; 0 for
    // no limit.
    size_t SessionsPerAddress = 64;
};

// Why requests were refused or conversations dropped, since the start.
struct RelayServiceCounts {
    uint64_t TableFull = 0;            // 503: no room for a new conversation
    uint64_t AddressSessionsFull = 0;  // 503: the address created its most
    uint64_t WaitingBytesFull = 0;     // 503: the bound on waiting messages
    uint64_t Evicted = 0;              // one-sided conversations dropped for new ones
    size_t Sessions = 0;
    size_t WaitingMessages = 0;
    size_t WaitingBytes = 0;
};

class RelayService {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Longest request head accepted. The longest message of the protocol, 8192
    // values of up to three digits each behind a "$", is 32,768 characters of
    // query; the rest of a tool's request comes to a few hundred. The cap leaves
    // room for that and no more: every connection holds this much memory, and
    // the HTTP layer clears all of it between the requests of a connection.
    static constexpr size_t MaxRequestBytes = 36 * 1024;

    explicit RelayService(RelayLimits limits = {}, Clock clock = {});

    // method and target as the request line carries them, the target still
    // percent-encoded; address is the client's, for the limit of the
    // conversations it may create (empty: not limited). Safe to call from
    // several threads.
    RelayReply Handle(std::string_view method, std::string_view target,
                      const std::string& address = {});

    // Drops the conversations that have been idle too long (requests do it too).
    void DropIdle();
    size_t Sessions() const;
    // Messages waiting in a conversation for one side; 0 when there is none.
    size_t Waiting(const std::string& session, RelaySide forSide) const;
    size_t WaitingBytes() const;
    RelayServiceCounts Counts() const;
    const RelayLimits& Limits() const { return limits_; }

  private:
    RelayReply Exchange(const std::string& session, bool fromClient, std::string message,
                        const std::string& address);

    RelayLimits limits_;
    Clock clock_;
    mutable std::mutex mutex_;
    RelaySessions sessions_;
    size_t waitingBytes_ = 0;
    RelayServiceCounts counts_;
};

// The session code of a decoded request path: "" for "/support3.php", CODE for
// "/CODE/support3.php" (a ValidSessionCode); false for any other path.
bool SessionOfPath(std::string_view path, std::string& session);
// The relay page: the message between "<body>" CR LF and "</body>".
std::string RelayPage(const std::string& message);
// Percent-decoding of one query component; false on a malformed escape.
bool PercentDecode(std::string_view text, std::string& out);

}  // namespace korvan
