#ifdef _WIN32

#include "platform/win32_bluetooth_discovery.h"

// clang-format off
#include <windows.h>
#include <bluetoothapis.h>
// clang-format on

#include <iterator>
#include <memory>
#include <utility>

#include "platform/win32_text.h"

namespace korvan {

namespace {

// Letter case matters neither in the address nor in "COM"; both are plain ASCII.
std::wstring Upper(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return s;
}

// The candidate keys for one address, depth-first. The buffers are shared by every
// level: a key's values are all read before its subkeys are walked.
class CandidateWalk {
  public:
    explicit CandidateWalk(std::wstring address) : address_(std::move(address)) {}

    // Appends `path` once for every plain string value whose data contains the address,
    // then walks the subkeys in the order the registry lists them.
    void Collect(const std::wstring& path, int depth) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return;  // skipped with its subtree
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = static_cast<DWORD>(std::size(name_));
            DWORD type = 0;
            DWORD dataLength = sizeof data_ - sizeof(wchar_t);
            const LONG rc = RegEnumValueW(key, i, name_, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data_), &dataLength);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
            data_[dataLength / sizeof(wchar_t)] = L'\0';
            if (Upper(data_).find(address_) != std::wstring::npos) Candidates.push_back(path);
        }
        for (DWORD i = 0; depth < MaxBthenumDepth; ++i) {
            wchar_t sub[256];
            DWORD subLength = static_cast<DWORD>(std::size(sub));
            const LONG rc =
                RegEnumKeyExW(key, i, sub, &subLength, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS) continue;
            Collect(path + L"\\" + sub, depth + 1);
        }
        RegCloseKey(key);
    }

    std::vector<std::wstring> Candidates;

  private:
    std::wstring address_;
    wchar_t name_[16384];
    wchar_t data_[2048];
};

std::wstring PortNameOf(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    wchar_t data[256] = {};
    DWORD length = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    std::wstring port;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &length) == ERROR_SUCCESS &&
        type == REG_SZ)
        port = data;
    RegCloseKey(key);
    return port;
}

}  // namespace

Win32BluetoothDiscovery::Win32BluetoothDiscovery(std::string enumKey)
    : enumKey_(std::move(enumKey)) {}

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
        d.Name = Utf8FromWide(info.szName);
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
    // The walk's buffers are too large for the caller's stack.
    auto walk = std::make_unique<CandidateWalk>(Upper(WideFromUtf8(addressText)));
    walk->Collect(WideFromUtf8(enumKey_), 0);
    for (const std::wstring& path : walk->Candidates) {
        const std::wstring port = PortNameOf(path);
        if (Upper(port).find(L"COM") != std::wstring::npos) return Utf8FromWide(port.c_str());
    }
    return {};
}

}  // namespace korvan

#endif  // _WIN32
