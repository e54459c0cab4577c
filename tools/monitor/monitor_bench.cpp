// make bench: korvan-monitor --simulate against a real mosquitto on loopback. The
// time from the end of a poll (the state's "time", taken when the poll is handed
// to the publishers) to a subscriber's delivery, and the monitor's CPU use and
// resident memory while it polls twice a second. The simulated system runs inside
// the monitor, so its share is in the CPU figure too.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/monitor/broker.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long StatusKb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    return -1;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvan-monitor-bench PATH/korvan-monitor [SECONDS]\n");
        return 2;
    }
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const auto scratch = std::filesystem::temp_directory_path() /
                         ("korvan-monitor-bench-" + std::to_string(getpid()));
    korvan::test::Broker broker(scratch);
    if (!broker.Start()) {
        std::fprintf(stderr, "monitor bench: mosquitto did not start\n");
        return 1;
    }
    std::mutex mutex;
    std::vector<double> latencies;
    korvan::test::Subscriber subscriber(broker.Port(), "korvan/+/state");
    subscriber.OnMessage([&](const korvan::test::Received& m) {
        const size_t at = m.Payload.find("\"time\":");
        if (at == std::string::npos) return;
        const long long sent = std::stoll(m.Payload.substr(at + 7));
        const long long now =
            std::chrono::duration_cast<std::chrono::microseconds>(m.Wall.time_since_epoch())
                .count();
        std::lock_guard<std::mutex> lock(mutex);
        latencies.push_back(static_cast<double>(now - sent * 1000) / 1000.0);
    });
    const std::string mqtt = "127.0.0.1:" + std::to_string(broker.Port());
    const char* args[] = {argv[1], "--simulate", "--mqtt", mqtt.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, const_cast<char**>(args), environ) != 0) {
        std::fprintf(stderr, "monitor bench: cannot start %s\n", argv[1]);
        return 1;
    }
    // Settle: the settings read and the first states.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    {
        std::lock_guard<std::mutex> lock(mutex);
        latencies.clear();
    }
    const double cpuStart = CpuSeconds(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds(pid) - cpuStart;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const long rss = StatusKb(pid, "VmRSS");
    const long peak = StatusKb(pid, "VmHWM");
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    std::lock_guard<std::mutex> lock(mutex);
    std::printf("korvan-monitor over %.0f s, %zu state messages (2 polls/s; time stamps in ms):\n",
                wall, latencies.size());
    std::printf(
        "  monitor_delivery_p50_ms=%.1f monitor_delivery_p95_ms=%.1f "
        "monitor_delivery_max_ms=%.1f\n",
        Percentile(latencies, 0.5), Percentile(latencies, 0.95), Percentile(latencies, 1.0));
    std::printf(
        "  monitor_cpu_percent_of_a_core=%.2f monitor_rss_mb=%.1f monitor_rss_peak_mb=%.1f\n",
        100.0 * cpu / wall, static_cast<double>(rss) / 1024.0, static_cast<double>(peak) / 1024.0);
    std::filesystem::remove_all(scratch);
    return 0;
}
