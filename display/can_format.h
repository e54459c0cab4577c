// One CAN frame as the System Control Module reports it in its answer to the
// frame request, and the text line the frame monitor shows for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvan {

// A 20-byte record; the answer to the frame request carries two of them.
struct CanFrameRecord {
    uint8_t Kind = 0;         // 0-9, see CanFrameKindText
    uint32_t Identifier = 0;  // little-endian in the record
    uint8_t DataLength = 0;   // 0: the slot holds no frame; may exceed 8 for multi-frame kinds
    std::array<uint8_t, 8> Data{};
};

constexpr size_t CanFrameRecordLength = 20;
// Offsets of the two records inside the 64-byte answer.
constexpr size_t CanFrameRecordOffsets[2] = {0, 32};

// Reads one record from `p`, which must hold CanFrameRecordLength bytes.
CanFrameRecord ParseCanFrameRecord(const uint8_t* p);

// The kind text followed by its TABs; empty for kinds above 9.
std::string CanFrameKindText(uint8_t kind);
constexpr uint8_t CanFrameKindCount = 10;

// One line of the frame monitor; every line ends with a TAB.
std::string FormatCanFrame(const CanFrameRecord& frame, bool hex);

// The fields of that line, one per column: the kind text (no TABs), the length,
// the identifier, b0-b7; fields the frame does not have are empty, so that a
// copy of the list has as many columns on every line.
constexpr size_t CanFrameColumnCount = 11;
std::array<std::string, CanFrameColumnCount> CanFrameColumns(const CanFrameRecord& frame, bool hex);

}  // namespace korvan
