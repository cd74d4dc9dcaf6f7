// A soak of the restart cadence: the port closed and reopened back to back, a million times by
// default, while the far end streams records, with the deliveries run between the reopens as the
// window's event loop runs them. Fails (exit 1) on the first reopen that fails, which is how a
// port left locked by this process shows; prints the pace, the records that reached the handler
// and the process's open descriptors and memory at the start, at every tenth and at the end.
//
//   tarlo_restart_soak [pairs]      (default 1000000)

#include "ControllerPort.h"
#include "SerialPort.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int openDescriptors()
{
    int n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir))
            n += e->d_name[0] != '.';
        closedir(dir);
        --n; // the directory's own
    }
    return n;
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long pairs = argc > 1 ? std::max(1L, std::atol(argv[1])) : 1000000L;

    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    const std::string path = ttyname(slave);
    ::close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    TComPort port;
    port.SetPort(path);
    configureControllerPort(port);
    long long bytes = 0;
    port.OnRxChar = [&](QObject*, int count) {
        std::string s;
        bytes += port.ReadText(s, count);
    };
    port.OpenPort();

    // The controller: a record every 2 ms, ten times its real pace. What finds the terminal full
    // while the port is closed is dropped, as a controller's bytes are with no reader.
    std::atomic<bool> done{false};
    std::atomic<long long> sent{0};
    std::thread controller([&] {
        const std::string record =
            "-\r\n6,90\r\n6,50\r\n7,20\r\n0,30\r\n7,0\r\n4\r\n8\r\n5\r\n1\r\n0\r\n \r\n";
        while (!done) {
            const ssize_t n = ::write(master, record.data(), record.size());
            if (n > 0)
                sent += n;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    const int fdsAtStart = openDescriptors();
    const long rssAtStart = residentKiB();
    int fdsMax = fdsAtStart;
    std::printf("%-10s %10s %12s %5s %9s\n", "pairs", "seconds", "pairs/s", "fds", "RSS KiB");
    std::printf("%-10d %10.1f %12s %5d %9ld\n", 0, 0.0, "-", fdsAtStart, rssAtStart);
    const auto start = Clock::now();
    int status = 0;
    for (long i = 1; i <= pairs; ++i) {
        port.ClosePort();
        try {
            port.OpenPort();
        } catch (const EComPort& e) {
            std::fprintf(stderr, "reopen %ld failed: %s\n", i, e.what());
            status = 1;
            break;
        }
        QCoreApplication::processEvents();
        if (i % 1000 == 0)
            fdsMax = std::max(fdsMax, openDescriptors());
        if (i % std::max(1L, pairs / 10) == 0 || i == pairs) {
            const double s = std::chrono::duration<double>(Clock::now() - start).count();
            std::printf("%-10ld %10.1f %12.0f %5d %9ld\n", i, s, double(i) / s, openDescriptors(),
                        residentKiB());
            std::fflush(stdout);
        }
    }
    done = true;
    controller.join();
    port.ClosePort();
    const int fdsAtEnd = openDescriptors();
    std::printf("descriptors: %d at the start, %d at most, %d at the end (port closed)\n", fdsAtStart, fdsMax,
                fdsAtEnd);
    std::printf("bytes: %lld sent by the far end, %lld reached OnRxChar (the rest went to purges)\n",
                sent.load(), bytes);
    if (fdsMax > fdsAtStart + 1) {
        std::fprintf(stderr, "descriptors grew\n");
        status = 1;
    }
    ::close(master);
    return status;
}
