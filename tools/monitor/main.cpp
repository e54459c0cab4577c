// korvan-monitor: the KORVAN KX4 on a computer without a screen. It polls the system
// through the tool's session and publishes each complete poll to an MQTT broker
// (with Home Assistant discovery) and to Signal K readers. QtCore only.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>

#include "link/bt_transport.h"
#include "link/waiter.h"
#include "platform/hidapi_devices.h"
#include "platform/posix_serial_port.h"
#include "platform/rfcomm_ports.h"
#include "session/system_session.h"
#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"
#include "tools/monitor/monitor.h"
#include "tools/monitor/monitor_options.h"

#ifndef KORVAN_VERSION
#define KORVAN_VERSION "unknown"
#endif

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const char byte = 1;
    const ssize_t n = write(stopPipe[1], &byte, 1);
    static_cast<void>(n);
}

// The paired system as the Bluetooth link looks for it: one radio, one remembered
// "KORVAN-III" at the address given, its port either named on the command line or
// the RFCOMM port bound to that address.
class GivenBluetooth : public korvan::BluetoothDiscovery {
  public:
    GivenBluetooth(std::string address, std::string port)
        : address_(std::move(address)), port_(std::move(port)) {}
    int RadioCount() override { return 1; }
    std::vector<korvan::BluetoothDeviceInfo> RememberedDevices(int) override {
        korvan::BluetoothDeviceInfo device;
        device.Name = korvan::KorvanDeviceName;
        device.Address = {};
        for (size_t i = 0; i < 6 && address_.size() == 12; ++i)
            device.Address[i] =
                static_cast<uint8_t>(std::stoi(address_.substr(i * 2, 2), nullptr, 16));
        device.Remembered = device.Authenticated = true;
        return {device};
    }
    std::string FindPort(const std::string& addressText) override {
        return port_.empty() ? korvan::FindRfcommPort(addressText) : port_;
    }

  private:
    std::string address_;
    std::string port_;
};

void Log(const std::string& line) {
    std::fprintf(stderr, "korvan-monitor: %s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    using korvan::MonitorOptions;
    const MonitorOptions options =
        korvan::ParseMonitorOptions(std::vector<std::string>(argv + 1, argv + argc));
    switch (options.What) {
        case MonitorOptions::Action::Help:
            std::fputs(korvan::MonitorHelpText().c_str(), stdout);
            return 0;
        case MonitorOptions::Action::Version:
            std::printf("korvan-monitor %s\n", KORVAN_VERSION);
            return 0;
        case MonitorOptions::Action::Error:
            std::fprintf(stderr, "korvan-monitor: %s\n", options.ErrorText.c_str());
            return 2;
        case MonitorOptions::Action::Run:
            break;
    }
    // A bad MQTT setting ends the start, rather than a run without MQTT found out later.
    std::string password, warning;
    std::string refused = korvan::ReadMqttFiles(options, password, warning);
    if (refused.empty() && !options.MqttHost.empty())
        refused =
            korvan::MqttPublisher::Refusal(korvan::Monitor::MqttSettingsFor(options, password));
    if (!refused.empty()) {
        Log(refused);
        return 1;
    }
    if (!warning.empty()) Log(warning);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvan-monitor"));
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Log("cannot make the signal pipe");
        return 1;
    }
    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<korvan::KorvanSimulator> simulator;
    std::unique_ptr<korvan::HidDevices> hid;
    if (options.Simulate) {
        simulator = std::make_unique<korvan::KorvanSimulator>();
        hid = std::make_unique<korvan::SimHidDevices>(*simulator);
    } else {
        hid = std::make_unique<korvan::HidapiDevices>();
    }
    korvan::PosixSerialPort serial;
    GivenBluetooth bluetooth(options.BluetoothAddress, options.SerialPort);
    korvan::SleepingWaiter waiter;
    korvan::SessionSeams seams;
    seams.Hid = hid.get();
    seams.Serial = &serial;
    seams.Bluetooth = &bluetooth;
    seams.Wait = &waiter;
    seams.HistoryPath = options.HistoryFile;
    korvan::SystemSession session(seams, '.');
    QObject::connect(&session, &korvan::SystemSession::StoreNotice,
                     [](const QString& text) { Log("history: " + text.toStdString()); });
    korvan::Monitor monitor(session, options, password, Log);
    std::string error;
    if (!monitor.Start(error)) {
        Log(error);
        return 1;
    }
    const int status = QCoreApplication::exec();
    monitor.Stop(1000);
    return status;
}
