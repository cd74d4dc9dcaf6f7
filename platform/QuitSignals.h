#pragma once

#include <functional>
#include <memory>

// The signals that end a program from outside (SIGTERM at a logout, a shutdown or
// `systemctl --user stop`; SIGINT; SIGHUP when its terminal goes), turned into a call on the
// main thread's event loop, so the program can close as the user would close it. The handler
// only writes the signal's number into a pipe, which the event loop reads. While the object
// lives, those signals no longer end the process by themselves; its end puts the previous
// handlers back. One at a time. Windows has no such signals: there it does nothing.
class QuitSignals {
public:
    QuitSignals();
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // Called from the event loop with the signal's number.
    std::function<void(int)> onSignal;

private:
    struct Os;
    std::unique_ptr<Os> os_;
};
