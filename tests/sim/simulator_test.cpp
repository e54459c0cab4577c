#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <thread>

#include "model/system_data.h"
#include "sim/defaults.h"
#include "tests/sim/sim_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using test::ManualClock;
using test::ManualConfig;
using test::Request;

class SimCore : public ::testing::Test {
  protected:
    ManualClock clock;

    ControlBoxState ControlState(KorvanSimulator& sim, uint8_t frs = 0) {
        Buffer64 answer = sim.Answer(Request(CmdControlBoxState, frs));
        ControlBoxState st;
        DecodeControlBoxState(answer, st);
        return st;
    }
    BatteryBoxState BatteryState(KorvanSimulator& sim) {
        Buffer64 answer = sim.Answer(Request(CmdBatteryBoxState));
        BatteryBoxState st;
        DecodeBatteryBoxState(answer, sim.Settings().Battery, st);
        return st;
    }
    // Steps the clock in poll-sized steps so the stage machine sees every moment.
    void Run(KorvanSimulator& sim, std::chrono::seconds total) {
        for (auto t = 0s; t < total; t += 1s) {
            clock.Advance(1s);
            sim.Answer(Request(CmdControlBoxState));
        }
    }
    void SendItems(KorvanSimulator& sim, uint8_t code, const ItemPairs& pairs) {
        for (const ItemPair& p : pairs) sim.Answer(Request(code, p.Item, p.Value));
    }
};

TEST_F(SimCore, StagesAdvanceWhileAnEngineRunsAndFallBackWhenItStops) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    const ControlBoxSettings settings = sim.Settings().Control;
    Run(sim, 5s);
    EXPECT_EQ(ControlState(sim).ChargingStage, 0);  // "Monitoring"

    sim.SetEngineRunning(0, true);
    Run(sim, 5s);
    ControlBoxState st = ControlState(sim);
    EXPECT_EQ(st.ChargingStage, 1);  // "Warm-up"
    EXPECT_NEAR(st.Alt1SetPoint, settings.Profiles[0].WarmupTarget, 0.3);

    Run(sim, std::chrono::seconds(settings.WarmupDuration));
    EXPECT_EQ(ControlState(sim).ChargingStage, 2);  // "Mandatory Bulk"
    Run(sim, std::chrono::seconds(settings.MandatoryBulkDuration));
    st = ControlState(sim);
    EXPECT_EQ(st.ChargingStage, 3);  // "Bulk & Absorb"
    EXPECT_GT(st.Alt1Current, 0);
    EXPECT_GT(st.Alt1DigitalFieldControl, 0);

    // A nearly full bank tapers off and the control box floats it.
    sim.SetSoc(97);
    Run(sim, 600s);
    st = ControlState(sim);
    EXPECT_EQ(st.ChargingStage, 4);  // "Float"
    EXPECT_NEAR(st.BatteryVoltage, settings.Profiles[0].FloatTarget, 0.25);

    sim.SetEngineRunning(0, false);
    Run(sim, 10s);
    st = ControlState(sim);
    EXPECT_EQ(st.ChargingStage, 0);
    EXPECT_EQ(st.Alt1Current, 0);
}

TEST_F(SimCore, StateOfChargeRisesWhileChargingAndFallsUnderLoad) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    const double start = sim.Soc();
    Run(sim, 1200s);
    const double rested = sim.Soc();
    EXPECT_LT(rested, start);
    BatteryBoxState bat = BatteryState(sim);
    EXPECT_LT(bat.BatteryCurrent, 0);
    EXPECT_GT(bat.LoadCurrent, 0);
    EXPECT_EQ(bat.Alternator1Current, 0);

    sim.SetEngineRunning(0, true);
    sim.SetEngineRunning(1, true);
    Run(sim, 1200s);
    EXPECT_GT(sim.Soc(), rested + 1.0);
    bat = BatteryState(sim);
    EXPECT_GT(bat.BatteryCurrent, 0);
    EXPECT_GT(bat.Alternator1Current, 0);
    EXPECT_GT(bat.Alternator2Current, 0);
    // The battery box's currents balance: alternators = battery + loads (each rounded).
    EXPECT_NEAR(bat.Alternator1Current + bat.Alternator2Current,
                bat.BatteryCurrent + bat.LoadCurrent, 2);
    EXPECT_EQ(bat.Soc, static_cast<uint8_t>(std::lround(sim.Soc())));
}

TEST_F(SimCore, BothAlternatorsRunningMakesFieldBoxTwoTheSlave) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    sim.SetEngineRunning(0, true);
    Run(sim, 10s);
    EXPECT_EQ(ControlState(sim).ConnectedModules & 0x0100, 0);
    sim.SetEngineRunning(1, true);
    Run(sim, 10s);
    const ControlBoxState st = ControlState(sim);
    EXPECT_NE(st.ConnectedModules & 0x0100, 0);
    EXPECT_EQ(st.SlaveFieldControl, st.Alt1DigitalFieldControl);
}

TEST_F(SimCore, FrsFlagsStepTheValueWithinZeroToTen) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    EXPECT_EQ(ControlState(sim).FrsValue, 0);
    EXPECT_EQ(ControlState(sim, FrsMinusFlag).FrsValue, 0);  // no lower than 0
    EXPECT_EQ(ControlState(sim, FrsPlusFlag).FrsValue, 1);
    for (int i = 0; i < 12; ++i) ControlState(sim, FrsPlusFlag);
    ControlBoxState st = ControlState(sim);
    EXPECT_EQ(st.FrsValue, 10);  // no higher than 10
    EXPECT_EQ(st.FieldControlLimit, 0);
    EXPECT_EQ(ControlState(sim, FrsPlusFlag | FrsMinusFlag).FrsValue, 9);  // minus wins
    // The Bluetooth state request carries the flag in byte 1.
    const auto frame = BtRequestFrame(BtStateRequest, FrsMinusFlag);
    sim.BluetoothAnswer(frame.data(), frame.size());
    st = ControlState(sim);
    EXPECT_EQ(st.FrsValue, 8);
    EXPECT_EQ(st.FieldControlLimit, 500);  // 20 % of 2500
    // Settings and other requests leave it alone.
    sim.Answer(Request(CmdBatteryBoxState, FrsPlusFlag));
    const auto settingsFrame = BtRequestFrame(BtSettingsRequest, 0);
    sim.BluetoothAnswer(settingsFrame.data(), settingsFrame.size());
    EXPECT_EQ(sim.FrsValue(), 8);
}

TEST_F(SimCore, ItemWritesTakeEffectOnlyOnTheClosingPair) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    const Buffer64 before = sim.StoredBlock(SimModule::BatteryBox);
    BatteryBoxSettings edited = sim.Settings().Battery;
    edited.BankSize = 300;
    edited.FaultTemp2 = 45;
    Buffer64 encoded{};
    ItemPairs pairs = EncodeBatteryBoxSettings(edited, encoded);
    ASSERT_EQ(pairs.size(), 47u);

    SendItems(sim, CmdWriteBatteryBoxItem, ItemPairs(pairs.begin(), pairs.end() - 1));
    EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), before);
    EXPECT_EQ(sim.Answer(Request(CmdBatteryBoxSettings)), before);
    // Stray pairs: an item number past the block, an item 0 that is not the closing pair.
    sim.Answer(Request(CmdWriteBatteryBoxItem, 47, 0x12));
    sim.Answer(Request(CmdWriteBatteryBoxItem, 0, 0x12));
    EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), before);

    sim.Answer(Request(CmdWriteBatteryBoxItem, 0, 0xFF));
    EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), encoded);
    EXPECT_EQ(sim.Answer(Request(CmdBatteryBoxSettings)), encoded);
    EXPECT_EQ(sim.Settings().Battery.BankSize, 300);
    EXPECT_EQ(sim.ItemWrites().size(), 49u);

    // A second closing pair with nothing collected changes nothing; the field boxes
    // collect their own items.
    sim.Answer(Request(CmdWriteBatteryBoxItem, 0, 0xFF));
    EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), encoded);
    FieldBoxSettings field = sim.Settings().Field[1];
    field.LowRpmLimit = 650;
    Buffer64 fieldEncoded{};
    SendItems(sim, CmdWriteFieldBox2Item, EncodeFieldBoxSettings(field, fieldEncoded));
    EXPECT_EQ(sim.StoredBlock(SimModule::FieldBox2), fieldEncoded);
    EXPECT_NE(sim.StoredBlock(SimModule::FieldBox1), fieldEncoded);
}

TEST_F(SimCore, BlockWritesAreKeptAndResetRestoresTheControlBoxDefaults) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    const Buffer64 defaultsControl = sim.StoredBlock(SimModule::ControlBox);
    const Buffer64 defaultsProfiles = sim.StoredBlock(SimModule::ChargeProfiles);
    const Buffer64 battery = sim.StoredBlock(SimModule::BatteryBox);

    ControlBoxSettings edited = sim.Settings().Control;
    edited.ProfileIndex = 1;
    edited.Alt1CurrentLimit = 150;
    edited.Profiles[1].BulkTarget = 14.25;
    Buffer64 control{}, profiles{};
    EncodeControlBoxSettings(edited, control);
    EncodeChargeProfiles(edited, profiles);
    DeviceReport write = control;
    write[0] = CmdWriteControlBoxSettings;
    sim.Answer(write);
    write = profiles;
    write[0] = CmdWriteChargeProfiles;
    sim.Answer(write);
    EXPECT_EQ(sim.Answer(Request(CmdControlBoxSettings)), control);
    EXPECT_EQ(sim.Answer(Request(CmdChargeProfiles)), profiles);
    EXPECT_EQ(sim.Settings().Control.ProfileIndex, 1);

    sim.Answer(Request(CmdResetControlBoxDefaults));
    EXPECT_EQ(sim.Answer(Request(CmdControlBoxSettings)), defaultsControl);
    EXPECT_EQ(sim.Answer(Request(CmdChargeProfiles)), defaultsProfiles);
    EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), battery);  // not the control box's
}

// The defaults must survive the tool's read-back and checks unchanged, or a
// read followed by a write would alter a fresh system.
TEST_F(SimCore, DefaultsPassTheToolsChecks) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    SimSettings s = sim.Settings();
    const std::vector<std::string> controlCells = ControlBoxSettingsTexts(s.Control, '.');
    ReadControlBoxSettingsTable(s.Control, controlCells, '.');
    Buffer64 block{};
    EncodeControlBoxSettings(s.Control, block);
    EXPECT_EQ(block, sim.StoredBlock(SimModule::ControlBox));
    block.fill(0);
    EncodeChargeProfiles(s.Control, block);
    EXPECT_EQ(block, sim.StoredBlock(SimModule::ChargeProfiles));

    for (uint8_t volts : {12, 24}) {
        BatteryBoxSettings b = s.Battery;
        ReadBatteryBoxSettingsTable(b, BatteryBoxSettingsTexts(b, volts, ','), volts, ',');
        EncodeBatteryBoxSettings(b, block);
        EXPECT_EQ(block, sim.StoredBlock(SimModule::BatteryBox)) << int(volts) << " V";
    }
    for (int i = 0; i < 2; ++i) {
        FieldBoxSettings f = s.Field[i];
        ReadFieldBoxSettingsTable(f, FieldBoxSettingsTexts(f, '.'), '.');
        EncodeFieldBoxSettings(f, block);
        EXPECT_EQ(block, sim.StoredBlock(i == 0 ? SimModule::FieldBox1 : SimModule::FieldBox2));
    }
    EXPECT_EQ(ControlState(sim).ConnectedModules & 0x0800, 0);  // no settings fault
}

TEST_F(SimCore, AbsentModulesAnswerZerosAndAreNotFlagged) {
    SimConfig config = ManualConfig();
    config.FieldBox2 = false;
    config.Nmea2000 = false;
    KorvanSimulator sim(config, clock.Clock());
    const DeviceReport zeros{};
    EXPECT_EQ(ControlState(sim).ConnectedModules & 0x001E,
              FieldBox1Connected | BatteryBoxConnected);
    EXPECT_EQ(sim.Answer(Request(CmdFieldBox2State)), zeros);
    EXPECT_EQ(sim.Answer(Request(CmdFieldBox2Settings)), zeros);
    EXPECT_EQ(sim.Answer(Request(CmdCanFrames)), zeros);
    EXPECT_NE(sim.Answer(Request(CmdFieldBox1State)), zeros);
    const auto state = sim.StateImage();
    EXPECT_TRUE(std::all_of(state.begin() + 117, state.end(), [](uint8_t b) { return b == 0; }));
    const auto settings = sim.SettingsImage();
    EXPECT_TRUE(
        std::all_of(settings.begin() + 197, settings.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(settings[170], SettingsMarker);

    const Buffer64 before = sim.StoredBlock(SimModule::FieldBox2);
    sim.Answer(Request(CmdWriteFieldBox2Item, 9, 20));
    sim.Answer(Request(CmdWriteFieldBox2Item, 0, 0xFF));
    EXPECT_EQ(sim.StoredBlock(SimModule::FieldBox2), before);

    config.Nmea2000 = true;
    config.BatteryBox = false;
    sim.SetConfig(config);
    EXPECT_EQ(ControlState(sim).ConnectedModules & 0x001E, FieldBox1Connected | Nmea2000Connected);
    EXPECT_EQ(sim.Answer(Request(CmdBatteryBoxState)), zeros);
    EXPECT_EQ(ControlState(sim).BatteryCurrent, 0);
}

TEST_F(SimCore, UnknownCodesAreAnsweredWithZeros) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    for (uint8_t code : {0, 10, 15, 24, 0xAA, 0xFF}) {
        EXPECT_EQ(sim.Answer(Request(code, 1, 2)), DeviceReport{}) << int(code);
    }
    EXPECT_EQ(sim.ReceivedUsbCodes(), (std::vector<uint8_t>{0, 10, 15, 24, 0xAA, 0xFF}));
}

TEST_F(SimCore, TwentyFourVoltSystemAndMissingSensors) {
    SimConfig config = ManualConfig();
    config.SystemVoltage = 24;
    config.AlternatorSensorMissing = {false, true};
    KorvanSimulator sim(config, clock.Clock());
    sim.SetEngineRunning(0, true);
    Run(sim, 30s);
    const BatteryBoxState bat = BatteryState(sim);
    EXPECT_EQ(bat.SystemVoltage, 24);
    EXPECT_GT(bat.TrueBatteryVoltage, 24.0);
    EXPECT_LT(bat.TrueBatteryVoltage, 30.0);
    EXPECT_EQ(bat.Temperature3, -128);  // not fitted by default
    EXPECT_NE(bat.Temperature1, -128);
    EXPECT_GT(ControlState(sim).Alt1SetPoint, 26.0);

    FieldBoxState f1, f2;
    DecodeFieldBoxState(sim.Answer(Request(CmdFieldBox1State)), f1);
    DecodeFieldBoxState(sim.Answer(Request(CmdFieldBox2State)), f2);
    EXPECT_NE(f1.AlternatorTemperature, -128);
    EXPECT_EQ(f2.AlternatorTemperature, -128);
    EXPECT_GT(f1.EngineRpm, 1000);
    EXPECT_EQ(f1.StatusCode & 0x60, 0x60);  // tachometer signal, ignition
    EXPECT_EQ(f2.EngineRpm, 0);
}

TEST_F(SimCore, FaultBitsFollowTheThresholds) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    Run(sim, 5s);
    EXPECT_EQ(BatteryState(sim).StatusCode, 0);
    EXPECT_EQ(ControlState(sim).ConnectedModules & (WarningFaultPresent | CriticalFaultPresent), 0);

    sim.SetSoc(10);  // below the warning SOC of 20 %
    Run(sim, 2s);
    EXPECT_NE(BatteryState(sim).StatusCode & 0x0800, 0);
    ControlBoxState st = ControlState(sim);
    EXPECT_NE(st.ConnectedModules & WarningFaultPresent, 0);
    EXPECT_EQ(st.ConnectedModules & CriticalFaultPresent, 0);

    // A fault voltage below the bulk target: charging trips the overvoltage fault.
    sim.SetSoc(60);
    BatteryBoxSettings b = sim.Settings().Battery;
    b.FaultVoltage = 13.0;
    b.WarningVoltage = 12.9;
    Buffer64 block{};
    SendItems(sim, CmdWriteBatteryBoxItem, EncodeBatteryBoxSettings(b, block));
    sim.SetEngineRunning(0, true);
    Run(sim, 240s);
    EXPECT_NE(BatteryState(sim).StatusCode & 0x0100, 0);
    st = ControlState(sim);
    EXPECT_NE(st.ConnectedModules & CriticalFaultPresent, 0);
    EXPECT_NE(st.ConnectedModules & 0x1000, 0);  // system overvoltage
}

TEST_F(SimCore, BluetoothAnswersReversedImagesAndRestartsOnCode22) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    const auto state = BtRequestFrame(BtStateRequest, 0);
    const auto settings = BtRequestFrame(BtSettingsRequest, 0);
    std::vector<uint8_t> wire = sim.BluetoothAnswer(state.data(), 4);
    ASSERT_EQ(wire.size(), StateImageSize);
    const auto image = sim.StateImage();
    EXPECT_TRUE(std::equal(wire.rbegin(), wire.rend(), image.begin()));
    EXPECT_EQ(wire.back(), StateMarker);
    EXPECT_NE(ControlState(sim).ConnectedModules & 0x4000, 0);  // serial link in use

    wire = sim.BluetoothAnswer(settings.data(), 4);
    ASSERT_EQ(wire.size(), SettingsImageSize);
    const auto settingsImage = sim.SettingsImage();
    EXPECT_TRUE(std::equal(wire.rbegin(), wire.rend(), settingsImage.begin()));

    const uint8_t malformed[4] = {BtStateRequest, 0, 0, BtSettingsRequest};
    EXPECT_TRUE(sim.BluetoothAnswer(malformed, 4).empty());
    EXPECT_TRUE(sim.BluetoothAnswer(state.data(), 3).empty());

    clock.Advance(4s);
    EXPECT_EQ(ControlState(sim).ConnectedModules & 0x4000, 0);

    sim.Answer(Request(CmdResetBluetoothRadio));
    const size_t recorded = sim.Received().size();
    clock.Advance(9900ms);
    EXPECT_FALSE(sim.BluetoothAvailable());
    EXPECT_TRUE(sim.BluetoothAnswer(state.data(), 4).empty());
    EXPECT_EQ(sim.Received().size(), recorded);  // the radio heard nothing
    clock.Advance(100ms);
    EXPECT_TRUE(sim.BluetoothAvailable());
    EXPECT_EQ(sim.BluetoothAnswer(state.data(), 4).size(), StateImageSize);
}

TEST_F(SimCore, CanFramesCoverEveryKindWithRealisticIdentifiers) {
    KorvanSimulator sim(ManualConfig(), clock.Clock());
    std::set<uint8_t> kinds;
    std::set<uint32_t> pgns;
    int empty = 0, long_frames = 0;
    for (int call = 0; call < 40; ++call) {
        const DeviceReport answer = sim.Answer(Request(CmdCanFrames));
        for (size_t offset : {size_t{0}, size_t{32}}) {
            const uint8_t* r = answer.data() + offset;
            if (r[8] == 0) {
                ++empty;
                continue;
            }
            kinds.insert(r[0]);
            const uint32_t id = r[4] | (r[5] << 8) | (r[6] << 16) | (uint32_t(r[7]) << 24);
            if (r[0] >= 4 && r[0] != 5 && r[0] != 1) pgns.insert((id >> 8) & 0x3FFFF);
            if (r[8] > 8) ++long_frames;
            // Nothing but the record's own bytes is written.
            EXPECT_TRUE(std::all_of(r + 17, r + 20, [](uint8_t b) { return b == 0; }));
        }
    }
    EXPECT_EQ(kinds, (std::set<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(pgns.count(127488));  // engine parameters, rapid update
    EXPECT_TRUE(pgns.count(127508));  // battery status
    EXPECT_TRUE(pgns.count(126996));  // product information
    EXPECT_GT(empty, 0);
    EXPECT_GT(long_frames, 0);
    EXPECT_EQ(N2kIdentifier(6, 59904, 0x01, 0x23), 0x18EA2301u);  // destination-addressed
    EXPECT_EQ(N2kIdentifier(2, 127488, 0x23), 0x09F20023u);
}

TEST_F(SimCore, RecordKeepsRequestsInOrderWithinItsLimit) {
    SimConfig config = ManualConfig();
    config.RecordLimit = 5;
    KorvanSimulator sim(config, clock.Clock());
    for (uint8_t code = 1; code <= 8; ++code) sim.Answer(Request(code));
    EXPECT_EQ(sim.ReceivedUsbCodes(), (std::vector<uint8_t>{4, 5, 6, 7, 8}));
    sim.ClearRecord();
    EXPECT_TRUE(sim.Received().empty());
}

// The serial line answers from its own thread while the window calls in directly.
TEST_F(SimCore, ConcurrentUsbAndBluetoothRequests) {
    KorvanSimulator sim(SimConfig{}, clock.Clock());
    std::thread bluetooth([&] {
        const auto frame = BtRequestFrame(BtStateRequest, 0);
        for (int i = 0; i < 300; ++i) {
            ASSERT_EQ(sim.BluetoothAnswer(frame.data(), 4).size(), StateImageSize);
            clock.Advance(10ms);
        }
    });
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(sim.Answer(Request(CmdControlBoxState))[0], StateMarker);
    }
    bluetooth.join();
    EXPECT_EQ(sim.Received().size(), 600u);
}

}  // namespace
}  // namespace korvan
