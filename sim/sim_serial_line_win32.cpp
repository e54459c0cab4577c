// The simulated system's serial line on Windows: a named pipe in place of the
// pseudo-terminal. One pipe instance always listens, so a tool that closes and
// reopens its port finds the line at once while the old instance is taken down.
#ifdef _WIN32

#include <windows.h>

#include <string>

#include "sim/sim_serial_line.h"

namespace korvan {

namespace {

constexpr DWORD PipeBufferSize = 65536;
// How long an answer may wait for room in the pipe before it is dropped.
constexpr DWORD TransmitLimitMs = 200;

std::wstring PipePath(const std::string& slaveName) {
    return L"\\\\.\\" + std::wstring(slaveName.begin(), slaveName.end());
}

HANDLE NewInstance(const std::string& slaveName, bool first) {
    return CreateNamedPipeW(
        PipePath(slaveName).c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, PipeBufferSize,
        PipeBufferSize, 0, nullptr);
}

void CloseIfOpen(void*& handle) {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(static_cast<HANDLE>(handle));
    handle = nullptr;
}

// Waits for an overlapped operation or the stop event; false (the operation cancelled)
// when the stop came first or the wait ran out.
bool Await(HANDLE file, OVERLAPPED& ov, HANDLE stop, DWORD limitMs, DWORD& transferred) {
    const HANDLE events[2] = {ov.hEvent, stop};
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, limitMs);
    if (which != WAIT_OBJECT_0) {
        CancelIo(file);
        GetOverlappedResult(file, &ov, &transferred, TRUE);
        return false;
    }
    return GetOverlappedResult(file, &ov, &transferred, FALSE) != FALSE;
}

}  // namespace

bool SimSerialLine::Fail(const char* what) {
    lastError_ = std::string(what) + ": error " + std::to_string(GetLastError());
    CloseIfOpen(listening_);
    CloseIfOpen(stopEvent_);
    return false;
}

bool SimSerialLine::Start() {
    if (thread_.joinable()) return true;
    static std::atomic<unsigned> lines{0};
    slaveName_ = "pipe\\korvan-kx4-sim-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++lines);
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stopEvent_) return Fail("CreateEvent");
    listening_ = NewInstance(slaveName_, true);
    if (listening_ == INVALID_HANDLE_VALUE) return Fail("CreateNamedPipe");
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SimSerialLine::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        SetEvent(static_cast<HANDLE>(stopEvent_));
        thread_.join();
    }
    CloseIfOpen(listening_);
    CloseIfOpen(stopEvent_);
}

void SimSerialLine::Run() {
    const HANDLE stop = static_cast<HANDLE>(stopEvent_);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    while (!stop_) {
        HANDLE pipe = static_cast<HANDLE>(listening_);
        ResetEvent(ov.hEvent);
        DWORD unused = 0;
        const bool connected = ConnectNamedPipe(pipe, &ov)
                                   ? true
                                   : GetLastError() == ERROR_PIPE_CONNECTED ||
                                         (GetLastError() == ERROR_IO_PENDING &&
                                          Await(pipe, ov, stop, INFINITE, unused));
        if (!connected) break;
        // The next client's instance, ready before this one can go away.
        listening_ = NewInstance(slaveName_, false);
        const bool stopped = !Serve(pipe);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        if (stopped || listening_ == INVALID_HANDLE_VALUE) break;
    }
    CloseHandle(ov.hEvent);
}

bool SimSerialLine::Serve(void* handle) {
    const HANDLE pipe = static_cast<HANDLE>(handle);
    const HANDLE stop = static_cast<HANDLE>(stopEvent_);
    current_ = pipe;
    pending_.clear();
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool goesOn = true;
    for (;;) {
        uint8_t buffer[256];
        DWORD n = 0;
        ResetEvent(ov.hEvent);
        if (!ReadFile(pipe, buffer, sizeof buffer, &n, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) break;  // the client has gone
            if (!Await(pipe, ov, stop, INFINITE, n)) {
                goesOn = !stop_;
                break;
            }
        }
        if (n > 0) Arrived(buffer, n);
    }
    CloseHandle(ov.hEvent);
    current_ = nullptr;
    return goesOn;
}

void SimSerialLine::Transmit(const std::vector<uint8_t>& wire) {
    const HANDLE pipe = static_cast<HANDLE>(current_);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD n = 0;
    if (!WriteFile(pipe, wire.data(), static_cast<DWORD>(wire.size()), &n, &ov) &&
        GetLastError() == ERROR_IO_PENDING)
        Await(pipe, ov, static_cast<HANDLE>(stopEvent_), TransmitLimitMs, n);
    CloseHandle(ov.hEvent);
}

}  // namespace korvan

#endif  // _WIN32
