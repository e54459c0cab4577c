// The relay server on loopback sockets: HTTP answers and refusals, connection
// limits per address, silent connections, and a relay that keeps answering
// while idle sockets from another address are held open.
#include "tools/relay/relay_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "relay/relay_protocol.h"
#include "tests/relay/raw_client.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

class RelayServerTest : public testing::Test {
  protected:
    void Start(RelayConnectionLimits limits = {}, RelayLimits relay = {}) {
        server = std::make_unique<RelayServer>(relay);
        server->SetConnectionLimits(limits);
        server->SetObserver([this](const std::string&, int status) {
            std::lock_guard<std::mutex> lock(seenMutex);
            seen.push_back(status);
        });
        ASSERT_TRUE(server->Listen("127.0.0.1", 0)) << server->ErrorText();
        ASSERT_NE(server->Port(), 0);
    }
    std::string Ask(const std::string& bytes, const char* from = "127.0.0.1") {
        RawClient client(server->Port(), from);
        if (!client.Connected() || !client.Send(bytes)) return "not connected";
        return client.ReadAnswer();
    }
    std::vector<int> Seen() {
        std::lock_guard<std::mutex> lock(seenMutex);
        return seen;
    }
    // Idle connections from one address, each given time to be accepted.
    std::vector<std::unique_ptr<RawClient>> Idle(int count, const char* from) {
        std::vector<std::unique_ptr<RawClient>> idle;
        const size_t before = server->OpenConnections();
        for (int i = 0; i < count; ++i)
            idle.push_back(std::make_unique<RawClient>(server->Port(), from));
        // The server takes connections in on its own thread; a slow one (under the
        // sanitizers) would otherwise count the next connection before these.
        for (int wait = 0; wait < 200 && server->OpenConnections() < before + idle.size(); ++wait)
            std::this_thread::sleep_for(10ms);
        return idle;
    }

    std::mutex seenMutex;
    std::vector<int> seen;
    // Last, so that it is stopped first: its threads tell the observer above.
    std::unique_ptr<RelayServer> server;
};

TEST_F(RelayServerTest, AnswersRelayPagesAndKeepsTheConnection) {
    Start();
    RawClient client(server->Port());
    ASSERT_TRUE(client.Send(RawGet("/K7QM2XDF/support3.php?user=client&data=2$170$1&time=1")));
    const std::string first = client.ReadAnswer();
    EXPECT_EQ(first.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << first;
    EXPECT_NE(first.find("Content-Type: text/html\r\n"), std::string::npos);
    EXPECT_EQ(ExtractMessage(BodyOf(first)), "");
    // Content-Length matches the body.
    const size_t at = first.find("Content-Length: ") + 16;
    EXPECT_EQ(std::stoul(first.substr(at)), BodyOf(first).size());

    // A second request on the same connection, from the other side.
    ASSERT_TRUE(client.Send(RawGet("/K7QM2XDF/support3.php?user=support&data=0&time=2")));
    const std::string second = client.ReadAnswer();
    EXPECT_EQ(StatusOf(second), 200);
    EXPECT_EQ(ExtractMessage(BodyOf(second)), "2$170$1");
    EXPECT_EQ(Seen(), (std::vector<int>{200, 200}));
}

TEST_F(RelayServerTest, TheToolsLongestMessagePassesWhole) {
    Start();
    RelayState support;
    support.SupportDomain = "127.0.0.1/K7QM2XDF";
    support.RelayRole = RoleSupport;
    support.OutKind = MsgChat;
    support.OutCount = static_cast<int>(RelayBufferSize);
    support.SupportBuffer.fill(255);
    const std::string url = BuildRequestUrl(support, 4636350000);
    const std::string target = url.substr(url.find("/K7QM2XDF"));
    // With the headers the tool sends.
    const std::string request =
        "GET " + target +
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Mozilla/3.0 (compatible; Indy "
        "Library)\r\nAccept: text/html, */*\r\nAccept-Encoding: *\r\nCache-Control: "
        "\"no-cache\"\r\nContent-Type: text/html\r\nConnection: Keep-Alive\r\n\r\n";
    EXPECT_EQ(StatusOf(Ask(request)), 200);

    RelayState client;
    std::string error;
    const std::string answer = Ask(RawGet("/K7QM2XDF/support3.php?user=client&data=2&time=1"));
    ASSERT_TRUE(ParseSupportMessage(client, BodyOf(answer), error)) << error;
    EXPECT_EQ(client.InKind, MsgChat);
    EXPECT_EQ(client.InCount, static_cast<int>(RelayBufferSize));
    EXPECT_EQ(client.SupportBuffer[RelayBufferSize - 1], 255);
}

TEST_F(RelayServerTest, MalformedRequestsAreRefusedAndPostNothing) {
    Start();
    struct Row {
        std::string Request;
        int Status;  // 0: the connection is closed without an answer
    };
    const std::string big(RelayService::MaxRequestBytes + 100, '1');
    std::string manyLines;
    for (int i = 0; i < 2000; ++i) manyLines += "X-" + std::to_string(i) + ": 1\r\n";
    const std::string endless(RelayService::MaxRequestBytes + 20000, '1');
    const Row rows[] = {
        {"GET /support3.php?user=client&data=0 HTTP/2.0\r\nHost: x\r\n\r\n", 505},
        {"GET /support3.php?user=client&data=0 HTTP/2\r\nHost: x\r\n\r\n", 400},
        {"GET /support3.php?user=client&data=0\r\n\r\n", 400},
        {"POST /support3.php?user=client&data=0 HTTP/1.1\r\nHost: x\r\nContent-Length: "
         "3\r\n\r\n2$1",
         405},
        {RawGet("/support3.php?user=client&data=4$60<b>"), 400},
        {RawGet("/index.html?user=client&data=0"), 404},
        {RawGet("/K7QM/support3.php?user=client&data=0"), 404},
        // The request line never ends: refused once the line outgrows what a
        // connection holds (a complete one is refused beyond the cap).
        {"GET /support3.php?user=client&data=4" + endless, 414},
        {"GET /support3.php?user=client&data=4" + big + " HTTP/1.1\r\n\r\n", 414},
        {"GET /support3.php?user=client&data=0 HTTP/1.1\r\nX-Filler: " + big + "\r\n\r\n", 431},
        // Headers beyond the cap in two lines, and many short lines.
        {"GET /support3.php?user=client&data=0 HTTP/1.1\r\nX-A: " +
             std::string(RelayService::MaxRequestBytes - 100, 'a') +
             "\r\nX-B: " + std::string(300, 'b') + "\r\n\r\n",
         431},
        {"GET /support3.php?user=client&data=0 HTTP/1.1\r\n" + manyLines + "\r\n", 431},
        // A NUL would cut the message short unseen.
        {std::string("GET /support3.php?user=client&data=2$1\0$2 HTTP/1.1\r\nHost: x\r\n\r\n", 63),
         400},
        {"GARBAGE\r\n\r\n", 0},
    };
    for (const Row& row : rows) {
        const std::string answer = Ask(row.Request);
        if (row.Status == 0) {
            EXPECT_EQ(answer, "") << row.Request.substr(0, 60);
        } else {
            EXPECT_EQ(StatusOf(answer), row.Status) << row.Request.substr(0, 60) << "\n"
                                                    << answer.substr(0, 80);
        }
    }
    EXPECT_EQ(Seen(),
              (std::vector<int>{505, 400, 400, 405, 400, 404, 404, 414, 414, 431, 431, 431, 400}));
    EXPECT_EQ(server->Service().Waiting("", RelaySide::Support), 0u);
    EXPECT_EQ(server->Service().Sessions(), 0u);
}

TEST_F(RelayServerTest, ConnectionsPerAddressAreLimited) {
    RelayConnectionLimits limits;
    limits.PerAddress = 4;
    Start(limits);
    auto held = Idle(4, "127.0.0.2");
    RawClient fifth(server->Port(), "127.0.0.2");
    EXPECT_TRUE(fifth.ClosedByServer(2s));
    for (const auto& client : held) EXPECT_FALSE(client->ClosedByServer(10ms));
    // Another address is served meanwhile.
    EXPECT_EQ(StatusOf(Ask(RawGet("/support3.php?user=client&data=0"))), 200);
    // A freed place is taken again.
    held.pop_back();
    std::string answer;
    // The server frees the place once it has seen the close: a second at most.
    for (int attempt = 0; attempt < 50 && StatusOf(answer) != 200; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(20ms);
        answer = Ask(RawGet("/support3.php?user=client&data=0"), "127.0.0.2");
    }
    EXPECT_EQ(StatusOf(answer), 200);
}

TEST_F(RelayServerTest, ASilentConnectionIsClosed) {
    RelayConnectionLimits limits;
    limits.IdleSeconds = 1;
    Start(limits);
    RawClient silent(server->Port());
    RawClient halfway(server->Port());
    ASSERT_TRUE(halfway.Send("GET /support3.php?user=client&data=0 HT"));
    EXPECT_FALSE(silent.ClosedByServer(500ms));
    EXPECT_TRUE(silent.ClosedByServer(4s));
    EXPECT_TRUE(halfway.ClosedByServer(4s));
}

TEST_F(RelayServerTest, IdleSocketsFromOneAddressDoNotStopARealClient) {
    for (unsigned perAddress : {32u, 0u}) {
        RelayConnectionLimits limits;
        limits.PerAddress = perAddress;
        Start(limits);
        auto idle = Idle(100, "127.0.0.2");
        int closed = 0;
        std::this_thread::sleep_for(300ms);  // time for the server to take them all in
        for (const auto& client : idle) closed += client->ClosedByServer(1ms) ? 1 : 0;
        EXPECT_EQ(closed, perAddress ? 68 : 0) << "per-address limit " << perAddress;
        RawClient real(server->Port());
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(
                real.Send(RawGet("/support3.php?user=support&data=0&time=" + std::to_string(i))));
            const auto asked = std::chrono::steady_clock::now();
            EXPECT_EQ(StatusOf(real.ReadAnswer(2s)), 200);
            EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
        }
        server.reset();
    }
}

}  // namespace
}  // namespace korvan
