// What the relay tells its operator: /healthz and /metrics, only to the
// addresses allowed (the graceful stop is in relay_command_test.cpp).
#include "tools/relay/relay_admin.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "tests/relay/raw_client.h"
#include "tools/relay/relay_server.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

TEST(RelayAdmin, AddressRangesMatchByPrefix) {
    AddressRanges ranges;
    for (const char* range : {"10.0.0.0/8", "192.0.2.7", "fd00::/8", "::1", "198.51.100.0/23"})
        ASSERT_TRUE(ranges.Add(range)) << range;
    for (const char* bad : {"", "10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/x", "host"})
        EXPECT_FALSE(ValidAddressRange(bad)) << bad;
    for (const char* inside : {"10.255.1.2", "192.0.2.7", "fd12::5", "::1", "198.51.101.255"})
        EXPECT_TRUE(ranges.Contains(inside)) << inside;
    for (const char* outside :
         {"11.0.0.1", "192.0.2.8", "fe80::1", "198.51.102.0", "::ffff:10.0.0.1", "not an address"})
        EXPECT_FALSE(ranges.Contains(outside)) << outside;
}

std::string Get(uint16_t port, const std::string& target, const char* from = "127.0.0.1",
                const std::string& extra = "") {
    RawClient client(port, from);
    if (!client.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\n" + extra + "\r\n")) return "";
    return client.ReadAnswer(2s);
}

// The value of one metric line, -1 when absent.
long Metric(const std::string& page, const std::string& name) {
    const size_t at = page.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::atol(page.c_str() + at + name.size() + 2);
}

TEST(RelayAdmin, HealthAndMetricsOnlyToTheAdminAddresses) {
    RelayServer server;
    RelayConnectionLimits limits;
    limits.TrustedProxies = {"127.0.0.5"};
    limits.PerAddress = 2;
    server.SetConnectionLimits(limits);
    AddressRanges admin;
    admin.Add("127.0.0.0/30");  // 127.0.0.1 to .3
    admin.Add("127.0.0.5");
    server.SetAdminFrom(admin);
    ASSERT_TRUE(server.Listen("127.0.0.1", 0));
    const uint16_t port = server.Port();

    // Each from an address of its own: a closed connection may still count
    // against its address for a moment, and the limit here is two.
    EXPECT_EQ(StatusOf(Get(port, "/K7QM2XDF/support3.php?user=client&data=4$1", "127.0.0.11")),
              200);
    EXPECT_EQ(StatusOf(Get(port, "/K7QM2XDF/support3.php?user=client&data=4$2", "127.0.0.12")),
              200);
    EXPECT_EQ(StatusOf(Get(port, "/nothing-here", "127.0.0.13")), 404);
    {
        // The third connection from one address is refused, once the server has
        // taken in the first two.
        const size_t before = server.OpenConnections();
        RawClient a(port, "127.0.0.9"), b(port, "127.0.0.9");
        for (int wait = 0; wait < 200 && server.OpenConnections() < before + 2; ++wait)
            std::this_thread::sleep_for(10ms);
        RawClient c(port, "127.0.0.9");
        EXPECT_TRUE(c.ClosedByServer(2s));
    }
    struct Row {
        const char* From;
        std::string Extra;
        int Status;
    };
    const Row rows[] = {
        {"127.0.0.1", "", 200},
        {"127.0.0.3", "", 200},
        {"127.0.0.4", "", 404},
        // A stranger's forged header changes nothing.
        {"127.0.0.6", "X-Forwarded-For: 127.0.0.1\r\n", 404},
        // The proxy's own checks, and a client it forwards.
        {"127.0.0.5", "", 200},
        {"127.0.0.5", "X-Forwarded-For: 203.0.113.1\r\n", 404},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StatusOf(Get(port, "/healthz", row.From, row.Extra)), row.Status) << row.From;
        EXPECT_EQ(StatusOf(Get(port, "/metrics", row.From, row.Extra)), row.Status) << row.From;
    }
    const std::string health = Get(port, "/healthz", "127.0.0.2");
    EXPECT_EQ(BodyOf(health), "serving\n");

    const std::string page = BodyOf(Get(port, "/metrics", "127.0.0.2"));
    EXPECT_EQ(Metric(page, "korvan_relay_sessions"), 1);
    EXPECT_EQ(Metric(page, "korvan_relay_queued_messages"), 2);
    EXPECT_EQ(Metric(page, "korvan_relay_queued_bytes"), 6);
    EXPECT_GE(Metric(page, "korvan_relay_connections_open"), 1);
    EXPECT_EQ(Metric(page, "korvan_relay_draining"), 0);
    EXPECT_GE(Metric(page, "korvan_relay_requests_total{code=\"200\"}"), 2 + 4);
    EXPECT_EQ(Metric(page, "korvan_relay_requests_total{code=\"404\"}"), 1 + 6);
    EXPECT_GE(Metric(page, "korvan_relay_refusals_total{reason=\"per_address_connections\"}"), 1);
    EXPECT_EQ(Metric(page, "korvan_relay_refusals_total{reason=\"session_table_full\"}"), 0);
    // Every line is a comment or a name, optional labels and a number.
    std::istringstream lines(page);
    std::string line;
    const std::regex sample("[a-z_]+(\\{[a-z]+=\"[a-z0-9_]+\"\\})? [0-9]+");
    while (std::getline(lines, line))
        EXPECT_TRUE(line.starts_with("# ") || std::regex_match(line, sample)) << line;

    server.BeginDrain();
    const std::string stopping = Get(port, "/healthz");  // no new connection: refused
    EXPECT_EQ(stopping, "");
}

}  // namespace
}  // namespace korvan
