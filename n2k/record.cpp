#include "n2k/record.h"

#include <algorithm>

namespace korvan::n2k {

RecordBytes ReadRecordBytes(const CanFrameRecord& record) {
    RecordBytes out;
    out.MessageLength = record.DataLength;
    const uint8_t held = std::min<uint8_t>(record.DataLength, 8);
    switch (record.Kind) {
        case 0:
        case 4:
        case 5:
            out.N2k = record.Identifier > MaxStandardIdentifier && record.Identifier <= 0x1FFFFFFF;
            break;
        case 6:
        case 7:
        case 8:
        case 9:
            out.N2k = record.Identifier <= 0x1FFFFFFF;
            break;
        default:
            return out;
    }
    if (!out.N2k) return out;
    out.Id = SplitIdentifier(record.Identifier);
    if (record.Kind == 5) return out;
    if (record.Kind == 7 || record.Kind == 8) {
        out.FastPacket = true;
        out.Sequence = record.Data[0] >> 5;
        out.FrameIndex = record.Data[0] & 0x1F;
        const size_t skip = out.FrameIndex == 0 ? 2 : 1;
        out.First = out.FrameIndex == 0 ? 0 : uint16_t(6 + 7 * (out.FrameIndex - 1));
        const size_t left = out.MessageLength > out.First ? out.MessageLength - out.First : 0;
        out.Count = uint8_t(std::min<size_t>(8 - skip, left));
        std::copy_n(record.Data.begin() + long(skip), out.Count, out.Bytes.begin());
        return out;
    }
    out.Count = held;
    std::copy_n(record.Data.begin(), held, out.Bytes.begin());
    return out;
}

std::shared_ptr<const std::vector<uint8_t>> FastPacketAssembler::Add(const RecordBytes& frame) {
    if (!frame.FastPacket) return nullptr;
    const uint32_t key = frame.Id.Pgn << 8 | frame.Id.Source;
    if (frame.FrameIndex == 0) {
        const size_t length = frame.Count == 0 ? 0 : frame.MessageLength;
        if (length == 0 || length > MaxMessageLength) {
            pending_.erase(key);
            return nullptr;
        }
        if (pending_.size() >= 256) pending_.clear();  // bounded whatever the bus sends
        Pending& p = pending_[key];
        p = Pending{frame.Sequence, 1, length, {}};
        p.Bytes.assign(frame.Bytes.begin(), frame.Bytes.begin() + frame.Count);
    } else {
        auto it = pending_.find(key);
        if (it == pending_.end()) return nullptr;
        Pending& p = it->second;
        if (p.Sequence != frame.Sequence || p.NextIndex != frame.FrameIndex ||
            frame.MessageLength != p.Length) {
            pending_.erase(it);
            return nullptr;
        }
        p.Bytes.insert(p.Bytes.end(), frame.Bytes.begin(), frame.Bytes.begin() + frame.Count);
        ++p.NextIndex;
    }
    auto it = pending_.find(key);
    if (it->second.Bytes.size() < it->second.Length) return nullptr;
    auto whole = std::make_shared<std::vector<uint8_t>>(std::move(it->second.Bytes));
    whole->resize(it->second.Length);
    pending_.erase(it);
    return whole;
}

DecodedFrame Decoder::Decode(const CanFrameRecord& record, bool withFields) {
    DecodedFrame out;
    out.Record = ReadRecordBytes(record);
    if (!out.Record.N2k) return out;
    out.Whole = assembler_.Add(out.Record);
    const MessageBytes bytes = out.Bytes();
    out.Def = FindPgn(out.Record.Id.Pgn, bytes);
    if (out.Def != nullptr && withFields) out.Fields = DecodeFields(*out.Def, bytes);
    return out;
}

}  // namespace korvan::n2k
