#include "model/field_box.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace korvan {
namespace {

using Lines = std::vector<std::string>;

Lines StateLines(const FieldBoxState& s) {
    Lines l{"stale"};
    FieldBoxStateLines(s, '.', &l);
    return l;
}

TEST(ModelFieldBoxState, SelectorsRpmAndTemperature) {
    Buffer64 b{};
    b[14] = 14;
    b[15] = 20;
    b[20] = 0x12;
    b[21] = 0x0B;
    b[22] = 0xB8;
    b[25] = 0x80;
    FieldBoxState s;
    DecodeFieldBoxState(b, s);
    const Lines expected = {
        "14.20", "0.00", "P-type", "0.00", "N-type", "0.00", "Check Sensor connections", "3000"};
    EXPECT_EQ(StateLines(s), expected);
    EXPECT_EQ(expected.size(), FieldBoxStateLabels().size());
    b[20] = 0x30;
    b[25] = 0x81;
    DecodeFieldBoxState(b, s);
    Lines l = StateLines(s);
    EXPECT_EQ(l[2], "Disabled");
    EXPECT_EQ(l[4], "Disabled");
    EXPECT_EQ(l[6], "-127");
}

TEST(ModelFieldBoxState, StatusLinesFaultsThenConditions) {
    FieldBoxState s{};
    EXPECT_EQ(FieldBoxStatusLines(s), Lines{"Status OK"});
    s.StatusCode = 0x20;
    EXPECT_EQ(FieldBoxStatusLines(s), (Lines{"Status OK", "- Tachometer signal present"}));
    s.StatusCode = 0x0A;
    EXPECT_EQ(FieldBoxStatusLines(s),
              (Lines{"- Alternator temperature warning",
                     "- Alternator B- or B+ leads are not connected correctly"}));
    s.StatusCode = 0x91;
    EXPECT_EQ(FieldBoxStatusLines(s), (Lines{"- Internal hardware fault", "- Engine RPM too low",
                                             "- Warning Light output active"}));
}

TEST(ModelFieldBoxState, EncodeIsTheExactInverseOfDecode) {
    std::mt19937 rng(13);
    for (int round = 0; round < 200; ++round) {
        Buffer64 b{};
        b[0] = b[26] = StateMarker;
        for (int i = 1; i <= 25; ++i) b[i] = static_cast<uint8_t>(rng());
        for (int at : {2, 4, 6, 10, 12, 14, 16}) {
            int h = static_cast<int>(rng() % 100);
            b[at + 1] = static_cast<uint8_t>(static_cast<int8_t>(b[at]) < 0 ? -h : h);
        }
        FieldBoxState s;
        DecodeFieldBoxState(b, s);
        Buffer64 out;
        out.fill(0x33);
        EncodeFieldBoxState(s, out);
        ASSERT_EQ(out, b) << "round " << round;
    }
}

TEST(ModelFieldBoxSettings, BlockRoundTripAndItemPairs) {
    std::mt19937 rng(17);
    for (int round = 0; round < 100; ++round) {
        Buffer64 b{};
        b[0] = b[18] = SettingsMarker;
        b[17] = 0xFF;
        for (int i = 1; i <= 16; ++i) b[i] = static_cast<uint8_t>(rng());
        for (int at : {7, 10}) {
            int h = static_cast<int>(rng() % 100);
            b[at + 1] = static_cast<uint8_t>(static_cast<int8_t>(b[at]) < 0 ? -h : h);
        }
        FieldBoxSettings s{};
        DecodeFieldBoxSettings(b, s);
        EXPECT_EQ(s.Marker, 0xFF);
        Buffer64 out;
        ItemPairs pairs = EncodeFieldBoxSettings(s, out);
        ASSERT_EQ(out, b);
        ASSERT_EQ(pairs.size(), 17u);
        EXPECT_EQ(pairs[15], (ItemPair{16, b[16]}));
        EXPECT_EQ(pairs.back(), (ItemPair{0, 0xFF}));
    }
    FieldBoxSettings s{};
    s.PulleyRatio = 2.5;
    s.LowRpmLimit = 500;
    Buffer64 out;
    EncodeFieldBoxSettings(s, out);
    EXPECT_EQ(out[7], 0x02);
    EXPECT_EQ(out[8], 0x32);
    EXPECT_EQ(out[14], 0x01);
    EXPECT_EQ(out[15], 0xF4);
}

FieldBoxSettings Read(FieldBoxSettings s, size_t row, const char* text) {
    Lines cells = FieldBoxSettingsTexts(s, '.');
    cells[row] = text;
    ReadFieldBoxSettingsTable(s, cells, '.');
    return s;
}

TEST(ModelFieldBoxSettings, ReadBackDerivesAndChecks) {
    FieldBoxSettings s{};
    s.DeviceId = 2;
    s.Version = 3;
    s.Poles = 12;
    s.PulleyRatio = 2.5;
    s.TachCompensator = 1.0;
    s.FaultTemp = 110;
    s.WarningTemp = 100;
    s.LowRpmLimit = 500;
    s.UseWarningLight = 1;
    s.Marker = 0xFF;
    EXPECT_EQ(FieldBoxSettingsTexts(s, '.'), (Lines{"12", "2.50", "1.00", "110", "500", "1"}));
    FieldBoxSettings same = Read(s, 0, "12");
    EXPECT_EQ(std::memcmp(&same, &s, sizeof s), 0);
    EXPECT_EQ(Read(s, 3, "110").WarningTemp, 100);
    FieldBoxSettings r = Read(s, 3, "55");
    EXPECT_EQ(r.FaultTemp, 55);
    EXPECT_EQ(r.WarningTemp, 0);
    r = Read(s, 3, "130");  // the signed byte -126
    EXPECT_EQ(r.FaultTemp, 0);
    EXPECT_EQ(r.WarningTemp, 0);
    EXPECT_EQ(Read(s, 0, "4").Poles, 4);
    EXPECT_EQ(Read(s, 0, "40").Poles, 0);
    EXPECT_EQ(Read(s, 1, "10").PulleyRatio, 0.0);
    EXPECT_EQ(Read(s, 1, "0.5").PulleyRatio, 0.5);
    EXPECT_EQ(Read(s, 2, "0.005").TachCompensator, 0.0);
    EXPECT_EQ(Read(s, 4, "1000").LowRpmLimit, 0);
    EXPECT_EQ(Read(s, 5, "2").UseWarningLight, 0);
}

TEST(ModelFieldBoxSettings, AnEmptyTableReadsAsTheDefaults) {
    FieldBoxSettings s{};
    ReadFieldBoxSettingsTable(s, Lines(6, "-"), '.');
    EXPECT_EQ(s.Marker, 0xFF);
    EXPECT_EQ(s.DeviceId, 2);
    EXPECT_EQ(s.Version, 3);
    EXPECT_EQ(s.Poles, 12);
    EXPECT_EQ(s.PulleyRatio, 1.0);
    EXPECT_EQ(s.TachCompensator, 1.0);
    EXPECT_EQ(s.FaultTemp, 110);
    EXPECT_EQ(s.WarningTemp, 100);
    EXPECT_EQ(s.LowRpmLimit, 500);
    EXPECT_EQ(s.UseWarningLight, 1);
}

}  // namespace
}  // namespace korvan
