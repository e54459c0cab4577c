// Session codes of remote support: a technician makes one, reads it to the
// customer on the phone, and both tools put it after the relay's host so that
// the relay keeps their conversation apart from every other one. No Qt.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvan {

// Digits and capitals without the look-alikes 0/O, 1/I/L: easy to read out.
constexpr std::string_view SessionCodeAlphabet = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
// 31^10 codes, about 49.5 bits.
constexpr size_t SessionCodeLength = 10;
// What the relay accepts after its host: 8 to 64 letters, digits and '-'.
constexpr size_t ShortestSessionCode = 8;
constexpr size_t LongestSessionCode = 64;

// Uniformly distributed 32-bit words.
using RandomWords = std::function<uint32_t()>;

// A code of SessionCodeLength characters of the alphabet, each drawn without bias.
std::string MakeSessionCode(const RandomWords& random);
// The same from the operating system's random source; "" (and `error` set) when
// the source cannot be read.
std::string MakeSessionCode(std::string& error);

bool ValidSessionCode(std::string_view code);

// The relay's host as the domain names it, with its scheme if it has one, without
// any session path: "https://relay.example.org/K7QM2XDF" -> "https://relay.example.org".
std::string SupportHost(std::string_view supportDomain);
// The host of `supportDomain` followed by "/" and the code.
std::string SessionDomain(std::string_view supportDomain, std::string_view code);
// The session code after the relay's host; "" for the bare host.
std::string SessionCodeOf(std::string_view supportDomain);

// What the two sides tell each other beyond the message kinds travels as chat
// lines with fixed texts: a tool that does not know them shows them as chat.
constexpr const char* SettingsRefusedText = "Settings refused by the customer";
constexpr const char* SharingStoppedText = "The customer stopped sharing";
constexpr const char* SettingsWrittenText = "Settings written and read back";
constexpr const char* SettingsNotReadBackText = "Settings written, but not read back";
constexpr const char* SettingsDifferText = "Settings written, but the system holds other values";
// "Settings stopped after N of TOTAL reports".
std::string SettingsStoppedText(size_t sent, size_t total);
// The outcome that a chat line of the customer reports about settings from
// support, without its leading "Settings " ("written and read back"); "" for
// any other line.
std::string SettingsOutcomeOf(std::string_view chat);

// A failed exchange as the user reads it: the relay's refusal names what to do;
// an error of the connection is said as it is.
std::string RelayFailureText(std::string_view statusText, std::string_view supportDomain,
                             bool supportSide);

// The state of a support session, as both sides show it.
enum class SupportRole { None, Customer, Support };
struct SupportSessionStatus {
    SupportRole Role = SupportRole::None;
    std::string Domain;
    // The last exchange was answered by the relay; Problem says why not.
    bool Connected = false;
    std::string Problem;
    // When a message of the other side last arrived.
    std::optional<std::chrono::system_clock::time_point> LastSeen;
    // Support side: the customer switched sharing off; the values shown are old.
    bool CustomerStopped = false;
    // Support side: the customer's answer about the last settings sent.
    std::string SettingsOutcome;
    bool operator==(const SupportSessionStatus&) const = default;
};
// One line: the code, the relay, whether connected and when the other side was
// last seen (`lastSeen` as the clock reads, e.g. "14:03:07").
std::string SupportSessionText(const SupportSessionStatus& status, const std::string& lastSeen);

}  // namespace korvan
