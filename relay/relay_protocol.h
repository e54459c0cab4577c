// The message protocol spoken with the relay server: URLs, time stamp, body
// extraction, message parsing. No Qt; the relay server korvan-relay takes its
// side of the wire from here too.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvan {

constexpr size_t RelayBufferSize = 8192;

// The relay server a fresh run talks to: korvan-relay's default address, so that
// a customer and a technician can try remote support on one machine out of the box.
constexpr const char* DefaultSupportDomain = "localhost:8080";

enum RelayKind : uint8_t {
    MsgRequestState = 0,
    MsgRequestSettings = 1,
    MsgState = 2,
    MsgSettings = 3,
    MsgChat = 4,
    MsgStop = 5,
};

constexpr uint8_t RoleClient = 0;
constexpr uint8_t RoleSupport = 1;

// The relay's page: "/support3.php" for the conversation of every tool without a
// session code, "/CODE/support3.php" for the conversation of session CODE.
constexpr std::string_view RelayPagePath = "/support3.php";
// The query: who sends (user=client or user=support), the message, and the
// sender's time stamp, which the relay does not look at.
constexpr std::string_view RelayUserField = "user";
constexpr std::string_view RelayDataField = "data";
constexpr std::string_view RelayTimeField = "time";

// The two sides of a conversation: the customer's tool and the technician's.
enum class RelaySide { Client, Support };
// The user= value of a side: "client" or "support".
constexpr std::string_view RelayUserName(RelaySide side) {
    return side == RelaySide::Client ? "client" : "support";
}
// The side a user= value names; false for any other value.
bool RelaySideOfUser(std::string_view user, RelaySide& side);

struct RelayState {
    uint8_t RelayRole = 0;  // 0 customer ("client"), 1 support
    uint8_t OutKind = 0;
    uint8_t InKind = 0;
    int OutCount = 0;
    int InCount = 0;
    std::array<uint8_t, RelayBufferSize> ClientBuffer{};
    std::array<uint8_t, RelayBufferSize> SupportBuffer{};
    std::string RelayStatusText;
    std::string SupportDomain;
};

constexpr const char* NothingReceivedText = "Nothing received";
// The status text of a received message of a known kind; "" for a kind the
// receiving side does not accept. fromSupport tells who sent it.
const char* RelayKindStatusText(uint8_t kind, bool fromSupport);

// "http://" + domain + "/support3.php". The domain may carry a session path
// ("relay.example.org/K7QM2XDF"); one that begins with "https://" (or "http://")
// keeps its own scheme.
std::string BaseUrl(const std::string& supportDomain);
std::string BuildClientUrl(RelayState& state, int64_t timeStamp);
std::string BuildSupportUrl(RelayState& state, int64_t timeStamp);  // may set OutCount to 0
// The URL of the current RelayRole.
std::string BuildRequestUrl(RelayState& state, int64_t timeStamp);
// Local time as days since 30 Dec 1899 with the time of day as fraction, x 100000.
int64_t RelayTimeStamp(int year, int month, int day, int hour, int minute, int second, int ms);
int64_t RelayTimeStampNow();

std::string ExtractMessage(std::string_view response);
// False when a value is not a decimal integer (error holds the message); the exchange
// then fails. Otherwise the state describes what was received.
bool ParseSupportMessage(RelayState& state, std::string_view body, std::string& error);
bool ParseClientMessage(RelayState& state, std::string_view body, std::string& error);
// The parser of the current RelayRole: support messages on the customer side.
bool ParseRelayResponse(RelayState& state, std::string_view body, std::string& error);
// At most RelayBufferSize values are kept; further ones are not looked at.
bool SplitValues(std::string_view message, std::array<uint8_t, RelayBufferSize>& buffer,
                 int& inCount, std::string& error);

// A chat line (UTF-8) as the bytes that travel, cut to the buffer's size; and back.
std::string ChatBytes(std::string_view utf8);
std::string ChatText(const uint8_t* bytes, int count);

}  // namespace korvan
