#pragma once

#include "Records.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The six settings as the spin edits hold them.
struct SpinValues {
    long double phMin;      // NumSpinEdit7
    long double phMax;      // NumSpinEdit8
    long double threshold;  // NumSpinEdit11, in pH units
    long double kh;         // NumSpinEdit12
    long double brightness; // NumSpinEdit9
    long double contrast;   // NumSpinEdit10
};

// The range and step of one spin edit; decimals 0 means whole numbers.
struct SpinLimit {
    long double min;
    long double max;
    long double step;
    int decimals;
};

// The limits of the six settings: the window's spin edits take them, and so does every
// other way of setting the controller, so nothing outside them is ever sent.
struct SpinLimitTable {
    SpinLimit phMin;      // NumSpinEdit7
    SpinLimit phMax;      // NumSpinEdit8
    SpinLimit threshold;  // NumSpinEdit11, in pH units
    SpinLimit kh;         // NumSpinEdit12
    SpinLimit brightness; // NumSpinEdit9
    SpinLimit contrast;   // NumSpinEdit10
};
inline constexpr SpinLimitTable kSpinLimits{
    {4.0L, 8.7L, 0.01L, 2}, {4.1L, 8.8L, 0.01L, 2}, {0, 2.5L, 0.01L, 2},
    {0, 20, 1, 0},          {0, 100, 1, 0},         {0, 25, 1, 0},
};

// Start values of the spin edits, which are also the controller's factory values.
inline constexpr SpinValues FactorySettings{6.9L, 7.1L, 0.2L, 0, 100, 14};

inline constexpr char FactorySettingsCommand[] = "22222222222222222222222222222222";
inline constexpr char RestartCommand[] = "33333333333333333333333333333333";

// Fields 5, 6, 3, 4, 7, 8, 1 and 2 from the spin edits, as plain integer texts.
void computeSettingsFields(const SpinValues& values, SettingsFields& fields);

// Prepares the settings frame: fields 9 and 10 become "0", field 11 "11", and
// fields 1 to 10 are zero-padded to three digits in place. Returns the eleven
// texts to write in order; together they are the 32-character frame.
std::vector<QString> settingsFrameWrites(SettingsFields& fields);

// Writes the settings record (frame lines 2, 3, 5, 6, 9, 10) from the fields;
// padded fields such as "006" are written in their plain form.
void updateRecordFromFields(FrameLines& lines, const SettingsFields& fields);

// Values for the six spin edits, in the order they are given to them. A conversion error
// stops the filling: the values before it are kept, the rest stay empty.
struct SpinSettings {
    std::optional<long double> phMin;      // NumSpinEdit7
    std::optional<long double> phMax;      // NumSpinEdit8
    std::optional<long double> threshold;  // NumSpinEdit11
    std::optional<long double> kh;         // NumSpinEdit12
    std::optional<long double> brightness; // NumSpinEdit9
    std::optional<long double> contrast;   // NumSpinEdit10
    std::optional<QString> error;
};

// The conversions that give the six spin edits their values, in the order they are set.
struct SettingsConversions {
    std::function<long double()> phMin, phMax, threshold, kh, brightness, contrast;
};

// Runs the conversions in order. The first conversion error stops them: the values before it
// are kept, the rest stay empty, and the error's message is kept.
SpinSettings convertSettings(const SettingsConversions& conversions);

// The spin edit values taken from the settings record. After a conversion error the
// settings fields must not be changed.
struct TakenSettings : SpinSettings {
    // False when frame line 2 or 3 is shorter than four characters: the record
    // then holds no settings, nothing is taken and the spin edits stay as they are.
    bool recordComplete = false;
};

// Reads the settings record. Puts "," as the second character of frame lines
// 2 and 3 before reading them, as the record form requires.
TakenSettings takeSettings(FrameLines& lines);

// Settings fields 1 to 8 from the settings record.
void fieldsFromRecord(const FrameLines& lines, SettingsFields& fields);
