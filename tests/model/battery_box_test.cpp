#include "model/battery_box.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace korvan {
namespace {

BatteryBoxSettings SoundSettings() {
    BatteryBoxSettings s{};
    s.Marker = 0xFF;
    s.DeviceId = 2;
    s.Version = 5;
    s.BankSize = 200;
    s.TempCoefficient = 0.015;
    s.VoltageAt100 = 12.7;
    s.VoltageAt80 = 12.5;
    s.VoltageAt20 = 12.2;
    s.VoltageAt0 = 12.0;
    s.WiringResistance = 0.001;
    s.SspThreshold = 16.0;
    s.FaultTemp1 = s.FaultTemp2 = s.FaultTemp3 = 50;
    s.WarningTemp1 = s.WarningTemp2 = s.WarningTemp3 = 40;
    s.FaultDischargeCurrent = 250;
    s.WarningDischargeCurrent = 225;
    s.FaultVoltage = 16.0;
    s.WarningVoltage = 15.0;
    s.WarningSoc = 20;
    s.BatteryVoltageAdjuster = s.LoadsVoltageAdjuster = 1.0;
    return s;
}

std::vector<std::string> Lines(const BatteryBoxState& st, const BatteryBoxSettings& se) {
    std::vector<std::string> lines{"stale"};
    BatteryBoxStateLines(st, se, '.', &lines);
    return lines;
}

TEST(ModelBatteryBoxState, TemperaturesChargeAndFlags) {
    Buffer64 b{};
    b[9] = 12;
    b[10] = 70;
    b[23] = 0x80;
    b[24] = 0x19;
    b[25] = 0xF6;
    b[30] = 0;
    b[31] = 85;
    b[32] = 55;
    b[34] = 7;  // any non-zero byte is true
    BatteryBoxSettings settings = SoundSettings();
    BatteryBoxState s;
    DecodeBatteryBoxState(b, settings, s);
    EXPECT_DOUBLE_EQ(s.ChargeContent, 170.0);
    auto lines = Lines(s, settings);
    ASSERT_EQ(lines.size(), BatteryBoxStateLabels().size());
    EXPECT_EQ(lines[0], "12.70");
    EXPECT_EQ(lines[6], "Sensor is not connected");
    EXPECT_EQ(lines[7], "25");
    EXPECT_EQ(lines[8], "-10");
    EXPECT_EQ(lines[10], "110.00");
    EXPECT_EQ(lines[11], "55");
    EXPECT_EQ(lines[12], "True");
    EXPECT_EQ(lines[13], "False");
    settings.BankSize = 0;
    EXPECT_EQ(Lines(s, settings)[10], "0.00");
    settings.BankSize = 65535;
    s.Soc = 255;
    EXPECT_EQ(Lines(s, settings)[10], "167114.00");  // six significant digits, no overflow
    BatteryBoxStateLines(s, settings, '.', nullptr);
}

TEST(ModelBatteryBoxState, StatusLines) {
    BatteryBoxState s{};
    EXPECT_EQ(BatteryBoxStatusLines(s), std::vector<std::string>{"Status OK"});
    s.StatusCode = 0x1081;
    EXPECT_EQ(BatteryBoxStatusLines(s), (std::vector<std::string>{"- Internal hardware fault",
                                                                  "- Battery overvoltage warning",
                                                                  "- Surge Protector is active"}));
    s.StatusCode = 0x4000;
    EXPECT_TRUE(BatteryBoxStatusLines(s).empty());
    s.StatusCode = 0x3FFF;
    EXPECT_EQ(BatteryBoxStatusLines(s).back(), "- Safety Switch is active");
}

TEST(ModelBatteryBoxState, EncodeInvertsDecodeWithTheSameBankSize) {
    std::mt19937 rng(5);
    BatteryBoxSettings settings = SoundSettings();
    for (int round = 0; round < 200; ++round) {
        settings.BankSize = 1 + static_cast<int32_t>(rng() % 9999);
        Buffer64 b{};
        b[0] = b[47] = StateMarker;
        for (int i = 1; i <= 37; ++i) b[i] = static_cast<uint8_t>(rng());
        for (int at : {1, 3, 5, 7, 9, 11, 13, 28, 30}) {
            int h = static_cast<int>(rng() % 100);
            b[at + 1] = static_cast<uint8_t>(static_cast<int8_t>(b[at]) < 0 ? -h : h);
        }
        for (int flag : {21, 22, 34, 35}) b[flag] &= 1;
        BatteryBoxState s;
        DecodeBatteryBoxState(b, settings, s);
        Buffer64 out;
        out.fill(0x5A);
        EncodeBatteryBoxState(s, settings, out);
        ASSERT_EQ(out, b) << "round " << round << " bank " << settings.BankSize;
    }
    BatteryBoxState s{};
    s.ChargeContent = 170;
    settings.BankSize = 0;
    Buffer64 out;
    EncodeBatteryBoxState(s, settings, out);
    EXPECT_EQ(out[30], 0);
    EXPECT_EQ(out[31], 0);
}

TEST(ModelBatteryBoxSettings, BlockRoundTripAndItemPairs) {
    std::mt19937 rng(9);
    for (int round = 0; round < 100; ++round) {
        Buffer64 b{};
        b[0] = SettingsMarker;
        for (int i = 1; i <= 46; ++i) b[i] = static_cast<uint8_t>(rng());
        for (int at : {11, 13, 15, 17, 22, 38, 40}) {
            int h = static_cast<int>(rng() % 100);
            b[at + 1] = static_cast<uint8_t>(static_cast<int8_t>(b[at]) < 0 ? -h : h);
        }
        BatteryBoxSettings s{};
        DecodeBatteryBoxSettings(b, s);
        EXPECT_EQ(s.Marker, 0xFF);
        Buffer64 out;
        ItemPairs pairs = EncodeBatteryBoxSettings(s, out);
        ASSERT_EQ(out, b) << "round " << round;
        ASSERT_EQ(pairs.size(), 47u);
        for (uint8_t n = 1; n <= 46; ++n) ASSERT_EQ(pairs[n - 1], (ItemPair{n, b[n]}));
        EXPECT_EQ(pairs.back(), (ItemPair{0, 0xFF}));
    }
    BatteryBoxSettings s = SoundSettings();
    s.BankSize = 300;
    Buffer64 out;
    EncodeBatteryBoxSettings(s, out);
    EXPECT_EQ(out[7], 0x01);
    EXPECT_EQ(out[8], 0x2C);
    EXPECT_EQ(out[9], 0x00);
    EXPECT_EQ(out[10], 0x0F);
    EXPECT_EQ(out[47], 0);
}

TEST(ModelBatteryBoxSettings, TextsAndTheTwentyFourVoltScale) {
    BatteryBoxSettings s = SoundSettings();
    auto texts = BatteryBoxSettingsTexts(s, 12, '.');
    ASSERT_EQ(texts.size(), BatteryBoxSettingsLabels().size());
    EXPECT_EQ(texts[0], "200");
    EXPECT_EQ(texts[1], "0.015");
    EXPECT_EQ(texts[2], "12.70");
    EXPECT_EQ(texts[6], "0.001");
    EXPECT_EQ(texts[13], "50");
    EXPECT_EQ(texts[17], "16.00");
    auto doubled = BatteryBoxSettingsTexts(s, 24, '.');
    EXPECT_EQ(doubled[2], "25.40");
    EXPECT_EQ(doubled[8], "32.00");
    EXPECT_EQ(doubled[17], "32.00");
    EXPECT_EQ(doubled[1], "0.015");  // not a voltage row
    BatteryBoxSettings back = s;
    ReadBatteryBoxSettingsTable(back, doubled, 24, '.');
    EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
    ReadBatteryBoxSettingsTable(back, texts, 0, '.');  // no state yet: the 12 V scale
    EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
    ReadBatteryBoxSettingsTable(back, std::vector<std::string>(19, "-"), 24, '.');
    EXPECT_DOUBLE_EQ(back.VoltageAt100, 12.7);  // the 24 V default halved
}

TEST(ModelBatteryBoxSettings, DerivedWarningsAndTheirChecks) {
    BatteryBoxSettings s = SoundSettings();
    auto cells = BatteryBoxSettingsTexts(s, 12, '.');
    auto read = [&](size_t row, const char* text) {
        auto c = cells;
        c[row] = text;
        BatteryBoxSettings r = s;
        ReadBatteryBoxSettingsTable(r, c, 12, '.');
        return r;
    };
    BatteryBoxSettings r = read(17, "12.5");
    EXPECT_DOUBLE_EQ(r.FaultVoltage, 12.5);
    EXPECT_DOUBLE_EQ(r.WarningVoltage, 12.4);  // derived 11.5, raised by its check
    EXPECT_DOUBLE_EQ(r.VoltageAt100,
                     12.7);  // above the new warning voltage: its fallback, unchecked
    r = read(16, "99");
    EXPECT_EQ(r.WarningDischargeCurrent, 0);
    r = read(16, "100");
    EXPECT_EQ(r.WarningDischargeCurrent, 90);
    r = read(16, "105");
    EXPECT_EQ(r.WarningDischargeCurrent, 94);
    r = read(16, "600");
    EXPECT_EQ(r.FaultDischargeCurrent, 0);
    EXPECT_EQ(r.WarningDischargeCurrent, 0);
    r = read(13, "10");
    EXPECT_EQ(r.FaultTemp1, 10);
    EXPECT_EQ(r.WarningTemp1, 0);
    r = read(14, "85");
    EXPECT_EQ(r.FaultTemp2, 0);
    EXPECT_EQ(r.WarningTemp2, 0);
    r = read(8, "20");
    EXPECT_DOUBLE_EQ(r.SspThreshold, 16.0);
    EXPECT_EQ(r.UseSsp, 0);
    auto c = cells;
    c[7] = "1";
    c[8] = "17.5";
    r = s;
    ReadBatteryBoxSettingsTable(r, c, 12, '.');
    EXPECT_EQ(r.UseSsp, 1);
    EXPECT_DOUBLE_EQ(r.SspThreshold, 17.5);
}

TEST(ModelBatteryBoxSettings, VoltageLadderFallsBackFromTheTop) {
    BatteryBoxSettings s = SoundSettings();
    auto cells = BatteryBoxSettingsTexts(s, 12, '.');
    cells[2] = "15.5";  // above the warning voltage 15.0
    cells[3] = "12.6";  // exactly 12.7 - 0.1 once the top is corrected: admitted
    cells[4] = "12.6";  // not below 12.6 - 0.1
    cells[5] = "8";
    ReadBatteryBoxSettingsTable(s, cells, 12, '.');
    EXPECT_DOUBLE_EQ(s.VoltageAt100, 12.7);
    EXPECT_DOUBLE_EQ(s.VoltageAt80, 12.6);
    EXPECT_DOUBLE_EQ(s.VoltageAt20, 12.1);
    EXPECT_DOUBLE_EQ(s.VoltageAt0, 11.9);
}

TEST(ModelBatteryBoxSettings, AnEmptyTableReadsAsTheDefaults) {
    BatteryBoxSettings s{};
    s.DeviceId = 4;
    s.Version = 0;
    s.Pad12[2] = 0x99;  // bytes the tool does not use stay as they are
    ReadBatteryBoxSettingsTable(s, std::vector<std::string>(19, "-"), 12, '.');
    EXPECT_EQ(s.Marker, 0xFF);
    EXPECT_EQ(s.DeviceId, 4);
    EXPECT_EQ(s.Version, 5);
    EXPECT_EQ(s.BankSize, 100);
    EXPECT_DOUBLE_EQ(s.TempCoefficient, 0.015);
    EXPECT_DOUBLE_EQ(s.VoltageAt100, 12.7);
    EXPECT_DOUBLE_EQ(s.VoltageAt80, 12.5);
    EXPECT_DOUBLE_EQ(s.VoltageAt20, 12.2);
    EXPECT_DOUBLE_EQ(s.VoltageAt0, 12.0);
    EXPECT_DOUBLE_EQ(s.WiringResistance, 0.001);
    EXPECT_DOUBLE_EQ(s.SspThreshold, 16.0);
    EXPECT_EQ(s.FaultTemp3, 50);
    EXPECT_EQ(s.WarningTemp3, 40);
    EXPECT_EQ(s.FaultDischargeCurrent, 250);
    EXPECT_EQ(s.WarningDischargeCurrent, 225);
    EXPECT_DOUBLE_EQ(s.FaultVoltage, 16.0);
    EXPECT_DOUBLE_EQ(s.WarningVoltage, 15.0);
    EXPECT_EQ(s.WarningSoc, 20);
    EXPECT_EQ(s.BatteryVoltageAdjuster, 1.0);
    EXPECT_EQ(s.Pad12[2], 0x99);
    BatteryBoxSettings t{};
    t.DeviceId = 4;
    t.Version = 0;
    t.Pad12[2] = 0x99;
    ReadBatteryBoxSettingsTable(t, {"-", "-"}, 12, '.');
    EXPECT_EQ(std::memcmp(&s, &t, sizeof s), 0);
}

}  // namespace
}  // namespace korvan
