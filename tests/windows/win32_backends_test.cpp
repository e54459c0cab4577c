// The Win32 serial port and Bluetooth discovery against the system itself: under Wine
// no radio, a registry tree planted by the test, COM ports that do not exist, and a
// COM port that Wine maps to a pseudo-terminal with the simulated system behind it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "link/bt_transport.h"
#include "link/protocol.h"
#include "platform/win32_bluetooth_discovery.h"
#include "platform/win32_serial_port.h"
#include "platform/win32_text.h"
#include "sim/simulator.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(Win32Bluetooth, WithoutARadioTheComputerIsNotBluetoothCapable) {
    Win32BluetoothDiscovery discovery;
    if (!UnderWine() && discovery.RadioCount() > 0) GTEST_SKIP() << "this machine has a radio";
    EXPECT_EQ(discovery.RadioCount(), 0);
    EXPECT_TRUE(discovery.RememberedDevices(0).empty());
    Win32SerialPort port;
    BtTransport bt(port, discovery);
    for (int poll = 0; poll < 2; ++poll) {
        EXPECT_FALSE(bt.BtConnect());
        EXPECT_EQ(bt.BtStatusText,
                  "This computer is not Bluetooth capable; install Bluetooth hardware, pair to "
                  "Linkmate, and restart application");
    }
}

// A BTHENUM tree of the test's own under HKEY_LOCAL_MACHINE, removed again afterwards.
class PlantedBthenum : public testing::Test {
  protected:
    void SetUp() override {
        root_ = L"SOFTWARE\\KorvanKx4Tests\\" + std::to_wstring(GetCurrentProcessId());
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, root_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable here";
        RegCloseKey(key);
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, root_.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KorvanKx4Tests");  // when empty
    }
    // One key below the root ("a\\b\\c") with string values (name, data pairs).
    void Plant(const std::wstring& path,
               std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (root_ + L"\\" + path).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, data] : values) {
            const DWORD bytes = static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t));
            RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), bytes);
        }
        RegCloseKey(key);
    }
    std::string Root() const { return Utf8FromWide(root_.c_str()); }

    std::wstring root_;
};

constexpr const wchar_t* SerialService = L"{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&000F";

TEST_F(PlantedBthenum, PortOfTheDeviceWhateverTheLetterCase) {
    const std::wstring service = std::wstring(SerialService) + L"\\";
    Plant(
        service + L"7&1f32&0&001A7DDA7113_C00000000\\Device Parameters",
        {{L"Bluetooth_UniqueID", L"{00001101-0000-1000-8000-00805f9b34fb}#001a7dda7113_C00000000"},
         {L"PortName", L"COM7"}});
    Plant(
        service + L"7&1f32&0&00025B00A5A5_C00000000\\Device Parameters",
        {{L"Bluetooth_UniqueID", L"{00001101-0000-1000-8000-00805F9B34FB}#00025B00A5A5_C00000000"},
         {L"PortName", L"COM12"}});
    Win32BluetoothDiscovery discovery(Root());
    EXPECT_EQ(discovery.FindPort("001A7DDA7113"), "COM7");   // lower case in the registry
    EXPECT_EQ(discovery.FindPort("00025B00A5A5"), "COM12");  // upper case in the registry
    EXPECT_EQ(discovery.FindPort("00025b00a5a5"), "COM12");
    EXPECT_EQ(discovery.FindPort("001A7DDA7114"), "");  // an address nobody holds
    EXPECT_EQ(discovery.FindPort(""), "");
    EXPECT_EQ(Win32BluetoothDiscovery(Root() + "\\NoSuchKey").FindPort("001A7DDA7113"), "");
}

TEST_F(PlantedBthenum, CandidatesWithoutACommPortAreSkipped) {
    // Subkeys are walked in the order the registry lists them, alphabetical here.
    Plant(L"A\\NoPortName", {{L"Id", L"001A7DDA7113"}});
    Plant(L"B\\Printer", {{L"Id", L"x001A7DDA7113"}, {L"PortName", L"LPT1"}});
    Plant(L"C\\NotAString", {{L"PortName", L"COM3"}});
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (root_ + L"\\C\\NotAString").c_str(), 0,
                            KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const char binary[] = "001A7DDA7113";
    RegSetValueExW(key, L"Id", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary), 12);
    RegCloseKey(key);
    Win32BluetoothDiscovery discovery(Root());
    EXPECT_EQ(discovery.FindPort("001A7DDA7113"), "");

    Plant(L"D\\Serial", {{L"Id", L"001a7dda7113"}, {L"PortName", L"com5"}});
    Plant(L"E\\Later", {{L"Id", L"001A7DDA7113"}, {L"PortName", L"COM6"}});
    EXPECT_EQ(discovery.FindPort("001A7DDA7113"), "com5");  // the first with a COM port
}

TEST_F(PlantedBthenum, TheWalkGoesNoDeeperThanItsBound) {
    std::wstring path;
    for (int level = 1; level <= MaxBthenumDepth; ++level)
        path += L"L" + std::to_wstring(level) + L"\\";
    Plant(path + L"TooDeep", {{L"Id", L"001A7DDA7113"}, {L"PortName", L"COM9"}});
    Win32BluetoothDiscovery discovery(Root());
    EXPECT_EQ(discovery.FindPort("001A7DDA7113"), "");
    path.resize(path.size() - 3);  // "L8\\" off: the deepest level still walked
    Plant(path + L"Deepest", {{L"Id", L"001A7DDA7113"}, {L"PortName", L"COM4"}});
    EXPECT_EQ(discovery.FindPort("001A7DDA7113"), "COM4");
}

TEST(Win32Serial, AMissingPortGivesTheSystemsErrorNumberAndText) {
    Win32SerialPort port;
    EXPECT_FALSE(port.Open("COM142"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastErrorCode(), ERROR_FILE_NOT_FOUND);
    const std::string text = port.LastError();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(text.back(), ' ');
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(port.LastErrorCode(), ERROR_INVALID_HANDLE);
}

bool IsUtf8(const std::string& s) {
    return s.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(),
                                            static_cast<int>(s.size()), nullptr, 0) > 0;
}

// The system's texts in the user's language, in UTF-8: FormatMessageA would hand a German
// "genügend" over in the ANSI code page, the ü as the one byte 0xFC. make test-windows
// runs this program with a German user language.
TEST(Win32Serial, ErrorTextsInTheUsersLanguageArriveAsUtf8) {
    EXPECT_EQ(Utf8FromWide(L"Schl\u00FCssel \u20AC"), "Schl\xC3\xBCssel \xE2\x82\xAC");
    EXPECT_EQ(WideFromUtf8("Schl\xC3\xBCssel \xE2\x82\xAC"), L"Schl\u00FCssel \u20AC");
    for (unsigned long code : {2ul, 5ul, 8ul, 87ul, 1167ul}) {
        const std::string text = Win32ErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_TRUE(IsUtf8(text)) << code;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code;
    }
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_GERMAN)
        GTEST_SKIP() << "the user's language is not German";
    EXPECT_NE(Win32ErrorText(ERROR_NOT_ENOUGH_MEMORY).find("gen\xC3\xBCgend"), std::string::npos)
        << Win32ErrorText(ERROR_NOT_ENOUGH_MEMORY);
}

// The COM port that make test-windows maps to korvan-sim-line's pseudo-terminal.
class SimulatedSystemOnACommPort : public testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("KORVAN_SIM_PORT");
        if (!name || !*name) GTEST_SKIP() << "KORVAN_SIM_PORT names no COM port";
        portName_ = name;
    }
    bool AwaitBytes(Win32SerialPort& port, long n) {
        const auto end = std::chrono::steady_clock::now() + 3s;
        while (std::chrono::steady_clock::now() < end) {
            if (port.BytesWaiting() >= n) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    std::string portName_;
};

// Discovery as a paired system would answer it, with the COM port from the environment.
class PairedSystem : public BluetoothDiscovery {
  public:
    explicit PairedSystem(std::string port) : port_(std::move(port)) {}
    int RadioCount() override { return 1; }
    std::vector<BluetoothDeviceInfo> RememberedDevices(int) override {
        return {{KorvanDeviceName, {0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13}, 7936, true, true, true}};
    }
    std::string FindPort(const std::string&) override { return port_; }

  private:
    std::string port_;
};

TEST_F(SimulatedSystemOnACommPort, ConnectExchangeAndTakeTheImagesBackInOrder) {
    Win32SerialPort port;
    PairedSystem paired(portName_);
    BtTransport bt(port, paired);
    ASSERT_TRUE(bt.BtConnect()) << bt.BtStatusText;
    EXPECT_EQ(bt.BtStatusText.substr(0, 32), "Connection to KORVAN KX4 created");
    EXPECT_EQ(bt.BtStatusText.substr(bt.BtStatusText.rfind('\r')), "\rPort= " + portName_);

    bt.SetRequest(BtRequestFrame(BtSettingsRequest, 0));
    ASSERT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "Nothing received; 4 bytes sent");
    ASSERT_TRUE(AwaitBytes(port, static_cast<long>(SettingsImageSize)));
    bt.SetRequest(BtRequestFrame(BtStateRequest, 0));
    ASSERT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "224 bytes received; 4 bytes sent");
    // The system sends its image last byte first; the transport turns it round. The
    // simulator's settings are its defaults, the same in this process.
    const auto settings = KorvanSimulator().SettingsImage();
    ASSERT_EQ(bt.Exchange.AnswerLength, static_cast<int32_t>(SettingsImageSize));
    EXPECT_TRUE(std::equal(settings.begin(), settings.end(), bt.Exchange.Answer.begin()));

    ASSERT_TRUE(AwaitBytes(port, static_cast<long>(StateImageSize)));
    ASSERT_TRUE(bt.BtExchange());
    ASSERT_EQ(bt.Exchange.AnswerLength, static_cast<int32_t>(StateImageSize));
    for (ImageBlock block :
         {StateImageControlBox, StateImageBatteryBox, StateImageFieldBox1, StateImageFieldBox2}) {
        EXPECT_EQ(bt.Exchange.Answer[block.Offset], StateMarker) << block.Offset;
        EXPECT_EQ(bt.Exchange.Answer[block.Offset + block.Length - 1], StateMarker) << block.Offset;
    }
    bt.Close();
    EXPECT_EQ(bt.BtStatusText, "BT: Connection to KORVAN KX4 closed");
}

}  // namespace
}  // namespace korvan
