#include "app/simulator_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "sim/simulator.h"

namespace korvan {

namespace {

constexpr int RefreshMs = 1000;

QString RateCaption(double rate) {
    if (rate <= 0) return QStringLiteral("None");
    return QStringLiteral("1 in %1 exchanges").arg(static_cast<int>(1.0 / rate + 0.5));
}

QString FaultCaption(const SimFaultInfo& info, uint64_t count) {
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(info.Label)).arg(count);
}

}  // namespace

QString FaultCountsCaption(const SimFaultCounts& counts) {
    return QStringLiteral("Faults injected: %1").arg(counts.Total());
}

SimulatorMenu::SimulatorMenu(QMainWindow& window, KorvanSimulator& simulator)
    : QObject(&window), simulator_(simulator) {
    SimFaultPlan plan = SimFaultPlan::Random(0.0, simulator_.Faults().Plan().Seed);
    simulator_.Faults().SetPlan(plan);

    menu_ = window.menuBar()->addMenu(QStringLiteral("Si&mulator"));
    BuildRates();
    BuildFaults();
    menu_->addSeparator();
    BuildCableAndPort();
    menu_->addSeparator();
    resetCounts_ = menu_->addAction(QStringLiteral("&Reset Counters"));
    connect(resetCounts_, &QAction::triggered, this, [this] {
        simulator_.Faults().ResetCounts();
        Refresh();
    });
    connect(menu_, &QMenu::aboutToShow, this, &SimulatorMenu::Refresh);

    counters_ = new QLabel(window.statusBar());
    window.statusBar()->addPermanentWidget(counters_);
    refresh_ = new QTimer(this);
    refresh_->setInterval(RefreshMs);
    connect(refresh_, &QTimer::timeout, this, &SimulatorMenu::Refresh);
    refresh_->start();
    Refresh();
}

void SimulatorMenu::BuildRates() {
    QMenu* rates = menu_->addMenu(QStringLiteral("Fault R&ate"));
    auto* group = new QActionGroup(this);
    for (size_t i = 0; i < SimulatorFaultRates.size(); ++i) {
        const double rate = SimulatorFaultRates[i];
        QAction* action = rates->addAction(RateCaption(rate));
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, rate] { simulator_.Faults().SetRate(rate); });
        rates_[i] = action;
    }
    rates_[0]->setChecked(true);
}

void SimulatorMenu::BuildFaults() {
    QMenu* faults = menu_->addMenu(QStringLiteral("&Faults"));
    for (const SimFaultInfo& info : SimFaultKinds()) {
        QAction* action = faults->addAction(FaultCaption(info, 0));
        action->setCheckable(true);
        action->setChecked(true);
        const SimFault kind = info.Kind;
        connect(action, &QAction::toggled, this,
                [this, kind](bool on) { simulator_.Faults().Enable(kind, on); });
        faults_[static_cast<size_t>(kind)] = action;
    }
    connect(faults, &QMenu::aboutToShow, this, &SimulatorMenu::Refresh);
}

// Taken away here, the cable and the port stay away until put back here.
void SimulatorMenu::BuildCableAndPort() {
    SimFaults& faults = simulator_.Faults();
    unplug_ = menu_->addAction(QStringLiteral("&Unplug USB Cable Now"));
    replug_ = menu_->addAction(QStringLiteral("&Plug USB Cable In Now"));
    vanish_ = menu_->addAction(QStringLiteral("Bluetooth Port &Vanishes Now"));
    restore_ = menu_->addAction(QStringLiteral("Bluetooth Port Re&turns Now"));
    const std::array<std::pair<QAction*, void (SimFaults::*)()>, 4> rows{{
        {unplug_, &SimFaults::UnplugUsb},
        {replug_, &SimFaults::ReplugUsb},
        {vanish_, &SimFaults::VanishBluetoothPort},
        {restore_, &SimFaults::RestoreBluetoothPort},
    }};
    for (const auto& [action, change] : rows) {
        connect(action, &QAction::triggered, this, [this, &faults, change = change] {
            (faults.*change)();
            Refresh();
        });
    }
}

void SimulatorMenu::Refresh() {
    SimFaults& faults = simulator_.Faults();
    const SimFaultCounts counts = faults.Counts();
    for (const SimFaultInfo& info : SimFaultKinds())
        faults_[static_cast<size_t>(info.Kind)]->setText(FaultCaption(info, counts[info.Kind]));
    const QString caption = FaultCountsCaption(counts);
    if (counters_->text() != caption) counters_->setText(caption);
    counters_->setToolTip(QString::fromStdString(counts.Text()));
    const bool usb = faults.UsbPresent();
    const bool port = faults.BluetoothPortPresent();
    unplug_->setEnabled(usb);
    replug_->setEnabled(!usb);
    vanish_->setEnabled(port);
    restore_->setEnabled(!port);
}

}  // namespace korvan
