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

RelaySessions::Outcome RelaySessions::Use(const std::string& code, TimePoint now, bool byClient,
                                          const std::string& address) {
    Outcome outcome;
    outcome.DroppedBytes = DropIdle(now);
    auto found = table_.find(code);
    if (found == table_.end()) {
        if (perAddress_ && !address.empty()) {
            auto created = createdBy_.find(address);
            if (created != createdBy_.end() && created->second >= perAddress_) {
                outcome.Why = Refusal::AddressFull;
                return outcome;
            }
        }
        if (table_.size() >= max_) {
            if (oneSided_.empty()) {
                outcome.Why = Refusal::TableFull;
                return outcome;
            }
            outcome.DroppedBytes += Drop(table_.find(oneSided_.front()));
            ++evicted_;
        }
        byAge_.push_back(code);
        oneSided_.push_back(code);
        Entry entry{{},    now,   std::prev(byAge_.end()),   address,
                    false, false, std::prev(oneSided_.end())};
        found = table_.emplace(code, std::move(entry)).first;
        if (!address.empty()) ++createdBy_[address];
    } else {
        byAge_.splice(byAge_.end(), byAge_, found->second.Age);
        if (!(found->second.UsedByClient && found->second.UsedBySupport))
            oneSided_.splice(oneSided_.end(), oneSided_, found->second.OneSidedAge);
        found->second.LastUsed = now;
    }
    Entry& entry = found->second;
    const bool wasOneSided = !(entry.UsedByClient && entry.UsedBySupport);
    (byClient ? entry.UsedByClient : entry.UsedBySupport) = true;
    if (wasOneSided && entry.UsedByClient && entry.UsedBySupport)
        oneSided_.erase(entry.OneSidedAge);
    outcome.Conversation = &entry.Conversation;
    return outcome;
}

const RelayConversation* RelaySessions::Find(const std::string& code) const {
    auto found = table_.find(code);
    return found == table_.end() ? nullptr : &found->second.Conversation;
}

size_t RelaySessions::Drop(Table::iterator entry) {
    Entry& dropped = entry->second;
    const size_t bytes = dropped.Conversation.Bytes();
    if (!(dropped.UsedByClient && dropped.UsedBySupport)) oneSided_.erase(dropped.OneSidedAge);
    byAge_.erase(dropped.Age);
    if (!dropped.Creator.empty()) {
        auto created = createdBy_.find(dropped.Creator);
        if (--created->second == 0) createdBy_.erase(created);
    }
    table_.erase(entry);
    return bytes;
}

size_t RelaySessions::WaitingMessages() const {
    size_t messages = 0;
    for (const auto& [code, entry] : table_)
        messages += entry.Conversation.ToClient.Waiting() + entry.Conversation.ToSupport.Waiting();
    return messages;
}

size_t RelaySessions::DropIdle(TimePoint now) {
    size_t bytes = 0;
    while (!byAge_.empty()) {
        auto oldest = table_.find(byAge_.front());
        if (now - oldest->second.LastUsed < idle_) break;
        bytes += Drop(oldest);
    }
    return bytes;
}

}  // namespace korvan
