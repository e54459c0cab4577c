#include "tools/monitor/monitor.h"

#include <unistd.h>

#include <QDateTime>

namespace korvan {

namespace {

// A read of the settings that failed is tried again after this long, at a poll.
constexpr qint64 SettingsRetryMs = 10000;

SignalKIds IdsOf(const MonitorOptions& o) {
    SignalKIds ids;
    ids.Battery = o.BatteryId;
    ids.Alternators = o.AlternatorIds;
    ids.Engines = o.EngineIds;
    return ids;
}

std::string IsoTime(qint64 unixMs) {
    return QDateTime::fromMSecsSinceEpoch(unixMs, Qt::UTC)
        .toString(Qt::ISODateWithMs)
        .toStdString();
}

}  // namespace

MqttSettings Monitor::MqttSettingsFor(const MonitorOptions& options, const std::string& password) {
    MqttSettings settings;
    settings.Host = options.MqttHost;
    settings.Port = options.MqttPort;
    settings.User = options.MqttUser;
    settings.Password = password;
    settings.CaFile = options.MqttCaFile;
    return settings;
}

int Monitor::StaleAfterMs(Connection connection) {
    return connection == Connection::Bluetooth ? 5 * BtPollPeriodMs : 6 * UsbPollPeriodMs;
}

Monitor::Monitor(SystemSession& session, const MonitorOptions& options, std::string mqttPassword,
                 Log log, QObject* parent)
    : QObject(parent),
      session_(session),
      options_(options),
      mqttPassword_(std::move(mqttPassword)),
      log_(std::move(log)),
      pollTimer_(options.From == MonitorOptions::Source::Usb ? PollTimer::Usb
                                                             : PollTimer::Bluetooth),
      deltas_(IdsOf(options)) {
    session_.Choose(pollTimer_ == PollTimer::Usb ? Connection::Usb : Connection::Bluetooth);
    stale_.setSingleShot(true);
    stale_.setInterval(StaleAfterMs(session_.Chosen()));
    connect(&stale_, &QTimer::timeout, this, [this] { Lost("no complete poll lately"); });
    connect(&session_, &SystemSession::StatePolled, this, &Monitor::StatePolled);
    connect(&session_, &SystemSession::LinkLost, this, [this] { Lost("the system is gone"); });
    connect(&session_, &SystemSession::CommandFinished, this, &Monitor::SettingsRead);
    connect(&session_, &SystemSession::LinkStatus, this, [this](const QString& text) {
        const std::string line = text.simplified().toStdString();
        if (options_.Verbose && log_ && line != linkStatus_) log_("link: " + line);
        linkStatus_ = line;
    });
}

Monitor::~Monitor() { Stop(0); }

bool Monitor::Start(std::string& error) {
    if (options_.SignalKPort >= 0) {
        lineServer_ = std::make_unique<LineServer>();
        if (!lineServer_->Start(options_.SignalKListen, options_.SignalKPort)) {
            error = lineServer_->LastError();
            lineServer_.reset();
            return false;
        }
        if (log_)
            log_("Signal K deltas on " + options_.SignalKListen + ":" +
                 std::to_string(lineServer_->Port()));
    }
    session_.Timer(pollTimer_)->start();
    session_.Poll(pollTimer_);
    return true;
}

void Monitor::Stop(int limitMs) {
    session_.Timer(pollTimer_)->stop();
    stale_.stop();
    if (mqtt_) mqtt_->Stop(limitMs);
    if (lineServer_) lineServer_->Stop();
}

void Monitor::SetAvailable(bool available) {
    available_ = available;
    if (mqtt_) mqtt_->SetAvailable(available);
}

void Monitor::Lost(const char* why) {
    stale_.stop();
    if (available_ && log_) log_(std::string("system unavailable: ") + why);
    SetAvailable(false);
    // Signal K readers hear that the values are gone rather than keep the last ones.
    const std::string cleared = deltas_.Cleared(IsoTime(QDateTime::currentMSecsSinceEpoch()));
    if (lineServer_ && !cleared.empty()) lineServer_->Send(cleared);
}

void Monitor::StatePolled() {
    stale_.start();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!identity_ && !readingSettings_ && !session_.CommandRunning() &&
        (lastSettingsTry_ == 0 || now - lastSettingsTry_ >= SettingsRetryMs)) {
        lastSettingsTry_ = now;
        readingSettings_ = session_.Start(SettingsCommand::ReadAllSettings);
    }
    const SystemData& data = session_.Records();
    if (lineServer_) {
        const unsigned joined = lineServer_->Joined();
        const bool all = sendAllNotifications_ || joined != joinedSeen_;
        joinedSeen_ = joined;
        sendAllNotifications_ = false;
        lineServer_->Send(deltas_.Delta(data, IsoTime(now), all));
    }
    if (mqtt_ && identity_) {
        if (!available_ && log_) log_("system available");
        SetAvailable(true);
        mqtt_->Publish(topics_.State(), StateJson(data, now));
    }
    available_ = true;
    emit Published();
}

void Monitor::SettingsRead(const CommandResult& result) {
    if (result.Kind != SettingsCommand::ReadAllSettings || !readingSettings_) return;
    readingSettings_ = false;
    if (!result.Ok) {
        if (log_) log_("reading the settings failed (" + result.Reason + "); trying again");
        return;
    }
    const ControlBoxSettings& control = session_.Records().ControlSettings;
    identity_ = DeviceIdentity{SerialNumberText(control), std::to_string(control.Version)};
    if (log_) log_("KORVAN KX4 serial number " + identity_->SerialNumber);
    if (!options_.MqttHost.empty()) StartMqtt();
}

void Monitor::StartMqtt() {
    topics_.Prefix =
        options_.TopicPrefix.empty() ? "korvan/" + identity_->SerialNumber : options_.TopicPrefix;
    topics_.DiscoveryPrefix = options_.DiscoveryPrefix;
    MqttSettings settings = MqttSettingsFor(options_, mqttPassword_);
    settings.ClientId =
        "korvan-monitor-" + identity_->SerialNumber + "-" + std::to_string(getpid());
    mqtt_ = std::make_unique<MqttPublisher>(settings, log_);
    // Unavailable until the next complete poll says otherwise.
    available_ = false;
    if (!mqtt_->Start(topics_.Availability(), topics_.DiscoveryStatus(),
                      DiscoveryConfigs(topics_, *identity_))) {
        if (log_) log_(mqtt_->LastError());
        mqtt_.reset();
    }
}

}  // namespace korvan
