// The single-byte Windows code page (CP1252) at the boundaries that need bytes:
// the data log and the chat bytes on the relay. Inside the program text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace korvan {

// Characters that CP1252 cannot hold become '?'.
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view bytes);

}  // namespace korvan
