// The relay server against hostile or clumsy clients on loopback: stalled TLS
// handshakes, heads that trickle in, heads at and beyond the cap, request lines
// with NUL bytes, requests that end with the client's FIN and bursts of new
// connections.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "relay/relay_protocol.h"
#include "tests/relay/raw_client.h"
#include "tools/relay/relay_server.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// CPU time of this process (the server runs in it), user and system.
std::chrono::microseconds CpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

std::unique_ptr<RelayServer> StartServer(RelayConnectionLimits limits = {}) {
    auto server = std::make_unique<RelayServer>();
    server->SetConnectionLimits(limits);
    if (!server->Listen("127.0.0.1", 0)) return nullptr;
    return server;
}

std::string Post(const std::string& session, const char* user, const std::string& data) {
    return RawGet("/" + session + "/support3.php?user=" + user + "&data=" + data);
}

TEST(RelayAttack, AStalledTlsHandshakeCostsNoCpu) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("korvan-relay-tls-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string cert = (dir / "cert.pem").string();
    const std::string key = (dir / "key.pem").string();
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
        "-subj /CN=127.0.0.1 -keyout " +
        key + " -out " + cert + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    auto read = [](const std::string& path) {
        std::ifstream file(path);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    };
    RelayServer server;
    server.SetTls(read(cert), read(key));
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(server.Listen("127.0.0.1", 0)) << server.ErrorText();

    // A TLS record header announcing 512 bytes of ClientHello, and only part of it.
    std::string half("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11);
    half.append(100, '\x42');
    std::vector<std::unique_ptr<RawClient>> stalled;
    for (int i = 0; i < 4; ++i) {
        stalled.push_back(std::make_unique<RawClient>(server.Port()));
        ASSERT_TRUE(stalled.back()->Send(half));
    }
    std::this_thread::sleep_for(200ms);
    const auto before = CpuTime();
    std::this_thread::sleep_for(1500ms);
    EXPECT_LT(CpuTime() - before, 300ms) << "while 4 handshakes stall for 1.5 s";
}

TEST(RelayAttack, AHeadMustArriveWithinItsDeadlineWhateverTrickles) {
    RelayConnectionLimits limits;
    limits.IdleSeconds = 10;
    limits.HeadSeconds = 1;
    auto server = StartServer(limits);
    ASSERT_TRUE(server);
    RawClient trickle(server->Port());
    const std::string head = Post("K7QM2XDF", "client", "0");
    const auto start = Clock::now();
    bool closed = false;
    for (size_t i = 0; i < head.size() - 1 && !closed; ++i) {
        trickle.Send(head.substr(i, 1));
        closed = trickle.ClosedByServer(150ms);
        if (Clock::now() - start > 4s) break;
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(Clock::now() - start, 2500ms);
    // A kept-alive connection may wait between requests longer than the head deadline.
    RawClient kept(server->Port());
    ASSERT_TRUE(kept.Send(Post("K7QM2XDF", "client", "0")));
    EXPECT_EQ(StatusOf(kept.ReadAnswer()), 200);
    EXPECT_FALSE(kept.ClosedByServer(1800ms));
    ASSERT_TRUE(kept.Send(Post("K7QM2XDF", "client", "0")));
    EXPECT_EQ(StatusOf(kept.ReadAnswer()), 200);
}

TEST(RelayAttack, HeadsNearTheCapAreAnsweredAndLoseNothing) {
    RelayConnectionLimits limits;
    limits.HeadSeconds = 2;
    auto server = StartServer(limits);
    ASSERT_TRUE(server);
    // Data lengths around the cap, from comfortably within to well beyond it,
    // in steps finer than the header lines; then around where the HTTP layer
    // itself gives up.
    std::vector<size_t> lengths;
    for (size_t length = RelayService::MaxRequestBytes - 700;
         length < RelayService::MaxRequestBytes + 1400; length += 73)
        lengths.push_back(length);
    for (size_t length = RelayService::MaxRequestBytes + 14000;
         length < RelayService::MaxRequestBytes + 19000; length += 211)
        lengths.push_back(length);
    // The message owed is the longest a tool sends: answering it takes room too.
    std::string owed = "4";
    for (size_t i = 0; i < RelayBufferSize; ++i) owed += "$255";
    for (size_t length : lengths) {
        SCOPED_TRACE(length);
        RawClient support(server->Port());
        ASSERT_TRUE(support.Send(Post("K7QM2XDF", "support", owed)));
        ASSERT_EQ(StatusOf(support.ReadAnswer()), 200);

        RawClient client(server->Port());
        ASSERT_TRUE(client.Send(Post("K7QM2XDF", "client", "2$" + std::string(length, '1'))));
        const auto asked = Clock::now();
        const std::string answer = client.ReadAnswer(4s);
        EXPECT_LT(Clock::now() - asked, 1s) << "answered only after the deadline";
        const int status = StatusOf(answer);
        if (status == 200) {
            EXPECT_EQ(ExtractMessage(BodyOf(answer)), owed);
        } else {
            EXPECT_TRUE(status == 414 || status == 431) << answer.substr(0, 60);
            EXPECT_EQ(server->Service().Waiting("K7QM2XDF", RelaySide::Client), 1u);
            // The owed message is still there for the next request.
            RawClient again(server->Port());
            ASSERT_TRUE(again.Send(Post("K7QM2XDF", "client", "0")));
            EXPECT_EQ(ExtractMessage(BodyOf(again.ReadAnswer())), owed);
        }
    }
}

TEST(RelayAttack, ARequestEndedByTheClientsFinIsAnsweredAndFreesItsPlace) {
    RelayConnectionLimits limits;
    limits.PerAddress = 4;
    limits.IdleSeconds = 10;
    auto server = StartServer(limits);
    ASSERT_TRUE(server);
    for (int i = 0; i < 12; ++i) {
        RawClient client(server->Port(), "127.0.0.3");
        ASSERT_TRUE(client.Send(Post("K7QM2XDF", "client", "0")));
        client.ShutdownWrite();
        const std::string answer = client.ReadAnswer(2s);
        EXPECT_EQ(StatusOf(answer), 200) << "request " << i;
        EXPECT_TRUE(client.ClosedByServer(1s)) << "request " << i;
    }
}

// Many connections opened at once, each with a request: every one is answered.
TEST(RelayAttack, BurstsOfNewConnectionsAreAllAnswered) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    constexpr int Burst = 400;
    for (int round = 0; round < 8; ++round) {
        std::vector<std::unique_ptr<RawClient>> burst;
        for (int i = 0; i < Burst; ++i) {
            // Spread over addresses so that the per-address limit stays out of it.
            const std::string from = "127.2.0." + std::to_string(i % 100 + 1);
            burst.push_back(std::make_unique<RawClient>(server->Port(), from.c_str()));
            burst.back()->Send(Post("K7QM2XDF", "client", "0"));
        }
        int answered = 0;
        for (auto& client : burst) answered += StatusOf(client->ReadAnswer(3s)) == 200;
        ASSERT_EQ(answered, Burst) << "round " << round;
    }
}

}  // namespace
}  // namespace korvan
