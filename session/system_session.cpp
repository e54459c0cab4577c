#include "session/system_session.h"

#include <QThread>
#include <QTimer>
#include <utility>

#include "link/protocol.h"
#include "session/session_events.h"
#include "session/session_worker.h"
#ifdef KORVAN_HISTORY_STORE
#include "history/history_store.h"
#endif

namespace korvan {

namespace {

struct TimerRow {
    PollTimer Timer;
    int IntervalMs;
};
// USB every module's state twice a second, Bluetooth one StateImage a second,
// the relay one exchange every two seconds.
constexpr TimerRow TimerRows[] = {
    {PollTimer::Usb, UsbPollPeriodMs},
    {PollTimer::Bluetooth, BtPollPeriodMs},
    {PollTimer::Relay, RelayPollPeriodMs},
};

int Index(PollTimer timer) { return static_cast<int>(timer); }

}  // namespace

HistoryTime HistoryNow() {
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

SystemSession::SystemSession(const SessionSeams& seams, char decimalSeparator, QObject* parent)
    : QObject(parent),
      history_(seams.History),
      sep_(decimalSeparator),
      worker_(std::make_unique<SessionWorker>(*this, seams)),
      thread_(new QThread(this)),
      supportDomain_(DefaultSupportDomain),
      faults_(std::make_unique<FaultWatch>()),
      backups_(seams.BackupFolder) {
#ifdef KORVAN_HISTORY_STORE
    if (!seams.HistoryPath.empty()) {
        HistoryStoreOptions options;
        options.Path = seams.HistoryPath;
        options.Limits = seams.History;
        store_ = std::make_unique<HistoryStore>(options);
        store_->Load(history_, events_);
        if (events_.size() > EventLimit) events_.erase(events_.begin(), events_.end() - EventLimit);
        history_.SetSink(store_.get());
        // Said once the views have connected.
        QMetaObject::invokeMethod(
            this, [this] { TakeStoreNotices(); }, Qt::QueuedConnection);
    }
#endif
    thread_->setObjectName(QStringLiteral("KORVAN link"));
    worker_->moveToThread(thread_);
    thread_->start();
    for (const TimerRow& row : TimerRows) {
        auto* timer = new QTimer(this);
        timer->setInterval(row.IntervalMs);
        connect(timer, &QTimer::timeout, this, [this, which = row.Timer] { Poll(which); });
        timers_[Index(row.Timer)] = timer;
    }
}

SystemSession::~SystemSession() {
    worker_->RequestStop();
    SessionWorker* worker = worker_.get();
    QMetaObject::invokeMethod(
        worker, [worker] { worker->Close(); }, Qt::QueuedConnection);
    thread_->quit();
    thread_->wait();
    history_.SetSink(nullptr);
}

std::string SystemSession::HistoryPath() const {
#ifdef KORVAN_HISTORY_STORE
    if (store_ && store_->Writing()) return store_->Path();
#endif
    return {};
}

void SystemSession::SetAlarmRules(std::vector<AlarmRule> rules) {
    TellAlarms(alarms_.SetRules(std::move(rules)));
}

void SystemSession::TellAlarms(const std::vector<AlarmChange>& changes) {
    for (const AlarmChange& alarm : changes) {
        Note(EventKind::Alarm, alarm.Text);
        emit AlarmChanged(QString::fromStdString(alarm.Text), alarm.Raised);
    }
}

void SystemSession::Note(EventKind kind, const std::string& text) {
    if (events_.size() >= EventLimit)
        events_.erase(events_.begin(), events_.begin() + EventLimit / 10);
    events_.push_back({HistoryNow(), kind, text});
#ifdef KORVAN_HISTORY_STORE
    if (store_) store_->AddEvent(events_.back());
#endif
    emit EventLogged(events_.back());
}

void SystemSession::TakeStoreNotices() {
#ifdef KORVAN_HISTORY_STORE
    if (!store_ || !store_->HasNotices()) return;
    for (const std::string& text : store_->TakeNotices()) {
        Note(EventKind::File, text);
        emit StoreNotice(QString::fromStdString(text));
    }
#endif
}

QTimer* SystemSession::Timer(PollTimer timer) const { return timers_[Index(timer)]; }

void SystemSession::Post(std::function<void(SessionWorker&)> job) {
    ++jobs_;
    SessionWorker* worker = worker_.get();
    QMetaObject::invokeMethod(
        worker,
        [this, worker, job = std::move(job)] {
            job(*worker);
            QMetaObject::invokeMethod(
                this, [this] { JobDone(); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void SystemSession::Choose(Connection connection) {
    if (chosen_ == connection) return;
    ChosenTurned(connection);
    Post([connection](SessionWorker& w) { w.Choose(connection); });
}

const SystemLink& SystemSession::Link() const { return worker_->LinkOf(chosen_); }

std::optional<LinkRefusal> SystemSession::Refusal(LinkOperation operation) {
    std::optional<LinkRefusal> refusal = Link().Refusal(operation);
    if (refusal) Note(EventKind::Settings, RefusalEventText(operation, Link().CaptionName()));
    return refusal;
}

void SystemSession::ShareTurned(bool share) {
    if (share != share_)
        Note(EventKind::RemoteSupport, share ? "Remote support started: data shared with support"
                                             : "Remote support ended: data no longer shared");
    share_ = share;
}

void SystemSession::ChosenTurned(Connection connection) {
    const bool support = connection == Connection::RemoteSupport;
    if (support != (chosen_ == Connection::RemoteSupport))
        Note(EventKind::RemoteSupport, support ? "Remote support session started (support side)"
                                               : "Remote support session ended (support side)");
    chosen_ = connection;
}

void SystemSession::Poll(PollTimer timer) {
    bool& pending = pollPending_[Index(timer)];
    if (pending || running_) return;
    if (timer != PollTimer::Relay && Link().PolledBy() != timer) return;
    const bool polls = Link().PolledBy() == timer;
    const uint8_t frs = polls ? FrsFlag(frsPlus_, frsMinus_) : 0;
    if (polls) frsPlus_ = frsMinus_ = false;
    pending = true;
    const std::string log = logging_ ? logPath_ : std::string();
    const bool can = canWanted_;
    const char sep = sep_;
    Post([=](SessionWorker& w) { w.Poll(timer, frs, can, log, sep); });
}

bool SystemSession::Start(SettingsCommand command) {
    if (running_) return false;
    running_ = true;
    const SystemData settings = records_;
    Post([command, settings](SessionWorker& w) { w.Run(command, settings); });
    return true;
}

void SystemSession::RequestStop() { worker_->RequestStop(); }

void SystemSession::CloseLinks() {
    Post([](SessionWorker& w) { w.Close(); });
}

void SystemSession::StartDataLog(const std::string& path) {
    logPath_ = path;
    logging_ = true;
}

void SystemSession::StopDataLog() { logging_ = false; }

void SystemSession::SetShareData(bool share) {
    ShareTurned(share);
    Post([share](SessionWorker& w) { w.SetShareData(share); });
}

void SystemSession::SetSupportDomain(const std::string& domain) {
    supportDomain_ = domain;
    Post([domain](SessionWorker& w) { w.SetSupportDomain(domain); });
}

void SystemSession::SendChat(const std::string& text) {
    Post([text](SessionWorker& w) { w.SendChat(text); });
}

void SystemSession::AnswerSupportSettings(bool write) {
    Post([write](SessionWorker& w) { w.AnswerSupportSettings(write); });
}

void SystemSession::EndSupportSession() {
    Post([](SessionWorker& w) { w.EndSupportSession(); });
}

// What the technician learns from the customer's tool goes into the event log too.
void SystemSession::SupportSessionTurned(const SupportSessionStatus& status) {
    const SupportSessionStatus before = std::exchange(supportStatus_, status);
    if (status.CustomerStopped && !before.CustomerStopped)
        Note(EventKind::RemoteSupport, SharingStoppedText);
    if (status.SettingsOutcome != before.SettingsOutcome &&
        !SettingsOutcomeOf("Settings " + status.SettingsOutcome).empty())
        Note(EventKind::Settings, "Settings sent to the customer: " + status.SettingsOutcome);
    if (status != before) emit SupportSessionChanged(status);
}

UsbTransport& SystemSession::Usb() { return worker_->Usb(); }
BtTransport& SystemSession::Bt() { return worker_->Bt(); }
RemoteSupport& SystemSession::Remote() { return worker_->Remote(); }

void SystemSession::TakeStates(const SystemData& data) {
    records_.ControlState = data.ControlState;
    records_.BatteryState = data.BatteryState;
    records_.FieldState = data.FieldState;
}

void SystemSession::TakeSettings(const SystemData& data) { records_.CopySettings(data); }

// The one place where every link's poll ends: a complete state is recorded, a
// lost or failed one is a gap in the history.
void SystemSession::PollDone(PollOutcome outcome, const SystemData& data,
                             const std::vector<ModuleId>& decoded, const std::string& status) {
    TakeStates(data);
    emit LinkStatus(QString::fromStdString(status));
    for (ModuleId module : decoded) emit StateDecoded(module);
    NoteLink(outcome);
    switch (outcome) {
        case PollOutcome::Lost:
            alarms_.LinkLost();
            emit LinkLost();
            [[fallthrough]];
        case PollOutcome::Failed:
            history_.MarkGap(HistoryNow());
            emit NoDataSince(history_.LastPollTime());
            break;
        case PollOutcome::Complete:
            history_.Record(HistoryNow(), records_);
            for (const std::string& fault : faults_->Changes(records_))
                Note(EventKind::Fault, fault);
            TellAlarms(alarms_.Evaluate(HistoryNow(), records_));
            emit StatePolled();
            break;
        case PollOutcome::Partial:
            break;
    }
    TakeStoreNotices();
    emit Polled(outcome);
}

// A link is lost only once it was there: the first exchange of a run, which
// finds and opens the device, is no loss.
void SystemSession::NoteLink(PollOutcome outcome) {
    const char* link = Link().CaptionName();
    if (outcome == PollOutcome::Lost && linkUp_ && !linkLost_)
        Note(EventKind::Link, std::string(link) + " link lost");
    else if (outcome == PollOutcome::Complete && linkLost_)
        Note(EventKind::Link, std::string(link) + " link back");
    if (outcome == PollOutcome::Complete) linkUp_ = true;
    if (outcome == PollOutcome::Lost || outcome == PollOutcome::Complete)
        linkLost_ = linkUp_ && outcome == PollOutcome::Lost;
}

void SystemSession::CommandBegan(SettingsCommand command) {
    running_ = true;
    KeepBackup(command);
    emit CommandStarted(command);
}

void SystemSession::NoteSystemSettings(const SystemData& data, std::optional<ModuleId> module) {
    if (!module) {
        systemSettings_ = data;
    } else if (systemSettings_) {
        systemSettings_->ControlSettings = data.ControlSettings;
    }
}

// Every command that changes the system's settings (also one that support or the
// customer's consent starts) first keeps what the system held when last read.
void SystemSession::KeepBackup(SettingsCommand command) {
    if (command == SettingsCommand::ReadAllSettings || !systemSettings_) return;
    std::string error;
    const QString path = backups_.Keep(*systemSettings_, QDateTime::currentDateTime(), error);
    if (!path.isEmpty())
        Note(EventKind::File, "Settings backup kept: " + path.toStdString());
    else if (!error.empty())
        Note(EventKind::File, "Settings backup not kept: " + error);
}

// What a command's end brings into the records: what was read back. A read that
// failed part-way brings nothing, so that the records keep the settings the
// tables were shown from instead of a mix of old and new modules.
namespace {
bool BringsSettings(const CommandResult& result) {
    switch (result.Kind) {
        case SettingsCommand::ReadAllSettings:
            return result.Ok;
        case SettingsCommand::WriteControlBoxSettings:
        case SettingsCommand::ResetControlBoxDefaults:
            return true;
        case SettingsCommand::WriteAllSettings:
        case SettingsCommand::ResetBluetoothRadio:
            return false;
    }
    return false;
}
}  // namespace

// A command on a live link is no gap in the history: the link was busy.
void SystemSession::CommandEnded(const CommandResult& result, const SystemData& data) {
    running_ = false;
    if (BringsSettings(result)) TakeSettings(data);
    // What a read, a read-back or a reset brought from the system.
    const bool controlBoxRead =
        result.Kind == SettingsCommand::ResetControlBoxDefaults ||
        (result.Kind == SettingsCommand::WriteControlBoxSettings && result.Write.ReadBack);
    // A complete write leaves the system holding what was sent.
    const bool wholeKnown = result.Kind == SettingsCommand::ReadAllSettings ||
                            result.Kind == SettingsCommand::WriteAllSettings;
    if (result.Ok && wholeKnown && !result.Forwarded)
        NoteSystemSettings(data);
    else if (result.Ok && controlBoxRead)
        NoteSystemSettings(data, ModuleId::ControlBox);
    history_.LinkBusy();
    Note(EventKind::Settings, CommandEventText(result));
    emit CommandFinished(result);
}

}  // namespace korvan
