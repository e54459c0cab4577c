// The Bluetooth line delivers whatever the remote side sends, in pieces of any size:
// exchanges over fuzzed arrivals must keep the answer within its buffer, zero-filled
// after its length, and ending (in arrival order) with the newest bytes sent.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

#include "link/bt_transport.h"

namespace {

using namespace korvan;

// A line whose input queue is filled by the fuzzer between exchanges.
class FuzzLine : public SerialPort {
  public:
    std::deque<uint8_t> Queue;
    size_t ReadLimit = 256;  // at most this much per read call
    bool FailReads = false;

    bool Open(const std::string&) override { return true; }
    bool IsOpen() const override { return true; }
    bool Close() override { return true; }
    long BytesWaiting() override { return static_cast<long>(Queue.size()); }
    long Read(uint8_t* data, size_t maxLength) override {
        if (FailReads) return -1;
        const size_t n = std::min({maxLength, Queue.size(), ReadLimit});
        std::copy_n(Queue.begin(), n, data);
        Queue.erase(Queue.begin(), Queue.begin() + static_cast<long>(n));
        return static_cast<long>(n);
    }
    long Write(const uint8_t*, size_t length) override { return static_cast<long>(length); }
    int LastErrorCode() const override { return 5; }
    std::string LastError() const override { return "Access is denied."; }
};

class NoDiscovery : public BluetoothDiscovery {
  public:
    int RadioCount() override { return 0; }
    std::vector<BluetoothDeviceInfo> RememberedDevices(int) override { return {}; }
    std::string FindPort(const std::string&) override { return {}; }
};

void CheckAt(bool ok, int line) {
    if (ok) return;
    std::fprintf(stderr, "check failed at line %d\n", line);
    std::abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzLine line;
    NoDiscovery discovery;
    BtTransport bt(line, discovery);
    bt.SetRequest({0xAA, 0, 0, 0xAA});
    std::vector<uint8_t> sent;  // everything the remote side sent, in order
    size_t pos = 0;
    while (pos + 3 <= size) {
        // Each round: a chunk length (0-767), the read granularity, a flag, then the chunk.
        const size_t length = ((data[pos] & 0x03u) << 8 | data[pos + 1]) % 768;
        line.ReadLimit = 1 + data[pos + 2] % 256;
        line.FailReads = (data[pos + 2] & 0xF0u) == 0xF0u;
        pos += 3;
        const size_t n = std::min(length, size - pos);
        line.Queue.insert(line.Queue.end(), data + pos, data + pos + n);
        sent.insert(sent.end(), data + pos, data + pos + n);
        pos += n;

        const size_t before = line.Queue.size();
        bt.BtExchange();
        const auto& x = bt.Exchange;
        Check(x.AnswerLength >= 0 && x.AnswerLength <= 256);
        Check(std::all_of(x.Answer.begin() + x.AnswerLength, x.Answer.end(),
                          [](uint8_t b) { return b == 0; }));
        if (line.FailReads && before > 0) {
            Check(x.AnswerLength == 0 && line.Queue.size() == before);
        } else if (!line.FailReads && line.Queue.empty()) {
            // Back in arrival order, the answer ends with the bytes that were waiting: the
            // newest bytes sent, in order.
            std::vector<uint8_t> chunk(x.Answer.begin(), x.Answer.begin() + x.AnswerLength);
            std::reverse(chunk.begin(), chunk.end());
            const size_t m = std::min(before, chunk.size());
            Check(std::equal(chunk.end() - static_cast<long>(m), chunk.end(),
                             sent.end() - static_cast<long>(m)));
            Check(before == 0 ||
                  x.AnswerLength == static_cast<int32_t>(std::min<size_t>(256, before)) ||
                  static_cast<size_t>(x.AnswerLength) > before);
        }
    }
    return 0;
}
