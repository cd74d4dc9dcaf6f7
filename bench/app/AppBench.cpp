// CPU use and main-thread stalls of the whole program on the real clock, offscreen:
//   idle       the window created, switch off, the event loop left to run;
//   connected  the port set to the simulator's link and the switch turned on, with
//              tarlo02-sim streaming one record a second.
// Each phase runs for --seconds (default 60). A 5 ms probe timer on the main thread records
// how late each of its ticks comes; the program's own pauses (the platform's pause()) are
// left out of that, the port restarts are not. The window's tick and received-data handlers
// are timed as they run, so the table can say where the main thread's time goes.

#include "Controls.h"
#include "Frame.h"
#include "ProgramState.h"
#include "QtPlatform.h"
#include "SerialPort.h"
#include "TarloMainForm.h"
#include "ToggleSwitch.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// User plus system CPU seconds of another process, from /proc; nothing once it is gone.
std::optional<double> processCpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = f.readAll();
    // The command name in parentheses may hold blanks; the fields are counted after it.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // Fields 14 and 15 of the whole line (utime, stime) are 11 and 12 after the name.
    if (fields.size() < 13)
        return std::nullopt;
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

bool isRestartSecond(int s) { return s == 5 || s == 20 || s == 35 || s == 50; }

// The seconds of the wall clock, read without the local time zone lookup that QTime does
// (time zones are whole minutes away from UTC).
int wallSecond()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int(ts.tv_sec % 60);
}

// The calling thread's time on a CPU and time spent runnable waiting for one, in ms, from the
// scheduler's statistics; the file is kept open, so each read is one pread.
struct SchedTimes {
    double cpuMs = 0;
    double waitMs = 0;
};
class RunQueueWait {
public:
    RunQueueWait() : fd_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
    ~RunQueueWait()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RunQueueWait(const RunQueueWait&) = delete;
    RunQueueWait& operator=(const RunQueueWait&) = delete;

    bool available() const { return fd_ >= 0; }
    // Fields: time on the CPU, time waiting on the run queue (both ns), time slices.
    SchedTimes read() const
    {
        char buf[128];
        const ssize_t n = fd_ >= 0 ? ::pread(fd_, buf, sizeof buf - 1, 0) : -1;
        if (n <= 0)
            return {};
        buf[n] = '\0';
        char* end = nullptr;
        const double cpu = double(std::strtoull(buf, &end, 10)) / 1e6;
        return {cpu, double(std::strtoull(end, nullptr, 10)) / 1e6};
    }

private:
    int fd_;
};

// The desktop platform with its pauses marked, so that the stalls they cause are left out of
// the figures, and without modal boxes: nobody is there to click them away. A box that
// would have been shown is counted and printed instead.
class BenchPlatform : public QtPlatform {
public:
    void pause(int ms) override
    {
        ++pauses;
        ++depth;
        QtPlatform::pause(ms);
        --depth;
        lastPauseEnd = Clock::now();
    }
    void messageBox(QWidget*, const QString&, const QString& text) override
    {
        ++messages;
        std::fprintf(stderr, "[%s] message box: %s\n",
                     qPrintable(QTime::currentTime().toString("hh:mm:ss.zzz")), qPrintable(text));
    }
    void errorBox(QWidget* parent, const QString& title, const QString& text) override
    {
        messageBox(parent, title, text);
    }
    bool warningOkCancel(QWidget*, const QString&, const QString& text, const QString&,
                         const QString&) override
    {
        ++messages;
        std::fprintf(stderr, "warning box (answered Cancel): %s\n", qPrintable(text));
        return false;
    }
    std::optional<QString> openFile(QWidget*, const FileDialog&) override { return std::nullopt; }
    std::optional<QString> saveFile(QWidget*, const FileDialog&) override { return std::nullopt; }
    bool startProgram(const QString&, const QStringList&) override { return false; }
    bool openFolder(const QString&) override { return false; }

    // Whether a pause ran at any time after `since` (or is running now).
    bool pausedSince(Clock::time_point since) const { return depth > 0 || lastPauseEnd > since; }

    long pauses = 0;
    long messages = 0;

private:
    int depth = 0;
    Clock::time_point lastPauseEnd{};
};

// What one phase counts; reset when a phase starts.
struct Counters {
    long ticks = 0;        // Timer1Timer runs
    double tickCpu = 0;    // main-thread CPU seconds in them
    double tickMaxMs = 0;  // the longest one, wall time less run-queue wait
    long restartTicks = 0; // runs within a restart second with the switch on
    double restartCpu = 0;
    double restartMaxMs = 0;
    long rxCalls = 0; // ComPortRxChar runs
    double rxCpu = 0;
    double rxMaxMs = 0;
    long extracted = 0;         // records cut out of the receive buffer
    long shown = 0;             // Label7 caption changes
    long blanked = 0;           // of those, to the no-data "0.00"
    std::vector<double> lateMs; // probe tick lateness
    std::vector<double> ownMs;  // the same less the time the main thread waited for a CPU
    long excluded = 0;          // probe ticks left out for a pause
    double worstMs = 0;
    QString worstAt;                  // clock time of the worst stall
    double worstOutsideRestartMs = 0; // own stall outside the restart seconds and the next ones
    double worstOwnMs = 0;
    QString worstOwnAt;
    struct Stall {
        QString at;                 // clock time at its end
        double gapMs, ownMs, cpuMs; // the gap, its own part, the main thread's CPU time in it
        QString handler;            // the longest handler run in it
    };
    std::vector<Stall> stalls; // own stalls of 3 ms and more (the first 1000)
    double worstBusyMs = 0;    // own stall no longer than the main thread's CPU time or
                               // longest handler in the gap: the program's doing for sure
};

struct PhaseResult {
    QString name;
    double seconds = 0;
    double cpu = 0;
    double mainCpu = 0;
    std::optional<double> simCpu;
    long pauses = 0;
    long messages = 0;
    Counters c;
};

class Bench {
public:
    Bench(TForm1* form, BenchPlatform& plat, bool probing) : form_(form), plat_(plat), probing_(probing)
    {
        lastCaption_ = form_->Label7->Caption();

        // The window's own bindings, replaced by timed ones that call the same handlers the
        // same way.
        if (!QObject::disconnect(form_->Timer1, &QTimer::timeout, form_, nullptr)) {
            std::fprintf(stderr, "could not take over Timer1's binding\n");
            std::exit(2);
        }
        QObject::connect(form_->Timer1, &QTimer::timeout, form_, [this] { timedTick(); });
        rx_ = form_->ComPort->OnRxChar;
        form_->ComPort->OnRxChar = [this](QObject* sender, int count) { timedRx(sender, count); };

        probe_.setTimerType(Qt::PreciseTimer);
        probe_.setInterval(kProbeMs);
        QObject::connect(&probe_, &QTimer::timeout, [this] { probeTick(); });
    }

    PhaseResult run(const QString& name, double seconds, const QProcess* sim)
    {
        c_ = Counters{};
        c_.lateMs.reserve(size_t(seconds * 1000 / kProbeMs) + 16);
        c_.ownMs.reserve(c_.lateMs.capacity());
        lastCaption_ = form_->Label7->Caption();
        const long pauses0 = plat_.pauses, messages0 = plat_.messages;
        const std::optional<double> sim0 = sim ? processCpuSeconds(sim->processId()) : std::nullopt;
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double main0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const Clock::time_point t0 = Clock::now();

        lastProbe_ = Clock::now();
        lastSched_ = wait_.read();
        gapHandler_ = nullptr;
        gapHandlerMs_ = 0;
        if (probing_)
            probe_.start();
        QEventLoop loop;
        QTimer::singleShot(int(std::lround(seconds * 1000)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        probe_.stop();

        PhaseResult r;
        r.name = name;
        r.seconds = msBetween(t0, Clock::now()) / 1000;
        r.cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        r.mainCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - main0;
        if (sim) {
            const std::optional<double> sim1 = processCpuSeconds(sim->processId());
            if (sim0 && sim1)
                r.simCpu = *sim1 - *sim0;
        }
        r.pauses = plat_.pauses - pauses0;
        r.messages = plat_.messages - messages0;
        r.c = std::move(c_);
        return r;
    }

    bool runQueueWaitKnown() const { return wait_.available(); }

private:
    static constexpr int kProbeMs = 5;

    void noteCaption()
    {
        const QString caption = form_->Label7->Caption();
        if (caption == lastCaption_)
            return;
        lastCaption_ = caption;
        ++c_.shown;
        if (caption == QLatin1String("0.00"))
            ++c_.blanked;
    }

    // Wall time since t0 less the time the main thread waited for a CPU meanwhile.
    double ownMsSince(Clock::time_point t0, const SchedTimes& s0) const
    {
        return std::max(0.0, msBetween(t0, Clock::now()) - (wait_.read().waitMs - s0.waitMs));
    }

    // The longest handler run since the last probe tick.
    void noteHandler(const char* name, double ms)
    {
        if (ms > gapHandlerMs_) {
            gapHandler_ = name;
            gapHandlerMs_ = ms;
        }
    }

    void timedTick()
    {
        const bool restart = form_->ToggleSwitch1->StateOn() && isRestartSecond(wallSecond());
        const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const SchedTimes s0 = wait_.read();
        const Clock::time_point t0 = Clock::now();
        form_->Guarded([this] { form_->Timer1Timer(form_->Timer1); });
        const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
        form_->ArmTimer1();
        ++c_.ticks;
        c_.tickCpu += cpu;
        const double ms = ownMsSince(t0, s0);
        c_.tickMaxMs = std::max(c_.tickMaxMs, ms);
        noteHandler(restart ? "Timer1Timer in a restart second" : "Timer1Timer", ms);
        if (restart) {
            ++c_.restartTicks;
            c_.restartCpu += cpu;
            c_.restartMaxMs = std::max(c_.restartMaxMs, ms);
        }
        noteCaption();
    }

    void timedRx(QObject* sender, int count)
    {
        const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const SchedTimes s0 = wait_.read();
        const Clock::time_point t0 = Clock::now();
        auto account = [&] {
            ++c_.rxCalls;
            c_.rxCpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
            const double ms = ownMsSince(t0, s0);
            c_.rxMaxMs = std::max(c_.rxMaxMs, ms);
            noteHandler("ComPortRxChar", ms);
        };
        try {
            rx_(sender, count);
        } catch (...) {
            account();
            throw;
        }
        account();
        // Received text only leaves the buffer in its reset state when a record was cut out.
        if (count > 0 && form_->ReceiveText().isReset())
            ++c_.extracted;
        noteCaption();
    }

    void probeTick()
    {
        const Clock::time_point now = Clock::now();
        const SchedTimes sched = wait_.read();
        if (plat_.pausedSince(lastProbe_)) {
            ++c_.excluded;
        } else {
            const double late = std::max(0.0, msBetween(lastProbe_, now) - kProbeMs);
            // Time the main thread sat runnable while other processes had the CPUs is the
            // machine's, not the program's.
            const double own = std::max(0.0, late - (sched.waitMs - lastSched_.waitMs));
            c_.lateMs.push_back(late);
            c_.ownMs.push_back(own);
            c_.worstBusyMs = std::max(c_.worstBusyMs,
                                      std::min(own, std::max(sched.cpuMs - lastSched_.cpuMs, gapHandlerMs_)));
            if (late > c_.worstMs) {
                c_.worstMs = late;
                c_.worstAt = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
            }
            if (own > c_.worstOwnMs) {
                c_.worstOwnMs = own;
                c_.worstOwnAt = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
            }
            if (own >= 3 && c_.stalls.size() < 1000)
                c_.stalls.push_back({QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")),
                                     msBetween(lastProbe_, now), own, sched.cpuMs - lastSched_.cpuMs,
                                     gapHandler_ ? QStringLiteral("%1 %2 ms")
                                                       .arg(QLatin1String(gapHandler_))
                                                       .arg(gapHandlerMs_, 0, 'f', 2)
                                                 : QStringLiteral("none")});
            // A stall that ended in a restart second, or in the second after one, may have
            // begun in it.
            const int s = wallSecond();
            if (!isRestartSecond(s) && !isRestartSecond((s + 59) % 60))
                c_.worstOutsideRestartMs = std::max(c_.worstOutsideRestartMs, own);
        }
        lastProbe_ = now;
        lastSched_ = sched;
        gapHandler_ = nullptr;
        gapHandlerMs_ = 0;
    }

    TForm1* form_;
    BenchPlatform& plat_;
    bool probing_;
    std::function<void(QObject*, int)> rx_;
    QTimer probe_;
    Clock::time_point lastProbe_;
    RunQueueWait wait_; // opened on the main thread, so it is the main thread's
    SchedTimes lastSched_;
    const char* gapHandler_ = nullptr;
    double gapHandlerMs_ = 0;
    QString lastCaption_;
    Counters c_;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = size_t(std::ceil(p / 100 * double(v.size())));
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

void printTable(const std::vector<PhaseResult>& results, bool waitKnown)
{
    // Stalls as the probe saw them; the same less the time the main thread waited for a CPU
    // that other processes held ("own"); and of that, no more than the main thread spent on
    // a CPU or in one handler during the gap ("busy"). On a shared or virtual machine the
    // first two include late wake-ups that are not the program's.
    std::printf("\n%-10s %8s %8s %7s %8s %11s %9s %11s %9s %9s\n", "phase", "seconds", "CPU s", "CPU %",
                "records", "longest ms", "p99 ms", "own max ms", "own p99", "busy max");
    for (const PhaseResult& r : results) {
        std::printf("%-10s %8.1f %8.3f %6.2f%% %8ld", qPrintable(r.name), r.seconds, r.cpu,
                    100 * r.cpu / r.seconds, r.c.shown);
        if (r.c.lateMs.empty())
            std::printf(" %11s %9s %11s %9s %9s\n", "-", "-", "-", "-", "-");
        else if (!waitKnown)
            std::printf(" %11.2f %9.2f %11s %9s %9s\n", r.c.worstMs, percentile(r.c.lateMs, 99), "-", "-",
                        "-");
        else
            std::printf(" %11.2f %9.2f %11.2f %9.2f %9.2f\n", r.c.worstMs, percentile(r.c.lateMs, 99),
                        r.c.worstOwnMs, percentile(r.c.ownMs, 99), r.c.worstBusyMs);
    }

    std::printf("\nwhere the time goes (CPU seconds; main thread = event loop, painting and the handlers;\n"
                "a handler's longest run is its wall time less the time it waited for a CPU)\n");
    for (const PhaseResult& r : results) {
        const Counters& c = r.c;
        std::printf("%s:\n", qPrintable(r.name));
        std::printf("  process %.3f = main thread %.3f + other threads %.3f\n", r.cpu, r.mainCpu,
                    std::max(0.0, r.cpu - r.mainCpu));
        std::printf("  Timer1Timer      %7ld runs %8.3f s  (%.1f us a run, longest %.2f ms)\n", c.ticks,
                    c.tickCpu, c.ticks ? 1e6 * c.tickCpu / double(c.ticks) : 0.0, c.tickMaxMs);
        std::printf("    of which in restart seconds %ld runs %.3f s (%.1f us a run, longest %.2f ms)\n",
                    c.restartTicks, c.restartCpu,
                    c.restartTicks ? 1e6 * c.restartCpu / double(c.restartTicks) : 0.0, c.restartMaxMs);
        std::printf("  ComPortRxChar    %7ld runs %8.3f s  (longest %.2f ms), %ld records cut out\n",
                    c.rxCalls, c.rxCpu, c.rxMaxMs, c.extracted);
        std::printf("  rest of the main thread      %8.3f s\n", r.mainCpu - c.tickCpu - c.rxCpu);
        if (!c.lateMs.empty()) {
            std::printf(
                "  stalls: %zu probe ticks, median %.3f ms; longest %.2f ms at %s; %ld ticks left out for"
                " %ld pauses\n",
                c.lateMs.size(), percentile(c.lateMs, 50), c.worstMs,
                c.worstAt.isEmpty() ? "-" : qPrintable(c.worstAt), c.excluded, r.pauses);
            if (waitKnown)
                std::printf("  own stalls: longest %.2f ms at %s, longest outside restart seconds %.2f ms\n",
                            c.worstOwnMs, c.worstOwnAt.isEmpty() ? "-" : qPrintable(c.worstOwnAt),
                            c.worstOutsideRestartMs);
            if (waitKnown && !c.stalls.empty()) {
                std::vector<Counters::Stall> top = c.stalls;
                std::sort(top.begin(), top.end(),
                          [](const auto& a, const auto& b) { return a.ownMs > b.ownMs; });
                std::printf(
                    "  %zu own stalls of 3 ms or more; the longest, with the main thread's CPU time in the"
                    " gap and the longest handler run in it:\n",
                    c.stalls.size());
                for (size_t i = 0; i < std::min<size_t>(top.size(), 5); ++i)
                    std::printf("    %s  gap %6.2f ms  own %6.2f ms  on CPU %5.2f ms  handler: %s\n",
                                qPrintable(top[i].at), top[i].gapMs, top[i].ownMs, top[i].cpuMs,
                                qPrintable(top[i].handler));
            }
        }
        std::printf("  Label7 changes %ld (%ld to the no-data 0.00); message boxes %ld\n", c.shown, c.blanked,
                    r.messages);
        if (r.simCpu)
            std::printf("  tarlo02-sim (another process, not counted above) %.3f s\n", *r.simCpu);
    }
}

void usage()
{
    std::printf("Usage: bench_app [--seconds N] [--only idle|connected] [--no-probe] [--sim PATH]\n"
                "Runs the window offscreen on the real clock for N seconds idle (switch off) and N\n"
                "seconds connected to tarlo02-sim streaming a record a second, and prints the CPU time\n"
                "used and the main thread's longest stalls in each phase. Default N is 60.\n"
                "--no-probe leaves out the 5 ms stall probe, to see the CPU time without its wake-ups.\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    double seconds = 60;
    QString only;
    bool probing = true;
    QString simPath = QStringLiteral(TARLO02_SIM_PATH);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (a == "--seconds" && hasValue) {
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(seconds > 0) || seconds > 3600) {
                std::fprintf(stderr, "--seconds wants a number of seconds above 0, at most 3600\n");
                return 2;
            }
        } else if (a == "--only" && hasValue) {
            only = QString::fromLocal8Bit(argv[++i]);
            if (only != QLatin1String("idle") && only != QLatin1String("connected")) {
                std::fprintf(stderr, "--only wants idle or connected\n");
                return 2;
            }
        } else if (a == "--no-probe") {
            probing = false;
        } else if (a == "--sim" && hasValue) {
            simPath = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "unknown argument %s; see --help\n", argv[i]);
            return 2;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarlo01"));
    QApplication::setApplicationDisplayName(applicationTitle());
    installFontSubstitutions();

    // The program's files (preferences) go to the working folder: a fresh one.
    QTemporaryDir work;
    if (!work.isValid() || !QDir::setCurrent(work.path())) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    BenchPlatform plat;
    setPlatform(&plat);

    const QString link = QDir(work.path()).filePath(QStringLiteral("tarlo-sim"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::SeparateChannels);
    sim.start(simPath,
              {QStringLiteral("--interval"), QStringLiteral("1000"), QStringLiteral("--link"), link});
    if (!sim.waitForStarted(5000)) {
        std::fprintf(stderr, "tarlo02-sim did not start: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    while (!sim.canReadLine())
        if (!sim.waitForReadyRead(5000)) {
            std::fprintf(stderr, "tarlo02-sim printed no device: %s\n",
                         sim.readAllStandardError().constData());
            return 1;
        }
    const QString device = QString::fromLatin1(sim.readLine()).trimmed();
    std::printf("tarlo02-sim on %s behind %s; %.0f s a phase; load average at start:", qPrintable(device),
                qPrintable(link), seconds);
    if (double load[3]; getloadavg(load, 3) == 3)
        std::printf(" %.2f %.2f %.2f", load[0], load[1], load[2]);
    std::printf("\n");
    std::fflush(stdout);

    auto* form = TForm1::Create();
    form->show();
    Bench bench(form, plat, probing);
    std::vector<PhaseResult> results;

    // Let the first paint and start-up settle before anything is measured.
    {
        QEventLoop settle;
        QTimer::singleShot(1000, &settle, &QEventLoop::quit);
        settle.exec();
    }

    if (only.isEmpty() || only == QLatin1String("idle")) {
        if (form->ToggleSwitch1->StateOn()) {
            std::fprintf(stderr, "the switch is on at start-up\n");
            return 1;
        }
        results.push_back(bench.run(QStringLiteral("idle"), seconds, &sim));
    }

    int rc = 0;
    if (only.isEmpty() || only == QLatin1String("connected")) {
        // As the user does it: the port typed in, then the switch clicked on. The connect's
        // 300 ms pause is over before the measured stretch begins.
        form->ComboBox1->SetText(link);
        form->Guarded([&] { form->ComboBox1Change(form->ComboBox1); });
        form->ToggleSwitch1->SetStateOn(true);
        form->Guarded([&] { form->ToggleSwitch1Click(form->ToggleSwitch1); });
        if (!form->ComPort->Connected()) {
            std::fprintf(stderr, "the window did not connect to %s\n", qPrintable(link));
            return 1;
        }
        results.push_back(bench.run(QStringLiteral("connected"), seconds, &sim));
        if (results.back().c.extracted == 0 || results.back().c.shown == 0) {
            std::fprintf(stderr, "no record was shown while connected: the connected figures are not real\n");
            rc = 1;
        }
        if (!form->ComPort->Connected()) {
            std::fprintf(stderr, "the port was not open at the end of the connected phase\n");
            rc = 1;
        }
        form->ToggleSwitch1->SetStateOn(false);
        form->Guarded([&] { form->ToggleSwitch1Click(form->ToggleSwitch1); });
    }

    printTable(results, bench.runQueueWaitKnown());

    form->close();
    delete form;
    setPlatform(nullptr);
    sim.terminate();
    if (!sim.waitForFinished(3000)) {
        sim.kill();
        sim.waitForFinished(3000);
    }
    QDir::setCurrent(QDir::tempPath());
    return rc;
}
