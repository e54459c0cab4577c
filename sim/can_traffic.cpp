#include "sim/can_traffic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "model/control_box.h"

namespace korvan {

namespace {

// One message as a node puts it on the bus; kinds 7 and 8 are split into
// fast-packet frames, the others take one record.
struct Message {
    uint8_t Kind;
    uint32_t Identifier;
    std::vector<uint8_t> Bytes;
    uint8_t Length = 0;  // only for kinds without data (remote requests)
};

void PutLe16(std::vector<uint8_t>& m, size_t at, long v) {
    m[at] = static_cast<uint8_t>(v & 0xFF);
    m[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void PutText(std::vector<uint8_t>& m, size_t at, size_t width, const std::string& text) {
    for (size_t i = 0; i < width; ++i) m[at + i] = i < text.size() ? uint8_t(text[i]) : 0xFF;
}

long Kelvin100(double celsius) { return std::lround((celsius + 273.15) * 100); }

std::vector<uint8_t> Ones(size_t n) { return std::vector<uint8_t>(n, 0xFF); }

Message EngineRapid(const LiveSystem& live, int engine, uint8_t) {  // PGN 127488
    std::vector<uint8_t> m = {uint8_t(engine), 0, 0, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF};
    PutLe16(m, 1, std::lround(live.Rpm(engine) * 4));
    return {6, N2kIdentifier(2, 127488, CanTraffic::ControlBoxAddress), m};
}

// PGN 127489, 26 bytes: the unsigned fields' "no data" is all ones, the signed ones'
// the largest positive value.
Message EngineDynamic(const LiveSystem& live, int engine, uint8_t) {
    std::vector<uint8_t> m = Ones(26);
    m[0] = uint8_t(engine);
    PutLe16(m, 7, std::lround(live.BatteryVoltage() * 100));  // alternator potential
    PutLe16(m, 9, 0x7FFF);  // fuel rate, signed: no data is 0x7FFF (all ones is -0.1 L/h)
    for (size_t i = 20; i < 24; ++i) m[i] = 0;  // discrete status: no alarms
    m[24] = 0x7F;                               // engine load: no data
    m[25] = 0x7F;                               // engine torque: no data
    return {8, N2kIdentifier(2, 127489, CanTraffic::ControlBoxAddress), m};
}

Message BatteryStatus(const LiveSystem& live, uint8_t sid) {  // PGN 127508
    std::vector<uint8_t> m = {0, 0, 0, 0, 0, 0, 0, sid};
    PutLe16(m, 1, std::lround(live.BatteryVoltage() * 100));
    PutLe16(m, 3, std::lround(live.BatteryCurrent() * 10));
    // A missing sensor is sent as "no data", as the battery box reports it.
    PutLe16(m, 5,
            live.Config().BatterySensorMissing[0] ? 0xFFFF : Kelvin100(live.BatteryTemperature(0)));
    return {4, N2kIdentifier(6, 127508, CanTraffic::BatteryBoxAddress), m};
}

Message DcDetailedStatus(const LiveSystem& live, uint8_t sid) {  // PGN 127506, 11 bytes
    std::vector<uint8_t> m = Ones(11);
    m[0] = sid;
    m[1] = 0;  // instance
    m[2] = 0;  // battery
    m[3] = uint8_t(std::clamp<long>(std::lround(live.Soc()), 0, 100));
    m[4] = 100;  // state of health
    return {7, N2kIdentifier(6, 127506, CanTraffic::BatteryBoxAddress), m};
}

Message ChargerStatus(const LiveSystem& live, uint8_t) {  // PGN 127507, 6 bytes
    uint8_t state = 0;                                    // not charging
    switch (live.Stage()) {
        case StageWarmup:
        case StageMandatoryBulk:
            state = 1;  // bulk
            break;
        case StageBulkAbsorb:
            state = 2;  // absorption
            break;
        case StageFloat:
            state = 5;  // float
            break;
        default:
            break;
    }
    // Standalone mode; enabled on, equalisation pending off, 4 reserved bits;
    // equalisation time remaining: no data.
    std::vector<uint8_t> m = {0, 0, state, 0xF1, 0xFF, 0xFF};
    return {7, N2kIdentifier(6, 127507, CanTraffic::ControlBoxAddress), m};
}

Message ProductInformation(const LiveSystem&, uint8_t) {  // PGN 126996, 134 bytes
    std::vector<uint8_t> m(134, 0xFF);
    PutLe16(m, 0, 2100);  // NMEA 2000 version 2.100
    PutLe16(m, 2, 0x138A);
    PutText(m, 4, 32, "KORVAN KX4 Control Box");
    PutText(m, 36, 32, "1.0");
    PutText(m, 68, 32, "KX4-CB");
    PutText(m, 100, 32, "000001");
    m[132] = 1;  // certification level B
    m[133] = 1;  // load equivalency 50 mA
    return {8, N2kIdentifier(6, 126996, CanTraffic::ControlBoxAddress), m};
}

Message WindData(const LiveSystem& live, uint8_t sid) {  // PGN 130306
    double t = live.Time();
    // Apparent wind; the reference's 5 reserved bits and the last two bytes are ones.
    std::vector<uint8_t> m = {sid, 0, 0, 0, 0, 0xFA, 0xFF, 0xFF};
    PutLe16(m, 1, std::lround((6.0 + 2.0 * std::sin(t / 17.0)) * 100));
    PutLe16(m, 3, std::lround((0.8 + 0.2 * std::sin(t / 41.0)) * 10000));
    return {0, N2kIdentifier(2, 130306, 0x05), m};
}

Message CogSogRapid(const LiveSystem& live, uint8_t sid) {  // PGN 129026
    double t = live.Time();
    std::vector<uint8_t> m = {sid, 0xFC, 0, 0, 0, 0, 0xFF, 0xFF};
    PutLe16(m, 2, std::lround((1.2 + 0.05 * std::sin(t / 23.0)) * 10000));
    PutLe16(m, 4, std::lround((3.1 + 0.3 * std::sin(t / 31.0)) * 100));
    return {6, N2kIdentifier(2, 129026, 0x10), m};
}

Message Temperature(const LiveSystem& live, uint8_t sid) {  // PGN 130312, engine room
    std::vector<uint8_t> m = {sid, 0, 3, 0, 0, 0xFF, 0xFF, 0xFF};
    PutLe16(m, 3, Kelvin100(live.AlternatorTemperature(0) - 10.0));
    return {6, N2kIdentifier(5, 130312, CanTraffic::BatteryBoxAddress), m};
}

Message PgnList(const LiveSystem&, uint8_t) {  // PGN 126464 over the transport protocol
    std::vector<uint8_t> m = {0x00};           // transmit PGN list
    for (uint32_t pgn : {127488u, 127508u, 127506u, 127507u, 127489u, 126996u, 130312u})
        for (int i = 0; i < 3; ++i) m.push_back(uint8_t(pgn >> (8 * i)));
    m.resize(24, 0xFF);
    return {9, N2kIdentifier(6, 126464, CanTraffic::ControlBoxAddress), m};
}

Message IsoRequest(const LiveSystem&, uint8_t) {  // PGN 59904 addressed to the control box
    return {5, N2kIdentifier(6, 59904, 0x01, CanTraffic::ControlBoxAddress), {}, 3};
}

Message StandardData(const LiveSystem&, uint8_t sid) {
    return {2, 0x123, {sid, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
}

Message StandardRtr(const LiveSystem&, uint8_t) { return {3, 0x321, {}, 4}; }

Message BusError(const LiveSystem&, uint8_t) {  // controller reports an RX warning level
    return {1, 0x20000004, {0, 0x04, 0, 0, 0, 0, 0, 0}};
}

}  // namespace

uint32_t N2kIdentifier(uint8_t priority, uint32_t pgn, uint8_t source, uint8_t destination) {
    uint32_t pf = (pgn >> 8) & 0xFF;
    uint32_t group = pf < 240 ? (pgn & 0x3FF00) | destination : pgn & 0x3FFFF;
    return (uint32_t(priority & 0x07) << 26) | (group << 8) | source;
}

void CanTraffic::Enqueue(const LiveSystem& live) {
    const uint32_t step = next_;
    const uint8_t sid = sequence_;
    sequence_ = uint8_t((sequence_ + 1) % SidCount);
    std::vector<Message> messages;
    switch (step) {
        case 0:
            messages = {EngineRapid(live, 0, sid), BatteryStatus(live, sid)};
            break;
        case 1:
            messages = {DcDetailedStatus(live, sid), WindData(live, sid)};
            break;
        case 2:
            messages = {StandardData(live, sid), ChargerStatus(live, sid)};
            break;
        case 3:
            if (rotations_ % ProductInformationEvery == 0)
                messages = {ProductInformation(live, sid)};
            messages.push_back(StandardRtr(live, sid));
            break;
        case 4:
            messages = {CogSogRapid(live, sid), EngineRapid(live, 1, sid)};
            break;
        case 5:
            messages = {PgnList(live, sid), IsoRequest(live, sid)};
            break;
        case 6:
            messages = {BusError(live, sid), Temperature(live, sid)};
            break;
        default:
            messages = {EngineDynamic(live, 0, sid), BatteryStatus(live, sid)};
            break;
    }
    constexpr uint32_t Steps = 8;
    next_ = (next_ + 1) % Steps;
    if (next_ == 0) ++rotations_;

    // Only fitted modules talk: no battery box, no battery messages; a field box
    // that is not fitted has no engine.
    const SimConfig& config = live.Config();
    std::erase_if(messages, [&](const Message& m) {
        const uint8_t source = uint8_t(m.Identifier & 0xFF);
        const uint32_t pgn = (m.Identifier >> 8) & 0x3FFFF;
        if (source == BatteryBoxAddress && !config.BatteryBox) return true;
        if (pgn == 127488 || pgn == 127489)
            return m.Bytes[0] == 0 ? !config.FieldBox1 : !config.FieldBox2;
        return false;
    });
    for (const Message& m : messages) {
        const size_t length = m.Bytes.empty() ? m.Length : m.Bytes.size();
        if (m.Kind == 7 || m.Kind == 8) {
            // Frame 0: counter, length, 6 bytes; then counter and 7 bytes a frame. The
            // counter (3 bits) moves on with each message of that PGN from that source.
            uint8_t& next = fastPacketCounters_[m.Identifier & 0x3FFFFFF];
            const uint8_t counter = uint8_t(next << 5);
            next = uint8_t((next + 1) & 0x07);
            size_t at = 0;
            for (uint8_t frame = 0; at < length; ++frame) {
                Record r{m.Kind, m.Identifier, uint8_t(length), {}};
                std::memset(r.Data, 0xFF, sizeof r.Data);
                r.Data[0] = uint8_t(counter | frame);
                size_t to = 1;
                if (frame == 0) r.Data[to++] = uint8_t(length);
                for (; to < 8 && at < length; ++to) r.Data[to] = m.Bytes[at++];
                queue_.push_back(r);
            }
            continue;
        }
        Record r{m.Kind, m.Identifier, uint8_t(length), {}};
        std::copy_n(m.Bytes.begin(), std::min<size_t>(m.Bytes.size(), 8), r.Data);
        queue_.push_back(r);
    }
}

void CanTraffic::Fill(DeviceReport& answer, const LiveSystem& live) {
    answer.fill(0);
    ++calls_;
    // The bus is not always busy: some answers carry one frame or none. A fast
    // packet under way is never interrupted, so its frames stay consecutive.
    const bool firstEmpty = calls_ % 7 == 0 && queue_.empty();
    const bool secondEmpty = calls_ % 3 == 0;
    uint8_t* slots[2] = {answer.data(), answer.data() + CanSecondRecordOffset};
    const bool empty[2] = {firstEmpty, secondEmpty};
    for (int s = 0; s < 2; ++s) {
        if (empty[s] && (queue_.empty() || queue_.front().Kind < 7 || queue_.front().Kind > 8))
            continue;
        // A step may have nothing to send (its modules not fitted); every rotation
        // has frames of the control box.
        for (int step = 0; queue_.empty() && step < 8; ++step) Enqueue(live);
        if (queue_.empty()) continue;
        const Record r = queue_.front();
        queue_.pop_front();
        uint8_t* record = slots[s];
        std::memset(record, 0, CanFrameRecordSize);
        record[0] = r.Kind;
        for (int i = 0; i < 4; ++i) record[4 + i] = static_cast<uint8_t>(r.Identifier >> (8 * i));
        record[8] = r.Length;
        // A fast-packet frame is 8 bytes whatever the message's length (a 6-byte
        // message fills frame 0); other records carry their data length.
        const bool fast = r.Kind == 7 || r.Kind == 8;
        std::memcpy(record + 9, r.Data, fast ? 8 : std::min<size_t>(r.Length, 8));
    }
}

}  // namespace korvan
