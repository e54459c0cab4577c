// The relay exchange over HTTP: one GET per call, a plain blocking call on
// whichever thread makes it, with no event loop needed on that thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "relay/remote_support.h"

class QNetworkCookieJar;
class QSslConfiguration;

namespace korvan {

class HttpRelayTransport : public RelayTransport {
  public:
    // busy(true) when an exchange starts, busy(false) when it ends, both called
    // on the exchanging thread: a caller that shows the cue on another thread
    // (a window's) posts it there itself.
    using CueCallback = std::function<void(bool busy)>;

    explicit HttpRelayTransport(CueCallback cue);
    ~HttpRelayTransport() override;

    // Blocks for at most the exchange limit. The socket lives on the calling
    // thread for the length of the call; the connection is closed after the
    // answer, so consecutive calls may come from different threads.
    bool RelayExchange(RelayState& state) override;

    // A server that never answers would hold the relay for ever; the exchange is
    // given up after this long, name lookup, connection, TLS and answer together.
    static constexpr std::chrono::seconds ExchangeLimit{30};
    // Answers beyond this size are not relay pages; the exchange is given up.
    static constexpr int64_t MaxResponseBytes = 1 << 20;

    // Both settings may be made from any thread; an exchange under way keeps the
    // ones it started with.
    void SetExchangeLimit(std::chrono::milliseconds limit);
    // The TLS settings of "https://" support domains (trusted certificates
    // among them); without this call, the system's certificate store is trusted.
    void SetSslConfiguration(const QSslConfiguration& configuration);
    bool Busy() const { return busy_.load(); }

  private:
    void Cue(bool busy);

    CueCallback cue_;
    std::mutex settingsMutex_;
    std::unique_ptr<QSslConfiguration> tls_;
    std::chrono::milliseconds limit_ = ExchangeLimit;
    // The relay's cookies for the transport's lifetime, never stored on disk;
    // only the one exchange allowed at a time touches them.
    std::unique_ptr<QNetworkCookieJar> cookies_;
    std::atomic<bool> busy_{false};
};

}  // namespace korvan
