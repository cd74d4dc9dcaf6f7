// What the whole program costs at rest, set beside the floor any clock window costs: a bare
// Qt window with a label clock on a 1 s timer, built by this bench in the same run.
//   start-up   the program and the floor window each started as a process of its own, over
//              and over in turns: the time from starting the process to its first painted
//              frame, with the program's phases;
//   idle       the window created, switch off, the event loop left to run;
//   connected  the port set to the simulator's link and the switch turned on, with
//              tarlo02-sim streaming one record a second.
// Each phase runs for --seconds (default 60) with the floor window running beside it in its
// own process. Per phase: CPU % of a core, wake-ups of the main thread a second (its
// voluntary context switches), resident memory; connected, also the wake-ups outside the
// restart seconds against the deliveries of received data.
// --probe adds a 5 ms timer on the main thread that records how late each of its ticks
// comes (stalls); its own 200 wake-ups a second then swamp the cost figures.
// --plain leaves the window's handlers untimed: the phase figures without the hooks' own
// cost, and without the spans and the breakdown the hooks give.

#include "Frame.h"
#include "ProgramState.h"
#include "QtPlatform.h"
#include "SerialPort.h"
#include "StandardControls.h"
#include "TarloMainForm.h"
#include "TickSchedule.h"
#include "ToggleSwitch.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kStartEnv[] = "TARLO_BENCH_START_NS";

double cpuSeconds(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = size_t(std::ceil(p / 100 * double(v.size())));
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

// A "Name:  value" field of a /proc status file, read with one pread of a descriptor kept
// open; -1 when it is not there.
class StatusFile {
public:
    explicit StatusFile(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {}
    ~StatusFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    StatusFile(const StatusFile&) = delete;
    StatusFile& operator=(const StatusFile&) = delete;

    long field(const char* name) const
    {
        char buf[4096];
        const ssize_t n = fd_ >= 0 ? ::pread(fd_, buf, sizeof buf - 1, 0) : -1;
        if (n <= 0)
            return -1;
        buf[n] = '\0';
        const size_t len = std::strlen(name);
        for (const char* line = buf; line && *line; line = std::strchr(line, '\n')) {
            if (*line == '\n')
                ++line;
            if (std::strncmp(line, name, len) == 0 && line[len] == ':')
                return std::strtol(line + len + 1, nullptr, 10);
        }
        return -1;
    }

private:
    int fd_;
};

// The calling thread's wake-ups: each voluntary context switch is a sleep that something
// ended. Opened on the thread whose wake-ups are counted.
class Wakeups {
public:
    Wakeups() : status_("/proc/thread-self/status") {}
    long count() const { return status_.field("voluntary_ctxt_switches"); }
    // The same counter through one cheap system call, for reading at every tick: reading
    // the status file there would add its own cost to the program's figures.
    static long quickCount()
    {
        rusage u{};
        getrusage(RUSAGE_THREAD, &u);
        return u.ru_nvcsw;
    }

private:
    StatusFile status_;
};

long rssKb() { return StatusFile("/proc/self/status").field("VmRSS"); }

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

// --- the child processes: a start-up to time, or the floor window to run beside a phase ---

// The floor: a bare window of the program's size with a label clock on a 1 s timer.
struct FloorWindow {
    QWidget window;
    QLabel* clock = new QLabel(&window);
    QTimer timer;
    FloorWindow()
    {
        window.setFixedSize(TForm1::ClientWidth, TForm1::ClientHeight);
        clock->setGeometry(265, 110, 57, 16);
        auto show = [this] { clock->setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))); };
        show();
        QObject::connect(&timer, &QTimer::timeout, show);
        timer.start(1000);
    }
};

// Calls `then` once the window's first frame is painted and flushed: a zero timer queued
// from its first paint runs after the whole repaint that paint belongs to.
class FirstFrame : public QObject {
public:
    FirstFrame(QWidget* window, std::function<void()> then) : then_(std::move(then))
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            o->removeEventFilter(this);
            QTimer::singleShot(0, this, then_);
        }
        return false;
    }

private:
    std::function<void()> then_;
    bool seen_ = false;
};

// Starts the program through its own entry sequence (or the floor window), and prints the
// milliseconds from the parent's start of this process to main, to the application made, to
// the window built, to it shown and to its first frame; then ends at once.
int childStart(int argc, char** argv, bool program)
{
    const long long t0 = qEnvironmentVariable(kStartEnv).toLongLong();
    auto since = [t0] { return double(monotonicNs() - t0) / 1e6; };
    const double atMain = since();
    double atApp = 0, built = 0, shown = 0;
    std::optional<FirstFrame> frame;
    auto report = [&] {
        std::printf("start %.3f %.3f %.3f %.3f %.3f\n", atMain, atApp, built, shown, since());
        std::fflush(stdout);
        std::_Exit(0);
    };
    auto watch = [&](QWidget* window) {
        built = since();
        frame.emplace(window, report);
    };
    if (program)
        return runProgram(
            argc, argv,
            {[&] { atApp = since(); }, [&](TForm1* form) { watch(form); }, [&] { shown = since(); }});
    // The floor is a bare Qt window: no early font load, no session bus.
    QApplication app(argc, argv);
    atApp = since();
    FloorWindow floor;
    watch(&floor.window);
    floor.window.show();
    shown = since();
    return app.exec();
}

// The floor window for a phase: ready once settled; then its CPU seconds, wake-ups and
// resident memory over `seconds`.
int childFloor(int argc, char** argv, double seconds)
{
    QApplication app(argc, argv);
    FloorWindow floor;
    floor.window.show();
    Wakeups wakeups;
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("ready\n");
    std::fflush(stdout);
    const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const long w0 = wakeups.count();
    const Clock::time_point t0 = Clock::now();
    QTimer::singleShot(int(std::lround(seconds * 1000)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("floor %.6f %ld %ld %.3f\n", cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0,
                wakeups.count() - w0, rssKb(), msBetween(t0, Clock::now()) / 1000);
    std::fflush(stdout);
    return 0;
}

// --- the program in this process ---

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

// Time, main-thread wake-ups and deliveries of received data between two ticks.
struct Span {
    double seconds = 0;
    long wakeups = 0;
    long deliveries = 0;
    double mainCpu = 0; // the main thread's CPU seconds
};

// What one phase counts; reset when a phase starts.
struct Counters {
    long ticks = 0;        // Timer1Timer runs
    double tickCpu = 0;    // main-thread CPU seconds in them
    double tickMaxMs = 0;  // the longest one, wall time less run-queue wait
    long restartTicks = 0; // runs within a restart second with the switch on
    double restartCpu = 0;
    double restartMaxMs = 0;
    long rxCalls = 0; // ComPortRxChar runs: one a delivery
    double rxCpu = 0;
    double rxMaxMs = 0;
    long extracted = 0; // records cut out of the receive buffer
    long shown = 0;     // Label7 caption changes
    long blanked = 0;   // of those, to the no-data "0.00"
    Span outside;       // from ticks outside restart seconds to the next tick
    Span restart;       // from ticks in restart seconds (switch on) to the next tick
    // The stall probe's figures (--probe).
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

// The cost of one process over one phase.
struct Cost {
    double seconds = 0;
    double cpu = 0; // CPU seconds
    long wakeups = 0;
    long rssKb = 0;
    double cpuPercent() const { return seconds > 0 ? 100 * cpu / seconds : 0; }
    double wakeupsPerSecond() const { return seconds > 0 ? double(wakeups) / seconds : 0; }
};

struct PhaseResult {
    QString name;
    Cost program;
    std::optional<Cost> floor;
    double mainCpu = 0;
    std::optional<double> simCpu;
    long pauses = 0;
    long messages = 0;
    Counters c;
};

// Starts the floor window in a process of its own and waits until it has settled.
class FloorProcess {
public:
    bool start(double seconds)
    {
        proc_.setProcessChannelMode(QProcess::SeparateChannels);
        proc_.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child-floor"), QString::number(seconds)});
        if (!proc_.waitForStarted(5000))
            return false;
        while (!proc_.canReadLine())
            if (!proc_.waitForReadyRead(10000))
                return false;
        return proc_.readLine().trimmed() == "ready";
    }
    std::optional<Cost> finish()
    {
        // It may have ended already, seen by the phase's event loop.
        if (proc_.state() != QProcess::NotRunning && !proc_.waitForFinished(30000))
            return std::nullopt;
        const QList<QByteArray> f = proc_.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 5 || f[0] != "floor")
            return std::nullopt;
        return Cost{f[4].toDouble(), f[1].toDouble(), f[2].toLong(), f[3].toLong()};
    }

private:
    QProcess proc_;
};

class Bench {
public:
    Bench(TForm1* form, BenchPlatform& plat, bool probing, bool plain)
        : form_(form), plat_(plat), probing_(probing)
    {
        lastCaption_ = form_->Label7->Caption();
        // Plain: the window keeps its own bindings, and the figures are the program's alone,
        // without the hooks' cost and without the breakdown they give.
        if (plain)
            return;

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
        if (probing_) {
            c_.lateMs.reserve(size_t(seconds * 1000 / kProbeMs) + 16);
            c_.ownMs.reserve(c_.lateMs.capacity());
        }
        lastCaption_ = form_->Label7->Caption();
        FloorProcess floor;
        const bool floorRuns = floor.start(seconds);
        if (!floorRuns)
            std::fprintf(stderr, "the floor window did not start\n");
        const long pauses0 = plat_.pauses, messages0 = plat_.messages;
        const std::optional<double> sim0 = sim ? processCpuSeconds(sim->processId()) : std::nullopt;
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double main0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const long wake0 = wakeups_.count();
        const Clock::time_point t0 = Clock::now();
        markSpan(t0, Wakeups::quickCount(), inRestartSecond(), cpuSeconds(CLOCK_THREAD_CPUTIME_ID));

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
        const Clock::time_point t1 = Clock::now();
        closeSpan(t1, Wakeups::quickCount(), cpuSeconds(CLOCK_THREAD_CPUTIME_ID));
        r.program.seconds = msBetween(t0, t1) / 1000;
        r.program.cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        r.program.wakeups = wakeups_.count() - wake0;
        r.program.rssKb = rssKb();
        r.mainCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - main0;
        if (sim) {
            const std::optional<double> sim1 = processCpuSeconds(sim->processId());
            if (sim0 && sim1)
                r.simCpu = *sim1 - *sim0;
        }
        if (floorRuns)
            r.floor = floor.finish();
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

    // The time from one tick to the next belongs to the restart seconds when the first of
    // the two ran in one with the switch on, otherwise to the rest of the time. A tick's own
    // wake-ups belong to the span it begins.
    void markSpan(Clock::time_point now, long switches, bool restart, double mainCpu)
    {
        spanStart_ = now;
        spanCpu_ = mainCpu;
        spanWakeups_ = switches;
        spanDeliveries_ = c_.rxCalls;
        spanInRestart_ = restart;
    }
    void closeSpan(Clock::time_point now, long switches, double mainCpu)
    {
        Span& s = spanInRestart_ ? c_.restart : c_.outside;
        s.seconds += msBetween(spanStart_, now) / 1000;
        s.wakeups += switches - spanWakeups_;
        s.deliveries += c_.rxCalls - spanDeliveries_;
        s.mainCpu += mainCpu - spanCpu_;
    }
    bool inRestartSecond() const { return form_->ToggleSwitch1->StateOn() && isRestartSecond(wallSecond()); }

    // The hooks run on the program's main thread and their cost is in its figures, so they
    // are kept to a few cheap calls a tick; the scheduler's statistics are read only for the
    // stall probe.
    void timedTick()
    {
        const Clock::time_point woke = Clock::now();
        const long switches = Wakeups::quickCount();
        const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        closeSpan(woke, switches, cpu0);
        const bool restart = inRestartSecond();
        const SchedTimes s0 = probing_ ? wait_.read() : SchedTimes{};
        form_->Guarded([this] { form_->Timer1Timer(form_->Timer1); });
        const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
        form_->ArmTimer1();
        ++c_.ticks;
        c_.tickCpu += cpu;
        const double ms = probing_ ? ownMsSince(woke, s0) : cpu * 1000;
        c_.tickMaxMs = std::max(c_.tickMaxMs, ms);
        noteHandler(restart ? "Timer1Timer in a restart second" : "Timer1Timer", ms);
        if (restart) {
            ++c_.restartTicks;
            c_.restartCpu += cpu;
            c_.restartMaxMs = std::max(c_.restartMaxMs, ms);
        }
        noteCaption();
        markSpan(woke, switches, restart, cpu0);
    }

    void timedRx(QObject* sender, int count)
    {
        const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const SchedTimes s0 = probing_ ? wait_.read() : SchedTimes{};
        const Clock::time_point t0 = probing_ ? Clock::now() : Clock::time_point{};
        auto account = [&] {
            const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
            ++c_.rxCalls;
            c_.rxCpu += cpu;
            const double ms = probing_ ? ownMsSince(t0, s0) : cpu * 1000;
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
    Wakeups wakeups_;   // the same
    SchedTimes lastSched_;
    const char* gapHandler_ = nullptr;
    double gapHandlerMs_ = 0;
    QString lastCaption_;
    Clock::time_point spanStart_;
    long spanWakeups_ = 0;
    double spanCpu_ = 0;
    long spanDeliveries_ = 0;
    bool spanInRestart_ = false;
    Counters c_;
};

// --- start-up: the program and the floor started in turns ---

struct StartTimes {
    std::vector<double> main, app, built, shown, frame;
};

// Starts this bench as a child that times one start-up; false when it did not report.
bool timeOneStart(const QString& workDir, bool program, StartTimes& out)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const long long t0 = monotonicNs();
    env.insert(QString::fromLatin1(kStartEnv), QString::number(t0));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--child-start"), program ? QStringLiteral("program") : QStringLiteral("floor")});
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(3000);
        return false;
    }
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 6 || f[0] != "start")
        return false;
    out.main.push_back(f[1].toDouble());
    out.app.push_back(f[2].toDouble());
    out.built.push_back(f[3].toDouble());
    out.shown.push_back(f[4].toDouble());
    out.frame.push_back(f[5].toDouble());
    return true;
}

struct StartResult {
    StartTimes program, floor;
    int starts = 0;
};

StartResult timeStarts(int starts)
{
    StartResult r;
    QTemporaryDir dir;
    // The program starts with preferences as a user's second run finds them.
    QFile ini(QDir(dir.path()).filePath(QStringLiteral("tarlo02.ini")));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("COM1\r\n335\r\n56\r\n345\r\n623\r\nPL\r\nUSB\r\n");
    ini.close();
    // A first start of each, not counted, brings the files into the page cache.
    StartTimes discard;
    timeOneStart(dir.path(), true, discard);
    timeOneStart(dir.path(), false, discard);
    for (int i = 0; i < starts; ++i) {
        // In turns, each first every other time, so that neither always finds the other's
        // aftermath.
        const bool programFirst = i % 2 == 0;
        const bool ok = timeOneStart(dir.path(), programFirst, programFirst ? r.program : r.floor) &&
                        timeOneStart(dir.path(), !programFirst, programFirst ? r.floor : r.program);
        if (!ok) {
            std::fprintf(stderr, "a start-up did not report its first frame\n");
            break;
        }
        ++r.starts;
    }
    return r;
}

void printStarts(const StartResult& s)
{
    const double program = median(s.program.frame), floor = median(s.floor.frame);
    std::printf(
        "\nstart-up to the first painted frame, median of %d starts each, ms from starting the process:\n",
        s.starts);
    std::printf("  %-9s %8s %13s %13s %8s %12s\n", "", "main", "application", "window built", "shown",
                "first frame");
    for (const auto& [name, t] : {std::pair<const char*, const StartTimes&>{"program", s.program},
                                  std::pair<const char*, const StartTimes&>{"floor", s.floor}})
        std::printf("  %-9s %8.1f %13.1f %13.1f %8.1f %12.1f\n", name, median(t.main), median(t.app),
                    median(t.built), median(t.shown), median(t.frame));
    if (floor > 0)
        std::printf("  ratio %.2f (target at most 1.30)   program min %.1f ms, floor min %.1f ms\n",
                    program / floor, *std::min_element(s.program.frame.begin(), s.program.frame.end()),
                    *std::min_element(s.floor.frame.begin(), s.floor.frame.end()));
}

// The spans in and outside restart seconds need the per-tick hooks.
void printCosts(const std::vector<PhaseResult>& results, bool spans)
{
    std::printf("\ncost per phase, the program beside the floor window running at the same time:\n");
    std::printf("%-10s %-8s %8s %8s %12s %9s\n", "phase", "", "seconds", "CPU %", "wake-ups/s", "RSS MB");
    for (const PhaseResult& r : results) {
        auto row = [&](const char* phase, const char* who, const Cost& c) {
            std::printf("%-10s %-8s %8.1f %7.3f%% %12.2f %9.1f\n", phase, who, c.seconds, c.cpuPercent(),
                        c.wakeupsPerSecond(), double(c.rssKb) / 1024);
        };
        row(qPrintable(r.name), "program", r.program);
        if (!r.floor) {
            std::printf("%-10s %-8s (did not report)\n", "", "floor");
            continue;
        }
        row("", "floor", *r.floor);
        const Cost& f = *r.floor;
        const bool idle = r.name == QLatin1String("idle");
        const double factor = idle ? 1.2 : 1.5, extra = idle ? 0.1 : 0.2;
        const double cpuTarget = factor * f.cpuPercent() + extra;
        std::printf("%-10s %-8s %8s %7.2fx %11.2fx %8.2fx   CPU target at most %.2fx + %.1f%% = %.3f%%: %s;"
                    " RSS target at most 1.30x: %s\n",
                    "", "ratio", "", f.cpu > 0 ? r.program.cpu / r.program.seconds / (f.cpu / f.seconds) : 0,
                    f.wakeups > 0 ? r.program.wakeupsPerSecond() / f.wakeupsPerSecond() : 0,
                    f.rssKb > 0 ? double(r.program.rssKb) / double(f.rssKb) : 0, factor, extra, cpuTarget,
                    r.program.cpuPercent() <= cpuTarget ? "met" : "missed",
                    double(r.program.rssKb) <= 1.3 * double(f.rssKb) ? "met" : "missed");
    }
    for (const PhaseResult& r : results) {
        const Span& o = r.c.outside;
        if (!spans || o.seconds <= 0)
            continue;
        const double beyond = double(o.wakeups - o.deliveries) / o.seconds;
        std::printf(
            "%s, outside restart seconds (%.1f s): %.2f wake-ups/s, %.2f deliveries/s, %.2f/s beyond one"
            " a delivery (target at most 3): %s\n",
            qPrintable(r.name), o.seconds, double(o.wakeups) / o.seconds, double(o.deliveries) / o.seconds,
            beyond, beyond <= 3 ? "met" : "missed");
        if (r.c.restart.seconds > 0)
            std::printf("%s, in restart seconds (%.1f s): %.1f wake-ups/s\n", qPrintable(r.name),
                        r.c.restart.seconds, double(r.c.restart.wakeups) / r.c.restart.seconds);
        // The phase's main-thread CPU split by where it was spent, as shares of the phase's
        // figure: what the restart seconds cost against the rest of the minute.
        std::printf("%s, main thread CPU as %% of a core over the phase: %.3f%% outside restart seconds,"
                    " %.3f%% in them\n",
                    qPrintable(r.name), 100 * o.mainCpu / r.program.seconds,
                    100 * r.c.restart.mainCpu / r.program.seconds);
    }
}

void printStalls(const std::vector<PhaseResult>& results, bool waitKnown)
{
    // Stalls as the probe saw them; the same less the time the main thread waited for a CPU
    // that other processes held ("own"); and of that, no more than the main thread spent on
    // a CPU or in one handler during the gap ("busy"). On a shared or virtual machine the
    // first two include late wake-ups that are not the program's.
    std::printf("\nstalls of the main thread (5 ms probe):\n%-10s %11s %9s %11s %9s %9s\n", "phase",
                "longest ms", "p99 ms", "own max ms", "own p99", "busy max");
    for (const PhaseResult& r : results) {
        std::printf("%-10s", qPrintable(r.name));
        if (!waitKnown)
            std::printf(" %11.2f %9.2f %11s %9s %9s\n", r.c.worstMs, percentile(r.c.lateMs, 99), "-", "-",
                        "-");
        else
            std::printf(" %11.2f %9.2f %11.2f %9.2f %9.2f\n", r.c.worstMs, percentile(r.c.lateMs, 99),
                        r.c.worstOwnMs, percentile(r.c.ownMs, 99), r.c.worstBusyMs);
    }
    for (const PhaseResult& r : results) {
        const Counters& c = r.c;
        std::printf("%s:\n", qPrintable(r.name));
        std::printf("  %zu probe ticks, median %.3f ms late; longest %.2f ms at %s; %ld ticks left out for"
                    " %ld pauses\n",
                    c.lateMs.size(), percentile(c.lateMs, 50), c.worstMs,
                    c.worstAt.isEmpty() ? "-" : qPrintable(c.worstAt), c.excluded, r.pauses);
        if (!waitKnown)
            continue;
        std::printf("  own stalls: longest %.2f ms at %s, longest outside restart seconds %.2f ms\n",
                    c.worstOwnMs, c.worstOwnAt.isEmpty() ? "-" : qPrintable(c.worstOwnAt),
                    c.worstOutsideRestartMs);
        if (c.stalls.empty())
            continue;
        std::vector<Counters::Stall> top = c.stalls;
        std::sort(top.begin(), top.end(), [](const auto& a, const auto& b) { return a.ownMs > b.ownMs; });
        std::printf("  %zu own stalls of 3 ms or more; the longest, with the main thread's CPU time in the"
                    " gap and the longest handler run in it:\n",
                    c.stalls.size());
        for (size_t i = 0; i < std::min<size_t>(top.size(), 5); ++i)
            std::printf("    %s  gap %6.2f ms  own %6.2f ms  on CPU %5.2f ms  handler: %s\n",
                        qPrintable(top[i].at), top[i].gapMs, top[i].ownMs, top[i].cpuMs,
                        qPrintable(top[i].handler));
    }
}

void printWhereTheTimeGoes(const std::vector<PhaseResult>& results)
{
    std::printf("\nwhere the program's time goes (CPU seconds; main thread = event loop, painting and the\n"
                "handlers; a handler's longest run is its CPU time, with --probe its wall time less the\n"
                "time it waited for a CPU)\n");
    for (const PhaseResult& r : results) {
        const Counters& c = r.c;
        std::printf("%s:\n", qPrintable(r.name));
        std::printf("  process %.3f = main thread %.3f + other threads %.3f\n", r.program.cpu, r.mainCpu,
                    std::max(0.0, r.program.cpu - r.mainCpu));
        std::printf("  Timer1Timer      %7ld runs %8.3f s  (%.1f us a run, longest %.2f ms)\n", c.ticks,
                    c.tickCpu, c.ticks ? 1e6 * c.tickCpu / double(c.ticks) : 0.0, c.tickMaxMs);
        std::printf("    of which in restart seconds %ld runs %.3f s (%.1f us a run, longest %.2f ms)\n",
                    c.restartTicks, c.restartCpu,
                    c.restartTicks ? 1e6 * c.restartCpu / double(c.restartTicks) : 0.0, c.restartMaxMs);
        std::printf("  ComPortRxChar    %7ld runs %8.3f s  (longest %.2f ms), %ld records cut out\n",
                    c.rxCalls, c.rxCpu, c.rxMaxMs, c.extracted);
        std::printf("  rest of the main thread      %8.3f s\n", r.mainCpu - c.tickCpu - c.rxCpu);
        std::printf("  Label7 changes %ld (%ld to the no-data 0.00); message boxes %ld\n", c.shown, c.blanked,
                    r.messages);
        if (r.simCpu)
            std::printf("  tarlo02-sim (another process, not counted above) %.3f s\n", *r.simCpu);
    }
}

void usage()
{
    std::printf(
        "Usage: bench_app [--seconds N] [--starts K] [--only startup|idle|connected] [--probe|--plain]\n"
        "                 [--sim PATH]\n"
        "Times K start-ups of the program and of a bare Qt clock window in turns (default 15), then\n"
        "runs the window on the real clock for N seconds idle (switch off) and N seconds\n"
        "connected to tarlo02-sim streaming a record a second, the bare window beside it, and prints\n"
        "CPU, main-thread wake-ups and memory of both with their ratios. Default N is 60.\n"
        "--probe adds a 5 ms stall probe on the main thread (its wake-ups swamp the cost figures).\n"
        "--plain leaves the window's handlers untimed: the cost figures without the bench's\n"
        "per-tick hooks, and no breakdown of them.\n"
        "The windows go to the display when there is one, offscreen otherwise; QT_QPA_PLATFORM,\n"
        "when set, decides.\n");
}

} // namespace

int main(int argc, char** argv)
{
    // The window is measured where it is mapped: on the display, real or virtual, when there
    // is one; offscreen only without any. The children inherit the choice.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strcmp(argv[1], "--child-start") == 0)
        return childStart(argc, argv, std::strcmp(argv[2], "program") == 0);
    if (argc == 3 && std::strcmp(argv[1], "--child-floor") == 0)
        return childFloor(argc, argv, std::strtod(argv[2], nullptr));

    double seconds = 60;
    int starts = 15;
    QString only;
    bool probing = false;
    bool plain = false;
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
        } else if (a == "--starts" && hasValue) {
            starts = std::atoi(argv[++i]);
            if (starts < 1 || starts > 1000) {
                std::fprintf(stderr, "--starts wants a count from 1 to 1000\n");
                return 2;
            }
        } else if (a == "--only" && hasValue) {
            only = QString::fromLocal8Bit(argv[++i]);
            if (only != QLatin1String("startup") && only != QLatin1String("idle") &&
                only != QLatin1String("connected")) {
                std::fprintf(stderr, "--only wants startup, idle or connected\n");
                return 2;
            }
        } else if (a == "--probe") {
            probing = true;
        } else if (a == "--plain") {
            plain = true;
        } else if (a == "--sim" && hasValue) {
            simPath = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "unknown argument %s; see --help\n", argv[i]);
            return 2;
        }
    }
    if (plain && probing) {
        std::fprintf(stderr, "--plain and --probe do not go together\n");
        return 2;
    }
    auto wanted = [&](const char* phase) { return only.isEmpty() || only == QLatin1String(phase); };

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarlo01"));
    QApplication::setApplicationDisplayName(applicationTitle());
    installFontSubstitutions();

    std::printf("platform %s; load average at start:", qPrintable(QApplication::platformName()));
    if (double load[3]; getloadavg(load, 3) == 3)
        std::printf(" %.2f %.2f %.2f", load[0], load[1], load[2]);
    std::printf("\n");
    std::fflush(stdout);

    if (wanted("startup")) {
        printStarts(timeStarts(starts));
        std::fflush(stdout);
    }
    if (only == QLatin1String("startup"))
        return 0;

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
    std::printf("\ntarlo02-sim on %s behind %s; %.0f s a phase%s\n", qPrintable(device), qPrintable(link),
                seconds, probing ? "; with the stall probe" : "");
    std::fflush(stdout);

    auto* form = TForm1::Create();
    form->show();
    Bench bench(form, plat, probing, plain);
    std::vector<PhaseResult> results;

    // Let the first paint and start-up settle before anything is measured.
    {
        QEventLoop settle;
        QTimer::singleShot(1000, &settle, &QEventLoop::quit);
        settle.exec();
    }

    if (wanted("idle")) {
        if (form->ToggleSwitch1->StateOn()) {
            std::fprintf(stderr, "the switch is on at start-up\n");
            return 1;
        }
        results.push_back(bench.run(QStringLiteral("idle"), seconds, &sim));
    }

    int rc = 0;
    if (wanted("connected")) {
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
        const bool shown = plain ? form->Label7->Caption() != QLatin1String("-,--")
                                 : results.back().c.extracted > 0 && results.back().c.shown > 0;
        if (!shown) {
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

    printCosts(results, !plain);
    if (!plain)
        printWhereTheTimeGoes(results);
    if (probing)
        printStalls(results, bench.runQueueWaitKnown());

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
