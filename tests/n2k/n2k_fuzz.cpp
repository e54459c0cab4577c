// Frame records come from the bus through the control box: any bytes. The
// decoder, the reassembly and the field decoding must hold for all of them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "n2k/record.h"

using namespace korvan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A sequence of 14-byte records: kind, identifier, data length, 8 data bytes.
    n2k::Decoder decoder;
    for (size_t at = 0; at + 14 <= size; at += 14) {
        CanFrameRecord r;
        r.Kind = data[at] % 12;
        std::memcpy(&r.Identifier, data + at + 1, 4);
        r.DataLength = data[at + 5];
        std::memcpy(r.Data.data(), data + at + 6, 8);
        // Often one of the fast-packet PGNs the system uses, so that frames gather.
        if (data[at] & 0x80) r.Identifier = (r.Identifier & 0x1C0000FF) | (127489u << 8);
        const n2k::DecodedFrame f = decoder.Decode(r);
        if (f.Record.Count > 8 || size_t(f.Record.First) + f.Record.Count > 255) __builtin_trap();
        if (f.Whole && f.Whole->size() > n2k::FastPacketAssembler::MaxMessageLength)
            __builtin_trap();
        for (const n2k::DecodedField& field : f.Fields)
            if (field.Def == nullptr) __builtin_trap();
    }
    // Any PGN over any window of a message.
    if (size >= 6) {
        uint32_t pgn;
        std::memcpy(&pgn, data, 4);
        pgn &= 0x3FFFF;
        const n2k::MessageBytes bytes{data + 6, data[4], size - 6};
        if (const n2k::PgnDef* def = n2k::FindPgn(pgn, bytes)) n2k::DecodeFields(*def, bytes);
    }
    return 0;
}
