// Bodies from the relay server are untrusted: the extraction and both parsers
// must hold for any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "relay/relay_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const std::string message = korvan::ExtractMessage(body);
    if (message.size() > body.size()) __builtin_trap();

    for (int role = 0; role < 2; ++role) {
        korvan::RelayState state;
        state.InKind = 7;
        state.RelayRole = static_cast<uint8_t>(role);
        std::string error;
        const bool ok = korvan::ParseRelayResponse(state, body, error);
        if (state.InCount < 0 || state.InCount > static_cast<int>(korvan::RelayBufferSize))
            __builtin_trap();
        if (!ok && (state.InCount != 0 || error.empty() || state.InKind != 7)) __builtin_trap();
        if (ok && state.RelayStatusText.empty()) __builtin_trap();
    }
    return 0;
}
