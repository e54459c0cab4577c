// The single-byte Windows code page (CP1252) at the boundaries that need bytes:
// the data log and the chat bytes on the relay. Inside the program text is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvan {

// Characters that CP1252 cannot hold (and malformed UTF-8) become '?'.
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view bytes);

// One code point from `s` at `i` (i < s.size()), advancing `i` past it;
// InvalidCodePoint for a malformed sequence (then `i` has moved by at least one byte).
constexpr char32_t InvalidCodePoint = 0xFFFFFFFF;
char32_t DecodeUtf8(std::string_view s, size_t& i);
// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace korvan
