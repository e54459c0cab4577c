#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "model/system_data.h"

namespace korvan {
namespace {

std::vector<std::string> StateLines(const ControlBoxState& s, char sep = '.') {
    std::vector<std::string> lines{"stale"};
    ControlBoxStateLines(s, sep, &lines);
    return lines;
}

// A settings record as a decode of a sound block leaves it.
ControlBoxSettings SoundSettings() {
    ControlBoxSettings s{};
    s.DeviceId = 3;
    s.Version = 4;
    s.WifiMode = 1;
    std::memcpy(s.WifiSsid, "Boat            ", 16);
    std::memcpy(s.WifiPassword, "secret1         ", 16);
    s.ProfileIndex = 1;
    for (ChargeProfile& p : s.Profiles) p = {14.4, 14.3, 14.6, 14.8, 13.4, 13.1};
    s.BatteryChargeCurrentLimit = 100;
    s.WarmupDuration = 20;
    s.MandatoryBulkDuration = 30;
    s.MaxWiringVoltageDrop = 0.5;
    s.RefreshRate = 40;
    s.Alt1CurrentLimit = s.Alt2CurrentLimit = 120;
    s.Alt1ClimbCoefficient = s.Alt2ClimbCoefficient = 5;
    s.Alt1CollapseCoefficient = s.Alt2CollapseCoefficient = 200;
    s.Alt1ToleranceBand = s.Alt2ToleranceBand = 0.05;
    return s;
}

TEST(ModelControlBoxState, DecodesTheGivenBytes) {
    Buffer64 b{};
    b[1] = 0x0C;
    b[2] = 0x32;
    b[7] = 7;
    b[8] = 0x00;
    b[9] = 0x92;  // field box #1 connected, NMEA 2000 connected, alternator #1 slave
    b[10] = 3;
    b[35] = 0xFF;
    b[36] = 0xF6;
    PutU16(&b[5], 2500);
    PutU16(&b[15], 1262);
    PutU16(&b[25], 13);
    ControlBoxState s;
    DecodeControlBoxState(b, s);
    EXPECT_DOUBLE_EQ(s.BatteryVoltage, 12.5);
    EXPECT_EQ(s.Alt1Current, -10);
    EXPECT_EQ(s.ConnectedModules, 0x92);
    const std::vector<std::string> expected = {"Bulk & Absorb", "70", "100",  "Slave",
                                               "0.00",          "50", "0.00", "Stand-alone",
                                               "0.00",          "1",  "0.00"};
    EXPECT_EQ(StateLines(s), expected);
    EXPECT_EQ(StateLines(s).size(), ControlBoxStateLabels().size());
}

TEST(ModelControlBoxState, PercentagesRoundAndStagesAboveFourStillFillOneRow) {
    ControlBoxState s{};
    s.Alt1DigitalFieldControl = 12;
    s.Alt2DigitalFieldControl = 13;
    s.ChargingStage = 9;
    auto lines = StateLines(s);
    EXPECT_EQ(lines[5], "0");
    EXPECT_EQ(lines[9], "1");
    EXPECT_EQ(lines[0], "Unknown (9)");
    EXPECT_EQ(lines.size(), 11u);
    const char* names[] = {"Monitoring", "Warm-up", "Mandatory Bulk", "Bulk & Absorb", "Float"};
    for (uint8_t i = 0; i < 5; ++i) EXPECT_EQ(ChargingStageName(i), names[i]);
    ControlBoxStateLines(s, '.', nullptr);  // a missing list is left alone
}

TEST(ModelControlBoxState, StatusLinesInAscendingBitOrder) {
    ControlBoxState s{};
    EXPECT_EQ(ControlBoxStatusLines(s), std::vector<std::string>{"Status OK"});
    s.ConnectedModules = 0x0012;
    EXPECT_EQ(ControlBoxStatusLines(s),
              (std::vector<std::string>{"- Field Box #1 connected", "- NMEA 2000 connected"}));
    s.ConnectedModules = 0xFFFF;
    auto all = ControlBoxStatusLines(s);
    ASSERT_EQ(all.size(), 15u);  // 0x8000 has no line
    EXPECT_EQ(all.front(), "- System Control Module internal hardware fault");
    EXPECT_EQ(all.back(), "- BlueTooth connection active");
    s.ConnectedModules = 0x8000;
    EXPECT_TRUE(ControlBoxStatusLines(s).empty());
}

TEST(ModelControlBoxState, EncodeIsTheExactInverseOfDecode) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Buffer64 b{};
        b[0] = b[41] = StateMarker;
        for (int i = 1; i <= 40; ++i) b[i] = static_cast<uint8_t>(rng());
        // Split decimals as the module sends them: hundredths within -99..99, sign of the whole
        // part.
        for (int at : {1, 11, 13, 21, 23, 31, 33}) {
            int h = static_cast<int>(rng() % 100);
            b[at + 1] = static_cast<uint8_t>(static_cast<int8_t>(b[at]) < 0 ? -h : h);
        }
        ControlBoxState s;
        DecodeControlBoxState(b, s);
        Buffer64 out;
        out.fill(0x77);
        EncodeControlBoxState(s, out);
        ASSERT_EQ(out, b) << "round " << round;
    }
}

TEST(ModelControlBoxSettings, BlockRoundTripAndByteWidths) {
    std::mt19937 rng(11);
    for (int round = 0; round < 100; ++round) {
        Buffer64 b{};
        b[0] = b[62] = SettingsMarker;
        for (int i = 1; i <= 61; ++i) b[i] = static_cast<uint8_t>(rng());
        for (int at : {52, 56, 60})
            b[at + 1] =
                static_cast<uint8_t>(static_cast<int8_t>(b[at]) < 0 ? -(rng() % 100) : rng() % 100);
        ControlBoxSettings s{};
        DecodeControlBoxSettings(b, s);
        Buffer64 out;
        EncodeControlBoxSettings(s, out);
        ASSERT_EQ(out, b) << "round " << round;
    }
    ControlBoxSettings s = SoundSettings();
    s.Alt1CurrentLimit = 500;
    s.Alt1CollapseCoefficient = 300;
    Buffer64 out;
    EncodeControlBoxSettings(s, out);
    EXPECT_EQ(out[8], 0x01);
    EXPECT_EQ(out[9], 0xF4);
    EXPECT_EQ(out[51], 0x2C);
}

TEST(ModelControlBoxSettings, TextsShowTheSelectedProfile) {
    ControlBoxSettings s = SoundSettings();
    s.Profiles[1].BulkTarget = 14.4;
    s.Profiles[1].FloatTarget = 13.6;
    auto texts = ControlBoxSettingsTexts(s, ',');
    ASSERT_EQ(texts.size(), ControlBoxSettingsLabels().size());
    const std::vector<std::string> expected = {"1",
                                               "Boat            ",
                                               "secret1         ",
                                               "0",
                                               "0",
                                               "1",
                                               "14,40",
                                               "13,60",
                                               "120",
                                               "120",
                                               "100",
                                               "20",
                                               "0,50"};
    EXPECT_EQ(texts, expected);
    std::memcpy(s.WifiSsid, "ab\0cdefghijklmno", 16);
    EXPECT_EQ(ControlBoxSettingsTexts(s, '.')[1], "ab");
    std::memcpy(s.WifiSsid, "Caf\xE9            ", 16);  // a code-page byte from a file
    EXPECT_EQ(ControlBoxSettingsTexts(s, '.')[1], "Caf\u00E9            ");
}

TEST(ModelControlBoxSettings, ReadBackParsesFiltersAndChecks) {
    ControlBoxSettings s = SoundSettings();
    auto cells = ControlBoxSettingsTexts(s, '.');
    ControlBoxSettings again = s;
    ReadControlBoxSettingsTable(again, cells, '.');
    EXPECT_EQ(std::memcmp(&again, &s, sizeof s), 0) << "an unchanged table changes nothing";

    cells[0] = "258";  // low byte 2: accepted
    cells[1] = "Boat_Net 5!";
    cells[2] = "an overly long password";
    cells[11] = "abc";
    cells[12] = "2.5";
    ReadControlBoxSettingsTable(s, cells, '.');
    EXPECT_EQ(s.WifiMode, 2);
    EXPECT_EQ(std::string(s.WifiSsid, 16), "Boat Net 5      ");
    EXPECT_EQ(std::string(s.WifiPassword, 16), "an overly long p");
    EXPECT_EQ(s.WarmupDuration, 20);
    EXPECT_EQ(s.MaxWiringVoltageDrop, 0.0);
    cells[11] = "300";
    cells[12] = "2";
    cells[1] = "My Boat-1";
    cells[2] = "\u00FCber";  // one character, one blank
    ReadControlBoxSettingsTable(s, cells, '.');
    EXPECT_EQ(s.WarmupDuration, 5);
    EXPECT_EQ(s.MaxWiringVoltageDrop, 2.0);
    EXPECT_EQ(std::string(s.WifiSsid, 16), "My Boat 1       ");
    EXPECT_EQ(std::string(s.WifiPassword, 16), " ber            ");
}

TEST(ModelControlBoxSettings, RowsSixAndSevenGoIntoTheProfileRowFiveSelects) {
    ControlBoxSettings s = SoundSettings();
    auto cells = ControlBoxSettingsTexts(s, '.');
    cells[5] = "1";  // "AGM", as the drop-down puts it
    cells[6] = "14.70";
    cells[7] = "13.80";
    ReadControlBoxSettingsTable(s, cells, '.');
    EXPECT_EQ(s.Profiles[1].BulkTarget, 14.7);
    EXPECT_EQ(s.Profiles[1].FloatTarget, 13.8);
    EXPECT_EQ(s.Profiles[0].BulkTarget, 14.6);
    cells[5] = "4";
    cells[6] = "garbled";  // keeps that profile's value
    cells[7] = "13.50";
    ReadControlBoxSettingsTable(s, cells, '.');
    EXPECT_EQ(s.Profiles[4].BulkTarget, 14.6);
    EXPECT_EQ(s.Profiles[4].FloatTarget, 13.5);
}

TEST(ModelControlBoxSettings, AnIndexOutsideTheEightProfilesSelectsNoStorage) {
    ControlBoxSettings s = SoundSettings();
    s.ProfileIndex = 200;
    EXPECT_EQ(SelectedProfile(s), nullptr);
    auto texts = ControlBoxSettingsTexts(s, '.');
    EXPECT_EQ(texts[5], "200");
    EXPECT_EQ(texts[6], "-");
    EXPECT_EQ(texts[7], "-");
    const ControlBoxSettings before = s;
    texts[6] = "11.00";
    ReadControlBoxSettingsTable(s, texts, '.');
    EXPECT_EQ(s.ProfileIndex, 0);
    for (size_t i = 0; i < ChargeProfileCount; ++i)
        EXPECT_EQ(std::memcmp(&s.Profiles[i], &before.Profiles[i], sizeof(ChargeProfile)), 0) << i;
    EXPECT_EQ(std::memcmp(s.Pad433, before.Pad433, sizeof s.Pad433), 0);
}

TEST(ModelControlBoxSettings, ValidationReplacesInItsOrder) {
    ControlBoxSettings s{};
    s.Alt1ToleranceBand = 0.005;
    s.Alt2ToleranceBand = 2.0;
    s.Alt1CurrentLimit = 500;
    s.Alt2CurrentLimit = 501;
    s.BatteryChargeCurrentLimit = 500;
    s.Alt1CollapseCoefficient = 400;
    s.Alt2ClimbCoefficient = 51;
    ValidateControlBoxSettings(s);
    EXPECT_EQ(s.DeviceId, 3);
    EXPECT_EQ(s.Version, 4);
    EXPECT_EQ(s.BatteryChargeCurrentLimit, 0);
    EXPECT_EQ(s.WarmupDuration, 5);
    EXPECT_EQ(s.MandatoryBulkDuration, 5);
    EXPECT_EQ(s.RefreshRate, 40);
    EXPECT_EQ(s.Alt1ToleranceBand, 0.05);
    EXPECT_EQ(s.Alt2ToleranceBand, 2.0);
    EXPECT_EQ(s.Alt1CurrentLimit, 500);
    EXPECT_EQ(s.Alt2CurrentLimit, 0);
    EXPECT_EQ(s.Alt1CollapseCoefficient, 400);
    EXPECT_EQ(s.Alt2CollapseCoefficient, 200);
    EXPECT_EQ(s.Alt1ClimbCoefficient, 5);
    EXPECT_EQ(s.Alt2ClimbCoefficient, 5);
    // The empty profiles take their fallbacks; the derived values wait for the next decode.
    EXPECT_DOUBLE_EQ(s.Profiles[7].BulkTarget, 14.6);
    EXPECT_DOUBLE_EQ(s.Profiles[7].FloatTarget, 14.5);
    EXPECT_DOUBLE_EQ(s.Profiles[7].WarmupTarget, 14.5);
    EXPECT_EQ(s.Profiles[7].BulkLimit, 0.0);
}

TEST(ModelControlBoxSettings, AnEmptyTableReadsAsTheRowDefaults) {
    ControlBoxSettings s = SoundSettings();
    ReadControlBoxSettingsTable(s, std::vector<std::string>(13, "-"), '.');
    EXPECT_EQ(s.WifiMode, 0);
    EXPECT_EQ(std::string(s.WifiSsid, 16), std::string(16, ' '));
    EXPECT_EQ(s.ProfileIndex, 0);
    EXPECT_DOUBLE_EQ(s.Profiles[0].BulkTarget, 14.6);  // kept
    EXPECT_EQ(s.Alt1CurrentLimit, 0);
    EXPECT_EQ(s.WarmupDuration, 20);
    EXPECT_EQ(s.MaxWiringVoltageDrop, 1.0);
    EXPECT_EQ(s.DeviceId, 3);
    ControlBoxSettings fewer = SoundSettings();
    ReadControlBoxSettingsTable(fewer, {}, '.');  // missing cells count as unparsable
    EXPECT_EQ(std::memcmp(&fewer, &s, sizeof s), 0);
}

TEST(ModelChargeProfiles, DecodeDerivesAndEncodeWritesTheMarkers) {
    Buffer64 b{};
    const uint8_t p0[6] = {14, 40, 14, 60, 13, 40};
    std::memcpy(&b[1], p0, 6);
    ControlBoxSettings s{};
    DecodeChargeProfiles(b, s);
    const ChargeProfile& p = s.Profiles[0];
    EXPECT_DOUBLE_EQ(p.WarmupTarget, 14.4);
    EXPECT_DOUBLE_EQ(p.WarmupLimit, 14.3);
    EXPECT_DOUBLE_EQ(p.BulkTarget, 14.6);
    EXPECT_DOUBLE_EQ(p.BulkLimit, 14.8);
    EXPECT_DOUBLE_EQ(p.FloatTarget, 13.4);
    EXPECT_DOUBLE_EQ(p.FloatLeave, 13.1);
    EXPECT_DOUBLE_EQ(s.Profiles[3].FloatLeave, -0.3);

    std::mt19937 rng(3);
    Buffer64 block{};
    block[0] = block[49] = SettingsMarker;
    for (int i = 1; i <= 48; i += 2) {
        block[i] = static_cast<uint8_t>(rng());
        block[i + 1] =
            static_cast<uint8_t>(static_cast<int8_t>(block[i]) < 0 ? -(rng() % 100) : rng() % 100);
    }
    DecodeChargeProfiles(block, s);
    Buffer64 out;
    out.fill(0x11);
    EncodeChargeProfiles(s, out);
    EXPECT_EQ(out, block);

    s.Profiles[7].FloatTarget = 13.999;
    EncodeChargeProfiles(s, out);
    EXPECT_EQ(out[47], 13);
    EXPECT_EQ(out[48], 100);
}

TEST(ModelChargeProfiles, ChecksUseTheCorrectedBulkTarget) {
    ChargeProfile p{14.0, 0, 15.0, 0, 13.0, 0};
    ValidateChargeProfile(p);
    EXPECT_EQ(p.BulkTarget, 15.0);
    p = {14.0, 0, 15.01, 0, 9.0, 0};
    ValidateChargeProfile(p);
    EXPECT_DOUBLE_EQ(p.BulkTarget, 14.6);
    EXPECT_DOUBLE_EQ(p.FloatTarget, 14.5);
    EXPECT_EQ(p.WarmupTarget, 14.0);
    EXPECT_EQ(ChargeProfileNames()[7], "Custom #3");
}

}  // namespace
}  // namespace korvan
