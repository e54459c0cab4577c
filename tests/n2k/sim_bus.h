// The simulated bus polled the way the NMEA-2000 page does, the system moving on
// between polls: each non-empty frame record of each poll with its decoded frame.
#pragma once

#include "model/control_box.h"
#include "n2k/record.h"
#include "sim/can_traffic.h"
#include "sim/defaults.h"
#include "sim/live_system.h"

namespace korvan::n2k {

template <typename Check>
void PollSimulatedBus(int polls, double seconds, const SimConfig& config, Check check) {
    SimSettings settings;
    settings.Control = DefaultControlBoxSettings();
    settings.Battery = DefaultBatteryBoxSettings();
    settings.Field = {DefaultFieldBoxSettings(0), DefaultFieldBoxSettings(1)};
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

}  // namespace korvan::n2k
