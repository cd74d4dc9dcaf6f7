#pragma once

#include "Settings.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The largest command payload looked at. A settings object is under 100 bytes; anything larger
// is refused before it is parsed, so a huge publish costs no more than its arrival.
inline constexpr qsizetype kMaxCommandBytes = 4096;

// A command from the broker, checked: what to write to the controller, or why nothing is.
struct CommandCheck {
    QString command;             // "set", "restart", "factory_reset", or what was asked for
    std::vector<QString> writes; // the pieces to write in order; empty when refused
    QString error;               // why it was refused; empty when accepted

    bool accepted() const { return error.isEmpty(); }
};

// A settings object: {"ph_min": 6.9, "ph_max": 7.1, "alarm": 0.2, "kh": 5, "brightness": 100,
// "contrast": 14}, numbers within the spin edits' limits (two decimals at most for the pH values
// and the alarm threshold, whole numbers for the rest). A setting left out keeps its value in
// `current`, the controller's last record, as the window sends what its spin edits took from
// it; without a record every setting must be given. Gives the settings frame's eleven writes,
// as the window's send button writes them.
CommandCheck checkSettingsCommand(const QByteArray& payload, const std::optional<SpinValues>& current = {});

// The six settings of a record's settings fields (1 to 8), each put within its spin edit's
// limits as the window's spin edits do when they take them; nothing when a field is not a
// plain number (no good record yet).
std::optional<SpinValues> settingsFromFields(const SettingsFields& fields);

// "restart" or "factory_reset" (also as {"command": "..."}).
CommandCheck checkDeviceCommand(const QByteArray& payload);

// Both checks refuse a payload over kMaxCommandBytes unread, and repeat at most the start of
// a text from the payload (a key, a command name): excerpt() gives it.
QString excerpt(const QString& text);

// The answer on the result topic: {"command":..,"ok":true,"sent":".."} or
// {"command":..,"ok":false,"error":".."}; sendError, when set, is a failed write.
QByteArray commandResult(const CommandCheck& check, const QString& sendError = {});

// At most one command written to the controller a second: it needs its time to act on one (a
// restart stops its records for two seconds), and a flood of commands would otherwise hold
// the port. A command that comes sooner is refused and counted, so a burst is told once.
// Times are milliseconds of a steady clock.
class CommandRateLimiter {
public:
    static constexpr qint64 kIntervalMs = 1000;

    // True when a command may be written at nowMs; it then counts as the last one written.
    bool admit(qint64 nowMs);
    // Commands refused since the last one admitted.
    long long refusedInARow() const { return refusedInARow_; }

private:
    std::optional<qint64> lastMs_;
    long long refusedInARow_ = 0;
};

// Commands refused for what they hold (malformed, out of range, unknown): the first in a
// minute gets its own journal line, the rest are counted and summed up once the minute is
// over, so a flood of bad payloads costs a line a minute. Each still gets its result.
class RefusalDigest {
public:
    static constexpr qint64 kWindowMs = 60000;

    // A refusal at nowMs: true when it gets a line of its own.
    bool refused(qint64 nowMs);
    // The refusals held back, once a minute has passed since the last line: their count (the
    // count is then cleared). Nothing otherwise.
    std::optional<long long> summary(qint64 nowMs);

private:
    std::optional<qint64> lineMs_; // when the last line was written
    long long heldBack_ = 0;
};
