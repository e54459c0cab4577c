// The demo's "Simulator" menu: the simulated system's link faults on purpose, so
// that a user can watch the tool cope with a loose USB cable or a Bluetooth link at
// the edge of its range. A status-bar label counts what was injected. Only the
// demo adds it; the tool for a real system has no such menu.
#pragma once

#include <QObject>
#include <array>

#include "sim/faults.h"

class QAction;
class QActionGroup;
class QLabel;
class QMainWindow;
class QMenu;
class QTimer;

namespace korvan {

class KorvanSimulator;

// Chances of a fault per exchange offered in "Fault Rate"; the first is none.
inline constexpr std::array<double, 5> SimulatorFaultRates{0.0, 0.01, 0.05, 0.2, 0.5};

class SimulatorMenu : public QObject {
  public:
    // Adds the menu to the window's menu bar and the counters to its status bar. Every
    // fault kind starts enabled at rate none: nothing happens until a rate is chosen.
    SimulatorMenu(QMainWindow& window, KorvanSimulator& simulator);

    QMenu* Menu() const { return menu_; }
    QLabel* CountersLabel() const { return counters_; }
    QAction* RateAction(size_t index) const { return rates_[index]; }
    QAction* FaultAction(SimFault kind) const { return faults_[static_cast<size_t>(kind)]; }
    QAction* UnplugUsbAction() const { return unplug_; }
    QAction* ReplugUsbAction() const { return replug_; }
    QAction* VanishPortAction() const { return vanish_; }
    QAction* RestorePortAction() const { return restore_; }
    QAction* ResetCountersAction() const { return resetCounts_; }

    // The counts into the fault items and the status-bar label; the cable and port
    // items enabled as their state allows.
    void Refresh();

  private:
    void BuildRates();
    void BuildFaults();
    void BuildCableAndPort();

    KorvanSimulator& simulator_;
    QMenu* menu_ = nullptr;
    QLabel* counters_ = nullptr;
    QTimer* refresh_ = nullptr;
    std::array<QAction*, SimulatorFaultRates.size()> rates_{};
    std::array<QAction*, SimFaultKindCount> faults_{};
    QAction* unplug_ = nullptr;
    QAction* replug_ = nullptr;
    QAction* vanish_ = nullptr;
    QAction* restore_ = nullptr;
    QAction* resetCounts_ = nullptr;
};

// "Faults injected: N" and the per-kind counts of the status-bar label's tip.
QString FaultCountsCaption(const SimFaultCounts& counts);

}  // namespace korvan
