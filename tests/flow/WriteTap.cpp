#include "WriteTap.h"

#include <atomic>
#include <mutex>
#include <utility>

#include <sys/syscall.h>
#include <unistd.h>

namespace {
std::atomic<bool> recording{false};
std::mutex lock;
std::vector<std::string> writes;
} // namespace

namespace writetap {
void start()
{
    std::lock_guard<std::mutex> g(lock);
    writes.clear();
    recording = true;
}

std::vector<std::string> stop()
{
    recording = false;
    std::lock_guard<std::mutex> g(lock);
    return std::exchange(writes, {});
}
} // namespace writetap

// Stands in for the C library's write() in this test program: the serial layer's writes go
// through here. Everything is passed on unchanged to the kernel.
extern "C" ssize_t write(int fd, const void* buf, size_t count)
{
    const ssize_t n = ::syscall(SYS_write, fd, buf, count);
    if (recording.load() && n > 0 && ::isatty(fd)) {
        std::lock_guard<std::mutex> g(lock);
        writes.emplace_back(static_cast<const char*>(buf), static_cast<size_t>(n));
    }
    return n;
}
