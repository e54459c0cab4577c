// Frame records come from the System Control Module's answer: any bytes must
// give well-formed lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "display/can_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t answer[64] = {};
    std::memcpy(answer, data, size < sizeof answer ? size : sizeof answer);
    for (size_t offset : korvan::CanFrameRecordOffsets) {
        const korvan::CanFrameRecord frame = korvan::ParseCanFrameRecord(answer + offset);
        for (bool hex : {true, false}) {
            const std::string line = korvan::FormatCanFrame(frame, hex);
            if (line.empty() || line.back() != '\t') std::abort();
        }
    }
    return 0;
}
