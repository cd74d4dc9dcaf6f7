// Times one ClosePort + OpenPort cycle on a pseudo-terminal, and the latency from the peer
// writing a byte to OnRxChar running on the main thread. Prints the median of several runs.

#include "SerialPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <pty.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void report(const char* what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-34s median %9.1f us   min %9.1f us   max %9.1f us   (%zu runs)\n", what, v[v.size() / 2],
                v.front(), v.back(), v.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 51;

    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    const std::string path = ttyname(slave);
    ::close(slave);

    // The main window's settings.
    TComPort port;
    port.SetPort(path);
    port.SetBaudRate(br19200);
    port.SetDiscardNull(true);
    port.SetEvents(TComEvents::all());
    port.FlowControl().SetControlDTR(dtrEnable);
    port.FlowControl().SetControlRTS(rtsDisable);
    port.SetTriggersOnRxChar(true);

    Clock::time_point arrived;
    QEventLoop* waiting = nullptr;
    port.OnRxChar = [&](QObject*, int count) {
        arrived = Clock::now();
        std::string s;
        port.ReadText(s, count);
        if (waiting)
            waiting->quit();
    };
    port.OpenPort();

    std::vector<double> cycles;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        port.ClosePort();
        port.OpenPort();
        cycles.push_back(microseconds(Clock::now() - t0));
    }
    report("ClosePort + OpenPort", cycles);

    std::vector<double> latencies;
    for (int i = 0; i < runs; ++i) {
        QEventLoop loop;
        waiting = &loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        arrived = {};
        auto t0 = Clock::now();
        if (::write(master, "x", 1) != 1)
            return 1;
        loop.exec();
        waiting = nullptr;
        if (arrived == Clock::time_point{}) {
            std::fprintf(stderr, "no OnRxChar within 2 s\n");
            return 1;
        }
        latencies.push_back(microseconds(arrived - t0));
    }
    report("peer byte -> OnRxChar (main thread)", latencies);
    port.ClosePort();
    ::close(master);
    return 0;
}
