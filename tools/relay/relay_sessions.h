// The relay's conversations, one per session code: each holds the two mailboxes
// of one customer and one technician. A conversation is created by its first
// request and dropped once nobody has used it for the idle time; the table has
// a fixed size so that made-up codes cannot fill the server's memory. Made-up
// codes cannot fill the table for long either: one address may create only so
// many conversations, and when the table is full the least recently used
// conversation that only one side has ever used makes room for a new one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
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

    enum class Refusal { None, TableFull, AddressFull };
    struct Outcome {
        RelayConversation* Conversation = nullptr;  // nullptr when refused
        Refusal Why = Refusal::None;
        // Bytes of the messages that waited in conversations dropped to make room.
        size_t DroppedBytes = 0;
    };

    // perAddress: conversations one address may have created and still live; 0
    // for no limit.
    RelaySessions(size_t maxSessions, std::chrono::seconds idle, size_t perAddress = 0)
        : max_(maxSessions), idle_(idle), perAddress_(perAddress) {}

    // The conversation of code, created for address when there is none, and
    // marked as used at now by one side. Idle conversations are dropped first.
    // An empty address is not limited.
    Outcome Use(const std::string& code, TimePoint now, bool byClient = true,
                const std::string& address = {});
    // Without marking it used; nullptr when there is none.
    const RelayConversation* Find(const std::string& code) const;
    // Drops every conversation idle for the idle time or longer; returns the
    // bytes of the messages that were waiting in them.
    size_t DropIdle(TimePoint now);
    size_t Count() const { return table_.size(); }
    // Messages waiting in all conversations.
    size_t WaitingMessages() const;
    // Conversations dropped so far to make room for new ones.
    uint64_t Evicted() const { return evicted_; }

  private:
    struct Entry {
        RelayConversation Conversation;
        TimePoint LastUsed;
        std::list<std::string>::iterator Age;
        std::string Creator;
        bool UsedByClient = false;
        bool UsedBySupport = false;
        // In oneSided_ while only one side has used it.
        std::list<std::string>::iterator OneSidedAge;
    };
    using Table = std::unordered_map<std::string, Entry>;

    // Removes the entry; returns the bytes that waited in it.
    size_t Drop(Table::iterator entry);

    size_t max_;
    std::chrono::seconds idle_;
    size_t perAddress_;
    Table table_;
    std::list<std::string> byAge_;     // codes, least recently used first
    std::list<std::string> oneSided_;  // the one-sided among them, in the same order
    std::unordered_map<std::string, size_t> createdBy_;
    uint64_t evicted_ = 0;
};

}  // namespace korvan
