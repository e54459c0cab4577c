#include "tools/relay/relay_sessions.h"

#include <utility>

namespace korvan {

namespace {

// Only the latest of these matters to the other side.
bool Replaceable(const std::string& message) {
    return !message.empty() && (message[0] == '0' || message[0] == '2');
}

}  // namespace

void RelayMailbox::Post(std::string message) {
    if (message.empty()) return;
    if (!messages_.empty()) {
        std::string& newest = messages_.back();
        if (newest == message || (Replaceable(message) && newest[0] == message[0])) {
            bytes_ = bytes_ - newest.size() + message.size();
            newest = std::move(message);
            return;
        }
    }
    if (messages_.size() == Capacity) {
        bytes_ -= messages_.front().size();
        messages_.pop_front();
    }
    bytes_ += message.size();
    messages_.push_back(std::move(message));
}

std::string RelayMailbox::Take() {
    if (messages_.empty()) return {};
    std::string message = std::move(messages_.front());
    messages_.pop_front();
    bytes_ -= message.size();
    return message;
}

RelayConversation* RelaySessions::Use(const std::string& code, TimePoint now) {
    DropIdle(now);
    auto found = table_.find(code);
    if (found == table_.end()) {
        if (table_.size() >= max_) return nullptr;
        byAge_.push_back(code);
        found = table_.emplace(code, Entry{{}, now, std::prev(byAge_.end())}).first;
    } else {
        byAge_.splice(byAge_.end(), byAge_, found->second.Age);
        found->second.LastUsed = now;
    }
    return &found->second.Conversation;
}

const RelayConversation* RelaySessions::Find(const std::string& code) const {
    auto found = table_.find(code);
    return found == table_.end() ? nullptr : &found->second.Conversation;
}

size_t RelaySessions::DropIdle(TimePoint now) {
    size_t bytes = 0;
    while (!byAge_.empty()) {
        auto oldest = table_.find(byAge_.front());
        if (now - oldest->second.LastUsed < idle_) break;
        bytes += oldest->second.Conversation.Bytes();
        table_.erase(oldest);
        byAge_.pop_front();
    }
    return bytes;
}

}  // namespace korvan
