// The relay behind a proxy: a trusted proxy's connections are not limited per
// address, the client it names in X-Forwarded-For is the one limited, and from
// anyone else X-Forwarded-For changes nothing.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "relay/relay_protocol.h"
#include "tests/relay/raw_client.h"
#include "tools/relay/relay_server.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

constexpr char Proxy[] = "127.0.0.5";
constexpr char Stranger[] = "127.0.0.6";

std::string Forwarded(const std::string& target, const std::string& forwardedFor) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Forwarded-For: " + forwardedFor +
           "\r\n\r\n";
}

class RelayProxyTest : public testing::Test {
  protected:
    void Start(unsigned perAddress, size_t sessionsPerAddress) {
        RelayLimits relay;
        relay.SessionsPerAddress = sessionsPerAddress;
        server = std::make_unique<RelayServer>(relay);
        RelayConnectionLimits limits;
        limits.PerAddress = perAddress;
        limits.TrustedProxies = {Proxy, "::1"};
        server->SetConnectionLimits(limits);
        ASSERT_TRUE(server->Listen("127.0.0.1", 0)) << server->ErrorText();
    }
    int Ask(const std::string& request, const char* from) {
        RawClient client(server->Port(), from);
        if (!client.Send(request)) return 0;
        return StatusOf(client.ReadAnswer(2s));
    }
    std::unique_ptr<RelayServer> server;
};

TEST_F(RelayProxyTest, ATrustedProxyIsNotLimitedPerAddressButAStrangerIs) {
    Start(4, 0);
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < 20; ++i) held.push_back(std::make_unique<RawClient>(server->Port(), Proxy));
    for (int i = 0; i < 4; ++i)
        held.push_back(std::make_unique<RawClient>(server->Port(), Stranger));
    // The server takes connections in on its own thread: all 24 first, then the fifth.
    for (int wait = 0; wait < 200 && server->OpenConnections() < held.size(); ++wait)
        std::this_thread::sleep_for(10ms);
    RawClient fifth(server->Port(), Stranger);
    EXPECT_TRUE(fifth.ClosedByServer(2s));
    for (auto& client : held) {
        ASSERT_TRUE(client->Send(RawGet("/support3.php?user=client&data=0")));
        EXPECT_EQ(StatusOf(client->ReadAnswer(2s)), 200);
    }
}

TEST_F(RelayProxyTest, TheForwardedClientIsBelievedOnlyFromATrustedProxy) {
    Start(32, 2);
    struct Row {
        const char* From;
        const char* ForwardedFor[3];  // for three new sessions
        int Third;                    // the third's status
    };
    const Row rows[] = {
        // Through the proxy: three clients, each under its limit.
        {Proxy, {"192.0.2.1", "192.0.2.2", "10.0.0.1, 192.0.2.3"}, 200},
        // One client through the proxy: its third session is refused, whatever
        // it put in front of the proxy's own entry.
        {Proxy,
         {"192.0.2.9", "198.51.100.1, 192.0.2.9", "192.0.2.50\r\nX-Forwarded-For: 192.0.2.9"},
         503},
        // A forged header from elsewhere: the stranger is limited as itself.
        {Stranger, {"192.0.2.20", "192.0.2.21", "192.0.2.22"}, 503},
        // A forwarded entry that is no address: the proxy itself is the client.
        {Proxy, {"unknown", "unknown", "unknown"}, 503},
    };
    int session = 0;
    for (const Row& row : rows) {
        for (int i = 0; i < 3; ++i) {
            const std::string target =
                "/Session-" + std::to_string(++session) + "/support3.php?user=client&data=0";
            EXPECT_EQ(Ask(Forwarded(target, row.ForwardedFor[i]), row.From),
                      i < 2 ? 200 : row.Third)
                << row.From << " " << row.ForwardedFor[i];
        }
    }
}

// A forwarded request whose answer the proxy does not read stays in flight.
TEST_F(RelayProxyTest, RequestsInFlightAreLimitedPerForwardedClient) {
    Start(1, 0);
    const std::string big(RelayService::MaxRequestBytes - 1024, '1');
    // Answers too big for the sockets' buffers while nobody reads them.
    for (const char* from : {"127.0.0.7", "127.0.0.8"})
        ASSERT_EQ(Ask(RawGet("/Session-big/support3.php?user=support&data=4$" + big), from), 200);
    std::vector<int> stalled;
    for (int i = 0; i < 2; ++i) {
        // A small window in small segments, set before connecting: the server's
        // send buffer stays small too.
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int small = 1024, segment = 536;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        setsockopt(fd, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        inet_pton(AF_INET, Proxy, &at.sin_addr);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        at.sin_port = htons(server->Port());
        inet_pton(AF_INET, "127.0.0.1", &at.sin_addr);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        const std::string request =
            Forwarded("/Session-big/support3.php?user=client&data=0", "192.0.2.7");
        ASSERT_EQ(send(fd, request.data(), request.size(), 0),
                  static_cast<ssize_t>(request.size()));
        stalled.push_back(fd);
        usleep(200000);
    }
    // The second was refused while the first's answer waits to be read.
    char head[32] = "";
    ASSERT_GT(recv(stalled[1], head, sizeof head - 1, 0), 0);
    EXPECT_EQ(StatusOf(head), 503) << head;
    // Another forwarded client is served meanwhile.
    EXPECT_EQ(Ask(Forwarded("/Session-other/support3.php?user=client&data=0", "192.0.2.8"), Proxy),
              200);
    for (int fd : stalled) close(fd);
}

}  // namespace
}  // namespace korvan
