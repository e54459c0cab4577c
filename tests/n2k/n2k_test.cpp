// Identifiers, definitions, field decoding, record layouts and fast packets.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "n2k/decode.h"
#include "n2k/identifier.h"
#include "n2k/record.h"

namespace korvan::n2k {
namespace {

TEST(N2kIdentifier, SplitAndJoinRoundTripForPdu1AndPdu2) {
    std::mt19937 rng(2026);
    int pdu1 = 0;
    for (int i = 0; i < 20000; ++i) {
        const uint32_t identifier = uint32_t(rng() & 0x1FFFFFFF);
        const CanId id = SplitIdentifier(identifier);
        EXPECT_EQ(JoinIdentifier(id), identifier);
        EXPECT_EQ(id.Priority, identifier >> 26);
        EXPECT_EQ(id.Source, identifier & 0xFF);
        if (IsPdu1(id.Pgn)) {
            ++pdu1;
            EXPECT_EQ(id.Pgn & 0xFF, 0u);
            EXPECT_EQ(id.Destination, (identifier >> 8) & 0xFF);
        } else {
            EXPECT_EQ(id.Destination, Global);
            EXPECT_EQ(id.Pgn, (identifier >> 8) & 0x3FFFF);
        }
        // From the parts: a PDU1 destination survives, a PDU2 one is not sent.
        CanId parts{uint8_t(rng() % 8), uint32_t(rng() & 0x3FFFF), uint8_t(rng()), uint8_t(rng())};
        if (IsPdu1(parts.Pgn))
            parts.Pgn &= 0x3FF00;
        else
            parts.Destination = Global;
        EXPECT_EQ(SplitIdentifier(JoinIdentifier(parts)), parts);
    }
    EXPECT_GT(pdu1, 20000 / 2);  // PDU formats 0-239 of 256
    // 59904 ISO Request from 0x01 to 0x23 at priority 6, as a known identifier.
    EXPECT_EQ(SplitIdentifier(0x18EA2301), (CanId{6, 59904, 0x01, 0x23}));
}

struct FieldCase {
    uint32_t Pgn;
    std::vector<uint8_t> Bytes;
    const char* Field;
    FieldState State;
    const char* Text;
};

const DecodedField* Find(const std::vector<DecodedField>& fields, const char* id) {
    for (const DecodedField& f : fields)
        if (std::strcmp(f.Def->Id, id) == 0) return &f;
    return nullptr;
}

TEST(N2kDecode, FieldsWithResolutionSignLookupsAndMissingValues) {
    const std::vector<uint8_t> battery = {0x01, 0xFA, 0x04, 0xB7, 0x00, 0xA8, 0x75, 0x07};
    const std::vector<FieldCase> cases = {
        {127508, battery, "voltage", FieldState::Value, "12.74 V"},
        {127508, battery, "current", FieldState::Value, "18.3 A"},
        {127508, battery, "temperature", FieldState::Value, "28.05 \302\260C"},  // 301.20 K
        {127508,
         {0x01, 0xFA, 0x04, 0x4D, 0xFF, 0xFF, 0xFF, 0x07},
         "current",
         FieldState::Value,
         "-17.9 A"},
        {127508,
         {0x01, 0xFA, 0x04, 0xFF, 0x7F, 0xFF, 0xFF, 0x07},
         "current",
         FieldState::NotAvailable,
         "-"},
        {127508,
         {0x01, 0xFA, 0x04, 0xFF, 0x7F, 0xFF, 0xFF, 0x07},
         "temperature",
         FieldState::NotAvailable,
         "-"},
        {127488,
         {0x01, 0x00, 0x00, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF},
         "instance",
         FieldState::Value,
         "Dual Engine Starboard"},
        {127488,
         {0x00, 0x10, 0x27, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF},
         "speed",
         FieldState::Value,
         "2500.0 rpm"},
        {127488,
         {0x00, 0x10, 0x27, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF},
         "reserved",
         FieldState::Reserved,
         "reserved"},
        {127507,
         {0x00, 0x00, 0x02, 0xF1, 0xFF, 0xFF},
         "operatingState",
         FieldState::Value,
         "Absorption"},
        {127507, {0x00, 0x00, 0x02, 0xF1, 0xFF, 0xFF}, "enabled", FieldState::Value, "On"},
        {127507,
         {0x00, 0x00, 0x02, 0xF1, 0xFF, 0xFF},
         "equalizationTimeRemaining",
         FieldState::NotAvailable,
         "-"},
        {127507,
         {0x00, 0x00, 0x02, 0xF1},
         "equalizationTimeRemaining",
         FieldState::NotInRecord,
         "not in record"},
        {127489,
         {0x00, 0x2F, 0x06, 0xFF, 0xFF, 0xE3, 0x73, 0x66, 0x05, 0xFF, 0x7F, 0x58, 0x02,
          0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x06, 0x00, 0x00, 0x00, 0x7F, 0x7F},
         "discreteStatus1",
         FieldState::Value,
         "Over Temperature, Low Oil Pressure"},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Pgn) + " " + c.Field);
        const MessageBytes bytes{c.Bytes.data(), 0, c.Bytes.size()};
        const PgnDef* def = FindPgn(c.Pgn, bytes);
        ASSERT_NE(def, nullptr);
        const auto fields = DecodeFields(*def, bytes);
        const DecodedField* f = Find(fields, c.Field);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->State, c.State);
        EXPECT_EQ(f->Text, c.Text);
    }
}

TEST(N2kDecode, MatchFieldsPickTheMakersVariant) {
    // 130820: Fusion (maker 419, marine industry 4) message 32769 against an
    // unknown maker, which gets the PGN's catch-all definition.
    std::vector<uint8_t> fusion = {0xA3, 0x99, 0x01, 0x80, 0, 0, 0, 0};
    const PgnDef* def = FindPgn(130820, {fusion.data(), 0, fusion.size()});
    ASSERT_NE(def, nullptr);
    EXPECT_STREQ(def->Id, "fusionVersions");
    fusion[2] = 0x7E;  // another message of the same maker
    def = FindPgn(130820, {fusion.data(), 0, fusion.size()});
    ASSERT_NE(def, nullptr);
    EXPECT_STRNE(def->Id, "fusionVersions");
    std::vector<uint8_t> other = {0x01, 0x80, 0x01, 0x80, 0, 0, 0, 0};  // maker 1
    def = FindPgn(130820, {other.data(), 0, other.size()});
    ASSERT_NE(def, nullptr);
    EXPECT_TRUE(def->Fallback);
    EXPECT_EQ(def->Pgn, 0x1FF00u);
    // A maker's PGN the database lacks is named by its range.
    def = FindPgn(0x1FF42, {other.data(), 0, other.size()});
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->Pgn, 0x1FF00u);
    EXPECT_EQ(FindPgn(0x3FF00, {other.data(), 0, other.size()}), nullptr);
}

CanFrameRecord Record(uint8_t kind, uint32_t pgn, uint8_t source, uint8_t length,
                      std::array<uint8_t, 8> data) {
    return {kind, JoinIdentifier({6, pgn, source, Global}), length, data};
}

TEST(N2kRecord, PartialRecordsDecodeWhatTheyHoldPerKind) {
    // Kind 7, frame 0 of 127489: message bytes 0-5 (instance, oil pressure, oil
    // temperature) are held, the rest is not in the record.
    Decoder decoder;
    DecodedFrame f =
        decoder.Decode(Record(7, 127489, 0x23, 26, {0x40, 26, 0x01, 0x2F, 0x06, 0xFF, 0xFF, 0xE3}));
    ASSERT_NE(f.Def, nullptr);
    EXPECT_EQ(f.Record.First, 0);
    EXPECT_EQ(f.Record.Count, 6);
    EXPECT_EQ(Find(f.Fields, "instance")->Text, "Dual Engine Starboard");
    EXPECT_EQ(Find(f.Fields, "oilPressure")->Value, 158300);
    EXPECT_EQ(Find(f.Fields, "temperature")->State, FieldState::NotInRecord);
    // Kind 7, a later frame: message bytes 6 + 7 (n - 1) onwards.
    f = decoder.Decode(Record(7, 127489, 0x24, 26, {0x42, 0, 0, 0, 0, 0x66, 0x05, 0xFF}));
    EXPECT_EQ(f.Record.First, 13);
    EXPECT_EQ(f.Record.Count, 7);
    // Kind 9: message bytes 0-7.
    f = decoder.Decode(
        Record(9, 126464, 0x23, 24, {0x00, 0x00, 0xF2, 0x01, 0x14, 0xF2, 0x01, 0x12}));
    EXPECT_EQ(f.Record.First, 0);
    EXPECT_EQ(f.Record.Count, 8);
    // Kinds 0 and 4 only with a 29-bit identifier; 1-3 never.
    EXPECT_FALSE(decoder.Decode({0, 0x123, 8, {}}).Record.N2k);
    EXPECT_TRUE(decoder.Decode(Record(0, 130306, 5, 8, {})).Record.N2k);
    EXPECT_FALSE(decoder.Decode({1, 0x20000004, 8, {}}).Record.N2k);
    EXPECT_FALSE(decoder.Decode({2, 0x123, 8, {}}).Record.N2k);
    EXPECT_FALSE(decoder.Decode(Record(2, 127508, 5, 8, {})).Record.N2k);
}

TEST(N2kRecord, FastPacketsReassembleOnlyFromConsecutiveFrames) {
    // 127506 (11 bytes) in two frames, with another node's frame in between.
    const auto first = Record(7, 127506, 0x24, 11, {0x20, 11, 7, 0, 0, 78, 100, 0xFF});
    const auto second =
        Record(7, 127506, 0x24, 11, {0x21, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    Decoder decoder;
    EXPECT_EQ(decoder.Decode(first).Whole, nullptr);
    decoder.Decode(Record(6, 127488, 0x23, 8, {}));
    DecodedFrame whole = decoder.Decode(second);
    ASSERT_NE(whole.Whole, nullptr);
    EXPECT_EQ(whole.Whole->size(), 11u);
    EXPECT_EQ(Find(whole.Fields, "stateOfCharge")->Text, "78 %");
    EXPECT_EQ(Find(whole.Fields, "remainingCapacity")->State, FieldState::NotAvailable);
    // A frame of another sequence, a missing frame or a frame without its start: nothing.
    const auto otherSequence =
        Record(7, 127506, 0x24, 11, {0x41, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    decoder.Decode(first);
    EXPECT_EQ(decoder.Decode(otherSequence).Whole, nullptr);
    EXPECT_EQ(decoder.Decode(second).Whole, nullptr);
    const auto third = Record(8, 126996, 0x23, 134, {0x02, 0, 0, 0, 0, 0, 0, 0});
    decoder.Decode(Record(8, 126996, 0x23, 134, {0x00, 134, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(decoder.Decode(third).Whole, nullptr);
    // A length beyond what 32 frames carry is not gathered.
    EXPECT_EQ(decoder.Decode(Record(8, 126996, 0x23, 250, {0x00, 250, 0, 0, 0, 0, 0, 0})).Whole,
              nullptr);
}

}  // namespace
}  // namespace korvan::n2k
