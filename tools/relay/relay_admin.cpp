#include "tools/relay/relay_admin.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <charconv>
#include <cstring>

namespace korvan {

namespace {

bool ParseBytes(const std::string& text, std::array<uint8_t, 16>& bytes, bool& ipv6) {
    bytes.fill(0);
    if (inet_pton(AF_INET, text.c_str(), bytes.data()) == 1) {
        ipv6 = false;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), bytes.data()) == 1) {
        ipv6 = true;
        return true;
    }
    return false;
}

void Line(std::string& out, const char* name, const char* labels, uint64_t value) {
    out += name;
    out += labels;
    out += ' ';
    out += std::to_string(value);
    out += '\n';
}

void Head(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

}  // namespace

bool AddressRanges::Add(const std::string& text) {
    const size_t slash = text.find('/');
    Range range;
    if (!ParseBytes(text.substr(0, slash), range.Bytes, range.Ipv6)) return false;
    const unsigned most = range.Ipv6 ? 128 : 32;
    range.Bits = most;
    if (slash != std::string::npos) {
        const char* begin = text.data() + slash + 1;
        const char* end = text.data() + text.size();
        auto [at, error] = std::from_chars(begin, end, range.Bits);
        if (begin == end || error != std::errc() || at != end || range.Bits > most) return false;
    }
    ranges_.push_back(range);
    return true;
}

bool AddressRanges::Contains(const std::string& address) const {
    std::array<uint8_t, 16> bytes{};
    bool ipv6 = false;
    if (!ParseBytes(address, bytes, ipv6)) return false;
    for (const Range& range : ranges_) {
        if (range.Ipv6 != ipv6) continue;
        const unsigned whole = range.Bits / 8;
        if (std::memcmp(bytes.data(), range.Bytes.data(), whole) != 0) continue;
        const unsigned rest = range.Bits % 8;
        if (rest == 0) return true;
        const auto mask = static_cast<uint8_t>(0xFF00u >> rest);
        if ((bytes[whole] & mask) == (range.Bytes[whole] & mask)) return true;
    }
    return false;
}

bool ValidAddressRange(const std::string& text) { return AddressRanges().Add(text); }

std::string RelayMetricsText(const RelayCounters& counters, const RelayServiceCounts& service,
                             const RelayGauges& gauges) {
    std::string out;
    Head(out, "korvan_relay_sessions", "gauge", "Conversations live.");
    Line(out, "korvan_relay_sessions", "", service.Sessions);
    Head(out, "korvan_relay_queued_messages", "gauge", "Messages waiting to be taken.");
    Line(out, "korvan_relay_queued_messages", "", service.WaitingMessages);
    Head(out, "korvan_relay_queued_bytes", "gauge", "Bytes of the messages waiting.");
    Line(out, "korvan_relay_queued_bytes", "", service.WaitingBytes);
    Head(out, "korvan_relay_connections_open", "gauge", "Connections open.");
    Line(out, "korvan_relay_connections_open", "", gauges.ConnectionsOpen);
    Head(out, "korvan_relay_draining", "gauge", "1 while stopping.");
    Line(out, "korvan_relay_draining", "", gauges.Draining ? 1 : 0);

    Head(out, "korvan_relay_requests_total", "counter", "Requests answered, by status.");
    for (size_t status = 100; status < counters.ByStatus.size(); ++status) {
        const uint64_t count = counters.ByStatus[status].load(std::memory_order_relaxed);
        if (count == 0) continue;
        const std::string labels = "{code=\"" + std::to_string(status) + "\"}";
        Line(out, "korvan_relay_requests_total", labels.c_str(), count);
    }

    Head(out, "korvan_relay_refusals_total", "counter",
         "Connections closed or requests refused, by reason.");
    const auto refusal = [&counters](RelayRefusal why) {
        return counters.Refusals[static_cast<size_t>(why)].load(std::memory_order_relaxed);
    };
    const std::pair<const char*, uint64_t> reasons[] = {
        {"per_address_connections", refusal(RelayRefusal::PerAddressConnections)},
        {"connection_limit", refusal(RelayRefusal::ConnectionLimit)},
        {"head_deadline", refusal(RelayRefusal::HeadDeadline)},
        {"forwarded_in_flight", refusal(RelayRefusal::ForwardedInFlight)},
        {"session_table_full", service.TableFull},
        {"address_sessions", service.AddressSessionsFull},
        {"queued_bytes", service.WaitingBytesFull},
    };
    for (const auto& [reason, count] : reasons) {
        const std::string labels = std::string("{reason=\"") + reason + "\"}";
        Line(out, "korvan_relay_refusals_total", labels.c_str(), count);
    }
    Head(out, "korvan_relay_sessions_evicted_total", "counter",
         "One-sided conversations dropped to make room for new ones.");
    Line(out, "korvan_relay_sessions_evicted_total", "", service.Evicted);
    return out;
}

}  // namespace korvan
