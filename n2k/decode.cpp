#include "n2k/decode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace korvan::n2k {

namespace {

bool Holds(const MessageBytes& bytes, uint64_t bitOffset, uint64_t bitLength) {
    const uint64_t begin = uint64_t(bytes.First) * 8;
    const uint64_t end = (uint64_t(bytes.First) + bytes.Count) * 8;
    return bitLength > 0 && bitOffset >= begin && bitOffset + bitLength <= end;
}

// Little-endian bits, at most 64; the caller checked Holds().
uint64_t Bits(const MessageBytes& bytes, uint32_t bitOffset, uint32_t bitLength) {
    uint64_t v = 0;
    const uint32_t start = bitOffset - uint32_t(bytes.First) * 8;
    for (uint32_t i = 0; i < bitLength;) {
        const uint32_t bit = start + i;
        const uint32_t inByte = bit % 8;
        const uint32_t take = std::min(8 - inByte, bitLength - i);
        const uint64_t part = (uint64_t(bytes.Data[bit / 8]) >> inByte) & ((1u << take) - 1);
        v |= part << i;
        i += take;
    }
    return v;
}

// Enough decimals that every step of the resolution shows (0.25 rpm: two), at most 6.
int Decimals(double resolution) {
    if (!(resolution > 0)) return 0;
    int decimals = 0;
    for (double scaled = resolution; decimals < 6; scaled *= 10, ++decimals)
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * scaled) break;
    return decimals;
}

std::string Hex(const MessageBytes& bytes, uint32_t bitOffset, uint32_t bitLength) {
    std::string text;
    char buf[4];
    if (bitOffset % 8 == 0 && bitLength % 8 == 0) {
        for (uint32_t i = 0; i < bitLength / 8; ++i) {
            std::snprintf(buf, sizeof buf, "%02X",
                          unsigned(bytes.Data[bitOffset / 8 - bytes.First + i]));
            if (!text.empty()) text += ' ';
            text += buf;
        }
        return text;
    }
    char wide[24];
    std::snprintf(
        wide, sizeof wide, "0x%llX",
        static_cast<unsigned long long>(Bits(bytes, bitOffset, std::min<uint32_t>(bitLength, 64))));
    return wide;
}

const char* LookupName(int16_t lookup, uint32_t value) {
    if (lookup < 0 || size_t(lookup) >= LookupCount) return nullptr;
    const LookupDef& l = Lookups[lookup];
    const LookupValue* begin = LookupValues + l.First;
    const LookupValue* end = begin + l.Count;
    const LookupValue* it = std::lower_bound(
        begin, end, value, [](const LookupValue& v, uint32_t x) { return v.Value < x; });
    return it != end && it->Value == value ? it->Name : nullptr;
}

bool Matches(const PgnDef& def, const MessageBytes& bytes, bool& hasMatchFields) {
    hasMatchFields = false;
    for (uint16_t i = 0; i < def.FieldCount; ++i) {
        const FieldDef& f = Fields[def.FirstField + i];
        if (f.Match < 0) continue;
        hasMatchFields = true;
        if (f.Kind == FieldKind::Other || f.BitLength > 32 ||
            !Holds(bytes, f.BitOffset, f.BitLength))
            return false;
        if (Bits(bytes, f.BitOffset, f.BitLength) != uint64_t(f.Match)) return false;
    }
    return true;
}

}  // namespace

PgnRange FindDefinitions(uint32_t pgn) {
    const PgnDef* end = Pgns + PgnCount;
    const PgnDef* lo =
        std::lower_bound(Pgns, end, pgn, [](const PgnDef& d, uint32_t p) { return d.Pgn < p; });
    const PgnDef* hi = lo;
    while (hi != end && hi->Pgn == pgn) ++hi;
    return {lo, hi};
}

namespace {

// The catch-all of the makers' own single-frame and fast-packet PGNs.
uint32_t ProprietaryRange(uint32_t pgn) {
    if (pgn > 0xFF00 && pgn <= 0xFFFF) return 0xFF00;
    if (pgn > 0x1FF00 && pgn <= 0x1FFFF) return 0x1FF00;
    return 0;
}

}  // namespace

const PgnDef* FindPgn(uint32_t pgn, const MessageBytes& bytes) {
    const PgnRange range = FindDefinitions(pgn);
    // A maker's variant that matches, else the plain definition, else the catch-all
    // (canboat may list a range's catch-all before a plain definition: 59392).
    const PgnDef* plain = nullptr;
    const PgnDef* fallback = nullptr;
    for (const PgnDef* d = range.Begin; d != range.End; ++d) {
        bool hasMatch = false;
        const bool matches = Matches(*d, bytes, hasMatch);
        if (d->Fallback) {
            if (fallback == nullptr) fallback = d;
        } else if (hasMatch && matches) {
            return d;
        } else if (!hasMatch && plain == nullptr) {
            plain = d;
        }
    }
    if (plain != nullptr) return plain;
    if (fallback != nullptr) return fallback;
    // Another maker's message, or a PGN the database lacks: a maker's PGN gets its
    // range's catch-all rather than some other maker's fields.
    if (const uint32_t catchAll = ProprietaryRange(pgn); catchAll != 0)
        return FindPgn(catchAll, bytes);
    return range.Begin != range.End ? range.Begin : nullptr;
}

const char* PgnName(uint32_t pgn) {
    const PgnDef* def = FindPgn(pgn, {});
    return def != nullptr ? def->Name : nullptr;
}

std::string FormatValue(const FieldDef& field, double value) {
    char buf[64];
    const char* unit = field.Unit;
    int decimals = Decimals(field.Resolution);
    if (unit != nullptr && std::strcmp(unit, "K") == 0) {
        value -= 273.15;
        unit = "\302\260C";
        decimals = std::min(decimals, 2);
    }
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string text = buf;
    if (unit != nullptr && *unit != '\0') {
        text += ' ';
        text += unit;
    }
    return text;
}

namespace {

// The field with its bits at `at` (BitOffset, or its place in a later entry).
DecodedField DecodeFieldAt(const FieldDef& f, uint32_t at, const MessageBytes& bytes) {
    DecodedField out;
    out.Def = &f;
    if (f.Kind == FieldKind::Other) return out;
    if (!Holds(bytes, at, f.BitLength)) {
        out.State = FieldState::NotInRecord;
        out.Text = "not in record";
        return out;
    }
    switch (f.Kind) {
        case FieldKind::Reserved:
            out.State = FieldState::Reserved;
            out.Text = "reserved";
            return out;
        case FieldKind::String: {
            std::string s;
            for (uint32_t i = 0; i < f.BitLength / 8; ++i)
                s += char(bytes.Data[at / 8 - bytes.First + i]);
            // Padding: 0xFF, NUL, '@' or spaces at the end.
            while (!s.empty() &&
                   (s.back() == '\xFF' || s.back() == '\0' || s.back() == '@' || s.back() == ' '))
                s.pop_back();
            for (char& c : s)
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
                    c = '?';
            out.State = FieldState::Value;
            out.Text = s;
            return out;
        }
        case FieldKind::Binary:
            out.State = FieldState::Value;
            out.Text = Hex(bytes, at, f.BitLength);
            return out;
        case FieldKind::Float: {
            if (f.BitLength != 32) break;
            const uint32_t raw = uint32_t(Bits(bytes, at, 32));
            float v;
            std::memcpy(&v, &raw, sizeof v);
            if (raw == 0xFFFFFFFFu || !std::isfinite(v)) {
                out.State = FieldState::NotAvailable;
                out.Text = "-";
                return out;
            }
            out.State = FieldState::Value;
            out.Value = v;
            out.Text = FormatValue(f, v);
            return out;
        }
        default:
            break;
    }
    if (f.BitLength > 64 || f.Kind == FieldKind::Float) {
        out.State = FieldState::Value;
        out.Text = Hex(bytes, at, f.BitLength);
        return out;
    }
    const uint64_t raw = Bits(bytes, at, f.BitLength);
    const uint64_t ones = f.BitLength == 64 ? ~uint64_t(0) : (uint64_t(1) << f.BitLength) - 1;
    if (f.Kind == FieldKind::BitLookup) {
        out.State = FieldState::Value;
        out.Value = double(raw);
        for (uint32_t bit = 0; bit < f.BitLength; ++bit) {
            if (!(raw >> bit & 1)) continue;
            const char* name = LookupName(f.Lookup, bit);
            if (!out.Text.empty()) out.Text += ", ";
            out.Text += name ? std::string(name) : "bit " + std::to_string(bit);
        }
        return out;
    }
    if (f.Kind == FieldKind::Lookup) {
        const char* name = LookupName(f.Lookup, uint32_t(raw));
        out.Value = double(raw);
        if (name != nullptr) {
            out.State = FieldState::Value;
            out.Text = name;
        } else if (f.BitLength >= 2 && raw == ones) {
            out.State = FieldState::NotAvailable;
            out.Text = "-";
        } else {
            out.State = FieldState::Value;
            out.Text = std::to_string(raw);
        }
        return out;
    }
    // Numbers: the largest value (all ones, or the largest positive when signed) means
    // "no data" from two bits up; the database's range ends below it, and the values
    // between are "error" (one below), "reserved" (two below) or out of range. A field
    // whose range takes in its largest value has no "no data" unless it is whole bytes,
    // as canboat decodes it.
    int64_t value;
    int64_t top;
    if (f.Signed) {
        const uint64_t sign = uint64_t(1) << (f.BitLength - 1);
        value = (raw & sign) ? int64_t(raw | ~ones) : int64_t(raw);
        top = int64_t(sign - 1);
    } else {
        value = int64_t(raw);
        top = int64_t(ones);
    }
    const bool noData =
        f.BitLength >= 2 && value == top && (f.BitLength % 8 == 0 || f.MaxRaw < top);
    if (noData || (f.BitLength >= 2 && value > f.MaxRaw)) {
        static const char* const texts[] = {"-", "error", "reserved"};
        static const FieldState states[] = {FieldState::NotAvailable, FieldState::Error,
                                            FieldState::ReservedValue};
        const int64_t below = noData ? 0 : top - value;
        out.State = below < 3 ? states[below] : FieldState::Error;
        out.Text = below < 3 ? texts[below] : "out of range";
        return out;
    }
    out.State = FieldState::Value;
    out.Value = (double(value) + f.Offset) * f.Resolution;
    out.Text = FormatValue(f, out.Value);
    return out;
}

// Appends the repeating set's entries, the first beginning at its place in the definition.
void AppendEntries(const PgnDef& def, const MessageBytes& bytes, std::vector<DecodedField>& out) {
    const RepeatingSet& set = def.Repeating;
    const FieldDef* fields = Fields + def.FirstField;
    const FieldDef& first = fields[set.First];
    const FieldDef& last = fields[set.First + set.Size - 1];
    const uint64_t base = first.BitOffset;
    const uint64_t stride = last.BitOffset + last.BitLength - first.BitOffset;
    // Entries that fit in the longest message, fewer when the count field says so.
    const uint64_t longest = MaxMessageBytes * 8;
    int64_t entries = base >= longest || stride == 0 ? 0 : int64_t((longest - base) / stride);
    if (set.Count != RepeatingSet::NoCountField) {
        const DecodedField& count = out[set.Count];
        if (count.State == FieldState::Value && count.Value >= 0 && count.Value < double(entries))
            entries = int64_t(count.Value);
    }
    // The first entry always; a later one when it shares bits with those held.
    const uint64_t begin = uint64_t(bytes.First) * 8;
    const uint64_t end = (uint64_t(bytes.First) + bytes.Count) * 8;
    int64_t k = 0;
    while (k < entries) {
        const uint64_t at = base + uint64_t(k) * stride;
        if (k > 0 && at + stride <= begin) {
            k = int64_t((begin - base) / stride);  // the first entry reaching the bytes held
            continue;
        }
        if (k > 0 && at >= end) break;
        for (uint8_t i = 0; i < set.Size; ++i) {
            const FieldDef& f = fields[set.First + i];
            out.push_back(DecodeFieldAt(f, uint32_t(at + f.BitOffset - first.BitOffset), bytes));
            out.back().Set = 1;
            out.back().Entry = uint16_t(k);
        }
        ++k;
    }
}

}  // namespace

DecodedField DecodeField(const FieldDef& f, const MessageBytes& bytes) {
    return DecodeFieldAt(f, f.BitOffset, bytes);
}

std::vector<DecodedField> DecodeFields(const PgnDef& def, const MessageBytes& bytes) {
    std::vector<DecodedField> out;
    const RepeatingSet& set = def.Repeating;
    const uint16_t plain = set.Size > 0 ? set.First : def.FieldCount;
    out.reserve(def.FieldCount);
    for (uint16_t i = 0; i < plain; ++i)
        out.push_back(DecodeField(Fields[def.FirstField + i], bytes));
    if (set.Size > 0) AppendEntries(def, bytes, out);
    return out;
}

}  // namespace korvan::n2k
