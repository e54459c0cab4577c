#include "display/can_format.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace korvan;

namespace {

// A 64-byte answer to the frame request with one record at `offset`.
void PutRecord(std::array<uint8_t, 64>& answer, size_t offset, uint8_t kind, uint32_t id,
               uint8_t length, std::array<uint8_t, 8> data) {
    answer[offset] = kind;
    for (int i = 0; i < 4; ++i) answer[offset + 4 + i] = uint8_t(id >> (8 * i));
    answer[offset + 8] = length;
    for (size_t i = 0; i < 8; ++i) answer[offset + 9 + i] = data[i];
}

size_t Count(const std::string& s, char c) {
    size_t n = 0;
    for (char x : s) n += x == c;
    return n;
}

}  // namespace

TEST(CanFormat, ExtendedDataFrameInHexAndDecimal) {
    std::array<uint8_t, 64> answer{};
    PutRecord(answer, 0, 4, 0x09F80123, 8, {0x00, 0x01, 0x0A, 0x7F, 0x80, 0xAB, 0xFE, 0xFF});
    const CanFrameRecord frame = ParseCanFrameRecord(answer.data());
    EXPECT_EQ(FormatCanFrame(frame, true),
              "Extended data frame\t\t8 bytes\tID=0x09F80123\t"
              "b0=0x00\tb1=0x01\tb2=0x0A\tb3=0x7F\tb4=0x80\tb5=0xAB\tb6=0xFE\tb7=0xFF\t");
    EXPECT_EQ(FormatCanFrame(frame, false),
              "Extended data frame\t\t8 bytes\tID=167248163\t"
              "b0=0\tb1=1\tb2=10\tb3=127\tb4=128\tb5=171\tb6=254\tb7=255\t");
}

TEST(CanFormat, IdentifierIsLittleEndianInTheRecord) {
    std::array<uint8_t, 64> answer{};
    answer[4] = 0x23;
    answer[5] = 0x01;
    answer[6] = 0xF8;
    answer[7] = 0x09;
    answer[8] = 1;
    const CanFrameRecord frame = ParseCanFrameRecord(answer.data());
    EXPECT_EQ(frame.Identifier, 0x09F80123u);
    EXPECT_NE(FormatCanFrame(frame, false).find("\tID=167248163\t"), std::string::npos);
    EXPECT_NE(FormatCanFrame(frame, true).find("\tID=0x09F80123\t"), std::string::npos);
}

TEST(CanFormat, SecondRecordSitsAtOffset32AndStopsAtItsLength) {
    std::array<uint8_t, 64> answer{};
    PutRecord(answer, 0, 4, 0x1234, 0, {1, 2, 3, 4, 5, 6, 7, 8});
    PutRecord(answer, 32, 6, 0x00ABCDEF, 3, {0xA0, 0xB1, 0xC2, 0xD3, 0, 0, 0, 0});
    EXPECT_EQ(ParseCanFrameRecord(answer.data() + CanFrameRecordOffsets[0]).DataLength, 0);
    const CanFrameRecord second = ParseCanFrameRecord(answer.data() + CanFrameRecordOffsets[1]);
    EXPECT_EQ(FormatCanFrame(second, true),
              "N2K message\t\t\t3 bytes\tID=0x00ABCDEF\tb0=0xA0\tb1=0xB1\tb2=0xC2\t");
}

TEST(CanFormat, LengthAboveEightPrintsAsReceivedWithEightBytes) {
    CanFrameRecord frame;
    frame.Kind = 8;
    frame.Identifier = 5;
    frame.DataLength = 20;
    frame.Data = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(FormatCanFrame(frame, false),
              "Multi-frame (FP) N2K message\t20 bytes\tID=5\t"
              "b0=1\tb1=2\tb2=3\tb3=4\tb4=5\tb5=6\tb6=7\tb7=8\t");
}

TEST(CanFormat, KindAboveNineOpensWithTheLength) {
    CanFrameRecord frame;
    frame.Kind = 12;
    frame.DataLength = 1;
    frame.Data[0] = 0x42;
    EXPECT_EQ(FormatCanFrame(frame, true), "1 bytes\tID=0x00000000\tb0=0x42\t");
    frame.Kind = 10;
    EXPECT_EQ(FormatCanFrame(frame, false), "1 bytes\tID=0\tb0=66\t");
}

TEST(CanFormat, EveryKindTextAndItsTabs) {
    const char* const expected[] = {
        "Raw frame\t\t\t",
        "Error frame\t\t\t",
        "Standard data frame\t\t",
        "Standard RTR frame\t\t",
        "Extended data frame\t\t",
        "Extended RTR frame\t\t",
        "N2K message\t\t\t",
        "Fast packed N2K message\t\t",
        "Multi-frame (FP) N2K message\t",
        "Multi-frame (TP) N2K message\t",
    };
    for (uint8_t kind = 0; kind < CanFrameKindCount; ++kind) {
        CanFrameRecord frame;
        frame.Kind = kind;
        frame.DataLength = 2;
        EXPECT_EQ(FormatCanFrame(frame, true),
                  std::string(expected[kind]) + "2 bytes\tID=0x00000000\tb0=0x00\tb1=0x00\t")
            << int(kind);
    }
}

// The identifier is held as a signed 32-bit number; a record with the top bit
// set (never a real CAN identifier) still prints without fault.
TEST(CanFormat, IdentifierWithTopBitSetPrintsSignedInDecimal) {
    CanFrameRecord frame;
    frame.Kind = 0;
    frame.Identifier = 0xFFFFFFFF;
    frame.DataLength = 1;
    EXPECT_EQ(FormatCanFrame(frame, false), "Raw frame\t\t\t1 bytes\tID=-1\tb0=0\t");
    EXPECT_EQ(FormatCanFrame(frame, true), "Raw frame\t\t\t1 bytes\tID=0xFFFFFFFF\tb0=0x00\t");
}

// Any record bytes give one TAB-ended line with min(length, 8) data items.
TEST(CanFormat, EveryKindAndLengthGivesAWellFormedLine) {
    for (int kind = 0; kind < 256; ++kind) {
        for (int length = 0; length < 256; ++length) {
            CanFrameRecord frame;
            frame.Kind = uint8_t(kind);
            frame.DataLength = uint8_t(length);
            frame.Identifier = 0x80000000u | uint32_t(kind * 256 + length);
            frame.Data.fill(uint8_t(length));
            for (bool hex : {true, false}) {
                const std::string line = FormatCanFrame(frame, hex);
                ASSERT_FALSE(line.empty());
                ASSERT_EQ(line.back(), '\t');
                const size_t items = size_t(length < 8 ? length : 8);
                const size_t kindTabs = Count(CanFrameKindText(uint8_t(kind)), '\t');
                ASSERT_EQ(Count(line, '\t'), kindTabs + 2 + items) << kind << " " << length;
                ASSERT_EQ(Count(line, '='), 1 + items);
            }
        }
    }
}
