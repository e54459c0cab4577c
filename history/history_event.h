// One entry of the event log: what happened to the system or the tool, when, of
// which kind, in words for the owner. The log lives in the history store's file
// beside the history.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "history/history_recorder.h"

namespace korvan {

enum class EventKind : uint8_t { Link, Settings, File, Alarm, Fault, RemoteSupport };

struct HistoryEvent {
    HistoryTime Time;
    EventKind Kind = EventKind::Link;
    std::string Text;
};

// "Link", "Settings", "File", "Alarm", "Fault", "Remote support": the names in
// the file, the list and the export.
const char* EventKindName(EventKind kind);
std::optional<EventKind> FindEventKind(std::string_view name);
constexpr EventKind EventKinds[] = {EventKind::Link,  EventKind::Settings,
                                    EventKind::File,  EventKind::Alarm,
                                    EventKind::Fault, EventKind::RemoteSupport};

}  // namespace korvan
