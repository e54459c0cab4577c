// The reference relay server's handling of requests, without sockets: the
// conversations, their mailboxes and the answers to what is not a relay request.
#include "tools/relay/relay_service.h"

#include <gtest/gtest.h>

#include <string>

#include "relay/relay_protocol.h"
#include "relay/support_session.h"

namespace korvan {
namespace {

RelayReply Get(RelayService& service, const std::string& target) {
    return service.Handle("GET", target);
}

std::string Message(const RelayReply& reply) { return ExtractMessage(reply.Body); }

TEST(RelayServerService, EachSideGetsTheOthersMessages) {
    RelayService service;
    auto first = Get(service, "/support3.php?user=support&data=0&time=1");
    EXPECT_EQ(first.Status, 200);
    EXPECT_EQ(Message(first), "");

    auto second = Get(service, "/support3.php?user=client&data=2$170$1&time=1");
    EXPECT_EQ(Message(second), "0");
    auto third = Get(service, "/support3.php?user=support&data=0&time=2");
    EXPECT_EQ(Message(third), "2$170$1");
    EXPECT_EQ(third.Body, RelayPage("2$170$1"));
    // Handed out once.
    EXPECT_EQ(Message(Get(service, "/support3.php?user=support&data=0")), "");
}

// The client's URLs, session code included, are what the server takes: both
// ends spell the page, the fields and the sides from the one protocol library.
TEST(RelayServerService, TheClientsOwnUrlsReachTheOtherSide) {
    RelayService service;
    RelayState customer;
    RelayState technician;
    technician.RelayRole = RoleSupport;
    for (RelayState* state : {&customer, &technician})
        state->SupportDomain = SessionDomain("relay.example", "K7QM2XDF23");
    auto target = [](const std::string& url) {
        return url.substr(std::string("http://relay.example").size());
    };
    customer.OutKind = MsgChat;
    customer.OutCount = 2;
    customer.ClientBuffer[0] = 'h';
    customer.ClientBuffer[1] = 'i';
    technician.OutKind = MsgRequestState;
    EXPECT_EQ(Get(service, target(BuildRequestUrl(customer, 1))).Status, 200);
    const RelayReply reply = Get(service, target(BuildRequestUrl(technician, 2)));
    ASSERT_EQ(reply.Status, 200);
    std::string error;
    ASSERT_TRUE(ParseRelayResponse(technician, reply.Body, error)) << error;
    EXPECT_EQ(technician.InKind, MsgChat);
    EXPECT_EQ(ChatText(technician.ClientBuffer.data(), technician.InCount), "hi");
    EXPECT_EQ(service.Waiting("K7QM2XDF23", RelaySide::Client), 1u);
    EXPECT_EQ(service.Waiting("", RelaySide::Client), 0u);
}

TEST(RelayServerService, OnlyTheLatestStateWaitsButChatsAndSettingsQueue) {
    RelayMailbox box;
    box.Post("2$1");
    box.Post("2$2");
    box.Post("4$72$105");
    box.Post("4$72$105");  // the same line posted twice by a repeating sender
    box.Post("2$3");
    box.Post("3$9");
    box.Post("");
    EXPECT_EQ(box.Bytes(), 3u + 8u + 3u + 3u);
    EXPECT_EQ(box.Take(), "2$2");
    EXPECT_EQ(box.Take(), "4$72$105");
    EXPECT_EQ(box.Take(), "2$3");
    EXPECT_EQ(box.Take(), "3$9");
    EXPECT_EQ(box.Take(), "");
    EXPECT_EQ(box.Bytes(), 0u);
    for (size_t i = 0; i < RelayMailbox::Capacity + 5; ++i)
        box.Post("4$" + std::to_string(i) + "$1");
    EXPECT_EQ(box.Waiting(), RelayMailbox::Capacity);
    EXPECT_EQ(box.Take(), "4$5$1");
}

TEST(RelayServerService, RefusesWhatIsNotARelayRequest) {
    RelayService service;
    struct Row {
        std::string Method;
        std::string Target;
        int Status;
    };
    const Row rows[] = {
        {"GET", "/index.html", 404},
        {"GET", "/support3.php", 400},
        {"GET", "/support3.php?user=admin&data=0", 400},
        {"GET", "/support3.php?user=client", 400},
        {"GET", "/support3.php?data=0", 400},
        {"GET", "/support3.php?user=client&data=4$60<b>", 400},
        {"GET", "/support3.php?user=client&data=%0", 400},
        {"GET", "/support3.php?user=client&user=support&data=0", 400},
        {"GET", "/support%3.php?user=client&data=0", 400},
        {"POST", "/support3.php?user=client&data=0", 405},
        {"HEAD", "/support3.php?user=client&data=0", 405},
        {"GET", "/support3.php?user=client&data=" + std::string(RelayService::MaxRequestBytes, '1'),
         414},
    };
    for (const Row& row : rows) {
        auto reply = service.Handle(row.Method, row.Target);
        EXPECT_EQ(reply.Status, row.Status) << row.Method << " " << row.Target.substr(0, 80);
        EXPECT_EQ(Message(reply), "");
    }
    EXPECT_EQ(service.Waiting("", RelaySide::Client), 0u);
    EXPECT_EQ(service.Waiting("", RelaySide::Support), 0u);
    EXPECT_EQ(service.Sessions(), 0u);  // a refused request opens no conversation
}

TEST(RelayServerService, PercentEncodedQueriesAreDecoded) {
    RelayService service;
    EXPECT_EQ(Get(service, "/support%33.php?user=%63lient&data=4%2472%24105").Status, 200);
    EXPECT_EQ(service.Waiting("", RelaySide::Support), 1u);
    EXPECT_EQ(Message(Get(service, "/support3.php?user=support&data=0")), "4$72$105");
    std::string out;
    EXPECT_FALSE(PercentDecode("%4", out));
    EXPECT_FALSE(PercentDecode("%zz", out));
    EXPECT_TRUE(PercentDecode("a%20b", out));
    EXPECT_EQ(out, "a b");
}

}  // namespace
}  // namespace korvan
