#include "session/system_session.h"

#include <QThread>
#include <QTimer>

#include "link/protocol.h"
#include "session/session_worker.h"

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
      supportDomain_(DefaultSupportDomain) {
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
    chosen_ = connection;
    Post([connection](SessionWorker& w) { w.Choose(connection); });
}

const SystemLink& SystemSession::Link() const { return worker_->LinkOf(chosen_); }

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
    share_ = share;
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

UsbTransport& SystemSession::Usb() { return worker_->Usb(); }
BtTransport& SystemSession::Bt() { return worker_->Bt(); }
RemoteSupport& SystemSession::Remote() { return worker_->Remote(); }

void SystemSession::TakeStates(const SystemData& data) {
    records_.ControlState = data.ControlState;
    records_.BatteryState = data.BatteryState;
    records_.FieldState = data.FieldState;
}

void SystemSession::TakeSettings(const SystemData& data) {
    records_.ControlSettings = data.ControlSettings;
    records_.BatterySettings = data.BatterySettings;
    records_.FieldSettings = data.FieldSettings;
}

// The one place where every link's poll ends: a complete state is recorded, a
// lost or failed one is a gap in the history.
void SystemSession::PollDone(PollOutcome outcome, const SystemData& data,
                             const std::vector<ModuleId>& decoded, const std::string& status) {
    TakeStates(data);
    emit LinkStatus(QString::fromStdString(status));
    for (ModuleId module : decoded) emit StateDecoded(module);
    switch (outcome) {
        case PollOutcome::Lost:
            emit LinkLost();
            [[fallthrough]];
        case PollOutcome::Failed:
            history_.MarkGap(HistoryNow());
            emit NoDataSince(history_.LastPollTime());
            break;
        case PollOutcome::Complete:
            history_.Record(HistoryNow(), records_);
            emit StatePolled();
            break;
        case PollOutcome::Partial:
            break;
    }
    emit Polled(outcome);
}

void SystemSession::CommandBegan(SettingsCommand command) {
    running_ = true;
    emit CommandStarted(command);
}

// A command on a live link is no gap in the history: the link was busy.
void SystemSession::CommandEnded(const CommandResult& result, const SystemData& data) {
    running_ = false;
    if (result.Kind != SettingsCommand::WriteAllSettings &&
        result.Kind != SettingsCommand::ResetBluetoothRadio)
        TakeSettings(data);
    history_.LinkBusy();
    emit CommandFinished(result);
}

}  // namespace korvan
