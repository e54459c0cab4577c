// korvan-settings as its users run it: the built program on real files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/settings_file.h"
#include "tests/support/run_process.h"
#include "tools/settings/commands.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

using Result = test::ProcessResult;

// Lines without their ends: LF, or CR LF where the C runtime writes text that way (Windows).
std::vector<std::string> SplitLines(const std::string& s) {
    std::vector<std::string> lines;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
    }
    return lines;
}

// The text with LF line ends, whatever the C runtime wrote.
std::string Lf(std::string s) {
    std::erase(s, '\r');
    return s;
}

// The blocks a system answers, decoded as a read of all settings does.
SystemData KnownSystem() {
    SystemData d;
    Buffer64 b{};
    const uint8_t control[63] = {
        0x55, 3,   4,   14,         6,   25,  42,  /*profile*/ 1, 0,   120, 0,
        110,  0,   90,  /*wifi*/ 1, 1,   0,   'M', 'y',           ' ', 'B', 'o',
        'a',  't', ' ', '1',        ' ', ' ', ' ', ' ',           ' ', ' ', ' ',
        's',  'e', 'c', 'r',        'e', 't', ' ', ' ',           ' ', ' ', ' ',
        ' ',  ' ', ' ', ' ',        ' ', 40,  5,   200,           0,   5,   6,
        150,  0,   10,  20,         30,  0,   50,  0x55};
    std::memcpy(b.data(), control, sizeof control);
    DecodeControlBoxSettings(b, d.ControlSettings);
    b.fill(0);
    b[0] = 0x55;
    for (int i = 0; i < 8; ++i) {
        const uint8_t p[6] = {14, 40, 14, static_cast<uint8_t>(60 + i), 13, 40};
        std::memcpy(&b[1 + 6 * i], p, 6);
    }
    b[49] = 0x55;
    DecodeChargeProfiles(b, d.ControlSettings);
    const uint8_t battery[48] = {0x55, 2,   5,  1,  2,  26, 7,  0x01, 0x2C, 0x00, 0x0F, 12,
                                 70,   12,  50, 12, 20, 12, 0,  0x00, 0x01, 1,    16,   0,
                                 0,    0,   0,  0,  40, 50, 40, 50,   40,   50,   0,    225,
                                 0,    250, 15, 0,  16, 0,  20, 0x03, 0xE8, 0x03, 0xE8, 0};
    std::memcpy(b.data(), battery, sizeof battery);
    DecodeBatteryBoxSettings(b, d.BatterySettings);
    const uint8_t field[27] = {0x55, 2, 3,   1,   1,    26,   9, 2,    50,  12,
                               1,    0, 100, 110, 0x01, 0xF4, 1, 0xFF, 0x55};
    std::memcpy(b.data(), field, sizeof field);
    DecodeFieldBoxSettings(b, d.FieldSettings[0]);
    DecodeFieldBoxSettings(b, d.FieldSettings[1]);
    d.FieldSettings[1].Poles = 14;
    return d;
}

class ToolsSettings : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("korvan-tools-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Save(const char* name, const SystemData& d) {
        return SaveAt((dir_ / name).string(), d);
    }
    std::string SaveAt(const std::string& utf8Path, const SystemData& d) {
        std::string error;
        EXPECT_TRUE(SaveSettingsFile(utf8Path, d, error)) << error;
        return utf8Path;
    }
    std::string Path(const char* name) { return (dir_ / name).string(); }
    // A path in the test's folder from a UTF-8 name, as UTF-8.
    std::string Utf8Path(const std::string& name) {
        const std::u8string p =
            (dir_ / fs::path(std::u8string(name.begin(), name.end()))).u8string();
        return std::string(p.begin(), p.end());
    }

    // The built tool, run directly; LC_ALL=C keeps the decimal point whatever the
    // machine's locale (on Windows the test machine's locale has a point).
    Result Run(const std::vector<std::string>& args) {
        const fs::path scratch = dir_ / "run";
        fs::create_directories(scratch);
        return test::RunProcess(KORVAN_SETTINGS_TOOL, args, scratch, {"LC_ALL=C"});
    }

    fs::path dir_;
};

TEST_F(ToolsSettings, ShowPrintsTheTablesAsTheToolShowsThem) {
    const std::string file = Save("known.korvan3", KnownSystem());
    Result r = Run({"show", file});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const std::vector<std::string> lines = SplitLines(r.Out);
    const std::vector<std::string> control = {
        "[System Control Module]",
        "Access Point\t1",
        "Wi-Fi User Name\tMy Boat 1       ",
        "Wi-Fi Password\tsecret          ",
        "Use Bluetooth\t1",
        "Use NMEA-2000\t0",
        "Charging Profile\t1",
        "Bulk Target Voltage, V\t14.61",
        "Float Target Voltage, V\t13.40",
        "Alternator #1 Current Limit, A\t120",
        "Alternator #2 Current Limit, A\t110",
        "Battery Charge Current Limit, A\t90",
        "Warm-up Duration, sec\t20",
        "Maximum Allowed Wiring Voltage Drop, V\t0.50",
        "Device ID\t3",
        "Version\t4",
        "Serial Day\t14",
        "Serial Month\t6",
        "Serial Year\t25",
        "Serial Number\t42",
        "Mandatory Bulk Duration, sec\t30",
        "Regulation Refresh Rate, Hz\t40",
        "Alternator #1 Climb Coefficient, 1/V\t5",
        "Alternator #1 Collapse Coefficient, 1/V\t200",
        "Alternator #1 Tolerance Band, V\t0.05",
        "Alternator #2 Climb Coefficient, 1/V\t6",
        "Alternator #2 Collapse Coefficient, 1/V\t150",
        "Alternator #2 Tolerance Band, V\t0.10",
        "",
        "[Battery Control Module]",
        "Battery Bank size, A*h\t300",
        "Battery Temperature coefficient, V/\u00B0C\t0.015",
        "Battery Voltage @ 100%, V\t12.70",
        "Battery Voltage @ 80%, V\t12.50",
        "Battery Voltage @ 20%, V\t12.20",
        "Battery Voltage @ 0%, V\t12.00",
        "Battery Wiring Resistance, Ohms\t0.001",
        "Use System Surge Protector (SSP) [0 or 1]\t1",
        "SSP Voltage Threshold, V\t16.00",
    };
    ASSERT_GE(lines.size(), control.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + control.size()), control);
    auto has = [&](const std::string& l) {
        return std::find(lines.begin(), lines.end(), l) != lines.end();
    };
    EXPECT_TRUE(has("Battery Fault Discharge Current, A\t250"));
    EXPECT_TRUE(has("Battery Warning Discharge Current, A\t225"));
    EXPECT_TRUE(has("Record Marker\t0xFF"));
    EXPECT_TRUE(has("Battery Voltage Adjuster\t1.000"));
    EXPECT_TRUE(has("[Field Control Module #2]"));
    EXPECT_TRUE(has("Amount of Alternator Poles [6..32]\t14"));
    EXPECT_TRUE(has("Pulley Ratio [1..10]\t2.50"));
    EXPECT_TRUE(has("Alternator Warning Temperature, \u00B0C\t100"));
    EXPECT_TRUE(has("[Charge Profiles]"));
    EXPECT_TRUE(has("0 - FLA: Warm-up Limit Voltage, V\t14.30"));
    EXPECT_TRUE(has("7 - Custom #3: Bulk Target Voltage, V\t14.67"));
    EXPECT_TRUE(has("7 - Custom #3: Float Leave Voltage, V\t13.10"));
    EXPECT_EQ(lines.back(), "7 - Custom #3: Float Leave Voltage, V\t13.10");
}

TEST_F(ToolsSettings, ShowKeepsOneRowALineWhateverTheFileHolds) {
    SystemData d = KnownSystem();
    std::memcpy(d.ControlSettings.WifiSsid, "a\tb\nc\x01", 6);
    d.ControlSettings.ProfileIndex = 9;
    Result r = Run({"show", Save("odd.korvan3", d)});
    ASSERT_EQ(r.Status, 0);
    const auto lines = SplitLines(r.Out);
    EXPECT_EQ(lines[2], "Wi-Fi User Name\ta\\x09b\\x0Ac\\x01t 1       ");
    EXPECT_EQ(lines[6], "Charging Profile\t9");
    EXPECT_EQ(lines[7], "Bulk Target Voltage, V\t-");
}

TEST_F(ToolsSettings, DiffListsOnlyWhatDiffers) {
    SystemData a = KnownSystem();
    const std::string fa = Save("a.korvan3", a);
    Result same = Run({"diff", fa, Save("a2.korvan3", a)});
    EXPECT_EQ(same.Status, 0);
    EXPECT_EQ(same.Out, "");
    SystemData b = a;
    b.BatterySettings.BankSize = 400;
    b.ControlSettings.Profiles[2].BulkLimit = 15.0;
    b.FieldSettings[1].Pad41[3] = 0x5A;  // a byte no field describes
    b.BatterySettings.VoltageAt80 = a.BatterySettings.VoltageAt80 + 1e-9;  // hidden by two decimals
    std::memcpy(b.ControlSettings.WifiPassword, "secret  ", 8);
    Result r = Run({"diff", fa, Save("b.korvan3", b)});
    EXPECT_EQ(r.Status, 1) << r.Err;
    const std::vector<std::string> expected = {
        "Battery Control Module\tBattery Bank size, A*h\t300\t400",
        "Battery Control Module\tBattery Voltage @ 80%, V\t12.5\t12.500000001",
        "Charge Profiles\t2 - GEL: Bulk Limit Voltage, V\t14.82\t15.00",
        "Field Control Module #2\tUnused byte at file offset 748\t0x00\t0x5A",
    };
    EXPECT_EQ(SplitLines(r.Out), expected);
}

TEST_F(ToolsSettings, CheckListsWhatTheReadBackWouldChange) {
    SystemData d = KnownSystem();
    const std::string sound = Save("sound.korvan3", d);
    Result r = Run({"check", sound});
    EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Out, "");

    d.ControlSettings.WarmupDuration = 300;
    d.ControlSettings.Alt1ToleranceBand = 0.005;
    std::memcpy(d.ControlSettings.WifiSsid, "Boat_Net 5!     ", 16);
    d.BatterySettings.FaultVoltage = 12.5;
    d.FieldSettings[0].FaultTemp = 55;
    d.ControlSettings.Profiles[3].BulkTarget = 15.01;  // not in the table, still checked
    const std::string bad = Save("bad.korvan3", d);
    const std::string out = Path("checked.korvan3");
    r = Run({"check", bad, "-o", out});
    EXPECT_EQ(r.Status, 1) << r.Err;
    const std::vector<std::string> expected = {
        "System Control Module\tWi-Fi User Name\t\"Boat_Net 5!     \"\t\"Boat Net 5      \"",
        "System Control Module\tWarm-up Duration, sec\t300\t5",
        // Two decimals would show 0.01, a valid band: the stored value is shown instead.
        "System Control Module\tAlternator #1 Tolerance Band, V\t0.005\t0.05",
        "Battery Control Module\tBattery Warning Voltage, V\t15.00\t12.40",
        "Field Control Module #1\tAlternator Warning Temperature, \u00B0C\t100\t0",
        "Charge Profiles\t3 - FireFly: Bulk Target Voltage, V\t15.01\t14.60",
    };
    EXPECT_EQ(SplitLines(r.Out), expected);
    // The written file is what the checks made of it: diff tells the same changes.
    Result diff = Run({"diff", bad, out});
    EXPECT_EQ(diff.Status, 1);
    EXPECT_EQ(diff.Out, r.Out);
    SystemData written;
    std::string error;
    ASSERT_TRUE(LoadSettingsFile(out, written, error));
    EXPECT_EQ(written.ControlSettings.WarmupDuration, 5);
    EXPECT_EQ(written.FieldSettings[0].FaultTemp, 55);
}

TEST_F(ToolsSettings, BadInputIsOneMessageAndStatusTwoAndWritesNothing) {
    const std::string good = Save("good.korvan3", KnownSystem());
    {
        std::ofstream shortFile(Path("short.korvan3"), std::ios::binary);
        shortFile << std::string(751, '\0');
    }
    const std::string out = Path("out.korvan3");
    const std::vector<std::string> cases[] = {
        {},
        {"show"},
        {"frobnicate", good},
        {"show", Path("missing.korvan3")},
        {"show", Path("short.korvan3")},
        {"show", dir_.string()},
        {"diff", good},
        {"diff", good, Path("short.korvan3")},
        {"check", Path("short.korvan3"), "-o", out},
        {"check", good, "-o"},
        {"check", good, "extra"},
        {"check", good, "-o", Path("no/such/dir/x.korvan3")},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown;
        for (const std::string& a : args) shown += " [" + a + "]";
        Result r = Run(args);
        EXPECT_EQ(r.Status, 2) << shown;
        EXPECT_EQ(r.Out, "") << shown;
        EXPECT_NE(r.Err.find("korvan-settings: "), std::string::npos) << shown;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n') >= 1, true) << shown;
        EXPECT_FALSE(fs::exists(out)) << shown;
    }
    EXPECT_NE(Run({"show", Path("short.korvan3")}).Err.find("Stream read error"),
              std::string::npos);
}

TEST_F(ToolsSettings, HelpAndVersionOnStandardOutputWithStatusZero) {
    Result help = Run({"--help"});
    help.Out = Lf(help.Out);
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(help.Err, "");
    EXPECT_EQ(help.Out.rfind("usage: korvan-settings show FILE\n", 0), 0u) << help.Out;
    EXPECT_NE(help.Out.find("Exit status: 0 "), std::string::npos);
    const Result shortHelp = Run({"-h"});
    EXPECT_EQ(shortHelp.Status, 0);
    EXPECT_EQ(Lf(shortHelp.Out), help.Out);

    const Result version = Run({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Err, "");
    EXPECT_EQ(Lf(version.Out), "korvan-settings " KORVAN_VERSION "\n");

    // Only on their own: with anything else they are bad arguments, and a file named
    // like an option is still a file.
    const std::vector<std::string> cases[] = {
        {"--help", "extra"}, {"--version", "--help"}, {"show", "--help"}};
    for (const std::vector<std::string>& args : cases) {
        const Result r = Run(args);
        EXPECT_EQ(r.Status, 2) << args[0];
        EXPECT_EQ(r.Out, "") << args[0];
    }
}

// Windows hands main() its arguments in the ANSI code page; the tool reads the wide
// command line, so a name with an umlaut, or with letters no code page of the machine
// holds, opens like any other.
TEST_F(ToolsSettings, FileNamesBeyondAsciiOpen) {
    const std::string umlaut = "Bootseinstellungen-\u00FC.korvan3";
    SaveAt(Utf8Path(umlaut), KnownSystem());
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    Result r = Run({"show", umlaut});
    fs::current_path(before);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const std::vector<std::string> lines = SplitLines(r.Out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "[System Control Module]");
    EXPECT_EQ(lines.back(), "7 - Custom #3: Float Leave Voltage, V\t13.10");

    SystemData d = KnownSystem();
    d.BatterySettings.BankSize = 400;
    const std::string greek = Utf8Path("Boot-\u03A9-\u8239.korvan3");
    SaveAt(greek, d);
    r = Run({"diff", Utf8Path(umlaut), greek});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(SplitLines(r.Out),
              std::vector<std::string>{"Battery Control Module\tBattery Bank size, A*h\t300\t400"});
}

// A name that is no UTF-8 cannot name a file on Windows: one message and status 2,
// whether the settings file is read or written.
TEST_F(ToolsSettings, NameThatIsNoUtf8IsBadInput) {
    const std::string good = Save("good.korvan3", KnownSystem());
    // In a folder that does not exist, so that POSIX, where any bytes make a name, fails too.
    const std::string bad = dir_.string() + "/bad-\xFC/x.korvan3";
    const std::vector<std::string> cases[] = {{"show", bad}, {"check", good, "-o", bad}};
    for (const std::vector<std::string>& args : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(settings_tool::Run(args, '.', out, err), 2) << args[0];
        EXPECT_EQ(out.str(), "") << args[0];
        const std::string e = err.str();
        EXPECT_EQ(e.rfind("korvan-settings: ", 0), 0u) << e;
        EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 1) << e;
    }
}

TEST_F(ToolsSettings, DecimalSeparatorOfTheLocale) {
    const std::string file = Save("known.korvan3", KnownSystem());
    std::ostringstream out, err;
    EXPECT_EQ(settings_tool::Run({"show", file}, ',', out, err), 0);
    const auto lines = SplitLines(out.str());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Battery Voltage @ 100%, V\t12,70"),
              lines.end());
    // Read back with the same separator, a sound file stays unchanged.
    std::ostringstream out2, err2;
    EXPECT_EQ(settings_tool::Run({"check", file}, ',', out2, err2), 0) << out2.str();
}

}  // namespace
}  // namespace korvan
