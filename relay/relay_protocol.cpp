#include "relay/relay_protocol.h"

#include <chrono>
#include <ctime>

#include "model/local_time.h"
#include "model/text.h"

namespace korvan {

namespace {

struct KindText {
    uint8_t Kind;
    const char* FromSupport;  // as the customer side reads it
    const char* FromClient;   // as the support side reads it
};

constexpr KindText KindTexts[] = {
    {MsgRequestState, "Support requested system state", ""},
    {MsgRequestSettings, "Support requested system settings", ""},
    {MsgState, "", "Client sent system state"},
    {MsgSettings, "Support sent new settings", "Client sent system settings"},
    {MsgChat, "Support sent chat", "Client sent chat"},
    {MsgStop, "Support stops", ""},
};

// Kinds whose digit is followed by values.
bool CarriesValues(uint8_t kind) {
    return kind == MsgState || kind == MsgSettings || kind == MsgChat;
}

// "?user=NAME&data=KIND": the start of every query a side sends.
std::string QueryStart(RelaySide side, uint8_t kind) {
    return "?" + std::string(RelayUserField) + "=" + std::string(RelayUserName(side)) + "&" +
           std::string(RelayDataField) + "=" + std::to_string(kind);
}

std::string TimeField(int64_t timeStamp) {
    return "&" + std::string(RelayTimeField) + "=" + std::to_string(timeStamp);
}

void AppendValues(std::string& url, const uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        url += '$';
        url += std::to_string(bytes[i]);
    }
}

int ClampCount(int count) {
    if (count < 0) return 0;
    if (count > static_cast<int>(RelayBufferSize)) return static_cast<int>(RelayBufferSize);
    return count;
}

// A decimal integer as the sending tool writes it: an optional sign, then digits,
// within 32 bits. Anything else (blanks, line breaks, letters) is invalid.
bool ParseDecimal(std::string_view text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) return false;
    }
    if (!negative && magnitude > 2147483647LL) return false;
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

std::string InvalidIntegerText(std::string_view value) {
    // A hostile relay may send kilobytes in one field; the message box shows a head.
    constexpr size_t Shown = 40;
    std::string head(value.substr(0, Shown));
    if (value.size() > Shown) head += "...";
    return "'" + head + "' is not a valid integer value";
}

bool ParseMessage(RelayState& state, std::string_view body, std::string& error, bool fromSupport) {
    auto& buffer = fromSupport ? state.SupportBuffer : state.ClientBuffer;
    state.InCount = 0;
    buffer.fill(0);
    state.RelayStatusText = NothingReceivedText;

    std::string message = ExtractMessage(body);
    size_t minimum = fromSupport ? 1 : 2;
    if (message.size() < minimum) return true;
    char digit = message[0];
    if (digit < '0' || digit > '9') return true;
    auto kind = static_cast<uint8_t>(digit - '0');
    const char* text = RelayKindStatusText(kind, fromSupport);
    if (*text == '\0') return true;

    if (CarriesValues(kind) && !SplitValues(message, buffer, state.InCount, error)) {
        // A message that fails half-way is not acted upon: nothing of it is kept.
        state.InCount = 0;
        buffer.fill(0);
        return false;
    }
    state.InKind = kind;
    state.RelayStatusText = text;
    return true;
}

bool StartsWithScheme(std::string_view text, std::string_view scheme) {
    if (text.size() < scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

}  // namespace

bool RelaySideOfUser(std::string_view user, RelaySide& side) {
    for (const RelaySide candidate : {RelaySide::Client, RelaySide::Support}) {
        if (user == RelayUserName(candidate)) {
            side = candidate;
            return true;
        }
    }
    return false;
}

const char* RelayKindStatusText(uint8_t kind, bool fromSupport) {
    for (const auto& row : KindTexts) {
        if (row.Kind == kind) return fromSupport ? row.FromSupport : row.FromClient;
    }
    return "";
}

std::string BaseUrl(const std::string& supportDomain) {
    // A domain written with its scheme is taken as it stands: "https://" reaches a
    // relay behind TLS. A bare host (with port and session path, if any) is plain HTTP.
    if (StartsWithScheme(supportDomain, "https://") || StartsWithScheme(supportDomain, "http://")) {
        return supportDomain + std::string(RelayPagePath);
    }
    return "http://" + supportDomain + std::string(RelayPagePath);
}

std::string BuildClientUrl(RelayState& state, int64_t timeStamp) {
    state.OutCount = ClampCount(state.OutCount);
    std::string url = BaseUrl(state.SupportDomain) + QueryStart(RelaySide::Client, state.OutKind);
    AppendValues(url, state.ClientBuffer.data(), state.OutCount);
    return url + TimeField(timeStamp);
}

std::string BuildSupportUrl(RelayState& state, int64_t timeStamp) {
    if (state.OutKind == MsgSettings || state.OutKind == MsgChat) {
        state.OutCount = ClampCount(state.OutCount);
    } else {
        state.OutCount = 0;
    }
    std::string url = BaseUrl(state.SupportDomain) + QueryStart(RelaySide::Support, state.OutKind);
    AppendValues(url, state.SupportBuffer.data(), state.OutCount);
    return url + TimeField(timeStamp);
}

std::string BuildRequestUrl(RelayState& state, int64_t timeStamp) {
    return state.RelayRole == RoleSupport ? BuildSupportUrl(state, timeStamp)
                                          : BuildClientUrl(state, timeStamp);
}

int64_t RelayTimeStamp(int year, int month, int day, int hour, int minute, int second, int ms) {
    using namespace std::chrono;
    constexpr sys_days Epoch = sys_days{1899y / December / 30};
    const sys_days date = sys_days{std::chrono::year{year} / month / day};
    const int64_t days = (date - Epoch).count();
    const int64_t msOfDay = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + ms;
    // One unit is 86400000 ms / 100000 = 864 ms; whole integers keep the
    // truncation exact where a floating day count would round.
    const int64_t units = days * 100000;
    return units >= 0 ? units + msOfDay / 864 : units - msOfDay / 864;
}

int64_t RelayTimeStampNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::tm local = LocalTime(seconds);
    return RelayTimeStamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(ms < 0 ? 0 : ms));
}

std::string ExtractMessage(std::string_view response) {
    constexpr std::string_view Open = "<body>\r\n";
    constexpr std::string_view Close = "</body>";
    size_t start = response.find(Open);
    // Without the opening marker the message is taken from the eighth character on.
    start = start == std::string_view::npos ? 7 : start + Open.size();
    size_t end = response.find(Close);
    if (end == std::string_view::npos || end < start) return {};
    return std::string(response.substr(start, end - start));
}

bool ParseSupportMessage(RelayState& state, std::string_view body, std::string& error) {
    return ParseMessage(state, body, error, true);
}

bool ParseClientMessage(RelayState& state, std::string_view body, std::string& error) {
    return ParseMessage(state, body, error, false);
}

bool ParseRelayResponse(RelayState& state, std::string_view body, std::string& error) {
    return state.RelayRole == RoleSupport ? ParseClientMessage(state, body, error)
                                          : ParseSupportMessage(state, body, error);
}

bool SplitValues(std::string_view message, std::array<uint8_t, RelayBufferSize>& buffer,
                 int& inCount, std::string& error) {
    size_t dollar = message.find('$');
    while (dollar != std::string_view::npos && inCount < static_cast<int>(RelayBufferSize)) {
        size_t next = message.find('$', dollar + 1);
        std::string_view value =
            message.substr(dollar + 1, next == std::string_view::npos ? std::string_view::npos
                                                                      : next - dollar - 1);
        if (value.empty()) return true;
        int32_t number = 0;
        if (!ParseDecimal(value, number)) {
            error = InvalidIntegerText(value);
            return false;
        }
        buffer[static_cast<size_t>(inCount)] =
            static_cast<uint8_t>(static_cast<uint32_t>(number) & 0xFF);
        ++inCount;
        dollar = next;
    }
    return true;
}

std::string ChatBytes(std::string_view utf8) {
    std::string bytes = Utf8ToCp1252(utf8);
    if (bytes.size() > RelayBufferSize) bytes.resize(RelayBufferSize);
    return bytes;
}

std::string ChatText(const uint8_t* bytes, int count) {
    count = ClampCount(count);
    return Cp1252ToUtf8(
        std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count)));
}

}  // namespace korvan
