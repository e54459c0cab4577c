#include "tools/relay/relay_service.h"

#include <map>
#include <utility>

#include "relay/support_session.h"

namespace korvan {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Relayed text is written into an HTML page as it is: printable ASCII only,
// no markup.
bool Relayable(const std::string& data) {
    for (char c : data) {
        if (c < 0x21 || c > 0x7E || c == '<' || c == '>') return false;
    }
    return true;
}

bool ParseQuery(std::string_view query, std::map<std::string, std::string>& fields) {
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (pair.empty()) continue;
        size_t eq = pair.find('=');
        std::string key;
        std::string value;
        if (!PercentDecode(pair.substr(0, eq), key)) return false;
        if (eq != std::string_view::npos && !PercentDecode(pair.substr(eq + 1), value))
            return false;
        if (fields.count(key)) return false;  // two different messages in one request
        fields.emplace(std::move(key), std::move(value));
    }
    return true;
}

RelayReply Refuse(int status) { return {status, RelayPage("")}; }

}  // namespace

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    while (true) {
        const size_t percent = text.find('%');
        out.append(text.substr(0, percent));
        if (percent == std::string_view::npos) return true;
        if (percent + 2 >= text.size()) return false;
        const int high = HexDigit(text[percent + 1]);
        const int low = HexDigit(text[percent + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        text.remove_prefix(percent + 3);
    }
}

bool SessionOfPath(std::string_view path, std::string& session) {
    if (!path.ends_with(RelayPagePath)) return false;
    std::string_view prefix = path.substr(0, path.size() - RelayPagePath.size());
    if (prefix.empty()) {
        session.clear();
        return true;
    }
    if (prefix[0] != '/' || !ValidSessionCode(prefix.substr(1))) return false;
    session.assign(prefix.substr(1));
    return true;
}

std::string RelayPage(const std::string& message) {
    return "<html><head><title>KORVAN relay</title></head><body>\r\n" + message +
           "</body></html>\r\n";
}

RelayService::RelayService(RelayLimits limits, Clock clock)
    : limits_(limits),
      clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)),
      sessions_(limits.MaxSessions, limits.SessionIdle, limits.SessionsPerAddress) {}

RelayReply RelayService::Handle(std::string_view method, std::string_view target,
                                const std::string& address) {
    if (target.size() > MaxRequestBytes) return Refuse(414);
    if (method != "GET") return Refuse(405);

    size_t question = target.find('?');
    std::string path;
    if (!PercentDecode(target.substr(0, question), path)) return Refuse(400);
    std::string session;
    if (!SessionOfPath(path, session)) return Refuse(404);
    if (session.empty() && !limits_.DefaultSession) return Refuse(404);

    std::map<std::string, std::string> fields;
    std::string_view query =
        question == std::string_view::npos ? std::string_view{} : target.substr(question + 1);
    if (!ParseQuery(query, fields)) return Refuse(400);
    auto user = fields.find(std::string(RelayUserField));
    auto data = fields.find(std::string(RelayDataField));
    if (user == fields.end() || data == fields.end() || !Relayable(data->second)) {
        return Refuse(400);
    }
    RelaySide side = RelaySide::Client;
    if (!RelaySideOfUser(user->second, side)) return Refuse(400);
    return Exchange(session, side == RelaySide::Client, std::move(data->second), address);
}

RelayReply RelayService::Exchange(const std::string& session, bool fromClient, std::string message,
                                  const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = clock_();
    waitingBytes_ -= sessions_.DropIdle(now);
    if (waitingBytes_ + message.size() > limits_.MaxWaitingBytes) {
        ++counts_.WaitingBytesFull;
        return Refuse(503);
    }
    const RelaySessions::Outcome use = sessions_.Use(session, now, fromClient, address);
    waitingBytes_ -= use.DroppedBytes;
    if (use.Why == RelaySessions::Refusal::TableFull) ++counts_.TableFull;
    if (use.Why == RelaySessions::Refusal::AddressFull) ++counts_.AddressSessionsFull;
    RelayConversation* conversation = use.Conversation;
    if (!conversation) return Refuse(503);

    RelayMailbox& outbox = fromClient ? conversation->ToSupport : conversation->ToClient;
    RelayMailbox& inbox = fromClient ? conversation->ToClient : conversation->ToSupport;
    const size_t before = conversation->Bytes();
    outbox.Post(std::move(message));
    std::string answer = inbox.Take();
    waitingBytes_ = waitingBytes_ - before + conversation->Bytes();
    return {200, RelayPage(answer)};
}

void RelayService::DropIdle() {
    std::lock_guard<std::mutex> lock(mutex_);
    waitingBytes_ -= sessions_.DropIdle(clock_());
}

size_t RelayService::Sessions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.Count();
}

size_t RelayService::Waiting(const std::string& session, RelaySide forSide) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const RelayConversation* conversation = sessions_.Find(session);
    if (!conversation) return 0;
    return forSide == RelaySide::Client ? conversation->ToClient.Waiting()
                                        : conversation->ToSupport.Waiting();
}

RelayServiceCounts RelayService::Counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    RelayServiceCounts counts = counts_;
    counts.Evicted = sessions_.Evicted();
    counts.Sessions = sessions_.Count();
    counts.WaitingMessages = sessions_.WaitingMessages();
    counts.WaitingBytes = waitingBytes_;
    return counts;
}

size_t RelayService::WaitingBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waitingBytes_;
}

}  // namespace korvan
