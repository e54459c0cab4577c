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

namespace korvan {

std::string SessionCodeOf(std::string_view supportDomain) {
    const std::string host = SupportHost(supportDomain);
    if (supportDomain.size() <= host.size() + 1) return {};
    return std::string(supportDomain.substr(host.size() + 1));
}

std::string SettingsStoppedText(size_t sent, size_t total) {
    return "Settings stopped after " + std::to_string(sent) + " of " + std::to_string(total) +
           " reports";
}

std::string SettingsOutcomeOf(std::string_view chat) {
    constexpr std::string_view Lead = "Settings ";
    constexpr std::string_view Stopped = "Settings stopped after ";
    const bool known = chat == SettingsWrittenText || chat == SettingsNotReadBackText ||
                       chat == SettingsDifferText || chat == SettingsRefusedText ||
                       (chat.starts_with(Stopped) && chat.ends_with(" reports"));
    return known ? std::string(chat.substr(Lead.size())) : std::string();
}

std::string RelayFailureText(std::string_view statusText, std::string_view supportDomain,
                             bool supportSide) {
    // "HTTP/1.1 404 Not Found": the relay answered, and refused.
    if (!statusText.starts_with("HTTP/") || statusText.size() < 12) return std::string(statusText);
    const std::string_view code = statusText.substr(9, 3);
    const std::string answer(statusText.substr(9));
    const std::string relay = "The relay server at " + SupportHost(supportDomain);
    if (code == "404" && SessionCodeOf(supportDomain).empty()) {
        return relay + " serves support sessions only. " +
               (supportSide ? "Choose Options \u2192 New Support Session... and read its code to "
                              "the customer."
                            : "Choose Options \u2192 Join Support Session... and type the code "
                              "that support reads to you.");
    }
    if (code == "404") {
        return relay + " has no page for this session (" + answer +
               "): check the address in Options \u2192 Support Domain...";
    }
    if (code == "503") return relay + " is busy (" + answer + "): try again in a minute.";
    return relay + " refused the request (" + answer +
           "): check the address in Options \u2192 Support Domain...";
}

std::string SupportSessionText(const SupportSessionStatus& status, const std::string& lastSeen) {
    if (status.Role == SupportRole::None) return {};
    const bool support = status.Role == SupportRole::Support;
    const std::string code = SessionCodeOf(status.Domain);
    std::string text = code.empty() ? "Support session without a code" : "Support session " + code;
    text += " on " + SupportHost(status.Domain) + ": ";
    const char* other = support ? "the customer" : "support";
    if (!status.Connected)
        text += "relay not reached" + (status.Problem.empty() ? "" : " (" + status.Problem + ")");
    else if (status.CustomerStopped)
        text += "the customer stopped sharing";
    else if (!status.LastSeen)
        text += std::string("connected to the relay, waiting for ") + other;
    else
        text += std::string("connected, ") + (support ? "customer" : "support") + " last seen " +
                lastSeen;
    if (support && !status.SettingsOutcome.empty())
        text += "; settings sent: " + status.SettingsOutcome;
    return text;
}

}  // namespace korvan
