// NMEA 2000 traffic the control box has seen on the bus, handed out two frame
// records per CmdCanFrames answer (20-byte records at offsets 0 and 32).
//
// The values come from the simulated system: 127508 Battery Status and 127506 DC
// Detailed Status from the battery bank, 127507 Charger Status from the charging
// stage, 127488/127489 engine parameters from the field boxes' alternators, 126996
// product information of the control box. Reserved bits are sent as ones.
//
// The records hold their bytes as n2k/record.h describes per kind; a message of
// more than one fast-packet frame goes out frame by frame in consecutive slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>

#include "link/protocol.h"
#include "sim/live_system.h"

namespace korvan {

constexpr size_t CanFrameRecordSize = 20;
constexpr size_t CanSecondRecordOffset = 32;

// 29-bit NMEA 2000 identifier; for a destination-addressed PGN (PDU1) `destination`
// takes the PGN's low byte.
uint32_t N2kIdentifier(uint8_t priority, uint32_t pgn, uint8_t source, uint8_t destination = 0xFF);

class CanTraffic {
  public:
    // Writes the next two records of the rotation (now and then a slot is left
    // empty, data length 0) with values taken from the live system.
    void Fill(DeviceReport& answer, const LiveSystem& live);

    // Source addresses of the simulated nodes.
    static constexpr uint8_t ControlBoxAddress = 0x23;
    static constexpr uint8_t BatteryBoxAddress = 0x24;
    // 126996 goes out whole in the first rotation and in every this many after it.
    static constexpr uint32_t ProductInformationEvery = 8;

  private:
    static constexpr uint8_t SidCount = 253;
    struct Record {
        uint8_t Kind;
        uint32_t Identifier;
        uint8_t Length;
        uint8_t Data[8];
    };
    void Enqueue(const LiveSystem& live);

    std::deque<Record> queue_;  // frames of the current rotation step
    uint32_t rotations_ = 0;
    uint32_t calls_ = 0;
    uint32_t next_ = 0;
    std::map<uint32_t, uint8_t> fastPacketCounters_;  // by identifier without priority
    uint8_t sequence_ = 0;  // NMEA 2000 SID, 0-252 (253-255 are no data, error, reserved)
};

}  // namespace korvan
