// One complete USB poll tick of the main window against the simulator: four
// exchanges, decoding, the four state tables and status boxes, the outline refresh.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QThread>
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

// Runs the event loop until the session is idle.
void Settle(TMainFormKX4& window) {
    while (!window.Session().Idle())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// One tick, from the timer's handler until its results are shown.
void Tick(TMainFormKX4& window) {
    window.USBTimerTimer();
    Settle(window);
}

// The window on the simulator's USB link, with no Bluetooth port and no dialogs.
struct SimulatedWindow {
    SimulatedWindow(KorvanSimulator& simulator, Waiter& waiter) : hid(simulator) {
        WindowSeams seams;
        seams.Hid = &hid;
        seams.Serial = &serial;
        seams.Bluetooth = &bluetooth;
        seams.Wait = &waiter;
        seams.Dialogs = &dialogs;
        window = std::make_unique<TMainFormKX4>(seams);
    }
    SimHidDevices hid;
    NoSerialPort serial;
    SimBluetoothDiscovery bluetooth{""};
    NoDialogs dialogs;
    std::unique_ptr<TMainFormKX4> window;
};

// A tick's worth of simulated time passes between ticks, so the values move.
void RunPollTicks(benchmark::State& state, bool paint, bool outlinePage) {
    std::chrono::milliseconds now{0};
    KorvanSimulator simulator(SimConfig{}, [&now] { return now; });
    NoWait waiter;
    SimulatedWindow simulated(simulator, waiter);
    TMainFormKX4& window = *simulated.window;
    window.Ui().USBTimer->stop();
    window.Ui().BTTimer->stop();
    window.Ui().INETTimer->stop();
    window.show();
    if (outlinePage) window.Ui().PageControl->setCurrentWidget(window.Ui().OutlineTabSheet);
    QCoreApplication::processEvents();
    Tick(window);  // finds and opens the device
    Tick(window);
    if (window.Records().ControlState.ConnectedModules == 0) {
        state.SkipWithError("the simulator did not answer");
        return;
    }
    for (auto _ : state) {
        now += std::chrono::milliseconds(500);
        Tick(window);
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
// A write of all settings with the protocol's real pauses, while a 10 ms timer
// on the window's thread measures how late it fires: the window must not wait.
void BM_WriteAllSettingsWindowLateness(benchmark::State& state) {
    KorvanSimulator simulator;
    SleepingWaiter waiter;
    SimulatedWindow simulated(simulator, waiter);
    TMainFormKX4& window = *simulated.window;
    window.show();
    Tick(window);
    Tick(window);
    window.ReadAllSettingsFromSystemClick();
    Settle(window);
    if (!window.Flags().SettingsLoaded) {
        state.SkipWithError("the settings were not read");
        return;
    }
    for (auto _ : state) {
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 worst = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 at = clock.elapsed();
            worst = std::max(worst, at - last - 10);
            last = at;
        });
        clock.start();
        probe.start(10);
        window.WriteAllSettingsToSystemClick();
        while (window.CommandRunning())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        state.counters["write_s"] = static_cast<double>(clock.elapsed()) / 1000.0;
        state.counters["window_late_max_ms"] = static_cast<double>(worst);
    }
}

// The floor under a tick of the window: one job to a worker thread and its report
// back, with nothing done on either side; what the session's thread hop costs.
void BM_WorkerRoundTrip(benchmark::State& state) {
    QThread thread;
    QObject worker;
    worker.moveToThread(&thread);
    thread.start();
    QObject here;
    for (auto _ : state) {
        bool done = false;
        QMetaObject::invokeMethod(
            &worker,
            [&here, &done] {
                QMetaObject::invokeMethod(
                    &here, [&done] { done = true; }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    thread.quit();
    thread.wait();
}

BENCHMARK(BM_WorkerRoundTrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UsbPollTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UsbPollTickAndPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UsbPollTickOutlineShown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UsbPollTickOutlineShownAndPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteAllSettingsWindowLateness)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvan
