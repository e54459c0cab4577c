// The simulator's bus traffic through the decoder: named, agreeing with the
// simulated system's state, reserved bits set; only fitted modules and present
// sensors send data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "tests/n2k/sim_bus.h"

namespace korvan::n2k {
namespace {

double FieldValue(const DecodedFrame& f, const char* id) {
    for (const DecodedField& d : f.Fields)
        if (std::strcmp(d.Def->Id, id) == 0 && d.State == FieldState::Value) return d.Value;
    ADD_FAILURE() << "no value for " << id;
    return NAN;
}

void CheckFrame(const DecodedFrame& f, const LiveSystem& live, const SimStates& states) {
    for (const DecodedField& d : f.Fields) {
        // No field is sent as an error or a reserved value (a SID past 252), nor a signed
        // number's "no data" as all ones (that is -1, not 0x7F..); reserved bits are ones.
        EXPECT_TRUE(d.State != FieldState::Error && d.State != FieldState::ReservedValue)
            << f.Def->Name << " " << d.Def->Name;
        const MessageBytes bytes = f.Bytes();
        bool ones = true;
        for (uint32_t bit = d.Def->BitOffset;
             d.State != FieldState::NotInRecord && bit < d.Def->BitOffset + d.Def->BitLength; ++bit)
            ones = ones && (bytes.Data[bit / 8 - bytes.First] >> (bit % 8) & 1);
        if (d.State == FieldState::Reserved || (d.Def->Signed && d.State == FieldState::Value)) {
            EXPECT_EQ(ones, d.State == FieldState::Reserved) << f.Def->Name << " " << d.Def->Name;
        }
    }
    if (f.Def->Pgn == 127508) {
        EXPECT_NEAR(FieldValue(f, "voltage"), live.BatteryVoltage(), 0.005);
        EXPECT_NEAR(FieldValue(f, "current"), live.BatteryCurrent(), 0.05);
        // The battery box's state record of the same poll, within its resolution.
        EXPECT_NEAR(FieldValue(f, "voltage"), states.Battery.TrueBatteryVoltage, 0.005);
        EXPECT_NEAR(FieldValue(f, "current"), states.Battery.BatteryCurrent, 0.55);
        if (f.Fields[3].State == FieldState::Value) {
            EXPECT_NEAR(FieldValue(f, "temperature") - 273.15, live.BatteryTemperature(0), 0.005);
            EXPECT_NEAR(FieldValue(f, "temperature") - 273.15, states.Battery.Temperature1, 0.505);
        }
    } else if (f.Def->Pgn == 127488) {
        EXPECT_NEAR(FieldValue(f, "speed"), live.Rpm(int(FieldValue(f, "instance"))), 0.125);
    } else if (f.Def->Pgn == 127507) {
        const char* state = live.Stage() == StageFloat        ? "Float"
                            : live.Stage() == StageBulkAbsorb ? "Absorption"
                            : live.Stage() == StageMonitoring ? "Not charging"
                                                              : "Bulk";
        EXPECT_EQ(f.Fields[2].Text, state);
        EXPECT_EQ(f.Fields[7].State, FieldState::NotAvailable);  // equalisation time
    } else if (f.Def->Pgn == 127506 && f.Whole) {
        EXPECT_NEAR(FieldValue(f, "stateOfCharge"), live.Soc(), 0.5);
    } else if (f.Def->Pgn == 127489 && f.Whole) {
        EXPECT_NEAR(FieldValue(f, "alternatorPotential"), live.BatteryVoltage(), 0.005);
    }
}

TEST(N2kSimTraffic, EveryFrameIsNamedAgreesWithTheStateAndComesOnlyFromFittedModules) {
    struct Case {
        const char* Name;
        SimConfig Config;
        bool BatteryFrames;
        bool TemperatureKnown;
        bool SecondEngine;
    };
    std::vector<Case> cases = {{"all fitted", {}, true, true, true},
                               {"no battery box", {}, false, false, true},
                               {"battery sensor 1 missing", {}, true, false, true},
                               {"one field box", {}, true, true, false}};
    cases[1].Config.BatteryBox = false;
    cases[2].Config.BatterySensorMissing[0] = true;
    cases[3].Config.FieldBox2 = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::map<uint32_t, int> seen;
        int records = 0, nonN2k = 0, temperatures = 0, secondEngine = 0;
        std::map<uint32_t, int> counters;  // the next fast-packet sequence counter, plus 1
        std::string model;
        PollSimulatedBus(
            1000, 2.0, c.Config,
            [&](const DecodedFrame& f, const CanFrameRecord& record, const LiveSystem& live,
                const SimStates& states, int) {
                ++records;
                if (!f.Record.N2k) {
                    ++nonN2k;
                    EXPECT_LE(record.Kind, 4) << "only error and 11-bit frames are not NMEA 2000";
                    return;
                }
                ASSERT_NE(f.Def, nullptr) << "PGN " << f.Record.Id.Pgn << " not named";
                ++seen[f.Def->Pgn];
                CheckFrame(f, live, states);
                if (f.Def->Pgn == 127508 && f.Fields[3].State == FieldState::Value) ++temperatures;
                if ((f.Def->Pgn == 127488 || f.Def->Pgn == 127489) && f.Fields[0].Value == 1)
                    ++secondEngine;
                if (f.Def->Pgn == 126996 && f.Whole) model = f.Fields[2].Text;
                if (f.Record.FastPacket && f.Record.FrameIndex == 0) {
                    // The sequence counter steps per PGN and source; 0: none seen yet.
                    int& next = counters[f.Record.Id.Pgn << 8 | f.Record.Id.Source];
                    EXPECT_TRUE(next == 0 || f.Record.Sequence == next % 8) << f.Record.Id.Pgn;
                    next = f.Record.Sequence + 1;
                }
            });
        EXPECT_GT(records, 450);
        EXPECT_GT(nonN2k, 0);
        for (uint32_t pgn : {127507u, 127488u, 127489u, 126996u, 130306u, 59904u, 126464u})
            EXPECT_GT(seen[pgn], 0) << pgn;
        EXPECT_EQ(model, "KORVAN KX4 Control Box");
        EXPECT_EQ(seen[127508] > 0, c.BatteryFrames);
        EXPECT_EQ(seen[127506] > 0, c.BatteryFrames);
        EXPECT_EQ(temperatures > 0, c.TemperatureKnown);
        EXPECT_EQ(secondEngine > 0, c.SecondEngine);
    }
}

}  // namespace
}  // namespace korvan::n2k
