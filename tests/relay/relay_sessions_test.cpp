// Conversations on one relay: kept apart by their session codes, created by
// their first request, dropped when idle, bounded in number and in bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "relay/relay_protocol.h"
#include "tools/relay/relay_service.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

class RelaySessionsTest : public testing::Test {
  protected:
    RelayService Make(RelayLimits limits = {}) {
        return RelayService(limits, [this] { return now; });
    }
    static std::string Say(RelayService& service, const std::string& prefix, const char* user,
                           const std::string& data) {
        RelayReply reply = service.Handle(
            "GET", prefix + "/support3.php?user=" + user + "&data=" + data + "&time=1");
        return reply.Status == 200 ? ExtractMessage(reply.Body)
                                   : "status " + std::to_string(reply.Status);
    }

    std::chrono::steady_clock::time_point now{};
};

TEST_F(RelaySessionsTest, TwoSessionsAndTheDefaultNeverSeeEachOthersMessages) {
    RelayService service = Make();
    EXPECT_EQ(Say(service, "/K7QM2XDF", "client", "2$1"), "");
    EXPECT_EQ(Say(service, "/Other-session-42", "client", "2$2"), "");
    EXPECT_EQ(Say(service, "", "client", "2$3"), "");
    EXPECT_EQ(service.Sessions(), 3u);

    EXPECT_EQ(Say(service, "/K7QM2XDF", "support", "4$72$105"), "2$1");
    EXPECT_EQ(Say(service, "/Other-session-42", "support", "0"), "2$2");
    // The bare domain is one conversation of its own, as a tool without a code expects.
    EXPECT_EQ(Say(service, "", "support", "0"), "2$3");

    EXPECT_EQ(Say(service, "/Other-session-42", "client", "2$2"), "0");
    EXPECT_EQ(Say(service, "", "client", "2$3"), "0");
    EXPECT_EQ(Say(service, "/K7QM2XDF", "client", "2$1"), "4$72$105");
    EXPECT_EQ(Say(service, "/K7QM2XDF", "support", "0"), "2$1");
    // Codes are case-sensitive: another case is another conversation.
    EXPECT_EQ(Say(service, "/k7qm2xdf", "support", "0"), "");
    EXPECT_EQ(service.Sessions(), 4u);
}

TEST_F(RelaySessionsTest, OnlyCodesOfEightToSixtyFourLettersDigitsAndDashes) {
    RelayService service = Make();
    const std::string slash = "/";
    for (const std::string& prefix : std::vector<std::string>{
             "/K7QM2XD", slash + std::string(65, 'a'), "/K7QM2XDF/", "/K7QM_2XDF", "/K7QM2XDF/more",
             "/a/K7QM2XDF", "K7QM2XDF", "//K7QM2XDF", "/K7QM%202XDF", "/K7QM2XDF.php", "/.."}) {
        EXPECT_EQ(Say(service, prefix, "client", "0"), "status 404") << prefix;
    }
    EXPECT_EQ(service.Handle("GET", "/K7QM2XDF/support3.phpx?user=client&data=0").Status, 404);
    EXPECT_EQ(service.Sessions(), 0u);
    for (const std::string& prefix :
         std::vector<std::string>{slash + std::string(8, '7'), slash + std::string(64, 'Z'),
                                  "/--------", "/K7QM%2D2XDF"}) {
        EXPECT_EQ(Say(service, prefix, "client", "0"), "") << prefix;
    }
    std::string session;
    ASSERT_TRUE(SessionOfPath("/K7QM-2XDF/support3.php", session));
    EXPECT_EQ(session, "K7QM-2XDF");
    ASSERT_TRUE(SessionOfPath("/support3.php", session));
    EXPECT_EQ(session, "");
}

TEST_F(RelaySessionsTest, WithoutTheDefaultSessionTheBareDomainIsNotFound) {
    RelayLimits limits;
    limits.DefaultSession = false;
    RelayService service = Make(limits);
    EXPECT_EQ(Say(service, "", "client", "2$1"), "status 404");
    EXPECT_EQ(Say(service, "/K7QM2XDF", "client", "2$1"), "");
    EXPECT_EQ(service.Sessions(), 1u);
}

TEST_F(RelaySessionsTest, AConversationIsDroppedAfterItsIdleTime) {
    RelayLimits limits;
    limits.SessionIdle = 15min;
    RelayService service = Make(limits);
    Say(service, "/Kept-alive", "client", "4$1");
    Say(service, "/Forgotten", "client", "4$2");
    EXPECT_EQ(service.WaitingBytes(), 6u);

    now += 14min;
    Say(service, "/Kept-alive", "client", "4$3");  // a use restarts its idle time
    now += 59s;
    service.DropIdle();
    EXPECT_EQ(service.Sessions(), 2u);
    now += 1s;
    service.DropIdle();
    EXPECT_EQ(service.Sessions(), 1u);
    EXPECT_EQ(service.Waiting("Forgotten", RelaySide::Support), 0u);
    EXPECT_EQ(service.WaitingBytes(), 6u);

    // A request after the idle time finds a fresh conversation: nothing waits.
    now += 15min;
    EXPECT_EQ(Say(service, "/Kept-alive", "support", "0"), "");
    EXPECT_EQ(service.Sessions(), 1u);
    EXPECT_EQ(service.WaitingBytes(), 1u);  // the request's own "0" for the customer
}

TEST_F(RelaySessionsTest, AFullTableRefusesNewConversationsButServesItsOwn) {
    RelayLimits limits;
    limits.MaxSessions = 3;
    limits.SessionIdle = 60s;
    RelayService service = Make(limits);
    for (const char* code : {"/Session-1", "/Session-2", ""})
        EXPECT_EQ(Say(service, code, "client", "2$1"), "");
    // Both sides use each: none may make room for a new one.
    for (const char* code : {"/Session-1", "/Session-2", ""})
        EXPECT_EQ(Say(service, code, "support", "0"), "2$1");
    EXPECT_EQ(Say(service, "/Session-4", "client", "2$1"), "status 503");
    EXPECT_EQ(service.Sessions(), 3u);
    EXPECT_EQ(Say(service, "/Session-2", "client", "2$2"), "0");

    now += 30s;
    Say(service, "/Session-2", "support", "0");
    now += 30s;  // Session-1 and the default one are idle now, Session-2 is not
    EXPECT_EQ(Say(service, "/Session-4", "client", "2$1"), "");
    EXPECT_EQ(service.Sessions(), 2u);
}

// Made-up codes: one address creates only so many conversations, and a full
// table drops the least recently used one-sided conversation for a new one,
// never one both sides use.
TEST_F(RelaySessionsTest, MadeUpCodesNeitherFillTheTableNorDisplaceRealSessions) {
    RelayLimits limits;
    limits.MaxSessions = 4;
    limits.SessionsPerAddress = 3;
    RelayService service = Make(limits);
    auto say = [&](const std::string& code, const char* user, const std::string& data,
                   const std::string& address) {
        RelayReply reply = service.Handle(
            "GET", "/" + code + "/support3.php?user=" + std::string(user) + "&data=" + data,
            address);
        return reply.Status == 200 ? ExtractMessage(reply.Body)
                                   : "status " + std::to_string(reply.Status);
    };
    // A real session, both sides, each from its own address.
    EXPECT_EQ(say("Real-session", "client", "2$1", "192.0.2.1"), "");
    EXPECT_EQ(say("Real-session", "support", "0", "198.51.100.1"), "2$1");
    for (int i = 0; i < 5; ++i) {
        const std::string code = "Made-up-" + std::to_string(i);
        EXPECT_EQ(say(code, "client", "4$1", "203.0.113.9"), i < 3 ? "" : "status 503") << i;
    }
    EXPECT_EQ(service.Counts().AddressSessionsFull, 2u);
    // Another address fills the table: the oldest made-up one makes room.
    EXPECT_EQ(say("Made-up-x", "client", "4$2", "203.0.113.10"), "");
    EXPECT_EQ(service.Waiting("Made-up-0", RelaySide::Support), 0u);
    EXPECT_EQ(service.Waiting("Made-up-1", RelaySide::Support), 1u);
    EXPECT_EQ(service.Counts().Evicted, 1u);
    // The dropped one no longer counts against its creator.
    EXPECT_EQ(say("Made-up-5", "client", "4$1", "203.0.113.9"), "");
    EXPECT_EQ(service.Sessions(), 4u);
    // The real session carries on, and its messages are all there.
    EXPECT_EQ(say("Real-session", "client", "4$9", "192.0.2.1"), "0");
    EXPECT_EQ(say("Real-session", "support", "0", "198.51.100.1"), "4$9");
    EXPECT_EQ(service.WaitingBytes(), 3u * 3u + 1u);
}

TEST_F(RelaySessionsTest, MessagesBeyondTheByteBoundAreRefused) {
    RelayLimits limits;
    limits.MaxWaitingBytes = 20;
    RelayService service = Make(limits);
    EXPECT_EQ(Say(service, "/Session-1", "client", "4$1$2$3$4$5$6"), "");  // 13 bytes wait
    EXPECT_EQ(Say(service, "/Session-2", "client", "4$7$8$9$10"), "status 503");
    EXPECT_EQ(service.Waiting("Session-2", RelaySide::Support), 0u);
    EXPECT_EQ(Say(service, "/Session-1", "support", "0"), "4$1$2$3$4$5$6");
    EXPECT_EQ(Say(service, "/Session-2", "client", "4$7$8$9$10"), "");
    EXPECT_EQ(service.WaitingBytes(), 1u + 10u);
}

}  // namespace
}  // namespace korvan
