#include "history/history_event.h"

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

}  // namespace korvan
