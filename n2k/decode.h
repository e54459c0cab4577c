// Finding a PGN's definition and decoding its fields, from the generated table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "n2k/pgn_table.h"

namespace korvan::n2k {

// Bytes [First, First + Count) of a message; Data[0] is message byte First.
struct MessageBytes {
    const uint8_t* Data = nullptr;
    size_t First = 0;
    size_t Count = 0;
};

enum class FieldState : uint8_t {
    Value,          // Value and Text hold it
    NotAvailable,   // the sender's "no data" value (all ones, or the largest positive)
    Reserved,       // reserved or spare bits
    NotInRecord,    // some of its bits are not among the bytes at hand
    NotDecoded,     // variable position or length
    Error,          // the value below "no data" (a sensor fault), or above the range
    ReservedValue,  // the value two below "no data", kept for future use
};

struct DecodedField {
    const FieldDef* Def = nullptr;
    FieldState State = FieldState::NotDecoded;
    double Value = 0;    // in the database's unit (K, Pa, s, rad, ...); raw for lookups
    std::string Text;    // the value as the page shows it, with its unit
    uint8_t Set = 0;     // 1: a field of the repeating set; 0: none
    uint16_t Entry = 0;  // in a repeating set, the entry it belongs to, from 0
};

// The PGN's definitions, ascending in the table; empty for an unknown PGN.
struct PgnRange {
    const PgnDef* Begin = nullptr;
    const PgnDef* End = nullptr;
};
PgnRange FindDefinitions(uint32_t pgn);

// The definition of the message: among several (a maker's proprietary PGNs), the
// first whose match fields (maker code, industry, ...) equal the message's, else one
// without match fields, else the catch-all one. A maker's PGN without a definition
// of its own gets its range's catch-all. nullptr: unknown.
const PgnDef* FindPgn(uint32_t pgn, const MessageBytes& bytes);

// The name of the PGN's definition for a message whose content is not known
// (FindPgn without bytes); nullptr when unknown.
const char* PgnName(uint32_t pgn);

// The NMEA 2000 transport protocol's longest message (255 packets of 7 bytes).
constexpr size_t MaxMessageBytes = 1785;

// The PGN's fields in order. The repeating set's fields come once per entry, for as
// many entries as its count field says or, without a count at hand, until the data
// ends: the first entry always (unless the count is 0), the others when some of their
// bits are among the bytes held. A field whose bits are not all held is "not in
// record".
std::vector<DecodedField> DecodeFields(const PgnDef& def, const MessageBytes& bytes);

// One field at its place in the definition (a repeating set's first entry).
DecodedField DecodeField(const FieldDef& field, const MessageBytes& bytes);

// "12.74 V", "Bulk", "24.1 °C" (kelvin is shown in degrees Celsius).
std::string FormatValue(const FieldDef& field, double value);

}  // namespace korvan::n2k
