// The system as Signal K deltas: paths under electrical.batteries.<id>,
// electrical.alternators.<id> and propulsion.<id>, in SI units (V, A, K, Hz, ratio),
// and the modules' fault bits as notifications.electrical.*. No Qt.
//
// The charging stage as each alternator's chargingMode:
//   Monitoring, Warm-up       -> "other"  (the system regulates but does not charge)
//   Mandatory Bulk, Bulk & Absorb -> "bulk" (constant current up to the absorption voltage)
//   Float                     -> "float"
//   a code without a stage    -> "unknown"
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/system_data.h"

namespace korvan {

struct SignalKIds {
    std::string Battery = "house";
    std::vector<std::string> Alternators = {"1", "2"};
    std::vector<std::string> Engines = {"port", "starboard"};
};

const char* SignalKChargingMode(uint8_t stage);

// Builds the delta of one complete poll. Notifications go out when their state
// changes, and all of them when `allNotifications` (a new reader, a new link).
// A path sent with a value before and without one now (a module that dropped off,
// a sensor that went missing) goes out as null, and a raised notification of a
// module that dropped off as "normal": a server never keeps showing a stale value.
class SignalKDeltas {
  public:
    explicit SignalKDeltas(SignalKIds ids) : ids_(std::move(ids)) {}
    // `isoTime`: the poll's time, "2026-05-01T12:00:00.000Z".
    std::string Delta(const SystemData& data, const std::string& isoTime, bool allNotifications);
    // The link is gone: every path sent with a value as null, every raised
    // notification as "normal"; "" when there is nothing to take back. The next
    // delta repeats every notification.
    std::string Cleared(const std::string& isoTime);

  private:
    struct Note {
        std::string State;    // as last sent
        const char* Message;  // the flag's message without "warning" or "fault"
    };
    SignalKIds ids_;
    std::set<std::string> valued_;          // paths last sent with a value
    std::map<std::string, Note> notified_;  // notification path -> what was last sent
};

}  // namespace korvan
