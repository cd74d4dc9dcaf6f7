#include "QuitSignals.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};
// The pipe's end the handler writes to; -1 while no QuitSignals lives.
std::atomic<int> writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

extern "C" void onQuitSignal(int signal)
{
    // Only what is safe in a handler: one write, errno as it was.
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (const int fd = writeEnd.load(); fd >= 0) [[maybe_unused]]
        const ssize_t n = ::write(fd, &number, 1);
    errno = saved;
}
} // namespace

struct QuitSignals::Os {
    std::array<int, 2> pipe{-1, -1};
    std::array<struct sigaction, kSignals.size()> previous{};
    std::unique_ptr<QSocketNotifier> notifier;
};

QuitSignals::QuitSignals() : os_(std::make_unique<Os>())
{
    if (::pipe2(os_->pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals end the program as before
    writeEnd.store(os_->pipe[1]);
    os_->notifier = std::make_unique<QSocketNotifier>(os_->pipe[0], QSocketNotifier::Read);
    QObject::connect(os_->notifier.get(), &QSocketNotifier::activated, [this] {
        unsigned char number = 0;
        while (::read(os_->pipe[0], &number, 1) == 1)
            if (onSignal)
                onSignal(number);
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &os_->previous[i]);
}

QuitSignals::~QuitSignals()
{
    if (os_->pipe[0] < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &os_->previous[i], nullptr);
    writeEnd.store(-1);
    os_->notifier.reset();
    ::close(os_->pipe[0]);
    ::close(os_->pipe[1]);
}
