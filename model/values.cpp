#include "model/values.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace korvan {

static_assert(std::endian::native == std::endian::little,
              "the settings records are the settings file's little-endian layout");

namespace {

// Integer part of a finite value in the range of a 64-bit integer; anything else
// (NaN, infinities, values from a damaged file) becomes 0 instead of undefined behaviour.
long long SafeTrunc(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return 0;
    return static_cast<long long>(std::trunc(v));
}

long long SafeRoundEven(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return 0;
    return static_cast<long long>(std::nearbyint(v));  // default mode: nearest, ties to even
}

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double GetSplitDecimal(const uint8_t* p) {
    return static_cast<int8_t>(p[0]) + static_cast<int8_t>(p[1]) / 100.0;
}

void PutSplitDecimal(uint8_t* p, double v) {
    long long w = SafeTrunc(v);
    long long h = SafeRoundEven((v - static_cast<double>(w)) * 100.0);
    if (w == 0 && !std::isfinite(v)) h = 0;
    p[0] = static_cast<uint8_t>(w & 0xFF);
    p[1] = static_cast<uint8_t>(h & 0xFF);
}

double GetThousandths(const uint8_t* p) { return GetU16(p) / 1000.0; }

void PutThousandths(uint8_t* p, double v) {
    PutU16(p, static_cast<int32_t>(SafeRoundEven(v * 1000.0) & 0xFFFF));
}

int32_t GetS16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
}

int32_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void PutU16(uint8_t* p, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u >> 8);
    p[1] = static_cast<uint8_t>(u);
}

char DecimalSeparatorOf(std::string_view localePoint) {
    if (localePoint.size() != 1) return '.';
    const auto c = static_cast<unsigned char>(localePoint[0]);
    return c != 0 && c < 0x80 ? localePoint[0] : '.';
}

std::string FormatFixed(double v, int decimals, char sep) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    constexpr int Significant = 6;
    // std::to_chars, not printf: the texts must not depend on the C locale the
    // toolkit may have set.
    char buf[400];
    auto sci =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, Significant - 1);
    std::string s(buf, sci.ptr);
    // Rounded to six significant digits first, so the integer digits are known after rounding.
    double rounded = 0;
    std::from_chars(s.data(), s.data() + s.size(), rounded);
    int exponent = rounded == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
    if (exponent >= Significant) {
        // More integer digits than six: scientific form, as "1.23457E+06".
        size_t e = s.find('e');
        std::string mantissa = s.substr(0, e);
        int exp = std::atoi(s.c_str() + e + 1);
        for (char& c : mantissa)
            if (c == '.') c = sep;
        std::string digits = std::to_string(exp < 0 ? -exp : exp);
        if (digits.size() < 2) digits.insert(0, "0");
        return mantissa + "E" + (exp < 0 ? "-" : "+") + digits;
    }
    int room = Significant - 1 - exponent;  // leading zeros of a small value do not count
    int shown = std::clamp(decimals, 0, std::max(room, 0));
    auto fixed = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, shown);
    s.assign(buf, fixed.ptr);
    if (shown < decimals) {
        if (shown == 0) s += '.';
        s.append(static_cast<size_t>(decimals - shown), '0');
    }
    // A value that rounds to zero shows without a sign.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    for (char& c : s)
        if (c == '.') c = sep;
    return s;
}

std::string FormatInt(long long v) { return std::to_string(v); }

std::string FormatFlag(bool v) { return v ? "True" : "False"; }

std::string FormatTemperature(int8_t v, const char* sentinel) {
    if (v == NoTemperatureSensor) return sentinel;
    return FormatInt(v);
}

bool ParseInt(std::string_view text, long long& out) {
    std::string_view s = Trim(text);
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); ++k)
        if (!IsDigit(s[k])) return false;
    long long v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return false;
    out = v;
    return true;
}

bool ParseDecimal(std::string_view text, char sep, double& out) {
    std::string_view s = Trim(text);
    std::string t;
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') t += '-';
        ++i;
    }
    size_t digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) t += s[i];
    if (i < s.size() && s[i] == sep) {
        t += '.';
        for (++i; i < s.size() && IsDigit(s[i]); ++i, ++digits) t += s[i];
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        t += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) t += s[i++];
        size_t expDigits = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i, ++expDigits) t += s[i];
        if (expDigits == 0) return false;
    }
    if (i != s.size()) return false;
    double v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

double GetField(const void* record, FieldWidth w, size_t offset) {
    const auto* p = static_cast<const uint8_t*>(record) + offset;
    switch (w) {
        case FieldWidth::U8:
            return *p;
        case FieldWidth::S8:
            return static_cast<int8_t>(*p);
        case FieldWidth::S32: {
            int32_t v;
            std::memcpy(&v, p, sizeof v);
            return v;
        }
        case FieldWidth::F64: {
            double v;
            std::memcpy(&v, p, sizeof v);
            return v;
        }
    }
    return 0;
}

void SetFieldInt(void* record, FieldWidth w, size_t offset, long long v) {
    auto* p = static_cast<uint8_t*>(record) + offset;
    switch (w) {
        case FieldWidth::U8:
        case FieldWidth::S8:
            *p = static_cast<uint8_t>(v & 0xFF);
            break;
        case FieldWidth::S32: {
            auto u = static_cast<uint32_t>(static_cast<unsigned long long>(v) & 0xFFFFFFFFu);
            std::memcpy(p, &u, sizeof u);
            break;
        }
        case FieldWidth::F64: {
            double d = static_cast<double>(v);
            std::memcpy(p, &d, sizeof d);
            break;
        }
    }
}

void SetField(void* record, FieldWidth w, size_t offset, double v) {
    if (w == FieldWidth::F64) {
        std::memcpy(static_cast<uint8_t*>(record) + offset, &v, sizeof v);
        return;
    }
    SetFieldInt(record, w, offset, SafeTrunc(v));
}

std::string SettingsRowText(const void* record, const SettingsRow& row, double scale, char sep) {
    double v = GetField(record, row.Width, row.Offset);
    switch (row.Form) {
        case CellForm::Int:
            return FormatInt(static_cast<long long>(v));
        case CellForm::Fixed2:
            return FormatFixed(row.Scale24 ? v * scale : v, 2, sep);
        case CellForm::Fixed3:
            return FormatFixed(row.Scale24 ? v * scale : v, 3, sep);
    }
    return EmptyCell;
}

void ReadSettingsRow(void* record, const SettingsRow& row, const std::string* cell, double scale,
                     char sep) {
    if (row.Form == CellForm::Int) {
        long long v = 0;
        if (cell && ParseInt(*cell, v))
            SetFieldInt(record, row.Width, row.Offset, v);
        else
            SetField(record, row.Width, row.Offset, row.Default);
        return;
    }
    double v = 0;
    if (cell && ParseDecimal(*cell, sep, v))
        SetField(record, row.Width, row.Offset, row.Scale24 ? v / scale : v);
    else
        SetField(record, row.Width, row.Offset, row.Default);
}

void RunRangeChecks(void* record, const RangeCheck* checks, size_t count) {
    // Settings are typed with two or three decimals; a bound computed as, say,
    // 12.7 - 0.1 must still admit a typed 12.6.
    constexpr double Slack = 1e-9;
    for (size_t i = 0; i < count; ++i) {
        const RangeCheck& c = checks[i];
        double v = GetField(record, c.Width, c.Offset);
        double hi =
            c.MaxFrom == NoField ? c.Max : GetField(record, c.Width, c.MaxFrom) + c.MaxDelta;
        double slack = c.Width == FieldWidth::F64 ? Slack : 0;
        if (v >= c.Min - slack && v <= hi + slack) continue;  // NaN fails both and is replaced
        double fb = c.FallbackFrom == NoField
                        ? c.Fallback
                        : GetField(record, c.Width, c.FallbackFrom) + c.FallbackDelta;
        SetField(record, c.Width, c.Offset, fb);
        if (c.Clear != NoField) SetFieldInt(record, FieldWidth::U8, c.Clear, 0);
    }
}

namespace {

std::string BoundText(double v, CellForm form, char sep) {
    switch (form) {
        case CellForm::Int:
            return FormatInt(static_cast<long long>(v));
        case CellForm::Fixed2:
            return FormatFixed(v, 2, sep);
        case CellForm::Fixed3:
            return FormatFixed(v, 3, sep);
    }
    return {};
}

// Digits after the separator of a shown value text.
int Decimals(std::string_view text, char sep) {
    const size_t at = text.find(sep);
    return at == std::string_view::npos ? 0 : static_cast<int>(text.size() - at - 1);
}

}  // namespace

std::vector<std::string> SettingsRangeTexts(std::span<const SettingsRow> rows,
                                            std::span<const RangeCheck> checks, double scale,
                                            char sep) {
    std::vector<std::string> texts(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const SettingsRow& row = rows[i];
        for (const RangeCheck& c : checks) {
            if (c.Offset != row.Offset || c.Width != row.Width) continue;
            const double k = row.Scale24 ? scale : 1.0;
            const std::string low = BoundText(c.Min * k, row.Form, sep);
            if (c.MaxFrom != NoField)
                texts[i] = "from " + low;
            else if (row.Form == CellForm::Int && c.Max - c.Min == 1)
                texts[i] = low + " or " + BoundText(c.Max * k, row.Form, sep);
            else
                texts[i] = low + " to " + BoundText(c.Max * k, row.Form, sep);
            break;
        }
    }
    return texts;
}

std::vector<CellCorrection> FindCorrections(const std::vector<std::string>& typed,
                                            const std::vector<std::string>& used, char sep) {
    std::vector<CellCorrection> corrections;
    for (size_t row = 0; row < typed.size() && row < used.size(); ++row) {
        const std::string_view t = Trim(typed[row]);
        const std::string_view u = Trim(used[row]);
        if (t == u) continue;
        double typedValue = 0;
        double usedValue = 0;
        if (ParseDecimal(t, sep, typedValue) && ParseDecimal(u, sep, usedValue) &&
            FormatFixed(typedValue, Decimals(u, sep), sep) == u)
            continue;
        corrections.push_back({row, typed[row], used[row]});
    }
    return corrections;
}

}  // namespace korvan
