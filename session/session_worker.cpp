#include "session/session_worker.h"

#include <QMetaObject>
#include <chrono>
#include <utility>

#include "model/data_log.h"

namespace korvan {

namespace {

// Without a relay the support roles still run; every exchange fails with this text.
class NoRelay : public RelayTransport {
  public:
    bool RelayExchange(RelayState& state) override {
        state.RelayStatusText = "Remote support is not available in this program";
        return false;
    }
};

std::unique_ptr<RelayTransport> MakeRelay(SystemSession& session, const SessionSeams& seams) {
    if (!seams.MakeRelay) return std::make_unique<NoRelay>();
    auto cue = [&session](bool busy) {
        QMetaObject::invokeMethod(
            &session, [&session, busy] { emit session.RelayBusy(busy); }, Qt::QueuedConnection);
    };
    std::unique_ptr<RelayTransport> relay = seams.MakeRelay(cue);
    return relay ? std::move(relay) : std::make_unique<NoRelay>();
}

}  // namespace

SessionWorker::SessionWorker(SystemSession& session, const SessionSeams& seams)
    : session_(session),
      wait_(*seams.Wait),
      usb_(*seams.Hid),
      bt_(*seams.Serial, *seams.Bluetooth),
      usbLink_(usb_, wait_),
      btLink_(bt_, wait_),
      relay_(MakeRelay(session, seams)),
      remote_(std::make_unique<RemoteSupport>(*this, *relay_)),
      support_(std::make_unique<SupportLink>(*remote_, wait_)),
      links_{&usbLink_, &btLink_, support_.get()},
      link_(&usbLink_) {}

SessionWorker::~SessionWorker() = default;

void SessionWorker::Report(std::function<void(SystemSession&)> report) {
    SystemSession& session = session_;
    QMetaObject::invokeMethod(
        &session_, [&session, report = std::move(report)] { report(session); },
        Qt::QueuedConnection);
}

const SystemLink& SessionWorker::LinkOf(Connection connection) const {
    return *links_[static_cast<int>(connection)];
}

void SessionWorker::Choose(Connection connection) { link_ = links_[static_cast<int>(connection)]; }

void SessionWorker::Close() {
    usb_.Close();
    bt_.Close();
}

void SessionWorker::Poll(PollTimer timer, uint8_t frs, bool canFrames, const std::string& logPath,
                         char sep) {
    if (timer == PollTimer::Relay) remote_->Tick();
    std::optional<PollOutcome> outcome;
    decoded_.clear();
    if (link_->PolledBy() == timer) {
        outcome = link_->PollState(data_, frs, *this);
        if (*outcome == PollOutcome::Lost) data_.ZeroStates();
    }
    const bool complete = outcome == PollOutcome::Complete;
    // The log line is written here, off the view's thread; a failure switches it off.
    if (complete && !logPath.empty() && !AppendDataLogLine(logPath, data_, sep)) {
        Report([logPath](SystemSession& s) {
            if (!s.logging_ || s.logPath_ != logPath) return;
            s.logging_ = false;
            emit s.DataLogStopped(QString::fromStdString(logPath));
        });
    }
    DeviceReport frames{};
    const bool bus = (data_.ControlState.ConnectedModules & Nmea2000Connected) != 0;
    const bool framesRead = complete && canFrames && bus && link_->PollCanFrames(frames);
    // The poll's end goes to the session in one piece: states, modules, status.
    const SystemData snapshot = data_;
    const std::vector<ModuleId> decoded = decoded_;
    const std::string status = outcome ? link_->StatusText() : std::string();
    Report([timer, outcome, snapshot, decoded, status](SystemSession& s) {
        s.pollPending_[static_cast<int>(timer)] = false;
        if (outcome) s.PollDone(*outcome, snapshot, decoded, status);
    });
    if (framesRead) Report([frames](SystemSession& s) { emit s.CanFrames(frames); });
}

void SessionWorker::Run(SettingsCommand command, const SystemData& settings) {
    data_.CopySettings(settings);
    RunHere(command);
}

CommandResult SessionWorker::RunHere(SettingsCommand command) {
    stop_ = false;
    Report([command](SystemSession& s) { s.CommandBegan(command); });
    const CommandResult result = Execute(command);
    const SystemData snapshot = data_;
    Report([result, snapshot](SystemSession& s) { s.CommandEnded(result, snapshot); });
    return result;
}

void SessionWorker::SetShareData(bool share) {
    if (std::exchange(share_, share) && !share) remote_->StopSharing();
}

CommandResult SessionWorker::Execute(SettingsCommand command) {
    CommandResult result;
    result.Kind = command;
    result.Forwarded = link_->Forwards();
    switch (command) {
        case SettingsCommand::ReadAllSettings:
            result.Ok = link_->ReadAllSettings(data_, *this);
            break;
        case SettingsCommand::WriteAllSettings:
            result.Write = link_->WriteAllSettings(data_, *this);
            result.Ok = result.Write.Complete;
            break;
        case SettingsCommand::WriteControlBoxSettings:
            result.Write = link_->WriteControlBoxSettings(data_, *this);
            result.Ok = result.Write.Complete;
            break;
        case SettingsCommand::ResetControlBoxDefaults:
            result.Ok = link_->ResetControlBoxDefaults(data_, *this);
            break;
        case SettingsCommand::ResetBluetoothRadio: {
            const auto sent = std::chrono::steady_clock::now();
            result.Ok = link_->ResetBluetoothRadio(*this);
            if (!result.Ok) break;
            Report([](SystemSession& s) { emit s.BluetoothResetSent(); });
            // The radio restarts meanwhile: nothing else goes to the system.
            const auto left =
                BluetoothResetDuration - std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - sent);
            if (left.count() > 0) wait_.Wait(left, true);
            break;
        }
    }
    result.Reason = link_->StatusText();
    return result;
}

void SessionWorker::LinkStatus(const std::string& text) {
    Report([text](SystemSession& s) { emit s.LinkStatus(QString::fromStdString(text)); });
}

void SessionWorker::StateDecoded(ModuleId module) { decoded_.push_back(module); }

void SessionWorker::WriteProgress(size_t sent, size_t total, ModuleId module) {
    Report([=](SystemSession& s) { emit s.WriteProgress(sent, total, module); });
}

void SessionWorker::SetShareDataChecked(bool checked) {
    if (share_ == checked) return;
    share_ = checked;
    Report([checked](SystemSession& s) {
        s.ShareTurned(checked);
        emit s.ShareDataChanged(checked);
    });
}

void SessionWorker::SelectUsbConnection() {
    link_ = &usbLink_;
    Report([](SystemSession& s) {
        s.ChosenTurned(Connection::Usb);
        emit s.ConnectionChanged(Connection::Usb);
    });
}

void SessionWorker::SetSendChatEnabled(bool enabled) {
    Report([enabled](SystemSession& s) { emit s.SendChatEnabled(enabled); });
}

void SessionWorker::ShowPanelMessage(const std::string& text) {
    Report([text](SystemSession& s) { emit s.PanelMessage(QString::fromStdString(text)); });
}

void SessionWorker::ShowConnectionError(const std::string& text) {
    Report([text](SystemSession& s) { emit s.ConnectionError(QString::fromStdString(text)); });
}

void SessionWorker::CloseLocalLinks() {
    bt_.Close();
    usb_.Close();
}

// Support asked for the settings: read on the local link, shown as a read is.
bool SessionWorker::ReadAllSettingsFromSystem() {
    if (!link_->ReadAllSettings(data_, *this)) return false;
    SettingsArrived(data_, true);
    return true;
}

// Settings from support that the owner accepted: written from the records.
WriteOutcome SessionWorker::WriteAllSettingsToSystem() {
    return RunHere(SettingsCommand::WriteAllSettings).Write;
}

void SessionWorker::SettingsArrived(const SystemData& data, bool onlyConnected) {
    const SystemData snapshot = data;
    Report([snapshot, onlyConnected](SystemSession& s) {
        s.TakeSettings(snapshot);
        // Only the system's own settings are shown by its connected modules; those
        // from support or a file show in every table.
        if (onlyConnected) s.NoteSystemSettings(snapshot);
        emit s.SettingsArrived(onlyConnected);
    });
}

void SessionWorker::AskSupportSettings(const SystemData& received, const SystemData& checked) {
    const SystemData now = data_;
    const SystemData theirs = received;
    const SystemData ours = checked;
    Report([now, theirs, ours](SystemSession& s) { emit s.ConsentNeeded(now, theirs, ours); });
}

void SessionWorker::SessionChanged(const SupportSessionStatus& status) {
    Report([status](SystemSession& s) { s.SupportSessionTurned(status); });
}

void SessionWorker::ChatLine(ChatSide side, const std::string& text) {
    Report([side, text](SystemSession& s) { emit s.ChatLine(side, QString::fromStdString(text)); });
}

}  // namespace korvan
