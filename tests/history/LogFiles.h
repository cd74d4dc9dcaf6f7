#pragma once

// Writing generated logs for the tests.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cmath>
#include <ostream>

#include <gtest/gtest.h>

// Readable failures for Qt's texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

inline constexpr char kHeader[] = "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2";

// Lines joined with CR LF, each ended by it.
inline QByteArray crlf(const QStringList& lines)
{
    QByteArray out;
    for (const QString& l : lines)
        out += l.toLatin1() + "\r\n";
    return out;
}

inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(content), content.size());
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A generated day, one row a minute from 00:00: pH 7 + 0,4 sin(2π minute / 1440) to two
// decimals, range 6,80 to 7,20, alarm 0,20; O2 on before 08:00 and from 20:00, CO2 on from
// 08:00 to 18:00; no rows from 10:00 to 11:00.
namespace DayLog {
inline float ph(int minute)
{
    return float(std::lround((7 + 0.4 * std::sin(minute / 1440.0 * 2 * M_PI)) * 100)) / 100;
}
inline bool o2(int minute) { return minute < 480 || minute >= 1200; }
inline bool co2(int minute) { return minute >= 480 && minute < 1080; }
inline bool hasRow(int minute) { return minute < 600 || minute >= 660; }
inline QByteArray content()
{
    QStringList lines{kHeader};
    for (int m = 0; m < 1440; ++m) {
        if (!hasRow(m))
            continue;
        const QString time =
            QStringLiteral("%1:%2").arg(m / 60, 2, 10, QChar(u'0')).arg(m % 60, 2, 10, QChar(u'0'));
        lines << QStringLiteral("%1;%2;6,80;7,20;12,3;5;20;%3;%4")
                     .arg(m == 0 ? time + QStringLiteral(":00") : time,
                          QString::number(ph(m), 'f', 2).replace(u'.', u','), o2(m) ? "on" : "off",
                          co2(m) ? "on" : "off");
    }
    return crlf(lines);
}
inline constexpr char kName[] = "2016-10-01 {000000}    2016-10-02 {000000}.csv";
} // namespace DayLog
