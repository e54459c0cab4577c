#include "relay/support_session.h"

#include <exception>
#include <limits>
#include <random>

namespace korvan {

std::string MakeSessionCode(const RandomWords& random) {
    constexpr uint64_t Symbols = SessionCodeAlphabet.size();
    // Words at or above the last whole multiple of the alphabet's size are drawn
    // again, so that every symbol is equally likely.
    constexpr uint64_t Words = uint64_t{std::numeric_limits<uint32_t>::max()} + 1;
    constexpr uint64_t Usable = Words - Words % Symbols;
    std::string code;
    while (code.size() < SessionCodeLength) {
        const uint64_t word = random();
        if (word >= Usable) continue;
        code += SessionCodeAlphabet[static_cast<size_t>(word % Symbols)];
    }
    return code;
}

std::string MakeSessionCode(std::string& error) {
    try {
#if defined(_WIN32)
        std::random_device source;  // rand_s, the system's generator
#else
        std::random_device source("/dev/urandom");
#endif
        return MakeSessionCode([&source] { return static_cast<uint32_t>(source()); });
    } catch (const std::exception& e) {
        error = std::string("The system's random source cannot be read: ") + e.what();
        return {};
    }
}

bool ValidSessionCode(std::string_view code) {
    if (code.size() < ShortestSessionCode || code.size() > LongestSessionCode) return false;
    for (char c : code) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '-') return false;
    }
    return true;
}

std::string SupportHost(std::string_view supportDomain) {
    const size_t scheme = supportDomain.find("://");
    const size_t hostAt = scheme == std::string_view::npos ? 0 : scheme + 3;
    const size_t path = supportDomain.find('/', hostAt);
    return std::string(supportDomain.substr(0, path));
}

std::string SessionDomain(std::string_view supportDomain, std::string_view code) {
    return SupportHost(supportDomain) + "/" + std::string(code);
}

}  // namespace korvan
