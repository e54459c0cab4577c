#ifdef _WIN32

#include "platform/win32_bluetooth_discovery.h"

// clang-format off
#include <windows.h>
#include <bluetoothapis.h>
// clang-format on

#include <algorithm>
#include <cctype>

namespace korvan {

namespace {

std::string Utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// Appends `path` once for every plain string value whose data contains `address`,
// then walks the subkeys in the order the registry lists them.
void CollectCandidates(const std::string& path, const std::string& address,
                       std::vector<std::string>& candidates) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;  // skipped with its subtree
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        BYTE data[4096];
        DWORD dataLength = sizeof data - 1;
        const LONG rc = RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        data[std::min<DWORD>(dataLength, sizeof data - 1)] = 0;
        if (Upper(reinterpret_cast<const char*>(data)).find(address) != std::string::npos)
            candidates.push_back(path);
    }
    for (DWORD i = 0;; ++i) {
        char sub[256];
        DWORD subLength = sizeof sub;
        const LONG rc = RegEnumKeyExA(key, i, sub, &subLength, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        CollectCandidates(path + "\\" + sub, address, candidates);
    }
    RegCloseKey(key);
}

std::string PortNameOf(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    char data[256] = {};
    DWORD length = sizeof data - 1;
    DWORD type = 0;
    std::string port;
    if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(data), &length) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        port = data;
    RegCloseKey(key);
    return port;
}

}  // namespace

Win32BluetoothDiscovery::~Win32BluetoothDiscovery() { CloseRadios(); }

void Win32BluetoothDiscovery::CloseRadios() {
    for (void* radio : radios_) CloseHandle(static_cast<HANDLE>(radio));
    radios_.clear();
}

int Win32BluetoothDiscovery::RadioCount() {
    CloseRadios();
    BLUETOOTH_FIND_RADIO_PARAMS params{};
    params.dwSize = sizeof params;
    HANDLE radio = nullptr;
    HBLUETOOTH_RADIO_FIND find = BluetoothFindFirstRadio(&params, &radio);
    if (!find) return 0;
    do {
        radios_.push_back(radio);
    } while (BluetoothFindNextRadio(find, &radio));
    BluetoothFindRadioClose(find);
    return static_cast<int>(radios_.size());
}

std::vector<BluetoothDeviceInfo> Win32BluetoothDiscovery::RememberedDevices(int radio) {
    std::vector<BluetoothDeviceInfo> out;
    if (radio < 0 || radio >= static_cast<int>(radios_.size())) return out;
    BLUETOOTH_DEVICE_SEARCH_PARAMS search{};
    search.dwSize = sizeof search;
    search.fReturnAuthenticated = FALSE;
    search.fReturnRemembered = TRUE;
    search.fReturnUnknown = FALSE;
    search.fReturnConnected = FALSE;
    search.fIssueInquiry = FALSE;
    search.cTimeoutMultiplier = 0;
    search.hRadio = static_cast<HANDLE>(radios_[static_cast<size_t>(radio)]);
    BLUETOOTH_DEVICE_INFO info{};
    info.dwSize = sizeof info;
    HBLUETOOTH_DEVICE_FIND find = BluetoothFindFirstDevice(&search, &info);
    if (!find) return out;
    do {
        BluetoothDeviceInfo d;
        d.Name = Utf8(info.szName);
        // The API keeps the address least significant byte first.
        for (int i = 0; i < 6; ++i) d.Address[static_cast<size_t>(i)] = info.Address.rgBytes[5 - i];
        d.ClassOfDevice = info.ulClassofDevice;
        d.Connected = info.fConnected != FALSE;
        d.Remembered = info.fRemembered != FALSE;
        d.Authenticated = info.fAuthenticated != FALSE;
        out.push_back(d);
        info = {};
        info.dwSize = sizeof info;
    } while (BluetoothFindNextDevice(find, &info));
    BluetoothFindDeviceClose(find);
    return out;
}

std::string Win32BluetoothDiscovery::FindPort(const std::string& addressText) {
    if (addressText.empty()) return {};
    std::vector<std::string> candidates;
    CollectCandidates("SYSTEM\\CurrentControlSet\\Enum\\BTHENUM", Upper(addressText), candidates);
    for (const std::string& path : candidates) {
        const std::string port = PortNameOf(path);
        if (Upper(port).find("COM") != std::string::npos) return port;
    }
    return {};
}

}  // namespace korvan

#endif  // _WIN32
