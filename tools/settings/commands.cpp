#include "tools/settings/commands.h"

#include <filesystem>
#include <system_error>

#include "model/module_descriptors.h"
#include "model/settings_fields.h"
#include "model/settings_file.h"

namespace korvan::settings_tool {

using namespace settings_fields;

namespace {

constexpr const char* Usage =
    "usage: korvan-settings show FILE\n"
    "       korvan-settings diff FILE_A FILE_B\n"
    "       korvan-settings check FILE [-o OUT]\n"
    "       korvan-settings --help | --version\n";

constexpr const char* Help =
    "\n"
    "Reads, compares and checks KORVAN III settings files (*.korvan3) without the system.\n"
    "\n"
    "  show FILE              print every settings table, one \"label<TAB>value\" a line\n"
    "  diff FILE_A FILE_B     print each value that differs: module, label, A's value, B's\n"
    "  check FILE [-o OUT]    print what reading the tables back and checking them would\n"
    "                         change before a write or save; -o saves the checked settings\n"
    "  --help                 print this help\n"
    "  --version              print the program's version\n"
    "\n"
    "Decimals use the separator of the user's locale.\n"
    "Exit status: 0 equal or nothing to change, 1 differences or changes, 2 bad input.\n";

struct Failure {
    std::string Message;
};

// Loads a settings file or throws a message that says what is wrong with it.
SystemData Load(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path p;
    try {
        p = fs::path(std::u8string(path.begin(), path.end()));
    } catch (const fs::filesystem_error& e) {
        throw Failure{path + ": not a file name (" + e.code().message() + ")"};
    }
    std::error_code ec;
    if (fs::is_directory(p, ec)) throw Failure{path + ": is a directory, not a settings file"};
    SystemData data;
    std::string error;
    if (!LoadSettingsFile(path, data, error)) {
        const auto size = fs::file_size(p, ec);
        if (!ec && size < SettingsFileSize)
            error += " (the file has " + std::to_string(size) + " bytes, a settings file " +
                     std::to_string(SettingsFileSize) + ")";
        throw Failure{error};
    }
    return data;
}

// One row a line: a control character from a damaged file's Wi-Fi texts must not
// break the line or the TAB between label and value.
std::string OneLine(const std::string& text) {
    std::string s;
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            const char* hex = "0123456789ABCDEF";
            s += "\\x";
            s += hex[b >> 4];
            s += hex[b & 0xF];
        } else {
            s += c;
        }
    }
    return s;
}

void Show(const SystemData& data, char sep, std::ostream& out) {
    bool first = true;
    Section current{};
    for (const FieldDesc& f : SettingsFields()) {
        if (first || f.Sec != current) {
            out << (first ? "" : "\n") << '[' << SectionTitle(f.Sec) << "]\n";
            current = f.Sec;
            first = false;
        }
        out << f.Name << '\t' << OneLine(FieldText(f, data, sep)) << '\n';
    }
}

int PrintChanges(const std::vector<FieldChange>& changes, std::ostream& out) {
    for (const FieldChange& c : changes)
        out << SectionTitle(c.Sec) << '\t' << c.Name << '\t' << c.Old << '\t' << c.New << '\n';
    return changes.empty() ? ExitSame : ExitDifferent;
}

int Check(const std::vector<std::string>& args, char sep, std::ostream& out) {
    std::string in, outPath;
    bool haveOut = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (haveOut || i + 1 >= args.size()) throw Failure{"check: -o needs one output file"};
            outPath = args[++i];
            haveOut = true;
        } else if (in.empty() && !args[i].empty()) {
            in = args[i];
        } else {
            throw Failure{"check: unexpected argument \"" + args[i] + "\""};
        }
    }
    if (in.empty()) throw Failure{"check: no settings file given"};
    const SystemData before = Load(in);
    // Every settings table as the tool shows it, read back through the tool's own
    // read-back and checks, as saving or writing settings does (12 V scale).
    SystemData twelveVolt = before;
    twelveVolt.BatteryState.SystemVoltage = 12;
    const SystemData after = CheckedSettings(twelveVolt, sep);
    if (haveOut) {
        std::string error;
        if (!SaveSettingsFile(outPath, after, error)) throw Failure{error};
    }
    return PrintChanges(
        CompareImages(BuildSettingsFileImage(before), BuildSettingsFileImage(after), sep), out);
}

}  // namespace

int Run(const std::vector<std::string>& args, char sep, std::ostream& out, std::ostream& err) {
    try {
        const std::string cmd = args.empty() ? "" : args[0];
        if ((cmd == "--help" || cmd == "-h") && args.size() == 1) {
            out << Usage << Help;
            return ExitSame;
        }
        if (cmd == "--version" && args.size() == 1) {
            out << "korvan-settings " KORVAN_VERSION "\n";
            return ExitSame;
        }
        if (cmd == "show" && args.size() == 2) {
            Show(Load(args[1]), sep, out);
            return ExitSame;
        }
        if (cmd == "diff" && args.size() == 3) {
            const SystemData a = Load(args[1]);
            const SystemData b = Load(args[2]);
            return PrintChanges(
                CompareImages(BuildSettingsFileImage(a), BuildSettingsFileImage(b), sep), out);
        }
        if (cmd == "check" && args.size() >= 2) return Check(args, sep, out);
        err << "korvan-settings: " << (cmd.empty() ? "no command given" : "bad arguments") << '\n'
            << Usage;
        return ExitBadInput;
    } catch (const Failure& f) {
        err << "korvan-settings: " << f.Message << '\n';
        return ExitBadInput;
    } catch (const std::filesystem::filesystem_error& e) {
        // A name the file system cannot take (on Windows: not UTF-8) ends like any bad input.
        err << "korvan-settings: " << e.code().message() << '\n';
        return ExitBadInput;
    }
}

}  // namespace korvan::settings_tool
