// korvan-settings: read, compare and check KORVAN III settings files without the hardware.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "model/values.h"
#include "tools/settings/commands.h"

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "platform/win32_text.h"
#endif

namespace {

// The arguments in UTF-8. Windows hands main() its arguments in the ANSI code page,
// where a file name with characters outside it cannot even be spelled: ask for the
// wide command line instead.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) args.push_back(korvan::Utf8FromWide(wide[i]));
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const char* point = std::localeconv()->decimal_point;
    const char sep = korvan::DecimalSeparatorOf(point ? point : "");
    const std::vector<std::string> args = Arguments(argc, argv);
    int status = korvan::settings_tool::Run(args, sep, std::cout, std::cerr);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "korvan-settings: cannot write the output\n";
        return korvan::settings_tool::ExitBadInput;
    }
    return status;
}
