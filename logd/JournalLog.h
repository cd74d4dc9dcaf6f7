#pragma once

#include <QString>

#include <cstdio>

// One line an event on standard error. Not on a terminal (journald, a pipe) each line starts
// with its syslog level, "<3>", "<4>" or "<6>", which journald takes as the priority; on a
// terminal the level is a word, coloured.
class JournalLog {
public:
    enum Level { Error = 3, Warning = 4, Info = 6 };

    explicit JournalLog(std::FILE* out = stderr);
    JournalLog(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

    void write(Level level, const QString& message) const;
    void error(const QString& m) const { write(Error, m); }
    void warning(const QString& m) const { write(Warning, m); }
    void info(const QString& m) const { write(Info, m); }

    // The line as written, without its end.
    static QString format(Level level, const QString& message, bool terminal);

private:
    std::FILE* out_;
    bool terminal_;
};
