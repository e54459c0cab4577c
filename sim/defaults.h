// The settings a fresh KORVAN system holds: what the modules come up with at
// power-on and what the control box restores on a reset to defaults. Every
// value lies inside the tool's checks, so a read followed by a write changes
// nothing.
#pragma once

#include "model/battery_box.h"
#include "model/control_box.h"
#include "model/field_box.h"

namespace korvan {

ControlBoxSettings DefaultControlBoxSettings();  // with the eight charge profiles
BatteryBoxSettings DefaultBatteryBoxSettings();
// index 0 = field box #1; the two differ only in their serial numbers
FieldBoxSettings DefaultFieldBoxSettings(int index);

}  // namespace korvan
