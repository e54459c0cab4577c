// The simulated bus polled the way the NMEA-2000 page does, the system moving on
// between polls: each non-empty frame record of each poll with its decoded frame.
#pragma once

#include <vector>

#include "model/control_box.h"
#include "n2k/record.h"
#include "sim/can_traffic.h"
#include "sim/defaults.h"
#include "sim/live_system.h"

namespace korvan::n2k {

template <typename Check>
void PollSimulatedBus(int polls, double seconds, const SimConfig& config, Check check) {
    SimSettings settings = DefaultSimSettings();
    LiveSystem live(config);  // it keeps a reference to the configuration
    CanTraffic traffic;
    Decoder decoder;
    for (int i = 0; i < polls; ++i) {
        live.Advance(seconds, settings);
        DeviceReport answer{};
        traffic.Fill(answer, live);
        for (size_t offset : CanFrameRecordOffsets) {
            const CanFrameRecord record = ParseCanFrameRecord(answer.data() + offset);
            if (record.DataLength != 0)
                check(decoder.Decode(record), record, live, live.States(settings), i);
        }
    }
}

// The non-empty frame records of `polls` polls, `seconds` apart.
inline std::vector<CanFrameRecord> SimulatedBusRecords(int polls, double seconds) {
    const SimConfig config;
    std::vector<CanFrameRecord> records;
    PollSimulatedBus(polls, seconds, config,
                     [&](const auto&, const CanFrameRecord& record, const auto&...) {
                         records.push_back(record);
                     });
    return records;
}

}  // namespace korvan::n2k
