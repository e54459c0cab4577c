#include "display/gauge_logic.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace korvan {

GaugeLevel GaugeColourLevel(double warn, double alarm, double value) {
    GaugeLevel level = GaugeLevel::Normal;
    if (alarm > warn) {
        if (value > warn) level = GaugeLevel::Warning;
        if (value > alarm) level = GaugeLevel::Alarm;
    } else if (alarm < warn) {
        if (value < warn) level = GaugeLevel::Warning;
        if (value < alarm) level = GaugeLevel::Alarm;
    }
    return level;
}

std::string GaugeIntText(double min, double max, long long value) {
    const double v = double(value);
    if (min > v || v > max) return OutOfRangeText;
    return std::to_string(value);
}

std::string GaugeRealText(double min, double max, double value, char sep) {
    // NaN fails both comparisons, so it is tested for on its own.
    if (std::isnan(value) || min > value || value > max) return OutOfRangeText;
    double v = value;
    const double magnitude = std::fabs(v);
    if (magnitude >= 1000 && std::isfinite(v)) {
        // More than three whole digits: two decimals would exceed five significant digits.
        const int wholeDigits = int(std::floor(std::log10(magnitude))) + 1;
        const double step = std::pow(10.0, wholeDigits - 5);
        v = std::round(v / step) * step;
    }
    // to_chars, unlike printf, ignores the C locale that the toolkit sets from the environment.
    char buf[400];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2).ptr;
    std::string text(buf, end);
    if (text == "-0.00") text = "0.00";
    for (char& c : text)
        if (c == '.') c = sep;
    return text;
}

namespace {

// Indices into OutlineGeometry::RectTopLeft, the order of OutlineGauge.
enum Slot {
    SocSlot,
    CurrentSlot,
    VoltageSlot,
    TempSlot,
    LoadSlot,
    AltCurrent1Slot,
    AltTemp1Slot,
    Rpm1Slot,
    Field1Slot,
    AltCurrent2Slot,
    AltTemp2Slot,
    Rpm2Slot,
    Field2Slot,
    FrsSlot,
};

}  // namespace

OutlineGeometry ComputeOutlineGeometry(int width, int height) {
    const int w = width, h = height;
    OutlineGeometry g;
    g.A = w / 8;
    g.Half = g.A / 2;
    g.M = h / 64;
    g.N = w / 64;
    g.Gh = 12 * (g.A / 16);
    const int a = g.A, half = g.Half, m = g.M, n = g.N, gh = g.Gh;
    auto& r = g.RectTopLeft;
    r[SocSlot] = {w / 10 - half, m};
    r[CurrentSlot] = {(3 * w) / 10 - half, m};
    r[VoltageSlot] = {(5 * w) / 10 - half, m};
    r[TempSlot] = {(7 * w) / 10 - half, m};
    r[LoadSlot] = {(9 * w) / 10 - half, m};
    r[AltCurrent1Slot] = {n, h - 3 * m - 3 * gh};
    r[AltTemp1Slot] = {n, h - 2 * m - 2 * gh};
    r[Rpm1Slot] = {n, h - m - gh};
    r[Field1Slot] = {n + a + n, h - m - gh};
    r[AltCurrent2Slot] = {w - n - a, h - 3 * m - 3 * gh};
    r[AltTemp2Slot] = {w - n - a, h - 2 * m - 2 * gh};
    r[Rpm2Slot] = {w - n - a, h - m - gh};
    r[Field2Slot] = {w - n - a - n - a, h - m - gh};
    r[FrsSlot] = {w / 2 - half, h - m - gh};

    const int frsLeft = r[FrsSlot].X;
    const int frsRight = frsLeft + 16 * (a / 16) - 1;  // inclusive edge
    g.FrsPlus = {frsLeft - gh - m, r[FrsSlot].Y};
    g.FrsMinus = {frsRight + m, r[FrsSlot].Y};

    g.Center = {w / 2, h / 2};
    g.CenterSize = int(std::nearbyint(h / 1.75));  // half to even
    return g;
}

std::string TimeToChargeText(uint8_t chargingStage, int32_t batteryCurrent, double chargeContent,
                             int soc) {
    if (chargingStage == 0 || batteryCurrent <= 2 || !(chargeContent > 0) || soc < 1 || soc > 100)
        return {};
    const double s = soc / 100.0;
    const double missing = (1 - s) * chargeContent / s;
    const double hours = missing / batteryCurrent;
    if (!std::isfinite(hours) || hours >= 1e15) return {};  // minutes must fit a long long
    // The system's estimate: the fraction of the hour times 59, so minutes run 0-58,
    // without zero padding ("Time to charge 3:5").
    const double whole = std::floor(hours);
    const long long hh = (long long)whole;
    const long long mm = (long long)std::floor((hours - whole) * 59);
    char buf[64];
    std::snprintf(buf, sizeof buf, "Time to charge %lld:%lld", hh, mm);
    return buf;
}

const char* ChargeModeText(uint8_t chargingStage) {
    static constexpr const char* Texts[] = {
        "Battery: Monitoring",  "Battery: Warm-up", "Battery: Mandatory Bulk",
        "Battery: Bulk/Absorb", "Battery: Float",
    };
    return chargingStage < std::size(Texts) ? Texts[chargingStage] : nullptr;
}

}  // namespace korvan
