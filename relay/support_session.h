// Session codes of remote support: a technician makes one, reads it to the
// customer on the phone, and both tools put it after the relay's host so that
// the relay keeps their conversation apart from every other one. No Qt.
#pragma once

#include <cstdint>
#include <functional>
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

}  // namespace korvan
