// Text across the Win32 boundary: the system speaks UTF-16, the program UTF-8.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

namespace korvan {

// `length` in wide characters, or -1 for a terminated text.
inline std::string Utf8FromWide(const wchar_t* text, int length = -1) {
    if (!text || length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    if (length < 0) out.pop_back();  // the terminator was counted
    return out;
}

inline std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), n);
    return out;
}

}  // namespace korvan

#endif  // _WIN32
