#include "tests/monitor/broker.h"

#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

extern char** environ;

namespace korvan::test {

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof where;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length) == 0)
        port = ntohs(where.sin_port);
    close(fd);
    return port;
}

Broker::Broker(std::filesystem::path scratch) : scratch_(std::move(scratch)) {
    std::filesystem::create_directories(scratch_);
    port_ = FreeLoopbackPort();
}

Broker::~Broker() { Stop(); }

bool Broker::Start() {
    const auto config = scratch_ / "mosquitto.conf";
    {
        std::ofstream out(config);
        out << "listener " << port_ << " 127.0.0.1\n"
            << "allow_anonymous true\n"
            << "persistence false\n"
            // Run as root, mosquitto becomes its own user and could not write here.
            << "log_dest none\n";
    }
    const std::string program = "mosquitto";
    const std::string flag = "-c";
    const std::string path = config.string();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(flag.c_str()),
                    const_cast<char*>(path.c_str()), nullptr};
    if (posix_spawnp(&pid_, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
        pid_ = -1;
        return false;
    }
    for (int i = 0; i < 200; ++i) {
        if (const int fd = ConnectLoopback(port_); fd >= 0) {
            close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

void Broker::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

Subscriber::Subscriber(int port, const std::string& pattern) : pattern_(pattern) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(client_, [](mosquitto* m, void* self, int rc) {
        if (rc == 0)
            mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->pattern_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void*, int, int, const int*) {});
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* me = static_cast<Subscriber*>(self);
        Received r{
            m->topic,
            std::string(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen)),
            m->retain, std::chrono::steady_clock::now(), std::chrono::system_clock::now()};
        if (me->observer_) me->observer_(r);
        std::lock_guard<std::mutex> lock(me->mutex_);
        me->messages_.push_back(std::move(r));
    });
    mosquitto_connect(client_, "127.0.0.1", port, 30);
    mosquitto_loop_start(client_);
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
}

std::vector<Received> Subscriber::Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void Subscriber::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

}  // namespace korvan::test
