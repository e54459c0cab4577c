#include "platform/rfcomm_ports.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace korvan {

namespace {

// Hex digits only, upper case: "00:1a:7d:da:71:13" and "001A7DDA7113" compare equal.
std::string HexDigits(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isxdigit(c)) out += static_cast<char>(std::toupper(c));
    }
    return out;
}

std::string ReadSmallFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

bool IsCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

std::string FindRfcommPort(const std::string& addressText, const std::string& ttyRoot,
                           const std::string& devRoot) {
    const std::string wanted = HexDigits(addressText);
    if (wanted.empty()) return {};
    std::error_code ec;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(ttyRoot, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("rfcomm", 0) == 0) names.push_back(name);
    }
    // rfcomm2 before rfcomm10.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const std::string& name : names) {
        const std::string address =
            HexDigits(ReadSmallFile(std::filesystem::path(ttyRoot) / name / "address"));
        if (address != wanted) continue;
        std::string port = devRoot;
        port += '/';
        port += name;
        if (IsCharacterDevice(port)) return port;
    }
    return {};
}

}  // namespace korvan
