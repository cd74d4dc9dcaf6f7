#pragma once

#include <QByteArray>

#include <thread>
#include <vector>

// Loads the system's font configuration on a thread of its own (on Windows: reads the fonts
// that come with the program, which wait() then gives to Qt). Reading it takes several
// milliseconds at every start; begun first thing in main, it runs beside the application's
// own start-up (the connection to the display) instead of holding up the window's first
// label. Wait for it before the first font is used: two loads at once would each do the
// whole work.
class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    void wait();

private:
    std::thread thread_;
    std::vector<QByteArray> files_; // font files read, not yet given to Qt
};
