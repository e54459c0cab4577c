// Link status texts may hold line breaks ("\r" in the Bluetooth texts); the status
// bar has one line.
#pragma once

#include <string>

namespace korvan {

// The lines of `text` joined with " | "; empty lines dropped, the rest kept as written.
std::string OneLineStatus(const std::string& text);

}  // namespace korvan
