// Counts how often RTS shows raised while the port is opened and closed again and again with
// RTS off, as the restart second does. A sampler thread reads the UART's line states from
// /proc/tty/driver/serial (no descriptor of its own, so the opens and closes stay the first
// and the last). Needs a real 8250-style port and root:
//   tarlo_rts_pulse_bench /dev/ttyS0 2000

#include "SerialPort.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string port = argc > 1 ? argv[1] : "/dev/ttyS0";
    const int cycles = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::string line =
        std::to_string(std::atoi(port.c_str() + port.find_last_not_of("0123456789") + 1)) + ":";

    std::atomic<bool> done{false};
    long samples = 0, raised = 0;
    std::thread sampler([&] {
        while (!done) {
            std::ifstream f("/proc/tty/driver/serial");
            std::string l;
            while (std::getline(f, l))
                if (l.rfind(line, 0) == 0) {
                    ++samples;
                    raised += l.find("RTS") != std::string::npos;
                }
        }
    });

    TComPort com;
    com.SetPort(port);
    com.SetBaudRate(br19200);
    for (int i = 0; i < cycles; ++i) {
        com.OpenPort();
        com.ClosePort();
    }
    done = true;
    sampler.join();
    std::printf("%d open/close cycles on %s: RTS raised in %ld of %ld samples\n", cycles, port.c_str(),
                raised, samples);
    return 0;
}
