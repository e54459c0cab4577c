#include "display/can_format.h"

#include <cstdio>

namespace korvan {

namespace {

struct KindRow {
    const char* Text;
    int Tabs;  // lines the columns up behind texts of different lengths
};

constexpr KindRow KindRows[] = {
    {"Raw frame", 3},
    {"Error frame", 3},
    {"Standard data frame", 2},
    {"Standard RTR frame", 2},
    {"Extended data frame", 2},
    {"Extended RTR frame", 2},
    {"N2K message", 3},
    {"Fast packed N2K message", 2},
    {"Multi-frame (FP) N2K message", 1},
    {"Multi-frame (TP) N2K message", 1},
};

constexpr size_t MaxPrintedBytes = 8;

}  // namespace

CanFrameRecord ParseCanFrameRecord(const uint8_t* p) {
    CanFrameRecord r;
    r.Kind = p[0];
    r.Identifier =
        uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
    r.DataLength = p[8];
    for (size_t i = 0; i < r.Data.size(); ++i) r.Data[i] = p[9 + i];
    return r;
}

std::string CanFrameKindText(uint8_t kind) {
    if (kind >= std::size(KindRows)) return {};
    const KindRow& row = KindRows[kind];
    return std::string(row.Text) + std::string(size_t(row.Tabs), '\t');
}

std::array<std::string, CanFrameColumnCount> CanFrameColumns(const CanFrameRecord& frame,
                                                             bool hex) {
    std::array<std::string, CanFrameColumnCount> columns;
    if (frame.Kind < std::size(KindRows)) columns[0] = KindRows[frame.Kind].Text;
    columns[1] = std::to_string(frame.DataLength) + " bytes";

    char buf[32];
    if (hex) {
        std::snprintf(buf, sizeof buf, "ID=0x%08X", unsigned(frame.Identifier));
    } else {
        // The identifier is shown as the signed 32-bit number it is held as.
        std::snprintf(buf, sizeof buf, "ID=%d", int32_t(frame.Identifier));
    }
    columns[2] = buf;

    const size_t count = frame.DataLength < MaxPrintedBytes ? frame.DataLength : MaxPrintedBytes;
    for (size_t i = 0; i < count; ++i) {
        if (hex)
            std::snprintf(buf, sizeof buf, "b%zu=0x%02X", i, unsigned(frame.Data[i]));
        else
            std::snprintf(buf, sizeof buf, "b%zu=%u", i, unsigned(frame.Data[i]));
        columns[3 + i] = buf;
    }
    return columns;
}

std::string FormatCanFrame(const CanFrameRecord& frame, bool hex) {
    const std::array<std::string, CanFrameColumnCount> columns = CanFrameColumns(frame, hex);
    std::string line = CanFrameKindText(frame.Kind);
    for (size_t i = 1; i < columns.size() && !columns[i].empty(); ++i) line += columns[i] + '\t';
    return line;
}

}  // namespace korvan
