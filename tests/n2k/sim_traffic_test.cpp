// The simulator's bus traffic through the decoder: named, agreeing with the
// simulated system's state, reserved bits set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "model/control_box.h"
#include "n2k/record.h"
#include "sim/can_traffic.h"
#include "sim/defaults.h"
#include "sim/live_system.h"

namespace korvan::n2k {
namespace {

SimSettings Defaults() {
    SimSettings s;
    s.Control = DefaultControlBoxSettings();
    s.Battery = DefaultBatteryBoxSettings();
    s.Field = {DefaultFieldBoxSettings(0), DefaultFieldBoxSettings(1)};
    return s;
}

double FieldValue(const DecodedFrame& f, const char* id) {
    for (const DecodedField& d : f.Fields)
        if (std::strcmp(d.Def->Id, id) == 0 && d.State == FieldState::Value) return d.Value;
    ADD_FAILURE() << "no value for " << id;
    return NAN;
}

// Polls the simulated bus the way the page does, the system moving on between polls.
template <typename Check>
void Poll(int polls, Check check, const SimConfig& config = {}) {
    LiveSystem live(config);
    const SimSettings settings = Defaults();
    CanTraffic traffic;
    Decoder decoder;
    for (int i = 0; i < polls; ++i) {
        live.Advance(2.0, settings);
        DeviceReport answer{};
        traffic.Fill(answer, live);
        for (size_t offset : CanFrameRecordOffsets) {
            const CanFrameRecord record = ParseCanFrameRecord(answer.data() + offset);
            if (record.DataLength == 0) continue;
            check(decoder.Decode(record), record, live, live.States(settings));
        }
    }
}

TEST(N2kSimTraffic, EveryFrameIsNamedAndAgreesWithTheSystemsState) {
    std::map<uint32_t, int> seen;
    int records = 0;
    int nonN2k = 0;
    std::string model;
    Poll(600, [&](const DecodedFrame& f, const CanFrameRecord& record, const LiveSystem& live,
                  const SimStates& states) {
        ++records;
        if (!f.Record.N2k) {
            ++nonN2k;
            EXPECT_LE(record.Kind, 4) << "only error and 11-bit frames are not NMEA 2000";
            return;
        }
        ASSERT_NE(f.Def, nullptr) << "PGN " << f.Record.Id.Pgn << " not named";
        ++seen[f.Def->Pgn];
        for (const DecodedField& d : f.Fields) {
            // Reserved bits are ones; nothing the simulator sends is cut off.
            if (d.State == FieldState::Reserved) {
                const MessageBytes bytes = f.Bytes();
                for (uint32_t bit = d.Def->BitOffset; bit < d.Def->BitOffset + d.Def->BitLength;
                     ++bit)
                    EXPECT_TRUE(bytes.Data[bit / 8 - bytes.First] >> (bit % 8) & 1)
                        << f.Def->Name << " " << d.Def->Name << " bit " << bit;
            }
        }
        switch (f.Def->Pgn) {
            case 127508:
                EXPECT_NEAR(FieldValue(f, "voltage"), live.BatteryVoltage(), 0.005);
                EXPECT_NEAR(FieldValue(f, "current"), live.BatteryCurrent(), 0.05);
                EXPECT_NEAR(FieldValue(f, "temperature") - 273.15, live.BatteryTemperature(0),
                            0.005);
                // The battery box's state record of the same poll, within its resolution.
                EXPECT_NEAR(FieldValue(f, "voltage"), states.Battery.TrueBatteryVoltage, 0.005);
                EXPECT_NEAR(FieldValue(f, "current"), states.Battery.BatteryCurrent, 0.55);
                EXPECT_NEAR(FieldValue(f, "temperature") - 273.15, states.Battery.Temperature1,
                            0.505);
                break;
            case 127488: {
                const int engine = int(FieldValue(f, "instance"));
                EXPECT_NEAR(FieldValue(f, "speed"), live.Rpm(engine), 0.125);
                break;
            }
            case 127507: {
                const char* state = live.Stage() == StageFloat        ? "Float"
                                    : live.Stage() == StageBulkAbsorb ? "Absorption"
                                    : live.Stage() == StageMonitoring ? "Not charging"
                                                                      : "Bulk";
                EXPECT_EQ(f.Fields[2].Text, state);
                break;
            }
            case 127506:
                if (f.Whole) {
                    EXPECT_NEAR(FieldValue(f, "stateOfCharge"), live.Soc(), 0.5);
                }
                break;
            case 127489:
                if (f.Whole) {
                    EXPECT_NEAR(FieldValue(f, "alternatorPotential"), live.BatteryVoltage(), 0.005);
                }
                break;
            case 126996:
                if (f.Whole) model = f.Fields[2].Text;
                break;
            default:
                break;
        }
    });
    EXPECT_GT(records, 900);
    EXPECT_GT(nonN2k, 0);
    for (uint32_t pgn :
         {127508u, 127506u, 127507u, 127488u, 127489u, 126996u, 130306u, 59904u, 126464u})
        EXPECT_GT(seen[pgn], 0) << pgn;
    EXPECT_EQ(model, "KORVAN KX4 Control Box");
}

TEST(N2kSimTraffic, OnlyFittedModulesAndPresentSensorsSendData) {
    struct Case {
        const char* Name;
        SimConfig Config;
        bool BatteryFrames;
        bool TemperatureKnown;
        bool SecondEngine;
    };
    SimConfig noBatteryBox;
    noBatteryBox.BatteryBox = false;
    SimConfig noSensor;
    noSensor.BatterySensorMissing[0] = true;
    SimConfig oneFieldBox;
    oneFieldBox.FieldBox2 = false;
    const Case cases[] = {{"no battery box", noBatteryBox, false, false, true},
                          {"battery sensor 1 missing", noSensor, true, false, true},
                          {"one field box", oneFieldBox, true, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::map<uint32_t, int> seen;
        int temperatures = 0;
        int secondEngine = 0;
        Poll(
            300,
            [&](const DecodedFrame& f, const CanFrameRecord&, const LiveSystem&, const SimStates&) {
                if (f.Def == nullptr) return;
                ++seen[f.Def->Pgn];
                if (f.Def->Pgn == 127508 && f.Fields[3].State == FieldState::Value) ++temperatures;
                if ((f.Def->Pgn == 127488 || f.Def->Pgn == 127489) && f.Fields[0].Value == 1)
                    ++secondEngine;
            },
            c.Config);
        EXPECT_EQ(seen[127508] > 0, c.BatteryFrames);
        EXPECT_EQ(seen[127506] > 0, c.BatteryFrames);
        EXPECT_EQ(temperatures > 0, c.TemperatureKnown);
        EXPECT_EQ(secondEngine > 0, c.SecondEngine);
        EXPECT_GT(seen[127507], 0);
    }
}

}  // namespace
}  // namespace korvan::n2k
