// tarlo02-sim: stands in for a Tarlo-02 controller on a pseudo-terminal.
//
// The shell around SimCore: the pseudo-terminal, the symlink, the clock, the
// signals. One thread, one ppoll() loop; every descriptor is non-blocking so
// a reader that stalls or goes away never holds the simulator up.

#include "SimCore.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace tarlo::sim;
using Clock = std::chrono::steady_clock;

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void logLine(const std::string& s) { std::fprintf(stderr, "tarlo02-sim: %s\n", s.c_str()); }

std::string sysError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Bytes as readable text for the log: control and high bytes as \xNN.
std::string escaped(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        }
    }
    return out;
}

// One pseudo-terminal pair. We keep a slave descriptor of our own open for the
// whole life of the pair: with it the master never reports a hang-up or EIO
// when the program closes its end, and we can act on the line (flush stale
// input, clear the exclusive flag). We never read from it and never flock it.
struct Line {
    int master = -1;
    int slave = -1;
    int notify = -1;   // inotify on the slave device: others opening and closing it
    int listeners = 0; // other open descriptors of the slave, as far as inotify tells
    bool listenersKnown = false;
    std::string path;

    bool open(std::string& error)
    {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            error = sysError("openpty");
            return false;
        }
        termios t{};
        if (tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t); // no echo: our own records must not come back as commands
            cfsetispeed(&t, B19200);
            cfsetospeed(&t, B19200);
            tcsetattr(slave, TCSANOW, &t);
        }
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
        const char* name = ttyname(slave);
        if (!name) {
            error = sysError("ttyname");
            close();
            return false;
        }
        path = name;
        notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (notify >= 0 && inotify_add_watch(notify, path.c_str(), IN_OPEN | IN_CLOSE) >= 0) {
            listenersKnown = true;
        } else {
            logLine(sysError("inotify on " + path + " (stale data is not flushed)"));
            if (notify >= 0)
                ::close(notify);
            notify = -1;
        }
        listeners = 0;
        return true;
    }

    void close()
    {
        for (int* fd : {&notify, &slave, &master}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        listenersKnown = false;
    }

    bool isOpen() const { return master >= 0; }

    // Reads the open/close events of other descriptors of the slave.
    void readNotifications()
    {
        alignas(inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = read(notify, buf, sizeof buf);
            if (n <= 0)
                return;
            for (ssize_t off = 0; off < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
                if (ev->mask & IN_Q_OVERFLOW)
                    listenersKnown = false; // lost count: assume someone listens
                if (ev->mask & IN_OPEN)
                    ++listeners;
                if (ev->mask & IN_CLOSE) {
                    listeners = listeners > 0 ? listeners - 1 : 0;
                    // The program marks the line exclusive (TIOCEXCL). On a
                    // pseudo-terminal that flag outlives its close, and would
                    // refuse the program's next open unless it runs as root.
                    ioctl(slave, TIOCNXCL);
                }
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
    }

    bool nobodyListens() const { return listenersKnown && listeners == 0; }
};

bool makeLink(const std::string& target, const std::string& link)
{
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        logLine(link + " exists and is not a symlink: not replacing it");
        return false;
    }
    const std::string tmp = link + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(target.c_str(), tmp.c_str()) != 0) {
        logLine(sysError("symlink " + link));
        return false;
    }
    if (rename(tmp.c_str(), link.c_str()) != 0) {
        logLine(sysError("rename to " + link));
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// Removes the link only while it still points at our device.
void removeLink(const std::string& link, const std::string& target)
{
    if (link.empty())
        return;
    char buf[4096];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target)
        unlink(link.c_str());
}

void announce(const std::string& path)
{
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
}

std::string describe(const Settings& s)
{
    return "PHmin " + formatPh(s.phMin) + " PHmax " + formatPh(s.phMax) + " alarm " +
           std::to_string(s.alarm) + " KH " + std::to_string(s.kh) + " brightness " +
           std::to_string(s.brightness) + " contrast " + std::to_string(s.contrast);
}

int msUntil(Clock::time_point t, Clock::time_point now)
{
    if (t <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - now).count();
    return ms > 600000 ? 600000 : static_cast<int>(ms);
}

class Simulator {
public:
    explicit Simulator(const Options& o) : opt_(o), tank_(o.startPh)
    {
        settings_.kh = o.kh;
        rng_.seed(o.seedGiven ? o.seed : std::random_device{}());
    }

    int run();

private:
    bool openLine();
    void closeLine();
    void readCommands(Clock::time_point now);
    void handle(const Command& c, Clock::time_point now);
    void logCommand(const std::string& line);
    void sendRecord();
    void writeOut();

    Options opt_;
    Settings settings_ = factorySettings();
    Tank tank_;
    CommandReader reader_;
    std::mt19937 rng_;
    Line line_;
    std::string out_;
    std::FILE* commandLog_ = nullptr;
    long long records_ = 0;
    Clock::time_point lastInput_{};
    Clock::time_point nextRecord_{};
};

bool Simulator::openLine()
{
    std::string error;
    if (!line_.open(error)) {
        logLine(error);
        return false;
    }
    // The link first: whoever reads the announced path may look for it at once.
    if (!opt_.link.empty())
        makeLink(line_.path, opt_.link);
    announce(line_.path);
    logLine("device " + line_.path + (opt_.link.empty() ? "" : " (link " + opt_.link + ")"));
    return true;
}

void Simulator::closeLine()
{
    removeLink(opt_.link, line_.path);
    line_.close();
    out_.clear();
    reader_ = CommandReader{};
}

void Simulator::logCommand(const std::string& text)
{
    if (!commandLog_)
        return;
    std::fprintf(commandLog_, "%s\n", text.c_str());
    std::fflush(commandLog_);
}

void Simulator::handle(const Command& c, Clock::time_point now)
{
    switch (c.kind) {
    case Command::Kind::Settings:
        settings_ = c.settings;
        logLine("command " + c.text + ": settings " + describe(settings_));
        logCommand(c.text);
        break;
    case Command::Kind::Factory:
        settings_ = factorySettings();
        logLine("command " + c.text + ": factory settings " + describe(settings_));
        logCommand(c.text);
        break;
    case Command::Kind::Restart:
        logLine("command " + c.text + ": restart");
        logCommand(c.text);
        // A restarting controller sends nothing for two seconds.
        nextRecord_ = now + std::chrono::seconds(2);
        out_.clear();
        tank_.resetOutputs();
        break;
    case Command::Kind::Unknown:
        logLine("ignored command " + escaped(c.text) + " (" + c.reason + ")");
        logCommand("ignored " + escaped(c.text));
        break;
    case Command::Kind::Garbage:
        logLine("ignored " + std::to_string(c.text.size()) + " bytes " + escaped(c.text) + " (" + c.reason +
                ")");
        break;
    }
}

void Simulator::readCommands(Clock::time_point now)
{
    char buf[1024];
    for (;;) {
        const ssize_t n = read(line_.master, buf, sizeof buf);
        if (n > 0) {
            lastInput_ = now;
            for (const Command& c : reader_.feed(std::string_view(buf, static_cast<std::size_t>(n))))
                handle(c, now);
            continue;
        }
        // EAGAIN: all read. EIO: no slave open (cannot happen while we hold
        // one, but never a reason to stop).
        return;
    }
}

void Simulator::writeOut()
{
    while (!out_.empty()) {
        const ssize_t n = write(line_.master, out_.data(), out_.size());
        if (n > 0) {
            out_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            out_.clear(); // the line refuses data: drop it, the next record comes anyway
        return;
    }
}

void Simulator::sendRecord()
{
    if (!out_.empty() || line_.nobodyListens()) {
        // The last record did not get through in a whole interval, or no one
        // has the device open: what waits in the line is stale. Drop it so a
        // reader that comes gets fresh records, not minutes-old ones.
        out_.clear();
        tcflush(line_.slave, TCIFLUSH);
    }
    std::uniform_real_distribution<double> jitter(-0.003, 0.003);
    tank_.step(settings_, jitter(rng_));
    ++records_;

    if (opt_.wrongSpeed) {
        out_ += wrongSpeedBytes(rng_);
    } else {
        auto lines = recordLines(settings_, tank_.reading());
        if (opt_.brokenEvery > 0 && records_ % opt_.brokenEvery == 0)
            lines = brokenRecord(std::move(lines), static_cast<unsigned>(records_ / opt_.brokenEvery));
        std::string text = joinLines(lines);
        if (opt_.nul)
            text = withNuls(std::move(text), rng_);
        out_ += text;
        // Noise on a line of its own after about every fourth record: the
        // record before it loses its closing "-" and is dropped, the rest get through.
        if (opt_.noise && std::uniform_int_distribution<int>(0, 3)(rng_) == 0)
            out_ += noiseBurst(rng_) + "\r\n";
    }
    writeOut();
}

int Simulator::run()
{
    if (!opt_.commandLog.empty()) {
        commandLog_ = std::fopen(opt_.commandLog.c_str(), "a");
        if (!commandLog_) {
            logLine(sysError("cannot open " + opt_.commandLog));
            return 1;
        }
    }
    if (!openLine())
        return 1;

    const auto start = Clock::now();
    const auto never = Clock::time_point::max();
    auto at = [&](double sec) {
        return sec < 0 ? never : start + std::chrono::milliseconds(static_cast<long long>(sec * 1000));
    };
    const auto interval = std::chrono::milliseconds(opt_.intervalMs);
    const auto idleFlush = std::chrono::milliseconds(200);
    const auto hangupAt = at(opt_.hangupAfter);
    auto unplugAt = at(opt_.unplugAfter);
    auto replugAt = never;
    nextRecord_ = start;
    auto doneAt = never; // set when the last of --count records is out

    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    int rc = 0;
    while (!g_stop) {
        auto now = Clock::now();
        if (now >= hangupAt) {
            logLine("hanging up");
            break;
        }
        if (now >= unplugAt) {
            logLine("unplugged");
            closeLine();
            unplugAt = never;
            replugAt = now + std::chrono::milliseconds(static_cast<long long>(opt_.replugAfter * 1000));
        }
        if (now >= replugAt) {
            replugAt = never;
            if (!openLine()) {
                rc = 1;
                break;
            }
            nextRecord_ = now;
        }
        if (line_.isOpen()) {
            if (reader_.pending() > 0 && now - lastInput_ >= idleFlush)
                for (const Command& c : reader_.flushIdle())
                    handle(c, now);
            if (now >= nextRecord_ && doneAt == never) {
                sendRecord();
                nextRecord_ += interval;
                if (nextRecord_ < now) // fell behind (suspended?): no burst of catch-up records
                    nextRecord_ = now + interval;
                if (opt_.count >= 0 && records_ >= opt_.count)
                    doneAt = now + std::min<Clock::duration>(interval, std::chrono::seconds(1));
            }
            if (opt_.count == 0 && doneAt == never)
                doneAt = now;
            if (doneAt != never) {
                // Stop once the reader has taken the last record, or after a grace period.
                int queued = 0;
                if (out_.empty() && (ioctl(line_.slave, TIOCINQ, &queued) != 0 || queued == 0))
                    break;
                if (now >= doneAt)
                    break;
            }
        }

        Clock::time_point wake = std::min({hangupAt, unplugAt, replugAt});
        pollfd fds[2];
        nfds_t n = 0;
        if (line_.isOpen()) {
            if (doneAt == never)
                wake = std::min(wake, nextRecord_);
            else
                wake = std::min(wake, std::min(doneAt, now + std::chrono::milliseconds(20)));
            if (reader_.pending() > 0)
                wake = std::min(wake, lastInput_ + idleFlush);
            fds[n++] = pollfd{line_.master, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0};
            if (line_.notify >= 0)
                fds[n++] = pollfd{line_.notify, POLLIN, 0};
        }
        const int ms = msUntil(wake, now);
        timespec ts{ms / 1000, (ms % 1000) * 1000000L};
        const int r = ppoll(fds, n, &ts, &waitMask);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            logLine(sysError("ppoll"));
            rc = 1;
            break;
        }
        now = Clock::now();
        if (n > 0) {
            if (fds[0].revents & POLLIN)
                readCommands(now);
            if (fds[0].revents & POLLOUT)
                writeOut();
            if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) {
                // Cannot happen while we hold the slave; never spin on it if it does.
                usleep(20000);
            }
            if (n > 1 && (fds[1].revents & POLLIN))
                line_.readNotifications();
        }
    }
    if (g_stop)
        logLine("stopped by signal");
    closeLine();
    if (commandLog_)
        std::fclose(commandLog_);
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto opt = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!opt) {
        std::fprintf(stderr, "tarlo02-sim: %s (see tarlo02-sim --help)\n", error.c_str());
        return 2;
    }
    if (opt->help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (opt->version) {
        std::printf("tarlo02-sim %s\n", TARLO_VERSION);
        return 0;
    }

    // SIGINT and SIGTERM only get through inside ppoll(), so a stop is never missed.
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigprocmask(SIG_BLOCK, &block, nullptr);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN); // a test that closed our stdout must not kill us

    Simulator sim(*opt);
    return sim.run();
}
