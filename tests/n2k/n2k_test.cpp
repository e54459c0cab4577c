// Identifiers, definitions, field decoding, record layouts and fast packets.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>

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
        pdu1 += IsPdu1(id.Pgn);
        // PDU1: the PGN's low byte is the destination; PDU2: it is part of the PGN. So
        // well-formed parts are what Split gives, and Join undoes it: they round-trip too.
        EXPECT_EQ(id.Pgn,
                  IsPdu1(id.Pgn) ? (identifier >> 8) & 0x3FF00 : (identifier >> 8) & 0x3FFFF);
        EXPECT_EQ(id.Destination, IsPdu1(id.Pgn) ? (identifier >> 8) & 0xFF : Global);
    }
    EXPECT_GT(pdu1, 20000 / 2);  // PDU formats 0-239 of 256
    // 59904 ISO Request from 0x01 to 0x23 at priority 6, as a known identifier.
    EXPECT_EQ(SplitIdentifier(0x18EA2301), (CanId{6, 59904, 0x01, 0x23}));
}

std::vector<uint8_t> Hex(const char* text) {
    std::vector<uint8_t> bytes;
    for (const char* p = text; p[0] && p[1]; p += 2)
        bytes.push_back(uint8_t(std::stoul(std::string(p, 2), nullptr, 16)));
    return bytes;
}

const DecodedField* Find(const std::vector<DecodedField>& fields, const char* id) {
    for (const DecodedField& f : fields)
        if (std::strcmp(f.Def->Id, id) == 0) return &f;
    return nullptr;
}

TEST(N2kDecode, FieldsWithResolutionSignLookupsAndMissingValues) {
    struct FieldCase {
        uint32_t Pgn;
        const char* Bytes;
        const char* Field;
        FieldState State;
        const char* Text;
    };
    const char* battery = "01FA04B700A87507";
    const char* discharge = "01FA044DFFFFFF07";
    const char* noData = "01FA04FF7FFFFF07";
    const char* engine = "001027FFFF7FFFFF";
    const char* charger = "000002F1FFFF";
    // The values just below "no data": error and reserved, signed and unsigned.
    const char* special = "FEFE7FFD7FFEFFFD";
    const FieldCase cases[] = {
        {127508, battery, "voltage", FieldState::Value, "12.74 V"},
        {127508, battery, "current", FieldState::Value, "18.3 A"},
        {127508, battery, "temperature", FieldState::Value, "28.05 \302\260C"},  // 301.20 K
        {127508, discharge, "current", FieldState::Value, "-17.9 A"},
        {127508, noData, "current", FieldState::NotAvailable, "-"},
        {127508, noData, "temperature", FieldState::NotAvailable, "-"},
        {127508, special, "instance", FieldState::Error, "error"},
        {127508, special, "current", FieldState::ReservedValue, "reserved"},
        {127508, special, "sid", FieldState::ReservedValue, "reserved"},
        {127508, "FCFC7FFC7FFCFFFC", "voltage", FieldState::Value, "327.64 V"},  // range ends
        {129026, "00FC00F6FFFF", "cog", FieldState::Error, "out of range"},      // over 2 pi rad
        {127488, "010000FFFF7FFFFF", "instance", FieldState::Value, "Dual Engine Starboard"},
        {127488, engine, "speed", FieldState::Value, "2500.00 rpm"},
        {127488, "00A30FFFFF7FFFFF", "speed", FieldState::Value, "1000.75 rpm"},  // 0.25 steps
        {127488, engine, "reserved", FieldState::Reserved, "reserved"},
        {127507, charger, "operatingState", FieldState::Value, "Absorption"},
        {127507, charger, "enabled", FieldState::Value, "On"},
        {127507, charger, "equalizationTimeRemaining", FieldState::NotAvailable, "-"},
        {127507, "000002F1", "equalizationTimeRemaining", FieldState::NotInRecord, "not in record"},
        {127489,
         "002F06FFFFE3736605FF7F5802"
         "0000FFFFFFFFFF060000007F7F",
         "discreteStatus1", FieldState::Value, "Over Temperature, Low Oil Pressure"},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Pgn) + " " + c.Field);
        const std::vector<uint8_t> data = Hex(c.Bytes);
        const MessageBytes bytes{data.data(), 0, data.size()};
        const PgnDef* def = FindPgn(c.Pgn, bytes);
        ASSERT_NE(def, nullptr);
        const std::vector<DecodedField> fields = DecodeFields(*def, bytes);
        const DecodedField* f = Find(fields, c.Field);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->State, c.State);
        EXPECT_EQ(f->Text, c.Text);
    }
}

TEST(N2kDecode, RepeatingSetsGiveAnEntryPerCountOrUntilTheDataEnds) {
    // A set's field as "entry=text", from message byte First. 126464: a PGN list without
    // a count; 129540: a count, then satellites of 12 bytes (PRN first).
    std::string sats = "01FCFA";
    for (const char* prn : {"05", "06", "07"}) sats += prn + std::string(22, '0');
    const std::tuple<uint32_t, size_t, std::string, const char*, const char*> cases[] = {
        {126464, 0, "0100EE0000EA0000ED01", "pgn", "0=60928 1=59904 2=126208"},
        {126464, 0, "0100EE0000EA0000", "pgn", "0=60928 1=59904 2=not in record"},
        // A later frame of a fast packet: the entries it holds, after the first.
        {126464, 13, "00EE0000EA0000", "pgn", "0=not in record 4=60928 5=59904 6=not in record"},
        {129540, 0, "01FC02" + sats.substr(6), "prn", "0=5 1=6"},
        {129540, 0, "01FCFF" + sats.substr(6), "prn", "0=5 1=6 2=7"},  // no count: to the end
        {129540, 0, sats.substr(0, 20), "prn", "0=5"},                 // 250 in 10 bytes
    };
    for (const auto& [pgn, first, hex, field, expected] : cases) {
        SCOPED_TRACE(hex);
        const std::vector<uint8_t> data = Hex(hex.c_str());
        const MessageBytes bytes{data.data(), first, data.size()};
        const PgnDef* def = FindPgn(pgn, bytes);
        ASSERT_NE(def, nullptr);
        std::string entries;
        for (const DecodedField& f : DecodeFields(*def, bytes))
            if (std::strcmp(f.Def->Id, field) == 0 && f.Set == 1)
                entries += (entries.empty() ? "" : " ") + std::to_string(f.Entry) + "=" + f.Text;
        EXPECT_EQ(entries, expected);
    }
}

TEST(N2kDecode, MatchFieldsPickTheMakersVariant) {
    // 130820: Fusion (maker 419, marine industry 4) message 32769; another message of
    // that maker, another maker and a maker's PGN the database lacks get the range's
    // catch-all definition. 59392: the plain definition wins over the catch-all that
    // canboat lists before it.
    const std::tuple<uint32_t, const char*, bool> cases[] = {{130820, "A399018000000000", true},
                                                             {130820, "A3997E8000000000", false},
                                                             {130820, "0180018000000000", false},
                                                             {0x1FF42, "0180018000000000", false}};
    for (const auto& [pgn, hex, fusion] : cases) {
        SCOPED_TRACE(hex);
        const std::vector<uint8_t> data = Hex(hex);
        const PgnDef* def = FindPgn(pgn, {data.data(), 0, data.size()});
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(std::strcmp(def->Id, "fusionVersions") == 0, fusion);
        EXPECT_EQ(def->Fallback && def->Pgn == 0x1FF00u, !fusion) << def->Id;
    }
    const std::vector<uint8_t> ack = Hex("01FFFFFFFFF0F101");
    EXPECT_STREQ(FindPgn(59392, {ack.data(), 0, ack.size()})->Id, "isoAcknowledgement");
    EXPECT_STREQ(PgnName(59392), "ISO Acknowledgement");
    EXPECT_EQ(FindPgn(0x3FF00, {nullptr, 0, 0}), nullptr);
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
    const std::pair<CanFrameRecord, bool> kinds[] = {{{0, 0x123, 8, {}}, false},
                                                     {Record(0, 130306, 5, 8, {}), true},
                                                     {{1, 0x20000004, 8, {}}, false},
                                                     {{2, 0x123, 8, {}}, false},
                                                     {Record(2, 127508, 5, 8, {}), false}};
    for (const auto& [record, n2k] : kinds) EXPECT_EQ(decoder.Decode(record).Record.N2k, n2k);
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
