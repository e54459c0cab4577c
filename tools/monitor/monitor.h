// korvan-monitor's view of the session: after each complete poll it hands the
// records to the publishers (MQTT, Signal K); a lost or silent link makes the
// system unavailable, and nothing is published until a complete poll comes again.
// The system's serial number names the MQTT topics and Home Assistant's device, so
// the settings are read once after the first complete poll. QtCore only.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "session/system_session.h"
#include "tools/monitor/line_server.h"
#include "tools/monitor/monitor_options.h"
#include "tools/monitor/monitor_values.h"
#include "tools/monitor/mqtt_publisher.h"
#include "tools/monitor/signalk_delta.h"

namespace korvan {

class Monitor : public QObject {
    Q_OBJECT
  public:
    using Log = std::function<void(const std::string& line)>;

    // `mqttPassword`: read by the caller from --mqtt-password-file.
    Monitor(SystemSession& session, const MonitorOptions& options, std::string mqttPassword,
            Log log, QObject* parent = nullptr);
    ~Monitor() override;

    // Starts the Signal K server and the chosen link's poll timer; false with a
    // reason when the Signal K port cannot be had.
    bool Start(std::string& error);
    // The poll timer stops; MQTT says "offline" (waiting up to `limitMs` for the
    // broker) and disconnects; Signal K readers are let go.
    void Stop(int limitMs = 1000);

    int SignalKPort() const { return lineServer_ ? lineServer_->Port() : -1; }
    LineServer* SignalK() { return lineServer_.get(); }
    MqttPublisher* Mqtt() { return mqtt_.get(); }
    const std::optional<DeviceIdentity>& Identity() const { return identity_; }
    const MqttTopics& Topics() const { return topics_; }
    bool Available() const { return available_; }

    // The broker's settings from the command line, without a client id.
    static MqttSettings MqttSettingsFor(const MonitorOptions& options, const std::string& password);
    // How long without a complete poll makes the system unavailable.
    static int StaleAfterMs(Connection connection);

  signals:
    // The state of one complete poll went to every publisher.
    void Published();

  private:
    void StatePolled();
    void Lost(const char* why);
    void SettingsRead(const CommandResult& result);
    void StartMqtt();
    void SetAvailable(bool available);

    SystemSession& session_;
    MonitorOptions options_;
    std::string mqttPassword_;
    Log log_;
    PollTimer pollTimer_;
    QTimer stale_;
    std::unique_ptr<MqttPublisher> mqtt_;
    std::unique_ptr<LineServer> lineServer_;
    SignalKDeltas deltas_;
    unsigned joinedSeen_ = 0;
    bool sendAllNotifications_ = true;
    MqttTopics topics_;
    std::optional<DeviceIdentity> identity_;
    bool readingSettings_ = false;
    qint64 lastSettingsTry_ = 0;
    bool available_ = false;
    std::string linkStatus_;
};

}  // namespace korvan
