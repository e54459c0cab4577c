// The korvan-settings commands, on streams so the program's main stays a thin shell.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvan::settings_tool {

constexpr int ExitSame = 0;
constexpr int ExitDifferent = 1;
constexpr int ExitBadInput = 2;

// Runs one command line (without the program name); returns the exit status.
int Run(const std::vector<std::string>& args, char sep, std::ostream& out, std::ostream& err);

}  // namespace korvan::settings_tool
