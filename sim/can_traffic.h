// NMEA 2000 traffic the control box has seen on the bus, handed out two frame
// records per CmdCanFrames answer (20-byte records at offsets 0 and 32).
#pragma once

#include <cstddef>
#include <cstdint>

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

  private:
    uint32_t calls_ = 0;
    uint32_t next_ = 0;
    uint8_t sequence_ = 0;  // NMEA 2000 SID, also the fast-packet sequence counter
};

}  // namespace korvan
