// Which bytes of an NMEA 2000 message a frame record of the control box holds.
//
// A record carries at most 8 data bytes; its data length is the length of the
// whole message, which for kinds 7-9 is more than 8. By kind:
//   0, 4, 6  one CAN frame: b0-b7 are message bytes 0-7 (kinds 0 and 4 are NMEA
//            2000 only with a 29-bit identifier);
//   5        an extended remote request: no data;
//   7, 8     one frame of a fast packet, as sent on the bus: b0 is the sequence
//            counter (bits 7-5) and the frame's index (bits 4-0); in frame 0, b1 is
//            the message length and b2-b7 are message bytes 0-5; in frame n > 0,
//            b1-b7 are message bytes 6 + 7 (n - 1) onwards;
//   9        a transport-protocol message: b0-b7 are message bytes 0-7;
//   1, 2, 3  error and 11-bit frames: not NMEA 2000.
// A field is decoded when all its bits are among the bytes held; the others are
// "not in record", unless consecutive fast-packet frames bring the whole message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "display/can_format.h"
#include "n2k/decode.h"
#include "n2k/identifier.h"

namespace korvan::n2k {

struct RecordBytes {
    bool N2k = false;
    CanId Id;
    uint16_t MessageLength = 0;  // the record's data length
    uint16_t First = 0;          // message offset of Bytes[0]
    uint8_t Count = 0;           // message bytes held
    std::array<uint8_t, 8> Bytes{};
    bool FastPacket = false;  // kinds 7 and 8
    uint8_t Sequence = 0;     // fast packet only
    uint8_t FrameIndex = 0;   // fast packet only

    MessageBytes View() const { return {Bytes.data(), First, Count}; }
};

constexpr uint32_t MaxStandardIdentifier = 0x7FF;

RecordBytes ReadRecordBytes(const CanFrameRecord& record);

// Gathers consecutive frames of fast packets, one message per source and PGN at a
// time; a frame out of order drops that message's frames so far.
class FastPacketAssembler {
  public:
    static constexpr size_t MaxMessageLength = 223;  // 6 + 31 * 7
    // The whole message when `frame` completes it, else nullptr.
    std::shared_ptr<const std::vector<uint8_t>> Add(const RecordBytes& frame);
    void Clear() { pending_.clear(); }

  private:
    struct Pending {
        uint8_t Sequence = 0;
        uint8_t NextIndex = 0;
        size_t Length = 0;
        std::vector<uint8_t> Bytes;
    };
    std::map<uint32_t, Pending> pending_;  // by PGN and source
};

struct DecodedFrame {
    RecordBytes Record;
    const PgnDef* Def = nullptr;  // nullptr: not NMEA 2000 or an unknown PGN
    // The whole message when this record completed a fast packet.
    std::shared_ptr<const std::vector<uint8_t>> Whole;
    std::vector<DecodedField> Fields;

    MessageBytes Bytes() const {
        return Whole ? MessageBytes{Whole->data(), 0, Whole->size()} : Record.View();
    }
};

// Records in the order they arrived: names them and decodes their fields,
// reassembling fast packets on the way.
class Decoder {
  public:
    DecodedFrame Decode(const CanFrameRecord& record, bool withFields = true);
    void Reset() { assembler_.Clear(); }

  private:
    FastPacketAssembler assembler_;
};

}  // namespace korvan::n2k
