#pragma once

#include "Log.h"
#include "Records.h"

#include <QDate>
#include <QString>

#include <array>

// The program-wide values shared by the window's subsystems; one instance for the run.
// Texts start empty and numbers at 0; start-up sets what it needs.
struct ProgramState {
    ::FrameLines FrameLines;               // the last extracted record, also the settings record
    ::SettingsFields SettingsFields;       // settings as the integer texts sent to the controller
    int LinkType = 0;                      // 0 cable ("USB"), 1 wireless ("WIFI")
    int LogFrameCount = 0;                 // 1: the next logged record starts a new file
    int LogFinished = 0;                   // 0 while a log file awaits its closing rename
    QString LogFileName;                   // full path of the current log file
    QDate LogDay;                          // the day the current log holds rows of
    ::LogBacklog LogBacklog;               // rows waiting while the log cannot be written
    QString ClockMinute;                   // minute digits of the clock
    QString LastFrameMinute;               // ClockMinute when the last good record was handled
    std::array<int, 10> SecondDigitSeen{}; // last digits of the seconds seen since the reset
    int SecondDigitCount = 0;              // how many of them are set

    void reset() { *this = ProgramState{}; }
};

// The instance of this run.
ProgramState& State();
