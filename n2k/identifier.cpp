#include "n2k/identifier.h"

namespace korvan::n2k {

CanId SplitIdentifier(uint32_t identifier) {
    CanId id;
    id.Priority = uint8_t((identifier >> 26) & 0x07);
    id.Source = uint8_t(identifier & 0xFF);
    const uint32_t pgn = (identifier >> 8) & 0x3FFFF;
    if (IsPdu1(pgn)) {
        id.Pgn = pgn & 0x3FF00;
        id.Destination = uint8_t(pgn & 0xFF);
    } else {
        id.Pgn = pgn;
        id.Destination = Global;
    }
    return id;
}

uint32_t JoinIdentifier(const CanId& id) {
    const uint32_t pgn = id.Pgn & 0x3FFFF;
    const uint32_t group = IsPdu1(pgn) ? (pgn & 0x3FF00) | id.Destination : pgn;
    return (uint32_t(id.Priority & 0x07) << 26) | (group << 8) | id.Source;
}

}  // namespace korvan::n2k
