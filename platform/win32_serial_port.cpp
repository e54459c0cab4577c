#ifdef _WIN32

#include "platform/win32_serial_port.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace korvan {

std::string Win32ErrorText(unsigned long code) {
    // The wide text, so that a German or Czech system's message reaches the UTF-8
    // status bar as the system wrote it rather than in its ANSI code page.
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out = n && text ? Utf8FromWide(text, static_cast<int>(n)) : std::string();
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

Win32SerialPort::~Win32SerialPort() {
    if (IsOpen()) CloseHandle(handle_);
}

bool Win32SerialPort::Open(const std::string& name) {
    if (IsOpen()) Close();
    errorCode_ = 0;
    const std::string path = "\\\\.\\" + name;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errorCode_ = GetLastError();
        handle_ = nullptr;
        return false;
    }
    handle_ = h;
    pipe_ = GetFileType(h) == FILE_TYPE_PIPE;
    // Everything but speed and framing stays as the system has it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(h, &dcb);
    COMMTIMEOUTS timeouts{10, 10, 10, 10, 10};
    SetCommTimeouts(h, &timeouts);
    return true;
}

bool Win32SerialPort::IsOpen() const {
    DWORD flags = 0;
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
           GetHandleInformation(static_cast<HANDLE>(handle_), &flags);
}

bool Win32SerialPort::Close() {
    if (!IsOpen()) {
        errorCode_ = ERROR_INVALID_HANDLE;
        return false;
    }
    HANDLE h = static_cast<HANDLE>(handle_);
    handle_ = nullptr;  // never used again, whatever CloseHandle says
    if (!CloseHandle(h)) {
        errorCode_ = GetLastError();
        return false;
    }
    errorCode_ = 0;
    return true;
}

long Win32SerialPort::BytesWaiting() {
    if (pipe_) {
        DWORD available = 0;
        if (!PeekNamedPipe(static_cast<HANDLE>(handle_), nullptr, 0, nullptr, &available,
                           nullptr)) {
            errorCode_ = GetLastError();
            return -1;
        }
        return static_cast<long>(available);
    }
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(static_cast<HANDLE>(handle_), &errors, &stat)) {
        errorCode_ = GetLastError();
        return -1;
    }
    return static_cast<long>(stat.cbInQue);
}

long Win32SerialPort::Read(uint8_t* data, size_t maxLength) {
    DWORD n = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), data, static_cast<DWORD>(maxLength), &n, nullptr)) {
        errorCode_ = GetLastError();
        return -1;
    }
    return static_cast<long>(n);
}

long Win32SerialPort::Write(const uint8_t* data, size_t length) {
    DWORD n = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), data, static_cast<DWORD>(length), &n, nullptr)) {
        errorCode_ = GetLastError();
        return -1;
    }
    return static_cast<long>(n);
}

int Win32SerialPort::LastErrorCode() const { return static_cast<int>(errorCode_); }

std::string Win32SerialPort::LastError() const { return Win32ErrorText(errorCode_); }

}  // namespace korvan

#endif  // _WIN32
