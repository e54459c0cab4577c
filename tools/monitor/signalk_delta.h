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
class SignalKDeltas {
  public:
    explicit SignalKDeltas(SignalKIds ids) : ids_(std::move(ids)) {}
    // `isoTime`: the poll's time, "2026-05-01T12:00:00.000Z".
    std::string Delta(const SystemData& data, const std::string& isoTime, bool allNotifications);
    // The link is gone: the next delta repeats every notification.
    void Forget() { notified_.clear(); }

  private:
    SignalKIds ids_;
    std::map<std::string, std::string> notified_;  // path -> state last sent
};

}  // namespace korvan
