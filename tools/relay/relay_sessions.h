// The relay's conversations, one per session code: each holds the two mailboxes
// of one customer and one technician. A conversation is created by its first
// request and dropped once nobody has used it for the idle time; the table has
// a fixed size so that made-up codes cannot fill the server's memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

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
    size_t Bytes() const { return bytes_; }

  private:
    std::deque<std::string> messages_;
    size_t bytes_ = 0;
};

struct RelayConversation {
    RelayMailbox ToClient;
    RelayMailbox ToSupport;
    size_t Bytes() const { return ToClient.Bytes() + ToSupport.Bytes(); }
};

class RelaySessions {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    RelaySessions(size_t maxSessions, std::chrono::seconds idle) : max_(maxSessions), idle_(idle) {}

    // The conversation of code, created when there is none and marked as used at
    // now; nullptr when the table is full. Idle conversations are dropped first.
    RelayConversation* Use(const std::string& code, TimePoint now);
    // Without marking it used; nullptr when there is none.
    const RelayConversation* Find(const std::string& code) const;
    // Drops every conversation idle for the idle time or longer; returns the
    // bytes of the messages that were waiting in them.
    size_t DropIdle(TimePoint now);
    size_t Count() const { return table_.size(); }

  private:
    struct Entry {
        RelayConversation Conversation;
        TimePoint LastUsed;
        std::list<std::string>::iterator Age;
    };

    size_t max_;
    std::chrono::seconds idle_;
    std::unordered_map<std::string, Entry> table_;
    std::list<std::string> byAge_;  // codes, least recently used first
};

}  // namespace korvan
