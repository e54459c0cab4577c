// The system's session without a window: the records, the chosen link, the poll
// timers, the settings commands, the history, the data log and the remote-support
// roles. Every exchange with the system and the relay runs in order on one worker
// thread that the session owns, so polls and commands never interleave and the
// thread that owns the session never waits on a device or a server. Views (the
// main window, a headless program, tests) follow its signals and call its
// operations; none of them holds system state. QtCore only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/alarm_rules.h"
#include "history/history_event.h"
#include "history/history_recorder.h"
#include "link/bluetooth_discovery.h"
#include "link/hid_devices.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "relay/remote_support.h"
#include "session/settings_backups.h"

class QThread;
class QTimer;

namespace korvan {

class BtTransport;
class FaultWatch;
class HistoryStore;
class SessionWorker;
class UsbTransport;

// What the session talks through. The programs plug in the real backends or the
// simulator; tests plug in the simulator, a recording waiter and a scripted relay.
struct SessionSeams {
    HidDevices* Hid = nullptr;
    SerialPort* Serial = nullptr;
    BluetoothDiscovery* Bluetooth = nullptr;
    // Builds the relay exchange; `busy` is called on the worker thread when an
    // exchange starts (true) and ends (false). None: remote support is not available.
    using RelayCue = std::function<void(bool busy)>;
    std::function<std::unique_ptr<RelayTransport>(RelayCue busy)> MakeRelay;
    Waiter* Wait = nullptr;
    HistoryLimits History;
    // The file that keeps the history and the event log across restarts; none:
    // both are kept in memory only.
    std::string HistoryPath;
    // Where the settings as last read are kept before every write or reset; none:
    // no backups.
    QString BackupFolder;
};

enum class Connection { Usb, Bluetooth, RemoteSupport };

enum class SettingsCommand {
    ReadAllSettings,
    WriteAllSettings,
    WriteControlBoxSettings,
    ResetControlBoxDefaults,
    ResetBluetoothRadio,
};

struct CommandResult {
    SettingsCommand Kind = SettingsCommand::ReadAllSettings;
    bool Ok = false;
    WriteOutcome Write;  // of the two writes
    std::string Reason;  // the link's status text at the end
    // The settings went to the customer's tool, or were asked of it.
    bool Forwarded = false;
};

HistoryTime HistoryNow();

class SystemSession : public QObject {
    Q_OBJECT
  public:
    SystemSession(const SessionSeams& seams, char decimalSeparator, QObject* parent = nullptr);
    // Stops a running write at the next report boundary and ends the worker.
    ~SystemSession() override;

    // The records as the views show and edit them: the states as last polled,
    // the settings as last read, loaded or typed.
    SystemData& Records() { return records_; }
    const SystemData& Records() const { return records_; }
    HistoryRecorder& History() { return history_; }
    // The event log, oldest first: what the store brought back, then this run's.
    // The newest events (the file keeps thirty days): a bound for a tool left
    // running for months, or a file full of a flapping fault.
    static constexpr size_t EventLimit = 100000;
    const std::vector<HistoryEvent>& Events() const { return events_; }
    void Note(EventKind kind, const std::string& text);
    // The history store's file; empty when history is kept in memory only.
    std::string HistoryPath() const;
    // The alarms, checked after every complete poll.
    const AlarmEngine& Alarms() const { return alarms_; }
    // A raised alarm whose rule changed or went is cleared, and told so.
    void SetAlarmRules(std::vector<AlarmRule> rules);
    char DecimalSeparator() const { return sep_; }
    QTimer* Timer(PollTimer timer) const;
    // The settings kept before writes and resets, to restore from.
    const SettingsBackups& Backups() const { return backups_; }
    // The settings the system held when last read; none before the first read.
    const std::optional<SystemData>& SystemSettings() const { return systemSettings_; }

    // The chosen connection; the worker switches over before its next job.
    Connection Chosen() const { return chosen_; }
    void Choose(Connection connection);
    // The chosen link's stateless facts: caption word, refusals, forwarding.
    const SystemLink& Link() const;
    // The chosen link's refusal of `operation`, noted in the event log.
    std::optional<LinkRefusal> Refusal(LinkOperation operation);

    // One tick of a poll timer: nothing unless it polls the chosen link (the
    // relay timer also runs the customer side of remote support). A tick is
    // skipped while the previous one or a command is still under way.
    void Poll(PollTimer timer);
    // Starts a command on the chosen link with the settings of Records(); false
    // (nothing started) while another runs. Refusals are the caller's to ask first.
    bool Start(SettingsCommand command);
    bool CommandRunning() const { return running_; }
    // Closes the USB and Bluetooth links (they open again at the next poll).
    void CloseLinks();
    // The running write stops before its next report.
    void RequestStop();
    // No job queued or running.
    bool Idle() const { return jobs_ == 0; }

    void PressFrsPlus() { frsPlus_ = true; }
    void PressFrsMinus() { frsMinus_ = true; }
    // A press not yet sent with a state request.
    bool FrsPending() const { return frsPlus_ || frsMinus_; }
    // The frame monitor shows and is not paused: complete USB polls fetch frames.
    void SetCanFramesWanted(bool wanted) { canWanted_ = wanted; }

    // The data log: a line after every complete state poll while a path is set.
    void StartDataLog(const std::string& path);
    void StopDataLog();
    const std::string& DataLogPath() const { return logPath_; }
    bool DataLogging() const { return logging_; }

    // Remote support.
    bool ShareData() const { return share_; }
    void SetShareData(bool share);
    const std::string& SupportDomain() const { return supportDomain_; }
    void SetSupportDomain(const std::string& domain);
    void SendChat(const std::string& text);
    // The owner's answer to ConsentNeeded.
    void AnswerSupportSettings(bool write);
    // Support posts its stop and falls back to USB; the customer stops sharing.
    void EndSupportSession();
    const SupportSessionStatus& SupportStatus() const { return supportStatus_; }

    // For tests and diagnostics: the worker's transports and roles, to be looked
    // at only while the session is Idle().
    UsbTransport& Usb();
    BtTransport& Bt();
    RemoteSupport& Remote();

  signals:
    // A module's state in Records() was decoded afresh.
    void StateDecoded(ModuleId module);
    // The end of a poll, after StatePolled, LinkLost or NoDataSince.
    void Polled(PollOutcome outcome);
    // The system is gone: the states in Records() are zero.
    void LinkLost();
    // A complete state arrived from any link: history and data log have it.
    void StatePolled();
    // A poll brought nothing: the history has a gap; the last complete poll.
    void NoDataSince(std::optional<HistoryTime> last);
    void CanFrames(const DeviceReport& answer);
    void LinkStatus(const QString& text);
    // Settings in Records() came from the system, the customer or support.
    void SettingsArrived(bool onlyConnected);
    void WriteProgress(size_t sent, size_t total, ModuleId module);
    // A command began (also those that remote support starts) and ended.
    void CommandStarted(SettingsCommand command);
    void CommandFinished(const CommandResult& result);
    // The Bluetooth radio got its reset; it takes BluetoothResetDuration.
    void BluetoothResetSent();
    void DataLogStopped(const QString& path);
    // Remote support.
    void PanelMessage(const QString& text);
    void ConnectionError(const QString& text);
    void ChatLine(ChatSide side, const QString& text);
    // `checked`: what this tool's read-back and checks make of `received`.
    void ConsentNeeded(const SystemData& now, const SystemData& received,
                       const SystemData& checked);
    void SupportSessionChanged(const SupportSessionStatus& status);
    void ShareDataChanged(bool share);
    void ConnectionChanged(Connection connection);
    void SendChatEnabled(bool enabled);
    void RelayBusy(bool busy);
    // An alarm was raised or cleared (also in Events()).
    void AlarmChanged(const QString& text, bool raised);
    // An entry was added to Events().
    void EventLogged(const HistoryEvent& event);
    // The history store moved a file aside or cannot write: said once each.
    void StoreNotice(const QString& text);

  private:
    friend class SessionWorker;
    // Runs `job` on the worker, counted until it is done.
    void Post(std::function<void(SessionWorker&)> job);
    void JobDone() { --jobs_; }
    // What the worker reports, on the session's thread.
    void TakeStates(const SystemData& data);
    void TellAlarms(const std::vector<AlarmChange>& changes);
    void TakeSettings(const SystemData& data);
    // Settings that came from the system itself, in part (`module`) or whole.
    void NoteSystemSettings(const SystemData& data, std::optional<ModuleId> module = {});
    void KeepBackup(SettingsCommand command);
    void PollDone(PollOutcome outcome, const SystemData& data, const std::vector<ModuleId>& decoded,
                  const std::string& status);
    void CommandBegan(SettingsCommand command);
    void CommandEnded(const CommandResult& result, const SystemData& data);
    void ShareTurned(bool share);
    void ChosenTurned(Connection connection);
    void SupportSessionTurned(const SupportSessionStatus& status);
    void NoteLink(PollOutcome outcome);
    void TakeStoreNotices();

    SystemData records_;
    HistoryRecorder history_;
    char sep_;
    std::unique_ptr<SessionWorker> worker_;
    QThread* thread_;
    QTimer* timers_[3] = {};
    Connection chosen_ = Connection::Usb;
    bool running_ = false;
    bool pollPending_[3] = {};
    int jobs_ = 0;
    bool frsPlus_ = false;
    bool frsMinus_ = false;
    bool canWanted_ = false;
    bool logging_ = false;
    std::string logPath_;
    bool share_ = false;
    std::string supportDomain_;
    SupportSessionStatus supportStatus_;
    std::unique_ptr<HistoryStore> store_;
    std::vector<HistoryEvent> events_;
    std::unique_ptr<FaultWatch> faults_;
    bool linkUp_ = false;
    bool linkLost_ = false;
    AlarmEngine alarms_;
    SettingsBackups backups_;
    std::optional<SystemData> systemSettings_;
};

}  // namespace korvan
