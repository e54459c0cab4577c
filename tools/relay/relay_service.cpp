#include "tools/relay/relay_service.h"

#include <map>
#include <utility>

namespace korvan {

namespace {

struct StatusRow {
    int Code;
    const char* Reason;
};

constexpr StatusRow StatusRows[] = {
    {200, "OK"},           {400, "Bad Request"},
    {404, "Not Found"},    {405, "Method Not Allowed"},
    {414, "URI Too Long"}, {505, "HTTP Version Not Supported"},
};

const char* Reason(int code) {
    for (const auto& row : StatusRows) {
        if (row.Code == code) return row.Reason;
    }
    return "Error";
}

// Only the latest of these matters to the other side.
bool Replaceable(const std::string& message) {
    return !message.empty() && (message[0] == '0' || message[0] == '2');
}

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

}  // namespace

void RelayMailbox::Post(std::string message) {
    if (message.empty()) return;
    if (!messages_.empty()) {
        std::string& newest = messages_.back();
        if (newest == message || (Replaceable(message) && newest[0] == message[0])) {
            newest = std::move(message);
            return;
        }
    }
    if (messages_.size() == Capacity) messages_.pop_front();
    messages_.push_back(std::move(message));
}

std::string RelayMailbox::Take() {
    if (messages_.empty()) return {};
    std::string message = std::move(messages_.front());
    messages_.pop_front();
    return message;
}

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int high = HexDigit(text[i + 1]);
        int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string RelayPage(const std::string& message) {
    return "<html><head><title>KORVAN relay</title></head><body>\r\n" + message +
           "</body></html>\r\n";
}

RelayHttpResponse MakeRelayResponse(int status, const std::string& body) {
    RelayHttpResponse response;
    response.Status = status;
    response.Text = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" +
                    "Content-Type: text/html\r\n" + "Cache-Control: no-cache\r\n" +
                    "Content-Length: " + std::to_string(body.size()) + "\r\n" +
                    "Connection: close\r\n\r\n" + body;
    return response;
}

RelayHttpResponse RelayService::Handle(std::string_view head) {
    if (head.size() > MaxRequestBytes) return MakeRelayResponse(414, RelayPage(""));
    size_t lineEnd = head.find("\r\n");
    std::string_view line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
        return MakeRelayResponse(400, RelayPage(""));
    }
    std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = line.substr(sp2 + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return MakeRelayResponse(505, RelayPage(""));
    if (method != "GET") return MakeRelayResponse(405, RelayPage(""));

    size_t question = target.find('?');
    std::string path;
    if (!PercentDecode(target.substr(0, question), path))
        return MakeRelayResponse(400, RelayPage(""));
    if (path != "/support3.php") return MakeRelayResponse(404, RelayPage(""));

    std::map<std::string, std::string> fields;
    std::string_view query =
        question == std::string_view::npos ? std::string_view{} : target.substr(question + 1);
    if (!ParseQuery(query, fields)) return MakeRelayResponse(400, RelayPage(""));
    auto user = fields.find("user");
    auto data = fields.find("data");
    if (user == fields.end() || data == fields.end() || !Relayable(data->second)) {
        return MakeRelayResponse(400, RelayPage(""));
    }
    RelayMailbox* outbox = nullptr;
    RelayMailbox* inbox = nullptr;
    if (user->second == "client") {
        outbox = &toSupport_;
        inbox = &toClient_;
    } else if (user->second == "support") {
        outbox = &toClient_;
        inbox = &toSupport_;
    } else {
        return MakeRelayResponse(400, RelayPage(""));
    }
    outbox->Post(data->second);
    return MakeRelayResponse(200, RelayPage(inbox->Take()));
}

}  // namespace korvan
