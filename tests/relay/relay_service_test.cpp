// The reference relay server's handling of requests, without sockets.
#include "tools/relay/relay_service.h"

#include <gtest/gtest.h>

#include <string>

#include "relay/relay_protocol.h"

namespace korvan {
namespace {

std::string Get(const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
}

std::string Body(const RelayHttpResponse& response) {
    return response.Text.substr(response.Text.find("\r\n\r\n") + 4);
}

TEST(RelayServerService, EachSideGetsTheOthersMessages) {
    RelayService service;
    auto first = service.Handle(Get("/support3.php?user=support&data=0&time=1"));
    EXPECT_EQ(first.Status, 200);
    EXPECT_EQ(first.Text.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(ExtractMessage(Body(first)), "");

    auto second = service.Handle(Get("/support3.php?user=client&data=2$170$1&time=1"));
    EXPECT_EQ(ExtractMessage(Body(second)), "0");
    auto third = service.Handle(Get("/support3.php?user=support&data=0&time=2"));
    EXPECT_EQ(ExtractMessage(Body(third)), "2$170$1");
    // Content-Length matches the body.
    const std::string& text = third.Text;
    size_t at = text.find("Content-Length: ") + 16;
    EXPECT_EQ(std::stoul(text.substr(at)), Body(third).size());
    // Handed out once.
    EXPECT_EQ(ExtractMessage(Body(service.Handle(Get("/support3.php?user=support&data=0")))), "");
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
    EXPECT_EQ(box.Take(), "2$2");
    EXPECT_EQ(box.Take(), "4$72$105");
    EXPECT_EQ(box.Take(), "2$3");
    EXPECT_EQ(box.Take(), "3$9");
    EXPECT_EQ(box.Take(), "");
    for (size_t i = 0; i < RelayMailbox::Capacity + 5; ++i)
        box.Post("4$" + std::to_string(i) + "$1");
    EXPECT_EQ(box.Waiting(), RelayMailbox::Capacity);
    EXPECT_EQ(box.Take(), "4$5$1");
}

TEST(RelayServerService, RefusesWhatIsNotARelayRequest) {
    RelayService service;
    struct Row {
        std::string Head;
        int Status;
    };
    const Row rows[] = {
        {Get("/index.html"), 404},
        {Get("/support3.php"), 400},
        {Get("/support3.php?user=admin&data=0"), 400},
        {Get("/support3.php?user=client"), 400},
        {Get("/support3.php?data=0"), 400},
        {Get("/support3.php?user=client&data=4$60<b>"), 400},
        {Get("/support3.php?user=client&data=%0"), 400},
        {Get("/support3.php?user=client&user=support&data=0"), 400},
        {"POST /support3.php?user=client&data=0 HTTP/1.1\r\n\r\n", 405},
        {"GET /support3.php?user=client&data=0 HTTP/2\r\n\r\n", 505},
        {"GARBAGE\r\n\r\n", 400},
        {"", 400},
        {"GET /support3.php?user=client&data=" + std::string(RelayService::MaxRequestBytes, '1') +
             " HTTP/1.1\r\n\r\n",
         414},
    };
    for (const Row& row : rows) {
        auto response = service.Handle(row.Head);
        EXPECT_EQ(response.Status, row.Status) << row.Head.substr(0, 80);
        EXPECT_EQ(response.Text.rfind("HTTP/1.1 " + std::to_string(row.Status), 0), 0u);
    }
    EXPECT_EQ(service.ToClient().Waiting(), 0u);
    EXPECT_EQ(service.ToSupport().Waiting(), 0u);
}

TEST(RelayServerService, PercentEncodedQueriesAreDecoded) {
    RelayService service;
    EXPECT_EQ(service.Handle(Get("/support%33.php?user=%63lient&data=4%2472%24105")).Status, 200);
    EXPECT_EQ(service.ToSupport().Take(), "4$72$105");
    std::string out;
    EXPECT_FALSE(PercentDecode("%4", out));
    EXPECT_FALSE(PercentDecode("%zz", out));
    EXPECT_TRUE(PercentDecode("a%20b", out));
    EXPECT_EQ(out, "a b");
}

}  // namespace
}  // namespace korvan
