// Request targets reach the relay server from anyone: whatever their bytes, a
// request is answered with a known status, a refused one leaves nothing
// behind, and an accepted one is relayed to the other side unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/relay/relay_service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    korvan::RelayLimits limits;
    limits.MaxSessions = 4;
    korvan::RelayService service(limits);
    const korvan::RelayReply reply = service.Handle("GET", target);
    switch (reply.Status) {
        case 200:
            if (service.Sessions() != 1) __builtin_trap();
            break;
        case 400:
        case 404:
        case 414:
            if (service.Sessions() != 0 || service.WaitingBytes() != 0) __builtin_trap();
            break;
        default:
            __builtin_trap();
    }
    if (reply.Body != korvan::RelayPage("")) __builtin_trap();  // nobody posted before
    return 0;
}
