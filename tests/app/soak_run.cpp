#include "tests/app/soak_run.h"

#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTableView>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "app/status_text.h"
#include "app/table_model.h"
#include "app/window_ui.h"
#include "model/battery_box.h"
#include "model/control_box.h"
#include "model/field_box.h"

namespace korvan {

namespace {

using std::chrono::milliseconds;

constexpr size_t MostFailuresKept = 50;
constexpr size_t WriteAllSettingsReportCount =
    2 + (1 + BatteryBoxItemCount) + 2 * (1 + FieldBoxItemCount);
constexpr milliseconds WarmUp{3000};
constexpr milliseconds Spell{5000};

// The address sanitizer holds freed blocks back in its quarantine: the resident set
// then says nothing about leaks (its leak check at exit does).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool FreedMemoryHeld = true;
#else
constexpr bool FreedMemoryHeld = false;
#endif

// Relative weights of the driver's actions, in the order of SoakRun::Action.
// Cables and ports taken away by hand come back by hand a little later.
constexpr std::array<int, 14> Weights{6, 8, 2, 2, 8, 3, 3, 4, 2, 1, 0, 1, 0, 4};

// The bytes a write carries of each block: the blocks of codes 16 and 17 whole,
// of the item writes the marker and one byte per item.
constexpr std::array<ImageBlock, 5> WrittenBytes{{
    {SettingsImageControlBox.Offset, SettingsImageControlBox.Length},
    {SettingsImageChargeProfiles.Offset, SettingsImageChargeProfiles.Length},
    {SettingsImageBatteryBox.Offset, 1 + BatteryBoxItemCount},
    {SettingsImageFieldBox1.Offset, 1 + FieldBoxItemCount},
    {SettingsImageFieldBox2.Offset, 1 + FieldBoxItemCount},
}};
constexpr std::array<const char*, 5> BlockNames{"control box", "charge profiles", "battery box",
                                                "field box #1", "field box #2"};

// The first block in which two images differ in the bytes a write carries; -1 if none.
int FirstDifferentBlock(const SettingsImage& a, const SettingsImage& b) {
    for (size_t i = 0; i < WrittenBytes.size(); ++i) {
        const auto first = static_cast<long>(WrittenBytes[i].Offset);
        const auto last = first + static_cast<long>(WrittenBytes[i].Length);
        if (!std::equal(a.begin() + first, a.begin() + last, b.begin() + first))
            return static_cast<int>(i);
    }
    return -1;
}

bool InEmptyForm(const QTableView* table) {
    const auto* model = static_cast<const ModuleTableModel*>(table->model());
    if (model->rowCount() == 0) return true;
    for (const std::string& value : model->Values())
        if (value != "-") return false;
    return true;
}

double Ms(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

}  // namespace

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

void SoakWaiter::Wait(milliseconds duration, bool) {
    std::this_thread::sleep_for(
        milliseconds{std::lround(static_cast<double>(duration.count()) * scale_)});
}

SoakRun::SoakRun(const SoakOptions& options)
    : options_(options), rng_(options.Seed), waiter_(options.WaitScale) {
    if (!line_.Start()) Fail("the serial line did not start: " + line_.LastError());
    bluetooth_ = std::make_unique<SimBluetoothDiscovery>(line_);
    SimFaultPlan plan = SimFaultPlan::Random(options.FaultRate, options.Seed);
    plan.ComesBackAfter = milliseconds(1500);
    simulator_.Faults().SetPlan(plan);

    WindowSeams seams;
    seams.Hid = &hid_;
    seams.Serial = &serial_;
    seams.Bluetooth = bluetooth_.get();
    seams.Wait = &waiter_;
    seams.Dialogs = &dialogs_;
    window_ = std::make_unique<TMainFormKX4>(seams);
    window_->show();
    RewireTimers();
    SystemSession* session = &window_->Session();
    QObject::connect(session, &SystemSession::LinkStatus, window_.get(),
                     [this](const QString& text) { linkStatus_ = text; });
    QObject::connect(session, &SystemSession::Polled, window_.get(),
                     [this](PollOutcome outcome) { CheckTick(outcome); });
    QObject::connect(session, &SystemSession::WriteProgress, window_.get(),
                     [this](size_t sent, size_t total, ModuleId) {
                         progressSeen_ = static_cast<int>(sent);
                         progressTotal_ = static_cast<int>(total);
                     });
    QObject::connect(session, &SystemSession::CommandFinished, window_.get(),
                     [this](const CommandResult& result) {
                         commandOk_ = result.Ok;
                         CommandFinished();
                     });
}

SoakRun::~SoakRun() {
    window_.reset();
    line_.Stop();
}

bool SoakRun::Usb() const { return window_->Ui().ConnectionUSB->isChecked(); }

void SoakRun::Fail(const std::string& what) {
    if (tally_.Failures.size() < MostFailuresKept) tally_.Failures.push_back(what);
}

// Each handler timed: it hands its work to the session and must not block the window.
template <typename F>
double SoakRun::Measure(const char* what, bool tick, F&& handler) {
    QElapsedTimer clock;
    clock.start();
    handler();
    const double blocked = Ms(clock);
    const double limit = static_cast<double>(options_.Margin.count());
    if (blocked > limit)
        Fail(std::string(what) + " blocked the window " + std::to_string(std::lround(blocked)) +
             " ms, allowed " + std::to_string(std::lround(limit)) + " ms");
    double& most = tick ? tally_.MaxTickMs : tally_.MaxBlockedMs;
    most = std::max(most, blocked);
    return blocked;
}

// The window's own timers stay in charge (the commands stop and start them); only
// their handlers are called through the meter.
void SoakRun::RewireTimers() {
    WindowUi& ui = window_->Ui();
    TMainFormKX4* w = window_.get();
    QObject::disconnect(ui.USBTimer, &QTimer::timeout, w, &TMainFormKX4::USBTimerTimer);
    QObject::disconnect(ui.BTTimer, &QTimer::timeout, w, &TMainFormKX4::BTTimerTimer);
    QObject::disconnect(ui.INETTimer, &QTimer::timeout, w, &TMainFormKX4::INETTimerTimer);
    QObject::connect(ui.USBTimer, &QTimer::timeout, w, [this] { Tick(true); });
    QObject::connect(ui.BTTimer, &QTimer::timeout, w, [this] { Tick(false); });
    QObject::connect(ui.INETTimer, &QTimer::timeout, w, [this] {
        Measure("relay tick", true, [this] { window_->INETTimerTimer(); });
    });
}

void SoakRun::Tick(bool usb) {
    const bool idle = !polling_ && !window_->CommandRunning();
    loadedBeforeTick_ = window_->Flags().SettingsLoaded;
    Measure(usb ? "USB tick" : "Bluetooth tick", true, [&] {
        if (usb)
            window_->USBTimerTimer();
        else
            window_->BTTimerTimer();
    });
    if (idle && usb == Usb()) polling_ = usb;
}

// The caption and the status bar say what the link did; a complete poll refills
// every state table, a lost USB link empties them all.
void SoakRun::CheckTick(PollOutcome outcome) {
    if (!polling_) return;
    const bool usb = *std::exchange(polling_, std::nullopt);
    if (usb != Usb()) return;  // the connection changed meanwhile
    ++tally_.Ticks;
    TMainFormKX4& w = *window_;
    WindowUi& ui = w.Ui();
    const QString status = QString::fromStdString(OneLineStatus(linkStatus_.toStdString()));
    if (ui.StatusText->text() != status)
        Fail("status bar \"" + ui.StatusText->text().toStdString() +
             "\" after a tick whose link says \"" + linkStatus_.toStdString() + "\"");
    const QString title = w.Flags().ApplicationTitle;
    const QString linked = title + (usb ? QStringLiteral(" - USB connection")
                                        : QStringLiteral(" - Bluetooth connection"));
    const QString caption = w.windowTitle();
    if (caption != title && caption != linked)
        Fail("caption \"" + caption.toStdString() + "\" after a " + (usb ? "USB" : "Bluetooth") +
             " tick");
    // The settings stay to be written again once the link is back.
    if (outcome == PollOutcome::Lost) {
        for (ModuleId module : AllModules)
            if (!InEmptyForm(ui.Module(module).StateStringGrid))
                Fail("a lost USB link left a state table filled");
        if (w.Flags().SettingsLoaded != loadedBeforeTick_)
            Fail("a lost USB link changed whether settings are loaded");
    }
    if (outcome != PollOutcome::Complete) return;
    if (caption != linked) Fail("caption \"" + caption.toStdString() + "\" after a good exchange");
    for (ModuleId module : AllModules)
        if (InEmptyForm(ui.Module(module).StateStringGrid))
            Fail(std::string("a good exchange left the state table of the ") + ModuleName(module) +
                 " empty");
}

SettingsImage SoakRun::ExpectedSettings() const {
    SystemData data = window_->Records();
    WindowUi& ui = window_->Ui();
    const char sep = window_->DecimalSeparator();
    const uint8_t voltage = data.BatteryState.SystemVoltage;
    for (ModuleId module : AllModules) {
        const ModuleTableModel& table = *ui.Module(module).SettingsTable;
        if (!table.HoldsSettings()) continue;
        const std::vector<std::string> cells = table.Values();
        if (module == ModuleId::ControlBox)
            ReadControlBoxSettingsTable(data.ControlSettings, cells, sep);
        else if (module == ModuleId::BatteryBox)
            ReadBatteryBoxSettingsTable(data.BatterySettings, cells, voltage, sep);
        else
            ReadFieldBoxSettingsTable(data.FieldSettings[FieldBoxIndex(module)], cells, sep);
    }
    return BuildSettingsImage(data);
}

void SoakRun::ScheduleNext() {
    if (!running_) return;
    const int delay = 200 + static_cast<int>(rng_() % 1000);
    QTimer::singleShot(delay, window_.get(), [this] {
        if (!running_) return;
        int total = 0;
        for (int w : Weights) total += w;
        int pick = static_cast<int>(rng_() % static_cast<uint32_t>(total));
        size_t i = 0;
        while (pick >= Weights[i]) pick -= Weights[i++];
        // The next one is due while this one runs: a command's pauses let it in.
        ScheduleNext();
        Act(static_cast<Action>(i));
    });
}

std::chrono::milliseconds SoakRun::BackByHand() {
    return milliseconds(300 + static_cast<int>(rng_() % 2500));
}

void SoakRun::Act(Action action) {
    TMainFormKX4& w = *window_;
    SimFaults& faults = simulator_.Faults();
    switch (action) {
        case Action::Read:
            return ReadAll();
        case Action::Write:
            return WriteAll();
        case Action::WriteControlBox:
            return WriteControlBox();
        case Action::ResetDefaults:
            return ResetDefaults();
        case Action::Edit:
            return Edit();
        case Action::Save:
            return Save();
        case Action::Load:
            return Load();
        case Action::UseUsb:
            return w.ConnectionUSBClick();
        case Action::UseBluetooth:
            return w.ConnectionBlueToothClick();
        case Action::Unplug:
            ++tally_.Unplugs;
            faults.UnplugUsb();
            QTimer::singleShot(BackByHand(), window_.get(), [this] { Act(Action::Replug); });
            return;
        case Action::Replug:
            return faults.ReplugUsb();
        case Action::Vanish:
            ++tally_.Vanishes;
            faults.VanishBluetoothPort();
            QTimer::singleShot(BackByHand(), window_.get(), [this] { Act(Action::Restore); });
            return;
        case Action::Restore:
            return faults.RestoreBluetoothPort();
        case Action::Frs:
            return rng_() % 2 ? w.FRSPlusButtonClick() : w.FRSMinusButtonClick();
        case Action::Count:
            break;
    }
}

// Starts a command through its handler; its end is checked when the session
// says it is over (or at once when the window did not start it).
template <typename F>
void SoakRun::Start(Action action, const char* what, F&& handler) {
    TMainFormKX4& w = *window_;
    if (w.CommandRunning()) return;  // the System menu is disabled meanwhile
    ++tally_.Commands;
    commandBefore_ = simulator_.Faults().Counts();
    commandUsb_ = Usb();
    commandOk_ = false;
    progressSeen_ = -1;
    progressTotal_ = 0;
    // The soak's user goes ahead when asked about typed settings.
    dialogs_.AskAnswers = {true};
    Measure(what, false, handler);
    dialogs_.AskAnswers.clear();
    command_ = action;
    // A write the window did not start has nothing to check.
    if (!w.CommandRunning() && action == Action::Write) command_.reset();
    if (!w.CommandRunning()) CommandFinished();
}

void SoakRun::CommandFinished() {
    if (!command_) return;
    const Action action = *std::exchange(command_, std::nullopt);
    if (action == Action::Read) return FinishRead();
    if (action == Action::Write) return FinishWrite();
    if (window_->Flags().SettingsLoaded) known_ = ExpectedSettings();
}

void SoakRun::ReadAll() {
    Start(Action::Read, "Read All Settings From System",
          [this] { window_->ReadAllSettingsFromSystemClick(); });
}

// A clean read over USB brings exactly what the system holds.
void SoakRun::FinishRead() {
    TMainFormKX4& w = *window_;
    // A failed read keeps the tables and the flag as they were: nothing to check.
    if (!w.Flags().SettingsLoaded || !commandOk_) return;
    ++tally_.Reads;
    known_ = ExpectedSettings();
    const bool clean = simulator_.Faults().Counts().Total() == commandBefore_.Total();
    if (commandUsb_ && clean) {
        SystemData records = w.Records();
        const int block =
            FirstDifferentBlock(BuildSettingsImage(records), simulator_.SettingsImage());
        if (block >= 0)
            Fail(std::string("a clean USB read left the ") + BlockNames[block] +
                 " settings different from the system's");
    }
}

// When the write starts, the records hold what it encodes, which must be the
// settings last read, loaded or edited.
void SoakRun::WriteAll() {
    TMainFormKX4& w = *window_;
    if (w.CommandRunning()) return;
    written_.reset();
    const bool loaded = w.Flags().SettingsLoaded && Usb();
    Start(Action::Write, "Write All Settings To System",
          [this] { window_->WriteAllSettingsToSystemClick(); });
    if (!loaded || !command_) return;
    SystemData records = w.Records();
    written_ = BuildSettingsImage(records);
    if (!known_) {
        Fail("a write ran without settings read, loaded or edited");
        return;
    }
    const int block = FirstDifferentBlock(*written_, *known_);
    if (block >= 0)
        Fail(std::string("a write sent ") + BlockNames[block] +
             " settings other than those last read, loaded or edited");
}

// A completed write leaves the system holding what was encoded; an interrupted one
// is told in the status bar by the transport's text and in the warning.
void SoakRun::FinishWrite() {
    const bool complete = progressTotal_ > 0 && progressSeen_ == progressTotal_ &&
                          static_cast<size_t>(progressTotal_) == WriteAllSettingsReportCount;
    if (complete) {
        const int block = written_ ? FirstDifferentBlock(*written_, simulator_.SettingsImage()) : 0;
        if (block >= 0)
            Fail(std::string("after a completed write the system holds other ") +
                 BlockNames[block] + " settings than were written");
        else
            ++tally_.WritesCompleted;
        return;
    }
    ++tally_.WritesInterrupted;
    const std::string text = window_->Ui().StatusText->text().toStdString();
    const bool told = text.find("bytes received") == std::string::npos && !text.empty();
    if (told)
        ++tally_.WritesReported;
    else
        Fail("an interrupted write (" + std::to_string(progressSeen_) + " of " +
             std::to_string(progressTotal_) + " reports) left the status bar at \"" + text + "\"");
}

// The control box settings go out and are read back: the table shows what the
// system now holds, which is what a following write must send.
void SoakRun::WriteControlBox() {
    Start(Action::WriteControlBox, "Write Control Box Settings Only To System",
          [this] { window_->WriteControlBoxSettingsToSystemClick(); });
}

void SoakRun::ResetDefaults() {
    Start(Action::ResetDefaults, "Reset Control Box Settings To Default Values", [this] {
        dialogs_.AskAnswers = {true};  // the owner confirms the reset
        window_->ResetControlBoxSettingsToDefaultValuesClick();
        dialogs_.AskAnswers.clear();
    });
}

// One value cell of a settings table that holds settings, changed as a user types:
// a number nudged by one in its last digit.
void SoakRun::Edit() {
    TMainFormKX4& w = *window_;
    std::vector<ModuleId> shown;
    for (ModuleId module : AllModules)
        if (w.Ui().Module(module).SettingsTable->HoldsSettings()) shown.push_back(module);
    if (shown.empty()) return;
    ModuleTableModel& table = *w.Ui().Module(shown[rng_() % shown.size()]).SettingsTable;
    const int row = static_cast<int>(rng_() % static_cast<uint32_t>(table.rowCount()));
    std::string text = table.Value(row);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.back()))) return;
    const bool up = rng_() % 2 == 0;
    char& digit = text.back();
    digit =
        static_cast<char>(up ? (digit == '9' ? '8' : digit + 1) : (digit == '0' ? '1' : digit - 1));
    Measure("an edit", false, [&] {
        table.setData(table.index(row, 1), QString::fromStdString(text), Qt::EditRole);
    });
    if (w.Flags().SettingsLoaded) known_ = ExpectedSettings();
}

void SoakRun::Save() {
    TMainFormKX4& w = *window_;
    const QString path = dir_.filePath(QStringLiteral("soak.korvan3"));
    dialogs_.SavePath = path;
    Measure("Save Settings To File", false, [&] { w.SaveSettingsToFileClick(); });
    QFile file(path);
    if (!file.exists() || file.size() != 752) {
        Fail("a save left no settings file of 752 bytes");
        return;
    }
    ++tally_.Saves;
    SystemData records = w.Records();
    saved_ = BuildSettingsImage(records);
}

// A load brings back exactly what the last save wrote.
void SoakRun::Load() {
    TMainFormKX4& w = *window_;
    if (w.CommandRunning() || !saved_) return;
    dialogs_.OpenPath = dir_.filePath(QStringLiteral("soak.korvan3"));
    dialogs_.AskAnswers = {true};
    Measure("Load Settings From File", false, [&] { w.LoadSettingsFromFileClick(); });
    dialogs_.AskAnswers.clear();
    if (!w.Flags().SettingsLoaded) {
        Fail("a load of a saved file left the settings not loaded");
        return;
    }
    ++tally_.Loads;
    SystemData records = w.Records();
    const int block = FirstDifferentBlock(BuildSettingsImage(records), *saved_);
    if (block >= 0)
        Fail(std::string("a load brought other ") + BlockNames[block] +
             " settings than were saved");
    known_ = ExpectedSettings();
}

SoakTally SoakRun::Run() {
    QElapsedTimer clock;
    clock.start();
    running_ = true;
    ScheduleNext();
    QEventLoop loop;
    // Stormy and calm spells in turn, so that faults come thick and writes still finish.
    QTimer weather;
    bool stormy = true;
    QObject::connect(&weather, &QTimer::timeout, &loop, [&] {
        stormy = !stormy;
        simulator_.Faults().SetRate(stormy ? options_.FaultRate : options_.FaultRate / 20);
    });
    weather.start(static_cast<int>(Spell.count()));
    QTimer::singleShot(std::min(WarmUp, options_.Duration / 10), &loop,
                       [this] { tally_.RssStartKb = ResidentKb(); });
    QTimer::singleShot(options_.Duration, &loop, [&] {
        running_ = false;
        loop.quit();
    });
    loop.exec();
    // A command still in its pauses finishes first.
    while (window_->CommandRunning()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    window_->Ui().USBTimer->stop();
    window_->Ui().BTTimer->stop();
    window_->Ui().INETTimer->stop();
    tally_.RssEndKb = ResidentKb();
    tally_.Faults = simulator_.Faults().Counts();
    if (!FreedMemoryHeld && tally_.RssEndKb - tally_.RssStartKb > options_.RssGrowthLimitKb)
        Fail("the resident set grew from " + std::to_string(tally_.RssStartKb) + " kB to " +
             std::to_string(tally_.RssEndKb) + " kB");
    return tally_;
}

std::string SoakRun::Summary() const {
    const SoakTally& t = tally_;
    std::string kinds;
    for (const SimFaultInfo& info : SimFaultKinds()) {
        if (t.Faults[info.Kind] == 0) continue;
        kinds += (kinds.empty() ? "" : ", ") + std::string(info.Name) + "=" +
                 std::to_string(t.Faults[info.Kind]);
    }
    char figures[160];
    std::snprintf(figures, sizeof figures, "max tick %.1f ms, max command block %.1f ms",
                  t.MaxTickMs, t.MaxBlockedMs);
    return "soak: " + std::to_string(t.Ticks) + " ticks, " + std::to_string(t.Faults.Total()) +
           " faults injected (" + kinds + "; by hand: unplugs=" + std::to_string(t.Unplugs) +
           " vanishes=" + std::to_string(t.Vanishes) + "), " + std::to_string(t.WritesCompleted) +
           " writes completed and verified, " + std::to_string(t.WritesReported) + " of " +
           std::to_string(t.WritesInterrupted) + " interrupted and reported, " +
           std::to_string(t.Reads) + " reads, " + std::to_string(t.Saves) + " saves, " +
           std::to_string(t.Loads) + " loads, 0 crashes, " + figures + ", RSS " +
           std::to_string(t.RssStartKb) + "/" + std::to_string(t.RssEndKb) + " kB, " +
           std::to_string(t.Failures.size()) + " broken rules";
}

}  // namespace korvan
