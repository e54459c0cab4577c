// One complete USB poll tick of the main window against the simulator: four
// exchanges, decoding, the four state tables and status boxes, the outline refresh.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTabWidget>
#include <QTimer>

#include "app/main_window.h"
#include "app/window_ui.h"
#include "sim/sim_bluetooth_discovery.h"
#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"
#include "tests/support/no_serial_port.h"

namespace korvan {
namespace {

class NoWait : public Waiter {
  public:
    void Wait(std::chrono::milliseconds, bool) override {}
};

class NoDialogs : public UserDialogs {
  public:
    void ShowMessage(QWidget*, MessageKind, const QString&) override {}
    QString SaveFileName(QWidget*, const FileDialogRequest&) override { return {}; }
    QString OpenFileName(QWidget*, const FileDialogRequest&) override { return {}; }
    bool InputText(QWidget*, const QString&, const QString&, QString&) override { return false; }
};

// A tick's worth of simulated time passes between ticks, so the values move.
void RunPollTicks(benchmark::State& state, bool paint, bool outlinePage) {
    std::chrono::milliseconds now{0};
    KorvanSimulator simulator(SimConfig{}, [&now] { return now; });
    SimHidDevices hid(simulator);
    NoSerialPort serial;
    SimBluetoothDiscovery bluetooth("");
    NoWait waiter;
    NoDialogs dialogs;
    WindowSeams seams;
    seams.Hid = &hid;
    seams.Serial = &serial;
    seams.Bluetooth = &bluetooth;
    seams.Wait = &waiter;
    seams.Dialogs = &dialogs;
    TMainFormKX4 window(seams);
    window.Ui().USBTimer->stop();
    window.Ui().BTTimer->stop();
    window.Ui().INETTimer->stop();
    window.show();
    if (outlinePage) window.Ui().PageControl->setCurrentWidget(window.Ui().OutlineTabSheet);
    QCoreApplication::processEvents();
    window.USBTimerTimer();  // finds and opens the device
    window.USBTimerTimer();
    if (window.Records().ControlState.ConnectedModules == 0) {
        state.SkipWithError("the simulator did not answer");
        return;
    }
    for (auto _ : state) {
        now += std::chrono::milliseconds(500);
        window.USBTimerTimer();
        // The repaint the tick causes, as the message loop does it after the tick.
        if (paint) QCoreApplication::processEvents();
    }
}

void BM_UsbPollTick(benchmark::State& state) { RunPollTicks(state, false, false); }
void BM_UsbPollTickAndPaint(benchmark::State& state) { RunPollTicks(state, true, false); }
void BM_UsbPollTickOutlineShown(benchmark::State& state) { RunPollTicks(state, false, true); }
void BM_UsbPollTickOutlineShownAndPaint(benchmark::State& state) {
    RunPollTicks(state, true, true);
}
BENCHMARK(BM_UsbPollTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UsbPollTickAndPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UsbPollTickOutlineShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UsbPollTickOutlineShownAndPaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korvan
