#include "sim/defaults.h"

#include <algorithm>
#include <cstring>

namespace korvan {

namespace {

struct ProfileTargets {
    double Warmup;
    double Bulk;
    double Float;
};

// Typical 12 V targets per battery chemistry, in profile order.
constexpr ProfileTargets DefaultProfileTargets[ChargeProfileCount] = {
    {14.40, 14.60, 13.40},  // FLA
    {14.30, 14.40, 13.50},  // AGM
    {14.00, 14.10, 13.70},  // GEL
    {14.10, 14.20, 13.30},  // FireFly
    {13.80, 14.00, 13.50},  // LiFePO4
    {14.20, 14.40, 13.40},  // Custom #1
    {14.20, 14.40, 13.40},  // Custom #2
    {14.20, 14.40, 13.40},  // Custom #3
};

void PutSpacePadded(char (&field)[16], const char* text) {
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, text, std::min(std::strlen(text), sizeof field));
}

}  // namespace

ControlBoxSettings DefaultControlBoxSettings() {
    ControlBoxSettings s;
    std::memset(&s, 0, sizeof s);
    s.DeviceId = 3;
    s.Version = 4;
    s.SerialDay = 14;
    s.SerialMonth = 3;
    s.SerialYear = 25;
    s.SerialNumber = 41;
    s.WifiMode = 0;
    PutSpacePadded(s.WifiSsid, "KORVAN");
    PutSpacePadded(s.WifiPassword, "kx4demo1");
    s.UseBluetooth = 1;
    s.UseNmea2000 = 1;
    for (size_t i = 0; i < ChargeProfileCount; ++i) {
        const ProfileTargets& t = DefaultProfileTargets[i];
        s.Profiles[i] =
            ChargeProfile{t.Warmup, t.Warmup - 0.1, t.Bulk, t.Bulk + 0.2, t.Float, t.Float - 0.3};
    }
    s.ProfileIndex = 0;
    s.BatteryChargeCurrentLimit = 200;
    s.WarmupDuration = 60;
    s.MandatoryBulkDuration = 120;
    s.MaxWiringVoltageDrop = 0.5;
    s.RefreshRate = 40;
    s.Alt1CurrentLimit = 120;
    s.Alt1ClimbCoefficient = 5;
    s.Alt1CollapseCoefficient = 200;
    s.Alt1ToleranceBand = 0.05;
    s.Alt2CurrentLimit = 100;
    s.Alt2ClimbCoefficient = 5;
    s.Alt2CollapseCoefficient = 200;
    s.Alt2ToleranceBand = 0.05;
    return s;
}

BatteryBoxSettings DefaultBatteryBoxSettings() {
    BatteryBoxSettings s;
    std::memset(&s, 0, sizeof s);
    s.Marker = 0xFF;
    s.DeviceId = 2;
    s.Version = 5;
    s.SerialDay = 14;
    s.SerialMonth = 3;
    s.SerialYear = 25;
    s.SerialNumber = 42;
    s.BankSize = 400;
    s.TempCoefficient = 0.015;
    s.VoltageAt100 = 12.7;
    s.VoltageAt80 = 12.5;
    s.VoltageAt20 = 12.2;
    s.VoltageAt0 = 12.0;
    s.WiringResistance = 0.001;
    s.UseSsp = 0;
    s.SspThreshold = 16.0;
    s.FaultTemp1 = s.FaultTemp2 = s.FaultTemp3 = 50;
    s.WarningTemp1 = s.WarningTemp2 = s.WarningTemp3 = 40;
    s.FaultDischargeCurrent = 250;
    s.WarningDischargeCurrent = 225;
    s.FaultVoltage = 16.0;
    s.WarningVoltage = 15.0;
    s.WarningSoc = 20;
    s.BatteryVoltageAdjuster = 1.0;
    s.LoadsVoltageAdjuster = 1.0;
    return s;
}

FieldBoxSettings DefaultFieldBoxSettings(int index) {
    FieldBoxSettings s;
    std::memset(&s, 0, sizeof s);
    s.Marker = 0xFF;
    s.DeviceId = 2;
    s.Version = 3;
    s.SerialDay = 14;
    s.SerialMonth = 3;
    s.SerialYear = 25;
    s.SerialNumber = static_cast<uint8_t>(43 + index);
    s.PulleyRatio = 2.5;
    s.Poles = 12;
    s.TachCompensator = 1.0;
    s.FaultTemp = 110;
    s.WarningTemp = 100;
    s.LowRpmLimit = 500;
    s.UseWarningLight = 1;
    return s;
}

}  // namespace korvan
