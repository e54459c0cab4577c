// korvan-sim-line: the simulated system on a pseudo-terminal, for a program on the
// other side of it: the Windows build's tests under Wine, which open the pty as a COM
// port. Prints the pty's path on the first line, answers until SIGTERM or SIGINT, and
// ends by itself after the given number of seconds (default 600).
#include <signal.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "sim/sim_serial_line.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 600;
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    // Blocked before the line's thread starts, so only sigtimedwait below takes them.
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    korvan::KorvanSimulator simulator;
    korvan::SimSerialLine line(simulator);
    if (!line.Start()) {
        std::cerr << "korvan-sim-line: " << line.LastError() << '\n';
        return 1;
    }
    std::cout << line.SlaveName() << std::endl;
    const timespec limit{seconds > 0 ? seconds : 600, 0};
    sigtimedwait(&ending, nullptr, &limit);
    line.Stop();
    return 0;
}
