// What the reference relay server does with one request, free of sockets: the
// two mailboxes and the HTTP request and answer texts.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace korvan {

// Messages waiting for one side. Each is handed out once, oldest first, so a
// chat line or a settings image is neither lost nor acted upon twice. A state
// or state request replaces a waiting one of its kind: only the latest counts.
class RelayMailbox {
  public:
    static constexpr size_t Capacity = 32;

    void Post(std::string message);
    // The oldest waiting message, or "" when none waits.
    std::string Take();
    size_t Waiting() const { return messages_.size(); }

  private:
    std::deque<std::string> messages_;
};

struct RelayHttpResponse {
    int Status = 200;
    std::string Text;  // the whole answer: status line, headers, body
};

class RelayService {
  public:
    // Longest request head accepted (the longest message of the tool, 8192
    // values, is about 33 KB of query).
    static constexpr size_t MaxRequestBytes = 64 * 1024;

    // head: the request line and headers up to and including the blank line.
    RelayHttpResponse Handle(std::string_view head);

    RelayMailbox& ToClient() { return toClient_; }
    RelayMailbox& ToSupport() { return toSupport_; }

  private:
    RelayMailbox toClient_;
    RelayMailbox toSupport_;
};

// An answer with the given status and an HTML body (used for errors too).
RelayHttpResponse MakeRelayResponse(int status, const std::string& body);
// The relay page: the message between "<body>" CR LF and "</body>".
std::string RelayPage(const std::string& message);
// Percent-decoding of one query component; false on a malformed escape.
bool PercentDecode(std::string_view text, std::string& out);

}  // namespace korvan
