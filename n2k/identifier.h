// The 29-bit identifier of an NMEA 2000 frame, split the ISO 11783 way.
#pragma once

#include <cstdint>

namespace korvan::n2k {

constexpr uint8_t Global = 0xFF;  // the destination of every broadcast (PDU2) frame

struct CanId {
    uint8_t Priority = 0;  // 0-7, 0 the most urgent
    uint32_t Pgn = 0;      // 18 bits: data page, extended data page, PDU format and specific
    uint8_t Source = 0;
    uint8_t Destination = Global;

    bool operator==(const CanId&) const = default;
};

// PDU format below 240 (PDU1): the PDU-specific byte is the destination and the
// PGN's low byte is 0. From 240 (PDU2): the PDU-specific byte is part of the PGN
// and the frame goes to every node.
constexpr bool IsPdu1(uint32_t pgn) { return ((pgn >> 8) & 0xFF) < 240; }

CanId SplitIdentifier(uint32_t identifier);
// The inverse of SplitIdentifier for every CanId it returns; a PDU1 PGN's low byte
// and a PDU2 frame's destination are not part of the identifier.
uint32_t JoinIdentifier(const CanId& id);

}  // namespace korvan::n2k
