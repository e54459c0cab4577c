// The PGN definitions, written at build time from canboat's PGN database by
// gen_pgn_table.py. Plain arrays: no parsing and no allocation when the tool starts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvan::n2k {

enum class FieldKind : uint8_t {
    Number,     // integer scaled by Resolution (also durations, times, dates, MMSI, PGN)
    Lookup,     // integer named by a lookup table
    BitLookup,  // bit set, each bit named by a lookup table
    Reserved,   // reserved or spare bits: sent as all ones
    String,     // fixed-length text
    Float,      // IEEE 754 single
    Binary,     // shown as hexadecimal bytes
    Other,      // variable position or length: not decoded
};

struct LookupValue {
    uint32_t Value;  // the value, or the bit number for a bit lookup
    const char* Name;
};

struct LookupDef {
    uint16_t First;  // index into LookupValues; values ascending
    uint16_t Count;
    bool Bits;
};

struct FieldDef {
    const char* Id;
    const char* Name;
    const char* Unit;  // nullptr: none
    uint32_t BitOffset;
    uint32_t BitLength;
    bool Signed;
    FieldKind Kind;
    double Resolution;
    int32_t Offset;  // added to the raw value before the resolution
    // The largest raw value that is a reading (from the database's RangeMax); the
    // ones above it up to the field's largest are "no data", "error", "reserved".
    int64_t MaxRaw;
    int16_t Lookup;  // index into Lookups, -1: none
    int32_t Match;   // -1: any value; else the value that picks this definition
};

// Fields that end a definition and repeat, one entry after another, as many times
// as the count field says or, without one, until the data ends. The entries have
// the same bits.
struct RepeatingSet {
    static constexpr uint8_t NoCountField = 255;
    uint8_t First;  // its first field, an index among the PGN's fields
    uint8_t Size;   // fields in an entry; 0: no set
    uint8_t Count;  // the field that holds the number of entries, or NoCountField
};

struct PgnDef {
    uint32_t Pgn;
    const char* Id;
    const char* Name;
    uint16_t FirstField;  // index into Fields
    uint16_t FieldCount;
    uint16_t Length;  // bytes; 0 when variable
    bool Fast;        // sent as a fast packet
    bool Fallback;    // the catch-all definition of a maker's proprietary PGN
    RepeatingSet Repeating;
};

extern const char* const DatabaseVersion;
extern const LookupValue LookupValues[];
extern const LookupDef Lookups[];
extern const FieldDef Fields[];
extern const PgnDef Pgns[];  // ascending by PGN
extern const size_t PgnCount;
extern const size_t LookupCount;

}  // namespace korvan::n2k
