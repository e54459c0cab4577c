// korvan-kx4: the tool for a real KORVAN KX4 (USB HID, Bluetooth serial port,
// remote support over HTTP).
#include <QApplication>

#include "app/program.h"
#include "app/single_instance.h"
#include "platform/hidapi_devices.h"
#ifdef _WIN32
#include "platform/win32_bluetooth_discovery.h"
#include "platform/win32_serial_port.h"
#else
#include "platform/bluez_discovery.h"
#include "platform/posix_serial_port.h"
#endif

namespace {
#ifdef _WIN32
using PlatformSerialPort = korvan::Win32SerialPort;
using PlatformBluetooth = korvan::Win32BluetoothDiscovery;
#else
using PlatformSerialPort = korvan::PosixSerialPort;
using PlatformBluetooth = korvan::BluezDiscovery;
#endif
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    korvan::QtUserDialogs dialogs;
    korvan::SingleInstance instance(QString::fromLatin1(korvan::ToolInstanceName));
    if (korvan::RefuseSecondInstance(instance, dialogs)) return 0;

    korvan::HidapiDevices hid;
    PlatformSerialPort serial;
    PlatformBluetooth bluetooth;
    return korvan::RunTool(app, hid, serial, bluetooth, dialogs, "history.sqlite");
}
