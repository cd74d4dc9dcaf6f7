// libFuzzer target: the serial device layer's reception path over a scripted system.
// The input's first bytes choose the input queue's size, NUL discarding and how the driver
// hands the rest over (pieces of varying size, "nothing waiting" in between); the rest is
// what the line delivers. What the reads return must be the line's bytes in order, NULs
// dropped when asked, and the queue may never hold more than its size.

#include "ComTypes.h"
#include "SerialDevice.h"
#include "posix/SystemCalls.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "serial reception fault: %s\n", what);
    std::abort();
}

// A device whose line holds `line`, handed over in pieces whose sizes come from `sizes`.
class ScriptedLine : public SystemCalls {
public:
    ScriptedLine(std::string line, std::string sizes) : line_(std::move(line)), sizes_(std::move(sizes)) {}

    int open(const char*, int& fd) override { return fd = 7, 0; }
    int close(int) override { return 0; }
    int read(int, char* buffer, int count, int& got) override
    {
        got = 0;
        if (pos_ >= line_.size())
            return EAGAIN;
        // A piece of 0 stands for "nothing waiting just now".
        const unsigned char s =
            sizes_.empty() ? 0xFF : static_cast<unsigned char>(sizes_[step_++ % sizes_.size()]);
        if (s % 8 == 0 && !quietOnce_) {
            quietOnce_ = true;
            return EAGAIN;
        }
        quietOnce_ = false;
        const std::size_t piece =
            std::min({std::size_t(s) + 1, std::size_t(count), line_.size() - pos_});
        line_.copy(buffer, piece, pos_);
        pos_ += piece;
        got = int(piece);
        return 0;
    }
    int write(int, const char*, int count, int& written) override { return written = count, 0; }
    int poll(int, bool, int, bool& ready, bool& hungUp) override { return ready = true, hungUp = false, 0; }
    int lock(int) override { return 0; }
    int setExclusive(int, bool) override { return 0; }
    int getTermios(int, TermiosRequest& t) override { return t = termios_, 0; }
    int setTermios(int, const TermiosRequest& t) override { return termios_ = t, 0; }
    int flush(int, bool, bool) override { return 0; }
    int modemLines(int, int&) override { return ENOTTY; }
    int setModemLines(int, int, bool) override { return ENOTTY; }
    int counters(int, LineCounters&) override { return ENOTTY; }
    int outputQueued(int, int& n) override { return n = 0, 0; }
    int inputQueued(int, int& n) override { return n = int(line_.size() - pos_), 0; }
    int64_t nowMs() override { return clock_ += 1; }
    void sleepMs(int ms) override { clock_ += ms; }

    bool exhausted() const { return pos_ >= line_.size(); }

private:
    std::string line_, sizes_;
    std::size_t pos_ = 0, step_ = 0;
    bool quietOnce_ = false;
    TermiosRequest termios_;
    int64_t clock_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const int queueSize = 1 + (data[0] | (data[1] & 0x0F) << 8); // 1 .. 4096
    const bool discardNull = data[2] & 1;
    const std::size_t sizesLength = std::min<std::size_t>(data[3] % 16, size - 4);
    const std::string sizes(reinterpret_cast<const char*>(data) + 4, sizesLength);
    const std::string line(reinterpret_cast<const char*>(data) + 4 + sizesLength, size - 4 - sizesLength);

    ScriptedLine sys(line, sizes);
    SerialDevice device(&sys);
    LineSettings settings;
    settings.baudRate = 19200;
    settings.discardNull = discardNull;
    if (device.open("/dev/fuzz", settings) != 0 || device.setQueueSizes(queueSize, 2048) != 0 ||
        device.setLineSettings(settings) != 0)
        fault("the scripted device did not open");

    std::string expected;
    for (char c : line)
        if (c != 0 || !discardNull)
            expected += c;

    std::string got;
    char buffer[700];
    for (std::size_t round = 0; round < 4 * line.size() + 64; ++round) {
        int count = 0;
        if (device.inputCount(count) != 0)
            fault("counting the input failed");
        if (count > queueSize)
            fault("the input queue holds more than its size");
        // Reads of varying size, as handlers take what they need.
        const int want = std::min<int>(count, int(1 + round % sizeof buffer));
        int n = 0;
        if (want > 0 && device.read(buffer, want, n) != 0)
            fault("reading the queue failed");
        got.append(buffer, std::size_t(n));
        if (sys.exhausted() && count == 0)
            break;
    }
    if (got != expected)
        fault("the bytes read are not the line's bytes in order (NULs dropped when asked)");
    return 0;
}
