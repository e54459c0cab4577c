// The relay exchange over HTTP: one GET per call, the window kept processing its
// messages while the server is awaited, a background cue while it is under way.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "relay/remote_support.h"

class QNetworkAccessManager;
class QSslConfiguration;
class QWidget;

namespace korvan {

class HttpRelayTransport : public RelayTransport {
  public:
    // busy(true) when an exchange starts, busy(false) when it ends.
    using CueCallback = std::function<void(bool busy)>;

    // The widget's background turns to the button-shadow colour during the
    // exchange and back to the button-face colour after it.
    explicit HttpRelayTransport(QWidget* background);
    explicit HttpRelayTransport(CueCallback cue);
    ~HttpRelayTransport() override;

    bool RelayExchange(RelayState& state) override;

    // A server that never answers would hold the relay for ever; the exchange is
    // given up after this long (the window stays usable meanwhile).
    static constexpr std::chrono::seconds ExchangeLimit{30};
    // Answers beyond this size are not relay pages; the exchange is given up.
    static constexpr int64_t MaxResponseBytes = 1 << 20;

    void SetExchangeLimit(std::chrono::milliseconds limit) { limit_ = limit; }
    // The TLS settings of "https://" support domains (trusted certificates
    // among them); without this call, the system's certificate store is trusted.
    void SetSslConfiguration(const QSslConfiguration& configuration);
    bool Busy() const { return busy_; }

  private:
    void Cue(bool busy);

    CueCallback cue_;
    std::unique_ptr<QNetworkAccessManager> manager_;
    std::unique_ptr<QSslConfiguration> tls_;
    std::chrono::milliseconds limit_ = ExchangeLimit;
    bool busy_ = false;
};

}  // namespace korvan
