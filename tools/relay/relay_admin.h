// What the relay tells its operator: who may ask (address ranges), and the
// counts it keeps for /metrics in the Prometheus text format.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/relay/relay_service.h"

namespace korvan {

// IPv4 and IPv6 addresses and ranges ("192.0.2.7", "10.0.0.0/8", "::1",
// "fd00::/8").
class AddressRanges {
  public:
    // False, and nothing added, when text is no address or range.
    bool Add(const std::string& text);
    // address in its usual written form.
    bool Contains(const std::string& address) const;
    bool Empty() const { return ranges_.empty(); }

  private:
    struct Range {
        std::array<uint8_t, 16> Bytes{};
        bool Ipv6 = false;
        unsigned Bits = 0;
    };
    std::vector<Range> ranges_;
};

bool ValidAddressRange(const std::string& text);

// Why connections or requests were refused by the server itself.
enum class RelayRefusal {
    PerAddressConnections,  // an address at its most connections
    ConnectionLimit,        // the server at its most connections
    HeadDeadline,           // a request head not whole in time
    ForwardedInFlight,      // a forwarded client at its most requests in flight
    Count
};

// Counts kept by the server, safe to bump from any thread.
struct RelayCounters {
    std::array<std::atomic<uint64_t>, 600> ByStatus{};
    std::array<std::atomic<uint64_t>, static_cast<size_t>(RelayRefusal::Count)> Refusals{};

    void Answered(int status) {
        if (status >= 100 && status < 600) ++ByStatus[static_cast<size_t>(status)];
    }
    void Refused(RelayRefusal why) { ++Refusals[static_cast<size_t>(why)]; }
};

struct RelayGauges {
    size_t ConnectionsOpen = 0;
    bool Draining = false;
};

// The /metrics page.
std::string RelayMetricsText(const RelayCounters& counters, const RelayServiceCounts& service,
                             const RelayGauges& gauges);

}  // namespace korvan
