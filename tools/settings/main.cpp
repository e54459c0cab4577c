// korvan-settings: read, compare and check KORVAN III settings files without the hardware.
#include <clocale>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/settings/commands.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // The tables show decimals with the user's separator; only a one-byte one can be used.
    const char* point = std::localeconv()->decimal_point;
    const char sep = point && std::strlen(point) == 1 ? point[0] : '.';
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = korvan::settings_tool::Run(args, sep, std::cout, std::cerr);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "korvan-settings: cannot write the output\n";
        return korvan::settings_tool::ExitBadInput;
    }
    return status;
}
