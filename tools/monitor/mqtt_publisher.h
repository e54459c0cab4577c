// The MQTT side of korvan-monitor over libmosquitto. A thread of its own makes the
// first connection (the host name's lookup included), the library's network thread
// reconnects with back-off and sends; the caller's thread only hands messages over
// and never waits on the broker or on a name server. The broker learns the
// availability (retained, with a last will of "offline") and the discovery configs
// (retained) again after every reconnection and whenever Home Assistant announces
// itself on <discovery prefix>/status. No Qt.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace korvan {

struct MqttSettings {
    std::string Host;
    int Port = 1883;
    std::string User;
    std::string Password;
    std::string CaFile;  // TLS when set
    std::string ClientId;
    int KeepAliveSeconds = 30;
    // Reconnection back-off: doubled from the first delay up to the last.
    int RetryFirstSeconds = 1;
    int RetryLastSeconds = 30;
};

class MqttPublisher {
  public:
    using Log = std::function<void(const std::string& line)>;

    MqttPublisher(MqttSettings settings, Log log);
    // Stop() first if it has not run.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the network thread with the last will on `availabilityTopic`; the
    // retained configs go out now and after every reconnection. False (with
    // LastError()) when the library refuses the settings; a broker that is away is
    // not a failure, it is retried.
    bool Start(const std::string& availabilityTopic, const std::string& discoveryStatusTopic,
               std::vector<std::pair<std::string, std::string>> retainedConfigs);
    // Why the library would refuse `settings` in Start(), found before any
    // connection; "" when it takes them.
    static std::string Refusal(const MqttSettings& settings);
    // Retained "online" or "offline"; what a reconnection repeats.
    void SetAvailable(bool available);
    // A state message; dropped, not queued, while the broker is away, so that it
    // never delivers an old value late.
    void Publish(const std::string& topic, const std::string& payload);
    // Publishes "offline", waits up to `limitMs` for the broker to take it,
    // disconnects and ends the network thread.
    void Stop(int limitMs);

    bool Connected() const { return connected_; }
    // Reconnections after the first connection, and the discovery rounds sent.
    int Reconnections() const { return reconnections_; }
    int DiscoveryRounds() const { return discoveryRounds_; }
    const std::string& LastError() const { return lastError_; }

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnPublish(mosquitto*, void* self, int mid);
    // The first connection, on firstConnect_'s thread until it succeeds:
    // libmosquitto's network thread only reconnects a client that was connected once.
    // A client with the settings and the last will; false with lastError_.
    bool Configure();
    bool FirstConnect();
    void ConnectUntilUp();
    void SendRetained();  // on the network thread
    void SendAvailability(int* mid);

    MqttSettings settings_;
    Log log_;
    mosquitto* client_ = nullptr;
    bool started_ = false;
    bool looping_ = false;  // set on firstConnect_'s thread, read after it is joined
    std::thread firstConnect_;
    std::condition_variable stopAsked_;
    bool stopping_ = false;  // under mutex_
    std::string availabilityTopic_;
    std::string statusTopic_;
    std::vector<std::pair<std::string, std::string>> configs_;
    std::mutex mutex_;  // available_ and the message ids waited for
    bool available_ = false;
    int offlineMid_ = -1;
    std::atomic<bool> offlineTaken_{false};
    std::atomic<bool> connected_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> reconnections_{0};
    std::atomic<int> discoveryRounds_{0};
    std::string lastError_;
};

}  // namespace korvan
