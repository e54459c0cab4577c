// The data log: tab-separated CP1252 text, CR LF line ends, one header line when
// the file is created, one data line per complete state poll.
#pragma once

#include <cstdint>
#include <string>

#include "model/system_data.h"

namespace korvan {

// Logging stops from this size on (length div 128 reaching 0x1FFFFF).
constexpr uint64_t DataLogSizeLimit = 268435328;

std::string DataLogHeader();                                // CP1252 bytes, CR LF included
std::string DataLogLine(const SystemData& data, char sep);  // CP1252 bytes, CR LF included
// True when a line was appended; false when logging must stop.
bool AppendDataLogLine(const std::string& path, const SystemData& data, char sep);

}  // namespace korvan
