// The built tarlo02-sim over a real pseudo-terminal: the test opens the
// printed device the way the program does (raw, exclusive) and talks to it.

#include "RecordCheck.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using simtest::framesIn;
using simtest::recordForm;
namespace fs = std::filesystem;

namespace {

const std::string kFactory(32, '2');
const std::string kRestart(32, '3');

// A scratch folder for one test, removed afterwards.
struct TempDir {
    fs::path path;
    TempDir()
    {
        std::string tmpl = (fs::temp_directory_path() / "tarlo-sim-XXXXXX").string();
        path = mkdtemp(tmpl.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args, const fs::path& stderrFile)
        : stderrFile_(stderrFile)
    {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe");
        // Under the emulator of a cross build (qemu-user) when it has one.
        std::vector<std::string> all{TARLO_TEST_EMULATOR, TARLO02_SIM_PATH};
        if (all.front().empty())
            all.erase(all.begin());
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            const int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            close(out[0]);
            close(out[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~SimProcess()
    {
        if (pid_ > 0 && running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }

    // One line of standard output, or "" after the timeout.
    std::string readLine(std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        for (;;) {
            if (auto nl = outBuf_.find('\n'); nl != std::string::npos) {
                std::string line = outBuf_.substr(0, nl);
                outBuf_.erase(0, nl + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd p{out_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
                return {};
            char buf[256];
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0)
                return {};
            outBuf_.append(buf, static_cast<std::size_t>(n));
        }
    }

    bool running() { return exited_ < 0 && waitpid(pid_, &status_, WNOHANG) == 0; }

    // The exit code, or -1 when it did not exit normally in time.
    int waitExit(std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        while (exited_ < 0) {
            const pid_t r = waitpid(pid_, &status_, WNOHANG);
            if (r == pid_) {
                exited_ = WIFEXITED(status_) ? WEXITSTATUS(status_) : 1000 + WTERMSIG(status_);
                break;
            }
            if (Clock::now() >= end)
                return -1;
            std::this_thread::sleep_for(10ms);
        }
        return exited_;
    }

    void signal(int sig) { kill(pid_, sig); }

    // Stops the process (SIGSTOP) and waits until it is stopped.
    bool stop()
    {
        int status = 0;
        return kill(pid_, SIGSTOP) == 0 && waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
    }

    // Waits until the process has written at least `bytes` (its own count, /proc/PID/io).
    bool waitWritten(long long bytes, std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        for (;;) {
            std::ifstream io("/proc/" + std::to_string(pid_) + "/io");
            std::string key;
            long long value = 0;
            while (io >> key >> value)
                if (key == "wchar:" && value >= bytes)
                    return true;
            if (Clock::now() >= end || !running())
                return false;
            std::this_thread::sleep_for(10ms);
        }
    }

    std::string errors() const
    {
        std::ifstream f(stderrFile_);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

private:
    fs::path stderrFile_;
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    int exited_ = -1;
    std::string outBuf_;
};

// Opens the device as the program does: non-blocking, exclusive, locked, raw.
int openDevice(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Closes it as the program does: the line's exclusive flag given back first, since on a
// pseudo-terminal it outlives the close and would keep every later open out but root's.
void closeDevice(int fd)
{
    ioctl(fd, TIOCNXCL);
    close(fd);
}

struct Chunk {
    Clock::time_point at;
    std::string bytes;
};

// Reads until `done` holds for the text so far or the time is up. A hang-up
// (read of 0 or EIO) ends the reading too; `hungUp` tells.
std::string readUntil(int fd, std::chrono::milliseconds timeout,
                      const std::function<bool(const std::string&)>& done, bool* hungUp = nullptr,
                      std::vector<Chunk>* chunks = nullptr)
{
    std::string all;
    const auto end = Clock::now() + timeout;
    if (hungUp)
        *hungUp = false;
    while (!done(all)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            all.append(buf, static_cast<std::size_t>(n));
            if (chunks)
                chunks->push_back({Clock::now(), std::string(buf, static_cast<std::size_t>(n))});
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            if (hungUp)
                *hungUp = true;
            break;
        }
    }
    return all;
}

std::string readFor(int fd, std::chrono::milliseconds d)
{
    return readUntil(fd, d, [](const std::string&) { return false; });
}

// What waits in the line now, read until it is empty.
std::string readQueued(int fd)
{
    std::string all;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            all.append(buf, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return all;
    }
}

std::string withoutNuls(std::string s)
{
    s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
    return s;
}

std::vector<std::vector<std::string>> goodFrames(const std::string& stream)
{
    std::vector<std::vector<std::string>> good;
    for (auto& f : framesIn(withoutNuls(stream)))
        if (recordForm(f).empty())
            good.push_back(f);
    return good;
}

void writeAll(int fd, const std::string& s)
{
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EAGAIN)
            std::this_thread::sleep_for(1ms);
        else
            FAIL() << "write: " << strerror(errno);
    }
}

// The settings lines of a frame: PHmin, PHmax, KH, alarm, brightness, contrast.
std::vector<std::string> settingsOf(const std::vector<std::string>& f)
{
    return {f[1], f[2], f[4], f[5], f[8], f[9]};
}

double phOf(const std::string& line) { return std::stod(line.substr(0, 1) + "." + line.substr(2)); }

class SimProcessTest : public ::testing::Test {
protected:
    // Starts the simulator, reads its device path and opens the device.
    void start(std::vector<std::string> args)
    {
        sim_ = std::make_unique<SimProcess>(args, dir_.path / "stderr.txt");
        path_ = sim_->readLine(5s);
        ASSERT_FALSE(path_.empty()) << "no device path printed";
        fd_ = openDevice(path_);
        ASSERT_GE(fd_, 0) << "cannot open " << path_ << ": " << strerror(errno);
    }
    void TearDown() override
    {
        if (fd_ >= 0)
            close(fd_);
    }

    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    std::string path_;
    int fd_ = -1;
};

TEST_F(SimProcessTest, RecordsArriveInTheirForm)
{
    start({"--interval", "40", "--seed", "1"});
    const std::string stream =
        readUntil(fd_, 5s, [](const std::string& s) { return framesIn(s).size() >= 25; });
    // What waited in the line before we opened it was dropped: the stream starts with a record.
    EXPECT_EQ(stream.substr(0, 3), "-\r\n");
    const auto frames = framesIn(stream);
    ASSERT_GE(frames.size(), 25u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto& f = frames[i];
        ASSERT_EQ(recordForm(f), "") << "frame " << i;
        EXPECT_EQ(settingsOf(f), (std::vector<std::string>{"6,90", "7,10", "5", "20", "100", "14"}));
        // PPM = 3 × KH × 10^(7 − pH), shown to one decimal
        const double ppm = 15.0 * std::pow(10.0, 7.0 - phOf(f[0]));
        EXPECT_NEAR(std::stod(f[3].substr(0, f[3].find(',')) + "." + f[3].substr(f[3].find(',') + 1)), ppm,
                    0.051)
            << f[0] << " " << f[3];
        // The pH falls while CO2 flows and rises (or holds, in hundredths) when it does not.
        if (i + 1 < frames.size()) {
            const double now = phOf(f[0]), next = phOf(frames[i + 1][0]);
            if (f[7] == "1")
                EXPECT_LT(next, now) << i;
            else
                EXPECT_GE(next, now) << i;
        }
    }
    EXPECT_EQ(frames[0][7], "1") << "starting at 7,30 the CO2 output opens at once";
}

TEST_F(SimProcessTest, NoStaleRecordsWaitForALateReader)
{
    sim_ =
        std::make_unique<SimProcess>(std::vector<std::string>{"--interval", "20"}, dir_.path / "stderr.txt");
    path_ = sim_->readLine(5s);
    ASSERT_FALSE(path_.empty());
    // Some 40 records (of about 50 bytes) while nobody listens, then the simulator is held
    // still: what the late reader finds is what waited for it, however slow the machine.
    ASSERT_TRUE(sim_->waitWritten(40 * 45, 60s)) << "the simulator wrote too little";
    ASSERT_TRUE(sim_->stop());
    fd_ = openDevice(path_);
    ASSERT_GE(fd_, 0);
    const auto lines = simtest::splitLines(readQueued(fd_));
    EXPECT_LE(std::count(lines.begin(), lines.end(), "-"), 1);
}

TEST_F(SimProcessTest, ObeysSettingsAndFactoryCommands)
{
    start({"--interval", "30"});
    const struct {
        std::vector<std::string> writes; // the command, as the program writes it
        std::vector<std::string> settings;
        const char* ppm; // "" when it depends on the pH
    } steps[] = {
        {{"05002000601500600501001200000011"}, {"6,05", "6,15", "12", "10", "50", "20"}, ""},
        {{"000", "000", "008", "080", "004", "000", "250", "020", "000", "000", "11"},
         {"4,00", "8,80", "20", "250", "0", "0"},
         ""},
        {{"10001400701000609002000000000011"}, {"6,90", "7,10", "0", "20", "100", "14"}, "0"},
        {{"10002500805000709002500300000011"}, {"7,90", "8,50", "3", "25", "100", "25"}, ""},
        {{kFactory}, {"6,90", "7,10", "0", "20", "100", "14"}, "0"},
    };
    for (const auto& step : steps) {
        for (const auto& w : step.writes)
            writeAll(fd_, w);
        const auto sent = Clock::now();
        const std::string stream = readUntil(fd_, 3s, [&](const std::string& s) {
            const auto frames = framesIn(s);
            return frames.size() >= 4 && settingsOf(frames.back()) == step.settings;
        });
        const auto frames = framesIn(stream);
        ASSERT_FALSE(frames.empty());
        ASSERT_EQ(settingsOf(frames.back()), step.settings) << step.writes[0];
        EXPECT_LT(Clock::now() - sent, 1s) << "settings took effect late";
        EXPECT_EQ(recordForm(frames.back()), "");
        if (*step.ppm) {
            EXPECT_EQ(frames.back()[3], step.ppm);
        }
        // Once taken over, the new settings stay.
        const auto more = framesIn(readFor(fd_, 200ms));
        ASSERT_FALSE(more.empty());
        for (const auto& f : more)
            EXPECT_EQ(settingsOf(f), step.settings);
    }
}

TEST_F(SimProcessTest, RestartPausesTheStreamForTwoSeconds)
{
    start({"--interval", "40"});
    readFor(fd_, 300ms);
    std::vector<Chunk> chunks;
    const auto sent = Clock::now();
    writeAll(fd_, kRestart);
    readUntil(
        fd_, 5s, [&](const std::string&) { return Clock::now() - sent > 3500ms; }, nullptr, &chunks);
    // The longest silence in the stream around the command.
    Clock::duration longest{};
    Clock::time_point prev = sent;
    for (const auto& c : chunks) {
        longest = std::max(longest, c.at - prev);
        prev = c.at;
    }
    const double sec = std::chrono::duration<double>(longest).count();
    EXPECT_GE(sec, 1.7);
    EXPECT_LE(sec, 3.0);
    ASSERT_FALSE(chunks.empty());
    EXPECT_GT(chunks.back().at - sent, 2500ms) << "records did not come back after the restart";
    std::string after;
    for (const auto& c : chunks)
        after += c.bytes;
    EXPECT_GE(goodFrames(after).size(), 5u);
}

TEST_F(SimProcessTest, CommandLogHoldsWhatWasSent)
{
    const fs::path log = dir_.path / "commands.txt";
    start({"--interval", "50", "--command-log", log.string()});
    const std::string frame = "05002000601500600501001200000011";
    const std::string unknown(32, '9');
    for (const std::string& w : {frame, kFactory, std::string("hello\r\n"), unknown, kRestart}) {
        writeAll(fd_, w);
        std::this_thread::sleep_for(300ms); // past the simulator's quiet-line resync
    }
    const std::vector<std::string> expected{frame, kFactory, "ignored " + unknown, kRestart};
    std::vector<std::string> lines;
    for (auto end = Clock::now() + 3s; Clock::now() < end; std::this_thread::sleep_for(20ms)) {
        std::ifstream f(log);
        lines.clear();
        for (std::string l; std::getline(f, l);)
            lines.push_back(l);
        if (lines.size() >= expected.size())
            break;
    }
    EXPECT_EQ(lines, expected);
    const std::string err = sim_->errors();
    EXPECT_NE(err.find("command " + frame + ": settings PHmin 6,05 PHmax 6,15"), std::string::npos) << err;
    EXPECT_NE(err.find("ignored command " + unknown), std::string::npos) << err;
    EXPECT_NE(err.find("hello\\x0D\\x0A"), std::string::npos) << err;
}

TEST_F(SimProcessTest, UnplugAndReplugBehindTheSameLink)
{
    const fs::path link = dir_.path / "ttyTarlo";
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--interval", "40", "--link", link.string(),
                                                                 "--unplug-after", "0.8", "--replug-after",
                                                                 "0.7"},
                                        dir_.path / "stderr.txt");
    const std::string first = sim_->readLine(5s);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(fs::read_symlink(link).string(), first);
    fd_ = openDevice(link.string());
    ASSERT_GE(fd_, 0);

    bool hungUp = false;
    const std::string before = readUntil(
        fd_, 4s, [](const std::string&) { return false; }, &hungUp);
    EXPECT_TRUE(hungUp) << "no hang-up seen on the old device";
    EXPECT_GE(goodFrames(before).size(), 5u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link outlived the unplug";
    close(fd_);
    fd_ = -1;

    const auto unplugged = Clock::now();
    const std::string second = sim_->readLine(5s);
    ASSERT_FALSE(second.empty()) << "no new device path after the replug";
    EXPECT_GE(Clock::now() - unplugged, 400ms);
    EXPECT_EQ(fs::read_symlink(link).string(), second);

    fd_ = openDevice(link.string());
    ASSERT_GE(fd_, 0) << strerror(errno);
    const std::string after =
        readUntil(fd_, 3s, [](const std::string& s) { return goodFrames(s).size() >= 5; });
    EXPECT_GE(goodFrames(after).size(), 5u);
    // And it hears commands on the new device.
    writeAll(fd_, "10002500805000709002500300000011");
    const std::string changed = readUntil(fd_, 3s, [](const std::string& s) {
        const auto f = framesIn(s);
        return !f.empty() && f.back()[1] == "7,90";
    });
    ASSERT_FALSE(framesIn(changed).empty());
    EXPECT_EQ(framesIn(changed).back()[1], "7,90");
}

TEST_F(SimProcessTest, HangupAfterClosesTheLineAndExits)
{
    const fs::path link = dir_.path / "ttyTarlo";
    sim_ = std::make_unique<SimProcess>(
        std::vector<std::string>{"--interval", "40", "--link", link.string(), "--hangup-after", "0.6"},
        dir_.path / "stderr.txt");
    ASSERT_FALSE(sim_->readLine(5s).empty());
    fd_ = openDevice(link.string());
    ASSERT_GE(fd_, 0);
    bool hungUp = false;
    const auto t0 = Clock::now();
    readUntil(
        fd_, 4s, [](const std::string&) { return false; }, &hungUp);
    EXPECT_TRUE(hungUp);
    EXPECT_LT(Clock::now() - t0, 2s);
    EXPECT_EQ(sim_->waitExit(3s), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(SimProcessTest, SignalsStopItCleanly)
{
    for (int sig : {SIGINT, SIGTERM}) {
        const fs::path link = dir_.path / ("link" + std::to_string(sig));
        fs::create_symlink("/nonexistent", link); // an old link is replaced
        SimProcess sim({"--interval", "40", "--link", link.string()}, dir_.path / "err.txt");
        const std::string path = sim.readLine(5s);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(fs::read_symlink(link).string(), path);
        std::this_thread::sleep_for(200ms);
        sim.signal(sig);
        EXPECT_EQ(sim.waitExit(3s), 0) << "signal " << sig;
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "signal " << sig;
    }
}

TEST_F(SimProcessTest, RefusesToReplaceAFileThatIsNoLink)
{
    const fs::path file = dir_.path / "precious";
    std::ofstream(file) << "keep me";
    SimProcess sim({"--interval", "40", "--link", file.string(), "--count", "1"}, dir_.path / "err.txt");
    sim.waitExit(5s);
    std::ifstream f(file);
    std::string text;
    std::getline(f, text);
    EXPECT_EQ(text, "keep me");
}

TEST_F(SimProcessTest, CountStopsAfterThatManyRecords)
{
    start({"--interval", "60", "--count", "5"});
    bool hungUp = false;
    const std::string stream = readUntil(
        fd_, 5s, [](const std::string&) { return false; }, &hungUp);
    EXPECT_TRUE(hungUp);
    EXPECT_EQ(sim_->waitExit(3s), 0);
    const auto lines = simtest::splitLines(stream);
    const auto records = std::count(lines.begin(), lines.end(), "-");
    EXPECT_GE(records, 4); // the first may have gone before the device was opened
    EXPECT_LE(records, 5);
    EXPECT_EQ(stream.substr(stream.size() - 3), " \r\n") << "the last record was cut short";
}

TEST_F(SimProcessTest, SurvivesRapidOpenAndClose)
{
    start({"--interval", "20"});
    closeDevice(fd_);
    fd_ = -1;
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
        const int fd = openDevice(path_);
        if (fd < 0) {
            ++failures;
            continue;
        }
        if (i % 10 == 0)
            writeAll(fd, kFactory.substr(0, 16)); // half a command, then gone
        if (i % 7 == 0)
            readFor(fd, 1ms);
        closeDevice(fd);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(sim_->running());
    fd_ = openDevice(path_);
    ASSERT_GE(fd_, 0);
    const std::string stream =
        readUntil(fd_, 3s, [](const std::string& s) { return goodFrames(s).size() >= 5; });
    EXPECT_GE(goodFrames(stream).size(), 5u);
    writeAll(fd_, "10002500805000709002500300000011");
    const std::string changed = readUntil(fd_, 3s, [](const std::string& s) {
        const auto f = framesIn(s);
        return !f.empty() && f.back()[1] == "7,90";
    });
    ASSERT_FALSE(framesIn(changed).empty());
    EXPECT_EQ(framesIn(changed).back()[1], "7,90");
}

// The exclusive flag of a pseudo-terminal outlives a close; the simulator
// clears it when the program lets go, so a program that does not run as
// root can open the device again.
TEST_F(SimProcessTest, ReopensWithoutRootAfterAnExclusiveClose)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to another user";
    start({"--interval", "20"});
    close(fd_);
    fd_ = -1;
    chmod(path_.c_str(), 0666);
    std::this_thread::sleep_for(50ms);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(200);
        int failures = 0;
        for (int i = 0; i < 20; ++i) {
            const int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (fd < 0 || ioctl(fd, TIOCEXCL) != 0)
                ++failures;
            if (fd >= 0)
                close(fd);
            usleep(30000); // the program reopens at human or timer pace, not in a tight loop
        }
        _exit(failures);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "opens refused as busy";
}

TEST_F(SimProcessTest, MisbehavesOnRequest)
{
    auto nonRecordByte = [](unsigned char c) {
        return std::string("0123456789,- \r\n").find(static_cast<char>(c)) == std::string::npos;
    };
    {
        SCOPED_TRACE("--nul");
        start({"--interval", "30", "--nul", "--seed", "3"});
        const std::string s = readFor(fd_, 600ms);
        EXPECT_NE(s.find('\0'), std::string::npos);
        const auto frames = framesIn(withoutNuls(s));
        ASSERT_GE(frames.size(), 5u);
        for (const auto& f : frames)
            EXPECT_EQ(recordForm(f), "");
        close(fd_);
    }
    {
        SCOPED_TRACE("--broken 2");
        start({"--interval", "30", "--broken", "2"});
        const auto frames = framesIn(readFor(fd_, 800ms));
        const auto good =
            std::count_if(frames.begin(), frames.end(), [](const auto& f) { return recordForm(f).empty(); });
        EXPECT_GE(good, 3);
        EXPECT_GE(static_cast<long>(frames.size()) - good, 3);
        close(fd_);
    }
    {
        SCOPED_TRACE("--noise");
        start({"--interval", "30", "--noise", "--seed", "5"});
        const std::string s = readFor(fd_, 800ms);
        EXPECT_TRUE(std::any_of(s.begin(), s.end(), nonRecordByte));
        EXPECT_GE(goodFrames(s).size(), 3u);
        close(fd_);
    }
    {
        SCOPED_TRACE("--wrong-speed");
        start({"--interval", "30", "--wrong-speed"});
        const std::string s = readFor(fd_, 400ms);
        ASSERT_FALSE(s.empty());
        EXPECT_EQ(s.find("\r\n"), std::string::npos);
        EXPECT_TRUE(
            std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
    }
}

TEST(SimCommandLine, HelpAndBadOptions)
{
    TempDir dir;
    {
        SimProcess sim({"--help"}, dir.path / "err.txt");
        EXPECT_EQ(sim.readLine(3s), "Usage: tarlo02-sim [options]");
        EXPECT_EQ(sim.waitExit(3s), 0);
    }
    {
        SimProcess sim({"--interval", "5"}, dir.path / "err.txt");
        EXPECT_EQ(sim.waitExit(3s), 2);
        EXPECT_NE(sim.errors().find("--interval"), std::string::npos);
        EXPECT_EQ(sim.readLine(100ms), "") << "no device for a bad command line";
    }
}

} // namespace
