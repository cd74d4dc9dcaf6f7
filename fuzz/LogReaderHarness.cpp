#include "LogReaderHarness.h"

#include "LogReader.h"

#include <QByteArray>

#include <cmath>

namespace fuzz {

namespace {

bool sameValue(float a, float b) { return std::isnan(a) ? std::isnan(b) : a == b; }

} // namespace

std::optional<QString> checkLogReader(std::span<const std::uint8_t> data)
{
    const QByteArray content(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    const QDateTime start(QDate(2016, 10, 1), QTime(18, 30, 8));
    // Lines end in CR LF, LF or CR alone.
    QByteArray ends = content;
    ends.replace("\r\n", "\n").replace('\r', '\n');
    const qsizetype lines = ends.count('\n') + (ends.endsWith('\n') || ends.isEmpty() ? 0 : 1);

    const ParsedLog finished = parseLog(content, start, false);
    const ParsedLog growing = parseLog(content, start, true);
    if (qsizetype(finished.rows.size()) + finished.skipped > lines)
        return QStringLiteral("more rows and skipped lines than lines");
    if (growing.rows.size() > finished.rows.size() || finished.rows.size() > growing.rows.size() + 1)
        return QStringLiteral("a growing file differs by more than its last line");
    if (finished.skippedLines.size() > finished.skipped)
        return QStringLiteral("more skipped line numbers than skipped lines");

    const qint64 first = QDateTime(start.date(), QTime(0, 0)).toMSecsSinceEpoch();
    for (const LogRow& r : finished.rows) {
        if (r.offset >= std::uint32_t(content.size()))
            return QStringLiteral("a row beyond the content");
        if (r.offset > 0 && content[r.offset - 1] != '\n' && content[r.offset - 1] != '\r' &&
            !(r.offset == 3 && content.startsWith("\xEF\xBB\xBF")))
            return QStringLiteral("a row not at the start of its line");
        // Dates follow the name's unless the file carries its own (a merged export).
        if (!finished.dated && r.time < first)
            return QStringLiteral("a row before the name's day");
        const QByteArray merged = mergedRow(r, content.constData() + r.offset, content.size() - r.offset);
        if (merged.count(';') != 9 || merged.contains('\n') || merged.contains('\r'))
            return QStringLiteral("a merged row that is not ten fields on one line: ") +
                   QString::fromLatin1(merged);
        const ParsedLog back =
            parseLog(QByteArray(MergedLogHeader) + "\r\n" + merged + "\r\n", QDateTime(), false);
        if (back.rows.size() != 1)
            return QStringLiteral("a merged row that does not read back: ") + QString::fromLatin1(merged);
        const LogRow& b = back.rows[0];
        if (b.time != r.time || !sameValue(b.ph, r.ph) || !sameValue(b.phMin, r.phMin) ||
            !sameValue(b.phMax, r.phMax) || !sameValue(b.ppm, r.ppm) || !sameValue(b.kh, r.kh) ||
            !sameValue(b.alarm, r.alarm) || b.o2 != r.o2 || b.co2 != r.co2)
            return QStringLiteral("a merged row that reads back different: ") + QString::fromLatin1(merged);
    }

    // The file name rules: a strict name is a loose one with the same stamps.
    const QString name = QString::fromLatin1(content.left(80));
    if (const auto strict = parseLogName(name, true)) {
        const auto loose = parseLogName(name, false);
        if (!loose || loose->start != strict->start || loose->end != strict->end)
            return QStringLiteral("a strict name that the loose rule reads differently");
    }
    return std::nullopt;
}

} // namespace fuzz
