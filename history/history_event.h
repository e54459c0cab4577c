// One entry of the event log: what happened to the system or the tool, when, of
// which kind, in words for the owner. The log lives in the history store's file
// beside the history.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_csv.h"
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

// What the Events page shows: one kind or all, and entries whose text holds
// `text` (ignoring case of ASCII letters).
struct EventFilter {
    std::optional<EventKind> Kind;
    std::string Text;
    bool Matches(const HistoryEvent& event) const;
};

// The events as CSV with the history export's conventions (UTF-8 with a byte
// order mark, CR LF, ISO 8601 local time with its offset): a header line
// "Time,Kind,Event", then one line per event that passes the filter. False when
// the stream failed.
bool WriteEventsCsv(std::ostream& out, const std::vector<HistoryEvent>& events,
                    const EventFilter& filter = {},
                    const UtcOffsetFunction& utcOffset = LocalUtcOffsetSeconds,
                    bool byteOrderMark = true);

}  // namespace korvan
