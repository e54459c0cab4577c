#include "sim/can_traffic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace korvan {

namespace {

struct CanFrame {
    uint8_t Kind;
    uint32_t Identifier;
    uint8_t Length;  // may exceed 8 for the multi-frame kinds; the record holds b0-b7
    std::array<uint8_t, 8> Data;
};

void PutLe16(uint8_t* p, long v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

uint16_t Kelvin100(double celsius) {
    return static_cast<uint16_t>(std::lround((celsius + 273.15) * 100));
}

void WriteRecord(uint8_t* record, const CanFrame& f) {
    std::memset(record, 0, CanFrameRecordSize);
    record[0] = f.Kind;
    for (int i = 0; i < 4; ++i) record[4 + i] = static_cast<uint8_t>(f.Identifier >> (8 * i));
    record[8] = f.Length;
    std::memcpy(record + 9, f.Data.data(), std::min<size_t>(f.Length, 8));
}

using Maker = CanFrame (*)(const LiveSystem&, uint8_t sid);

CanFrame EngineRapid(const LiveSystem& live, uint8_t) {  // PGN 127488
    CanFrame f{6, N2kIdentifier(2, 127488, 0x23), 8, {0, 0, 0, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF}};
    PutLe16(&f.Data[1], std::lround(live.Rpm(0) * 4));
    return f;
}

CanFrame BatteryStatus(const LiveSystem& live, uint8_t sid) {  // PGN 127508
    CanFrame f{4, N2kIdentifier(6, 127508, 0x24), 8, {0, 0, 0, 0, 0, 0, 0, sid}};
    PutLe16(&f.Data[1], std::lround(live.BatteryVoltage() * 100));
    PutLe16(&f.Data[3], std::lround(live.BatteryCurrent() * 10));
    PutLe16(&f.Data[5], Kelvin100(live.BatteryTemperature(0)));
    return f;
}

CanFrame DcDetailedStatus(const LiveSystem& live, uint8_t sid) {  // PGN 127506, fast packet
    uint8_t counter = static_cast<uint8_t>((sid & 0x07) << 5);
    return {7,
            N2kIdentifier(6, 127506, 0x24),
            11,
            {counter, 11, sid, 0, 0, static_cast<uint8_t>(std::lround(live.Soc())), 100, 0xFF}};
}

CanFrame WindData(const LiveSystem& live, uint8_t sid) {  // PGN 130306
    double t = live.Time();
    CanFrame f{0, N2kIdentifier(2, 130306, 0x05), 8, {sid, 0, 0, 0, 0, 0x02, 0xFF, 0xFF}};
    PutLe16(&f.Data[1], std::lround((6.0 + 2.0 * std::sin(t / 17.0)) * 100));
    PutLe16(&f.Data[3], std::lround((0.8 + 0.2 * std::sin(t / 41.0)) * 10000));
    return f;
}

CanFrame StandardData(const LiveSystem&, uint8_t sid) {
    return {2, 0x123, 8, {sid, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
}

CanFrame ProductInformation(const LiveSystem&, uint8_t sid) {  // PGN 126996, 134 bytes
    uint8_t counter = static_cast<uint8_t>((sid & 0x07) << 5);
    return {
        8, N2kIdentifier(6, 126996, 0x23), 134, {counter, 134, 0x34, 0x08, 0x8A, 0x13, 'K', 'X'}};
}

CanFrame StandardRtr(const LiveSystem&, uint8_t) { return {3, 0x321, 4, {}}; }

CanFrame CogSogRapid(const LiveSystem& live, uint8_t sid) {  // PGN 129026
    double t = live.Time();
    CanFrame f{6, N2kIdentifier(2, 129026, 0x10), 8, {sid, 0xFC, 0, 0, 0, 0, 0xFF, 0xFF}};
    PutLe16(&f.Data[2], std::lround((1.2 + 0.05 * std::sin(t / 23.0)) * 10000));
    PutLe16(&f.Data[4], std::lround((3.1 + 0.3 * std::sin(t / 31.0)) * 100));
    return f;
}

CanFrame PgnList(const LiveSystem&, uint8_t) {  // PGN 126464 over the transport protocol
    return {
        9, N2kIdentifier(6, 126464, 0x23), 24, {0x00, 0x00, 0xF2, 0x01, 0x14, 0xF2, 0x01, 0x12}};
}

CanFrame IsoRequest(const LiveSystem&, uint8_t) {  // PGN 59904 addressed to the control box
    return {5, N2kIdentifier(6, 59904, 0x01, 0x23), 3, {}};
}

CanFrame BusError(const LiveSystem&, uint8_t) {  // controller reports an RX warning level
    return {1, 0x20000004, 8, {0, 0x04, 0, 0, 0, 0, 0, 0}};
}

CanFrame Temperature(const LiveSystem& live, uint8_t sid) {  // PGN 130312, engine room
    CanFrame f{6, N2kIdentifier(5, 130312, 0x24), 8, {sid, 0, 3, 0, 0, 0xFF, 0xFF, 0xFF}};
    PutLe16(&f.Data[3], Kelvin100(live.AlternatorTemperature(0) - 10.0));
    return f;
}

constexpr Maker Rotation[] = {EngineRapid,  BatteryStatus,      DcDetailedStatus, WindData,
                              StandardData, ProductInformation, StandardRtr,      CogSogRapid,
                              PgnList,      IsoRequest,         BusError,         Temperature};
constexpr uint32_t RotationLength = sizeof Rotation / sizeof Rotation[0];

}  // namespace

uint32_t N2kIdentifier(uint8_t priority, uint32_t pgn, uint8_t source, uint8_t destination) {
    uint32_t pf = (pgn >> 8) & 0xFF;
    uint32_t group = pf < 240 ? (pgn & 0x3FF00) | destination : pgn & 0x3FFFF;
    return (uint32_t(priority & 0x07) << 26) | (group << 8) | source;
}

void CanTraffic::Fill(DeviceReport& answer, const LiveSystem& live) {
    answer.fill(0);
    ++calls_;
    // The bus is not always busy: some answers carry one frame or none.
    const bool firstEmpty = calls_ % 7 == 0;
    const bool secondEmpty = calls_ % 3 == 0;
    uint8_t* slots[2] = {answer.data(), answer.data() + CanSecondRecordOffset};
    const bool empty[2] = {firstEmpty, secondEmpty};
    for (int s = 0; s < 2; ++s) {
        if (empty[s]) continue;
        CanFrame f = Rotation[next_](live, sequence_);
        next_ = (next_ + 1) % RotationLength;
        ++sequence_;
        WriteRecord(slots[s], f);
    }
}

}  // namespace korvan
