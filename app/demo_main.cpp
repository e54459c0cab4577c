// korvan-kx4-demo: the tool with the simulated KORVAN KX4 in its USB and Bluetooth
// links, for trying it without the hardware; remote support works as in the tool.
// Its "Simulator" menu makes the simulated links fail on purpose.
#include <QApplication>

#include "app/program.h"
#include "app/simulator_menu.h"
#include "app/single_instance.h"
#ifdef _WIN32
#include "platform/win32_serial_port.h"
#else
#include "platform/posix_serial_port.h"
#endif
#include "sim/sim_bluetooth_discovery.h"
#include "sim/sim_hid_devices.h"
#include "sim/sim_serial_line.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    korvan::QtUserDialogs dialogs;
    korvan::SingleInstance instance(QString::fromLatin1(korvan::DemoInstanceName));
    if (korvan::RefuseSecondInstance(instance, dialogs)) return 0;

    korvan::KorvanSimulator simulator;
    korvan::SimHidDevices hid(simulator);
    korvan::SimSerialLine line(simulator);
    // Without a pseudo-terminal the Bluetooth connection finds no port and says
    // so in the status bar; USB still works. The discovery follows the line, so a
    // port that vanished is found again under its new name when it comes back.
    line.Start();
    korvan::SimBluetoothDiscovery bluetooth(line);
#ifdef _WIN32
    korvan::Win32SerialPort serial;
#else
    korvan::PosixSerialPort serial;
#endif
    return korvan::RunTool(app, hid, serial, bluetooth, dialogs, "demo-history.sqlite",
                           [&simulator](korvan::TMainFormKX4& window) {
                               new korvan::SimulatorMenu(window, simulator);
                           });
}
