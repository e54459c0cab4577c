// The eight charge profiles: their block (second System Control Module settings
// block), the derived voltages and the profile checks.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "model/values.h"

namespace korvan {

constexpr size_t ChargeProfilesLength = 59;
constexpr size_t ChargeProfileCount = 8;

struct ChargeProfile {
    double WarmupTarget;
    double WarmupLimit;  // derived on decoding: WarmupTarget - 0.1
    double BulkTarget;
    double BulkLimit;  // derived on decoding: BulkTarget + 0.2
    double FloatTarget;
    double FloatLeave;  // derived on decoding: FloatTarget - 0.3
};

// "FLA", "AGM", "GEL", "FireFly", "LiFePO4", "Custom #1", "Custom #2", "Custom #3".
const std::array<std::string, ChargeProfileCount>& ChargeProfileNames();

struct ControlBoxSettings;
void DecodeChargeProfiles(const Buffer64& in, ControlBoxSettings& out);
void EncodeChargeProfiles(const ControlBoxSettings& settings, Buffer64& out);
// The profile checks (part of ValidateControlBoxSettings).
void ValidateChargeProfile(ChargeProfile& p);

}  // namespace korvan
