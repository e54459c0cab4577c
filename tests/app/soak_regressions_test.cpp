// Faults the soak found, each kept as a short run of the handlers it took.
#include <QTableView>

#include "link/protocol.h"
#include "model/battery_box.h"
#include "model/field_box.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

using SoakRegressionTest = AppUsbTest;

// The item pairs the simulator received for one module, in order.
std::vector<SimItemWrite> ItemsOf(const std::vector<SimItemWrite>& writes, uint8_t code) {
    std::vector<SimItemWrite> items;
    for (const SimItemWrite& w : writes)
        if (w.Code == code) items.push_back(w);
    return items;
}

// The cable comes out and goes back in; the read that follows before any poll has
// refilled the state sees no modules connected and fills the control box table only.
// The write after it must not send the empty tables' row defaults to the modules
// that are there: they get the settings they gave, and keep them.
TEST_F(SoakRegressionTest, WriteAfterReadWithoutModuleStatusKeepsTheModulesSettings) {
    BatteryBoxSettings battery = simulator.Settings().Battery;
    const FieldBoxSettings field1 = simulator.Settings().Field[0];
    simulator.Faults().UnplugUsb();
    W().USBTimerTimer();
    Settle();  // the link is lost: every value is void
    EXPECT_EQ(W().Records().ControlState.ConnectedModules, 0);
    simulator.Faults().ReplugUsb();
    W().ReadAllSettingsFromSystemClick();
    Settle();  // opens the device again, and fails
    W().ReadAllSettingsFromSystemClick();
    Settle();
    ASSERT_TRUE(W().Flags().SettingsLoaded);
    EXPECT_TRUE(NoneEmpty(W().Ui().ControlBoxSettingsStringGrid()));
    EXPECT_TRUE(AllEmpty(W().Ui().BatteryBoxSettingsStringGrid()));
    simulator.ClearRecord();

    W().WriteAllSettingsToSystemClick();
    Settle();
    const std::vector<SimItemWrite> writes = simulator.ItemWrites();
    const std::vector<SimItemWrite> items = ItemsOf(writes, CmdWriteBatteryBoxItem);
    ASSERT_EQ(items.size(), BatteryBoxItemCount + 1);
    Buffer64 block{};
    EncodeBatteryBoxSettings(battery, block);
    for (size_t n = 1; n <= BatteryBoxItemCount; ++n)
        EXPECT_EQ(items[n - 1].Value, block[n]) << "battery box item " << n;
    EXPECT_EQ(ItemsOf(writes, CmdWriteFieldBox1Item).size(), FieldBoxItemCount + 1);
    const SimSettings held = simulator.Settings();
    EXPECT_EQ(std::memcmp(&held.Battery, &battery, sizeof battery), 0);
    EXPECT_EQ(std::memcmp(&held.Field[0], &field1, sizeof field1), 0);
}

}  // namespace
}  // namespace korvan
