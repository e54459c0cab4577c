// The demo's "Simulator" menu drives the simulator's fault plan and shows its counters.
#include "app/simulator_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"

namespace korvan {
namespace {

class SimulatorMenuTest : public ::testing::Test {
  protected:
    // One state request through the simulated device; true when it was answered.
    bool Exchange() {
        const auto handle = hid.Open(SimHidDevices::DevicePath);
        std::array<uint8_t, HidTransferSize> transfer{};
        transfer[1] = CmdControlBoxState;
        const bool ok = hid.Write(handle, transfer.data(), transfer.size()) > 0 &&
                        hid.Read(handle, transfer.data(), transfer.size(), 10) > 0;
        hid.Close(handle);
        return ok;
    }

    KorvanSimulator simulator;
    SimHidDevices hid{simulator};
    QMainWindow window;
    SimulatorMenu menu{window, simulator};
};

TEST_F(SimulatorMenuTest, RateAndKindsSetThePlanThatStartsQuiet) {
    EXPECT_EQ(window.menuBar()->actions().last()->text(), QStringLiteral("Si&mulator"));
    SimFaultPlan plan = simulator.Faults().Plan();
    EXPECT_EQ(plan.Rate, 0.0);
    for (const SimFaultInfo& info : SimFaultKinds()) EXPECT_TRUE(plan.IsEnabled(info.Kind));
    EXPECT_TRUE(menu.RateAction(0)->isChecked());

    menu.RateAction(3)->trigger();
    EXPECT_EQ(menu.RateAction(3)->text(), QStringLiteral("1 in 5 exchanges"));
    EXPECT_DOUBLE_EQ(simulator.Faults().Plan().Rate, 0.2);
    EXPECT_FALSE(menu.RateAction(0)->isChecked());
    menu.FaultAction(SimFault::BtLateImage)->trigger();  // unchecks it
    plan = simulator.Faults().Plan();
    EXPECT_FALSE(plan.IsEnabled(SimFault::BtLateImage));
    EXPECT_TRUE(plan.IsEnabled(SimFault::BtSplitImage));
    menu.RateAction(0)->trigger();
    EXPECT_EQ(simulator.Faults().Plan().Rate, 0.0);
}

TEST_F(SimulatorMenuTest, CableAndPortGoAndComeBackByHand) {
    EXPECT_TRUE(Exchange());
    EXPECT_TRUE(menu.UnplugUsbAction()->isEnabled());
    EXPECT_FALSE(menu.ReplugUsbAction()->isEnabled());
    menu.UnplugUsbAction()->trigger();
    EXPECT_FALSE(simulator.Faults().UsbPresent());
    EXPECT_FALSE(Exchange());
    EXPECT_FALSE(menu.UnplugUsbAction()->isEnabled());
    menu.ReplugUsbAction()->trigger();
    EXPECT_TRUE(Exchange());
    EXPECT_TRUE(menu.UnplugUsbAction()->isEnabled());

    menu.VanishPortAction()->trigger();
    EXPECT_FALSE(simulator.Faults().BluetoothPortPresent());
    EXPECT_TRUE(menu.RestorePortAction()->isEnabled());
    menu.RestorePortAction()->trigger();
    EXPECT_TRUE(simulator.Faults().BluetoothPortPresent());
    EXPECT_FALSE(menu.RestorePortAction()->isEnabled());
}

TEST_F(SimulatorMenuTest, CountersShowWhatWasInjectedUntilReset) {
    EXPECT_EQ(menu.CountersLabel()->text(), QStringLiteral("Faults injected: 0"));
    simulator.Faults().AddScripted({SimFault::UsbNoAnswer, 1, 0});
    EXPECT_FALSE(Exchange());
    menu.Menu()->aboutToShow();
    EXPECT_EQ(menu.CountersLabel()->text(), QStringLiteral("Faults injected: 1"));
    EXPECT_EQ(menu.FaultAction(SimFault::UsbNoAnswer)->text(),
              QStringLiteral("USB: no answer (1)"));
    EXPECT_NE(menu.CountersLabel()->toolTip().indexOf(QStringLiteral("usb-no-answer=1")), -1);
    menu.ResetCountersAction()->trigger();
    EXPECT_EQ(menu.CountersLabel()->text(), QStringLiteral("Faults injected: 0"));
    EXPECT_EQ(menu.FaultAction(SimFault::UsbNoAnswer)->text(),
              QStringLiteral("USB: no answer (0)"));
}

}  // namespace
}  // namespace korvan
