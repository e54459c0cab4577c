// The parts of the gauges and the outline page that are plain arithmetic and
// text: the colour rule, the value texts, the page geometry, the time to full
// charge. Kept free of the toolkit so they are checked on their own.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvan {

inline constexpr const char* OutOfRangeText = "---";

enum class GaugeLevel { Normal, Warning, Alarm };

// Warn above `warn` and alarm above `alarm` on a rising scale (alarm > warn),
// below them on a falling scale (alarm < warn); equal levels never colour.
GaugeLevel GaugeColourLevel(double warn, double alarm, double value);

// "---" outside [min, max], else the value in decimal.
std::string GaugeIntText(double min, double max, long long value);
// "---" outside [min, max], else fixed with two decimals after rounding to five
// significant digits, written with the decimal separator `sep`.
std::string GaugeRealText(double min, double max, double value, char sep);

// Where the outline page puts its gauges, from its client size.
struct OutlineGeometry {
    int A = 0;  // nominal size of a rectangular gauge
    int Half = 0;
    int M = 0;   // vertical margin
    int N = 0;   // horizontal margin
    int Gh = 0;  // drawn height of a rectangular gauge
    struct Point {
        int X = 0, Y = 0;
    };
    std::array<Point, 14> RectTopLeft{};  // in the order of OutlineGauge
    Point FrsPlus, FrsMinus;              // top-left of the square buttons, Gh wide
    Point Center;                         // centre of the round gauge
    int CenterSize = 0;
};
OutlineGeometry ComputeOutlineGeometry(int width, int height);

// "Time to charge h:mm", or empty when no estimate can be made.
std::string TimeToChargeText(uint8_t chargingStage, int32_t batteryCurrent, double chargeContent,
                             int soc);

// The charging stage line, or null for a stage code the page does not name
// (the label then keeps its text).
const char* ChargeModeText(uint8_t chargingStage);

}  // namespace korvan
