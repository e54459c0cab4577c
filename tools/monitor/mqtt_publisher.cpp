#include "tools/monitor/mqtt_publisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace korvan {

namespace {

constexpr int AtLeastOnce = 1;

struct LibraryUse {
    LibraryUse() { mosquitto_lib_init(); }
    ~LibraryUse() { mosquitto_lib_cleanup(); }
};

void UseLibrary() { static LibraryUse use; }

}  // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, Log log)
    : settings_(std::move(settings)), log_(std::move(log)) {
    UseLibrary();
}

MqttPublisher::~MqttPublisher() {
    Stop(0);
    if (client_) mosquitto_destroy(client_);
}

bool MqttPublisher::Start(const std::string& availabilityTopic,
                          const std::string& discoveryStatusTopic,
                          std::vector<std::pair<std::string, std::string>> retainedConfigs) {
    availabilityTopic_ = availabilityTopic;
    statusTopic_ = discoveryStatusTopic;
    configs_ = std::move(retainedConfigs);
    if (!Configure()) return false;
    mosquitto_reconnect_delay_set(client_, static_cast<unsigned>(settings_.RetryFirstSeconds),
                                  static_cast<unsigned>(settings_.RetryLastSeconds), true);
    mosquitto_connect_callback_set(client_, &MqttPublisher::OnConnect);
    mosquitto_disconnect_callback_set(client_, &MqttPublisher::OnDisconnect);
    mosquitto_message_callback_set(client_, &MqttPublisher::OnMessage);
    mosquitto_publish_callback_set(client_, &MqttPublisher::OnPublish);
    started_ = true;
    // The first connection on a thread of its own: the host name's lookup and a
    // broker that is not there yet never hold the caller's polls up. A broker that
    // is away is no failure: it is tried again and again.
    firstConnect_ = std::thread([this] { ConnectUntilUp(); });
    return true;
}

bool MqttPublisher::Configure() {
    client_ = mosquitto_new(settings_.ClientId.empty() ? nullptr : settings_.ClientId.c_str(), true,
                            this);
    if (!client_) {
        lastError_ = "cannot make an MQTT client: " + std::string(std::strerror(errno));
        return false;
    }
    auto fail = [this](const char* what, int rc) {
        lastError_ = std::string(what) + ": " + mosquitto_strerror(rc);
        return false;
    };
    int rc = mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (rc != MOSQ_ERR_SUCCESS) return fail("MQTT protocol version", rc);
    rc = mosquitto_will_set(client_, availabilityTopic_.c_str(), 7, "offline", AtLeastOnce, true);
    if (rc != MOSQ_ERR_SUCCESS) return fail("MQTT last will", rc);
    if (!settings_.User.empty()) {
        rc = mosquitto_username_pw_set(
            client_, settings_.User.c_str(),
            settings_.Password.empty() ? nullptr : settings_.Password.c_str());
        if (rc != MOSQ_ERR_SUCCESS) return fail("MQTT user", rc);
    }
    if (!settings_.CaFile.empty()) {
        rc = mosquitto_tls_set(client_, settings_.CaFile.c_str(), nullptr, nullptr, nullptr,
                               nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return fail(("TLS with " + settings_.CaFile).c_str(), rc);
    }
    return true;
}

std::string MqttPublisher::Refusal(const MqttSettings& settings) {
    MqttPublisher trial(settings, nullptr);
    trial.availabilityTopic_ = "korvan/availability";
    return trial.Configure() ? std::string() : trial.lastError_;
}

bool MqttPublisher::FirstConnect() {
    int rc = mosquitto_connect_async(client_, settings_.Host.c_str(), settings_.Port,
                                     settings_.KeepAliveSeconds);
    if (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_loop_start(client_);
        if (rc == MOSQ_ERR_SUCCESS) {
            looping_ = true;
            return true;
        }
    }
    if (log_)
        log_("MQTT broker " + settings_.Host + ":" + std::to_string(settings_.Port) +
             " not reached: " +
             (rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc)));
    return false;
}

void MqttPublisher::ConnectUntilUp() {
    int delay = settings_.RetryFirstSeconds;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        const bool connected = FirstConnect();
        lock.lock();
        if (connected) return;
        if (stopAsked_.wait_for(lock, std::chrono::seconds(delay), [this] { return stopping_; }))
            return;
        delay = std::min(delay * 2, settings_.RetryLastSeconds);
    }
}

void MqttPublisher::SendAvailability(int* mid) {
    bool available;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        available = available_;
    }
    const char* text = available ? "online" : "offline";
    mosquitto_publish(client_, mid, availabilityTopic_.c_str(), static_cast<int>(std::strlen(text)),
                      text, AtLeastOnce, true);
}

void MqttPublisher::SendRetained() {
    for (const auto& [topic, payload] : configs_)
        mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), AtLeastOnce, true);
    if (!configs_.empty()) ++discoveryRounds_;
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        if (me->log_) me->log_(std::string("MQTT broker refused: ") + mosquitto_connack_string(rc));
        return;
    }
    me->connected_ = true;
    if (me->connections_++ > 0) ++me->reconnections_;
    if (me->log_) me->log_("MQTT broker connected");
    // Configs before availability, so that Home Assistant knows the entities that
    // the "online" makes available.
    me->SendRetained();
    me->SendAvailability(nullptr);
    if (!me->configs_.empty())
        mosquitto_subscribe(me->client_, nullptr, me->statusTopic_.c_str(), AtLeastOnce);
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* me = static_cast<MqttPublisher*>(self);
    me->connected_ = false;
    if (rc != 0 && me->log_) me->log_("MQTT broker lost; retrying");
}

void MqttPublisher::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (!message->topic || me->statusTopic_ != message->topic) return;
    const std::string payload(static_cast<const char*>(message->payload),
                              static_cast<size_t>(message->payloadlen));
    // Home Assistant started again and has forgotten what is not retained.
    if (payload == "online") {
        me->SendRetained();
        me->SendAvailability(nullptr);
    }
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
    auto* me = static_cast<MqttPublisher*>(self);
    std::lock_guard<std::mutex> lock(me->mutex_);
    if (mid == me->offlineMid_) me->offlineTaken_ = true;
}

void MqttPublisher::SetAvailable(bool available) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (available_ == available) return;
        available_ = available;
    }
    if (started_ && connected_) SendAvailability(nullptr);
}

void MqttPublisher::Publish(const std::string& topic, const std::string& payload) {
    if (!started_ || !connected_) return;
    mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 0, false);
}

void MqttPublisher::Stop(int limitMs) {
    if (!started_) return;
    started_ = false;
    if (firstConnect_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        stopAsked_.notify_all();
        firstConnect_.join();
    }
    if (connected_) {
        std::unique_lock<std::mutex> lock(mutex_);
        available_ = false;
        const char* text = "offline";
        int mid = -1;
        // Under the lock, so that OnPublish cannot see the id before it is noted.
        mosquitto_publish(client_, &mid, availabilityTopic_.c_str(), 7, text, AtLeastOnce, true);
        offlineMid_ = mid;
        lock.unlock();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!offlineTaken_ && connected_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    mosquitto_disconnect(client_);
    if (looping_) mosquitto_loop_stop(client_, true);
    looping_ = false;
    connected_ = false;
}

}  // namespace korvan
