// The relay message protocol: URLs byte for byte, the time stamp, the body
// markers, both parsers and the reduction of values to bytes.
#include "relay/relay_protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace korvan {
namespace {

std::string Page(const std::string& message) {
    return "<html><body>\r\n" + message + "</body></html>";
}

RelayState Fresh() {
    RelayState state;
    state.SupportDomain = "relay.example";
    return state;
}

TEST(RelayProtocol, UrlsOfBothSidesByteForByte) {
    RelayState state = Fresh();
    state.OutKind = MsgRequestState;
    EXPECT_EQ(BuildSupportUrl(state, 4636350000),
              "http://relay.example/support3.php?user=support&data=0&time=4636350000");

    state.OutKind = MsgChat;
    state.OutCount = 2;
    state.SupportBuffer[0] = 'H';
    state.SupportBuffer[1] = 'i';
    EXPECT_EQ(BuildSupportUrl(state, 7),
              "http://relay.example/support3.php?user=support&data=4$72$105&time=7");

    state.OutKind = MsgState;
    state.OutCount = 3;
    state.ClientBuffer[0] = 170;
    state.ClientBuffer[1] = 0;
    state.ClientBuffer[2] = 255;
    EXPECT_EQ(BuildClientUrl(state, 1),
              "http://relay.example/support3.php?user=client&data=2$170$0$255&time=1");
    // The customer side sends its count whatever the kind.
    state.OutKind = MsgRequestState;
    EXPECT_EQ(BuildClientUrl(state, 1),
              "http://relay.example/support3.php?user=client&data=0$170$0$255&time=1");
}

TEST(RelayProtocol, OnlyTheTwoSidesNamesAreUsers) {
    for (const RelaySide side : {RelaySide::Client, RelaySide::Support}) {
        RelaySide read = side == RelaySide::Client ? RelaySide::Support : RelaySide::Client;
        EXPECT_TRUE(RelaySideOfUser(RelayUserName(side), read));
        EXPECT_EQ(read, side);
    }
    for (const char* user : {"", "Client", "SUPPORT", "clients", "support ", "customer"}) {
        RelaySide read = RelaySide::Client;
        EXPECT_FALSE(RelaySideOfUser(user, read)) << user;
    }
}

TEST(RelayProtocol, SessionPathsAndSchemesInTheSupportDomain) {
    EXPECT_EQ(BaseUrl("relay.example.org/K7QM2XDF"),
              "http://relay.example.org/K7QM2XDF/support3.php");
    EXPECT_EQ(BaseUrl("relay.example.org:8080/K7QM2XDF"),
              "http://relay.example.org:8080/K7QM2XDF/support3.php");
    EXPECT_EQ(BaseUrl("https://relay.example.org/K7QM2XDF"),
              "https://relay.example.org/K7QM2XDF/support3.php");
    EXPECT_EQ(BaseUrl("HTTPS://relay.example.org"), "HTTPS://relay.example.org/support3.php");
    EXPECT_EQ(BaseUrl("http://relay.example.org"), "http://relay.example.org/support3.php");
    // A host that merely starts like a scheme is still a host.
    EXPECT_EQ(BaseUrl("https.example.org"), "http://https.example.org/support3.php");
    EXPECT_EQ(BaseUrl(""), "http:///support3.php");

    RelayState state = Fresh();
    state.SupportDomain = "relay.example/K7QM2XDF";
    state.OutKind = MsgChat;
    state.OutCount = 1;
    state.SupportBuffer[0] = 'H';
    EXPECT_EQ(BuildSupportUrl(state, 7),
              "http://relay.example/K7QM2XDF/support3.php?user=support&data=4$72&time=7");
    state.SupportDomain = "https://relay.example/K7QM2XDF";
    EXPECT_EQ(BuildClientUrl(state, 7),
              "https://relay.example/K7QM2XDF/support3.php?user=client&data=4$0&time=7");
}

TEST(RelayProtocol, SupportRequestAfterChatCarriesNoValues) {
    RelayState state = Fresh();
    state.OutKind = MsgChat;
    state.OutCount = 5;
    state.OutKind = MsgRequestState;
    EXPECT_EQ(BuildSupportUrl(state, 3),
              "http://relay.example/support3.php?user=support&data=0&time=3");
    EXPECT_EQ(state.OutCount, 0);
    state.OutKind = MsgRequestSettings;
    state.OutCount = 9;
    EXPECT_EQ(BuildSupportUrl(state, 3),
              "http://relay.example/support3.php?user=support&data=1&time=3");
    EXPECT_EQ(state.OutCount, 0);
}

TEST(RelayProtocol, OutCountsBeyondTheBufferAreBounded) {
    RelayState state = Fresh();
    state.OutKind = MsgChat;
    state.OutCount = 100000;
    std::string url = BuildSupportUrl(state, 0);
    EXPECT_EQ(state.OutCount, static_cast<int>(RelayBufferSize));
    size_t dollars = 0;
    for (char c : url) dollars += c == '$';
    EXPECT_EQ(dollars, RelayBufferSize);
    state.OutCount = -4;
    BuildClientUrl(state, 0);
    EXPECT_EQ(state.OutCount, 0);
}

TEST(RelayProtocol, TimeStampCountsUnitsOf864Milliseconds) {
    EXPECT_EQ(RelayTimeStamp(2026, 12, 7, 12, 0, 0, 0), 4636350000);
    EXPECT_EQ(RelayTimeStamp(1899, 12, 30, 0, 0, 0, 0), 0);
    EXPECT_EQ(RelayTimeStamp(1899, 12, 31, 0, 0, 0, 0), 100000);
    EXPECT_EQ(RelayTimeStamp(2026, 12, 7, 0, 0, 0, 863), 4636300000);
    EXPECT_EQ(RelayTimeStamp(2026, 12, 7, 0, 0, 0, 864), 4636300001);
    EXPECT_EQ(RelayTimeStamp(2026, 12, 7, 23, 59, 59, 999), 4636399999);
    // Leap day of 2028 and the day after.
    EXPECT_EQ(RelayTimeStamp(2028, 3, 1, 0, 0, 0, 0) - RelayTimeStamp(2028, 2, 28, 0, 0, 0, 0),
              200000);
    const int64_t now = RelayTimeStampNow();
    EXPECT_GT(now, RelayTimeStamp(2020, 1, 1, 0, 0, 0, 0));
    EXPECT_LT(now, RelayTimeStamp(2100, 1, 1, 0, 0, 0, 0));
}

TEST(RelayProtocol, BodyMarkers) {
    EXPECT_EQ(ExtractMessage("<html><body>\r\n2$1$2</body></html>"), "2$1$2");
    // Without the opening marker and its line break the message starts at the eighth character.
    EXPECT_EQ(ExtractMessage("0123456789</body>"), "789");
    EXPECT_EQ(ExtractMessage("<body>2$1</body>"), "$1");
    EXPECT_EQ(ExtractMessage("abcdefg</body>"), "");
    EXPECT_EQ(ExtractMessage("ab</body>cdefgh"), "");
    EXPECT_EQ(ExtractMessage("<body>\r\n2$1"), "");
    EXPECT_EQ(ExtractMessage(""), "");
    EXPECT_EQ(ExtractMessage("<body>\r\n</body>"), "");
    // A closing marker before the opening one empties the message.
    EXPECT_EQ(ExtractMessage("</body><body>\r\n2$1</body>"), "");
    // The first opening marker counts.
    EXPECT_EQ(ExtractMessage("<body>\r\n4$65<body>\r\n</body>"), "4$65<body>\r\n");
}

TEST(RelayProtocol, CustomerSideKinds) {
    RelayState state = Fresh();
    std::string error;
    state.InKind = MsgState;
    state.InCount = 9;
    state.SupportBuffer[0] = 7;
    ASSERT_TRUE(ParseSupportMessage(state, Page("0"), error));
    EXPECT_EQ(state.InKind, MsgRequestState);
    EXPECT_EQ(state.InCount, 0);
    EXPECT_EQ(state.SupportBuffer[0], 0);
    EXPECT_EQ(state.RelayStatusText, "Support requested system state");

    struct Row {
        const char* Message;
        uint8_t Kind;
        int Count;
        const char* Status;
    };
    const Row rows[] = {
        {"1", MsgRequestSettings, 0, "Support requested system settings"},
        {"3$1$2$3", MsgSettings, 3, "Support sent new settings"},
        {"4$72$105", MsgChat, 2, "Support sent chat"},
        {"5", MsgStop, 0, "Support stops"},
        {"1$5$6", MsgRequestSettings, 0, "Support requested system settings"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(ParseSupportMessage(state, Page(row.Message), error)) << row.Message;
        EXPECT_EQ(state.InKind, row.Kind) << row.Message;
        EXPECT_EQ(state.InCount, row.Count) << row.Message;
        EXPECT_EQ(state.RelayStatusText, row.Status) << row.Message;
    }
}

TEST(RelayProtocol, UnknownOrEmptyMessagesLeaveTheKind) {
    std::string error;
    for (const char* message : {"9$1", "", "2$170$1", "x3$1", " 0", "-1"}) {
        RelayState state = Fresh();
        state.InKind = MsgChat;
        state.SupportBuffer[3] = 9;
        ASSERT_TRUE(ParseSupportMessage(state, Page(message), error)) << message;
        EXPECT_EQ(state.InKind, MsgChat) << message;
        EXPECT_EQ(state.InCount, 0) << message;
        EXPECT_EQ(state.SupportBuffer[3], 0) << message;
        EXPECT_EQ(state.RelayStatusText, "Nothing received") << message;
    }
    for (const char* message : {"9$1", "4", "0", "1", "5$1", ""}) {
        RelayState state = Fresh();
        state.InKind = MsgSettings;
        ASSERT_TRUE(ParseClientMessage(state, Page(message), error)) << message;
        EXPECT_EQ(state.InKind, MsgSettings) << message;
        EXPECT_EQ(state.RelayStatusText, "Nothing received") << message;
    }
}

TEST(RelayProtocol, SupportSideKindsAndShortLists) {
    RelayState state = Fresh();
    std::string error;
    ASSERT_TRUE(ParseClientMessage(state, Page("2$170$1"), error));
    EXPECT_EQ(state.InKind, MsgState);
    EXPECT_EQ(state.InCount, 2);
    EXPECT_EQ(state.ClientBuffer[0], 170);
    EXPECT_EQ(state.ClientBuffer[1], 1);
    EXPECT_EQ(state.RelayStatusText, "Client sent system state");

    for (const char* message : {"2$", "2$$5", "2"}) {
        state.InKind = MsgChat;
        ASSERT_TRUE(ParseClientMessage(state, Page(message), error)) << message;
        // "2" alone is too short to be a message at all.
        EXPECT_EQ(state.InKind, std::string(message) == "2" ? MsgChat : MsgState) << message;
        EXPECT_EQ(state.InCount, 0) << message;
    }
    ASSERT_TRUE(ParseClientMessage(state, Page("3xyz$7$8"), error));
    EXPECT_EQ(state.InKind, MsgSettings);
    EXPECT_EQ(state.InCount, 2);
    EXPECT_EQ(state.RelayStatusText, "Client sent system settings");
    ASSERT_TRUE(ParseClientMessage(state, Page("4$72$105"), error));
    EXPECT_EQ(state.RelayStatusText, "Client sent chat");
}

TEST(RelayProtocol, ValuesAreReducedToTheirLowByte) {
    RelayState state = Fresh();
    std::string error;
    ASSERT_TRUE(
        ParseSupportMessage(state, Page("3$300$-1$256$-256$2147483647$-2147483648$+7"), error));
    ASSERT_EQ(state.InCount, 7);
    const uint8_t expected[] = {44, 255, 0, 0, 255, 0, 7};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(state.SupportBuffer[static_cast<size_t>(i)], expected[i]) << i;
}

TEST(RelayProtocol, InvalidValuesFailTheExchangeAndKeepNothing) {
    for (const char* message :
         {"3$12\r\n", "3$1$x$2", "3$1$ 2", "3$2147483648", "3$-", "3$1.5", "3$0x10"}) {
        RelayState state = Fresh();
        state.InKind = MsgRequestState;
        std::string error;
        EXPECT_FALSE(ParseSupportMessage(state, Page(message), error)) << message;
        EXPECT_NE(error.find("is not a valid integer value"), std::string::npos) << message;
        EXPECT_EQ(state.InKind, MsgRequestState) << message;
        EXPECT_EQ(state.InCount, 0) << message;
        EXPECT_EQ(state.SupportBuffer[0], 0) << message;
    }
    RelayState state = Fresh();
    std::string error;
    EXPECT_FALSE(ParseSupportMessage(state, Page("3$12\r\n"), error));
    EXPECT_EQ(error, "'12\r\n' is not a valid integer value");
    // A huge field is named by its head only.
    EXPECT_FALSE(ParseClientMessage(state, Page("4$" + std::string(5000, 'z')), error));
    EXPECT_LT(error.size(), 100u);
}

TEST(RelayProtocol, MoreValuesThanTheBufferHolds) {
    std::string message = "3";
    for (size_t i = 0; i < RelayBufferSize + 50; ++i) message += "$" + std::to_string(i % 256);
    RelayState state = Fresh();
    std::string error;
    ASSERT_TRUE(ParseSupportMessage(state, Page(message), error));
    EXPECT_EQ(state.InCount, static_cast<int>(RelayBufferSize));
    EXPECT_EQ(state.SupportBuffer[RelayBufferSize - 1], (RelayBufferSize - 1) % 256);
}

TEST(RelayProtocol, ChatBytesTravelInTheWindowsCodePage) {
    EXPECT_EQ(ChatBytes("Hi"), "Hi");
    EXPECT_EQ(ChatBytes("25 \xC2\xB0"
                        "C \xE2\x82\xAC"),
              "25 \xB0"
              "C \x80");
    EXPECT_EQ(ChatBytes(std::string(RelayBufferSize + 10, 'a')).size(), RelayBufferSize);
    const uint8_t bytes[] = {0xB0, 'C'};
    EXPECT_EQ(ChatText(bytes, 2),
              "\xC2\xB0"
              "C");
    EXPECT_EQ(ChatText(bytes, -3), "");
}

}  // namespace
}  // namespace korvan
