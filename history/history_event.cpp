#include "history/history_event.h"

#include <algorithm>
#include <cctype>

namespace korvan {

const char* EventKindName(EventKind kind) {
    switch (kind) {
        case EventKind::Link:
            return "Link";
        case EventKind::Settings:
            return "Settings";
        case EventKind::File:
            return "File";
        case EventKind::Alarm:
            return "Alarm";
        case EventKind::Fault:
            return "Fault";
        case EventKind::RemoteSupport:
            return "Remote support";
    }
    return "";
}

std::optional<EventKind> FindEventKind(std::string_view name) {
    for (EventKind k : EventKinds)
        if (name == EventKindName(k)) return k;
    return std::nullopt;
}

bool EventFilter::Matches(const HistoryEvent& event) const {
    if (Kind && event.Kind != *Kind) return false;
    if (Text.empty()) return true;
    auto lower = [](unsigned char c) { return char(std::tolower(c)); };
    return std::search(event.Text.begin(), event.Text.end(), Text.begin(), Text.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != event.Text.end();
}

bool WriteEventsCsv(std::ostream& out, const std::vector<HistoryEvent>& events,
                    const EventFilter& filter, const UtcOffsetFunction& utcOffset,
                    bool byteOrderMark) {
    if (byteOrderMark) out << "\xEF\xBB\xBF";
    out << "Time,Kind,Event\r\n";
    for (const HistoryEvent& e : events) {
        if (!filter.Matches(e)) continue;
        out << IsoLocalTime(e.Time, utcOffset(e.Time)) << ',' << CsvField(EventKindName(e.Kind))
            << ',' << CsvField(e.Text) << "\r\n";
    }
    out.flush();
    return bool(out);
}

}  // namespace korvan
