// korvan-relay as a process of its own for the tests: started with chosen
// arguments, its standard output on a pipe, every wait bounded.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace korvan {

// korvan-relay with its standard output on a pipe.
class RelayProcess {
  public:
    explicit RelayProcess(std::vector<std::string> args) {
        args.insert(args.begin(), KORVAN_RELAY_BINARY);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        fd_ = out[0];
    }
    ~RelayProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    // Standard output up to its first line break or its end, within 5 s.
    std::string Line() {
        std::string text;
        char c = 0;
        pollfd waiting{fd_, POLLIN, 0};
        while (poll(&waiting, 1, 5000) > 0 && read(fd_, &c, 1) == 1 && c != '\n') text += c;
        return text;
    }
    // Standard output to its end, within 5 s of silence.
    std::string All() {
        std::string text;
        char chunk[4096];
        pollfd waiting{fd_, POLLIN, 0};
        ssize_t got = 0;
        while (poll(&waiting, 1, 5000) > 0 && (got = read(fd_, chunk, sizeof chunk)) > 0) {
            text.append(chunk, static_cast<size_t>(got));
        }
        return text;
    }
    // The exit status, or -1 when it did not end within 5 s.
    int Wait() {
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }
    void Signal(int signal) { kill(pid_, signal); }
    pid_t Pid() const { return pid_; }
    // CPU time the process has used so far, user and system.
    std::chrono::microseconds CpuTime() const;

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

inline std::chrono::microseconds RelayProcess::CpuTime() const {
    // Fields 14 and 15 of /proc/PID/stat, after the parenthesised name.
    FILE* file = std::fopen(("/proc/" + std::to_string(pid_) + "/stat").c_str(), "r");
    if (!file) return {};
    char text[1024] = "";
    const size_t got = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[got] = 0;
    const char* at = std::strrchr(text, ')');
    unsigned long user = 0;
    unsigned long system = 0;
    if (!at || std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                           &system) != 2)
        return {};
    const long tick = sysconf(_SC_CLK_TCK);
    return std::chrono::microseconds((user + system) * 1000000 / static_cast<unsigned long>(tick));
}

}  // namespace korvan
