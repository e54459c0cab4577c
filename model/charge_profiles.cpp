#include "model/charge_profiles.h"

#include "model/control_box.h"

namespace korvan {

const std::array<std::string, ChargeProfileCount>& ChargeProfileNames() {
    static const std::array<std::string, ChargeProfileCount> names = {
        "FLA", "AGM", "GEL", "FireFly", "LiFePO4", "Custom #1", "Custom #2", "Custom #3"};
    return names;
}

void DecodeChargeProfiles(const Buffer64& in, ControlBoxSettings& out) {
    for (size_t i = 0; i < ChargeProfileCount; ++i) {
        const uint8_t* p = in.data() + 1 + 6 * i;
        ChargeProfile& cp = out.Profiles[i];
        cp.WarmupTarget = GetSplitDecimal(p);
        cp.WarmupLimit = cp.WarmupTarget - 0.1;
        cp.BulkTarget = GetSplitDecimal(p + 2);
        cp.BulkLimit = cp.BulkTarget + 0.2;
        cp.FloatTarget = GetSplitDecimal(p + 4);
        cp.FloatLeave = cp.FloatTarget - 0.3;
    }
}

void EncodeChargeProfiles(const ControlBoxSettings& settings, Buffer64& out) {
    out.fill(0);
    out[0] = SettingsMarker;
    for (size_t i = 0; i < ChargeProfileCount; ++i) {
        uint8_t* p = out.data() + 1 + 6 * i;
        const ChargeProfile& cp = settings.Profiles[i];
        PutSplitDecimal(p, cp.WarmupTarget);
        PutSplitDecimal(p + 2, cp.BulkTarget);
        PutSplitDecimal(p + 4, cp.FloatTarget);
    }
    out[49] = SettingsMarker;
}

void ValidateChargeProfile(ChargeProfile& p) {
    auto inRange = [](double v) { return v >= 10.0 && v <= 15.0; };  // NaN fails
    if (!inRange(p.BulkTarget)) p.BulkTarget = 14.6;
    if (!inRange(p.FloatTarget)) p.FloatTarget = p.BulkTarget - 0.1;
    if (!inRange(p.WarmupTarget)) p.WarmupTarget = p.BulkTarget - 0.1;
}

}  // namespace korvan
