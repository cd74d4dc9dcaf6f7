#include "ReceptionHarness.h"

#include "Log.h"
#include "Numbers.h"
#include "Settings.h"

#include <algorithm>
#include <cmath>

namespace fuzz {

namespace {

std::uint64_t fnv1a(std::span<const std::uint8_t> bytes)
{
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

std::uint64_t splitmix(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

bool hasLowerAscii(const QString& s)
{
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c >= u'a' && c <= u'z'; });
}

QString quoted(const QString& s)
{
    QString out;
    for (QChar c : s)
        out += c.unicode() < 0x20 || c.unicode() > 0x7e
                   ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'))
                   : QString(c);
    return u'"' + out + u'"';
}

// The checks on one frame; the frame is the one the buffer gave, before any step changed it.
std::optional<QString> checkFrame(const FrameLines& received, ReceptionStats& stats)
{
    int i = 0;
    for (const QString& l : received) {
        ++i;
        if (l.size() > ReceiveBuffer::WrapWidth)
            return QStringLiteral("frame line %1 %2 is wider than the memo").arg(i).arg(quoted(l));
        if (hasLowerAscii(l))
            return QStringLiteral("frame line %1 %2 is not upper-cased").arg(i).arg(quoted(l));
        if (l.contains(QStringLiteral("\r\n")))
            return QStringLiteral("frame line %1 %2 holds a line break").arg(i).arg(quoted(l));
    }

    // The frame buffer lists the twelve lines in order, one per line.
    ReceiveBuffer memo1;
    memo1.setText(frameBufferText(received));
    if (memo1.lineCount() != 12)
        return QStringLiteral("the frame buffer holds %1 lines").arg(memo1.lineCount());
    i = 0;
    for (const QString& l : received) {
        if (memo1.line(i) != l)
            return QStringLiteral("frame buffer line %1 reads %2, not %3")
                .arg(i + 1)
                .arg(quoted(memo1.line(i)), quoted(l));
        ++i;
    }

    const bool good = frameIsValid(received);
    if (good)
        ++stats.goodFrames;

    // Decoding runs on every frame here, also on rejected ones: it must survive any lines.
    FrameLines lines = received;
    const FrameDisplay d = decodeFrame(lines);
    if (good && d.error)
        ++stats.convertErrors;
    // Frame line 1 of 9,xx with the CO2 output off stands for a pH above 10.
    const bool over10 =
        received[RecordLine::Ph].startsWith(u'9') && received[RecordLine::Co2] == QStringLiteral("0");
    if (good) {
        // pH and the pH range are shown before any conversion can fail.
        QString dotted = received[RecordLine::Ph];
        dotted[1] = u'.';
        const QString expectedPh = over10 ? QStringLiteral(">10") : dotted;
        if (d.Label7 != expectedPh || lines[RecordLine::Ph] != expectedPh)
            return QStringLiteral("pH %1 shows %2")
                .arg(quoted(received[RecordLine::Ph]), quoted(d.Label7.value_or("(nothing)")));
        if (d.Label8 != received[RecordLine::PhMin] || d.Label9 != received[RecordLine::PhMax])
            return QStringLiteral("the pH range %1..%2 is not shown as received")
                .arg(quoted(received[RecordLine::PhMin]), quoted(received[RecordLine::PhMax]));
    }

    SettingsFields fields;
    fillSettingsFromFrame(lines, fields);
    using F = SettingsField;
    for (F n : {F::PhMaxWhole, F::PhMinWhole})
        if (fields[n].size() > 1)
            return QStringLiteral("settings field %1 %2 is longer than a digit")
                .arg(int(n))
                .arg(quoted(fields[n]));
    for (F n : {F::PhMaxHundredths, F::PhMinHundredths})
        if (fields[n].size() > 2)
            return QStringLiteral("settings field %1 %2 is longer than two digits")
                .arg(int(n))
                .arg(quoted(fields[n]));
    if (good && (fields[F::PhMinWhole] + u',' + fields[F::PhMinHundredths] != received[RecordLine::PhMin] ||
                 fields[F::PhMaxWhole] + u',' + fields[F::PhMaxHundredths] != received[RecordLine::PhMax]))
        return QStringLiteral("the pH range %1..%2 does not split into its settings fields")
            .arg(quoted(received[RecordLine::PhMin]), quoted(received[RecordLine::PhMax]));

    // The log row of the frame as the log step writes it.
    FrameLines logLines = lines;
    restorePhComma(logLines);
    const QString row = formatLogRow(logLines, QStringLiteral("12:00"));
    // Whatever noise the lines hold, the row keeps its nine columns on one line.
    if (!row.startsWith(QStringLiteral("12:00;")) || row.count(u';') != 8 || row.contains(u'\n') ||
        row.contains(u'\r'))
        return QStringLiteral("log row %1 lost its columns").arg(quoted(row));
    QString phColumn = over10 ? QStringLiteral(">10") : received[RecordLine::Ph];
    for (QChar& c : phColumn)
        if (c == u';' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    if (good && !row.startsWith(QStringLiteral("12:00;") + phColumn + u';'))
        return QStringLiteral("log row %1 does not carry the pH %2")
            .arg(quoted(row), quoted(received[RecordLine::Ph]));

    // Taking the settings from the record and writing the fields back keeps the pH range.
    FrameLines record = lines;
    const TakenSettings taken = takeSettings(record);
    for (const auto& v :
         {taken.phMin, taken.phMax, taken.threshold, taken.kh, taken.brightness, taken.contrast})
        if (v && !std::isfinite(*v))
            return QStringLiteral("a taken setting is not finite");
    SettingsFields again;
    fieldsFromRecord(record, again);
    FrameLines written = record;
    updateRecordFromFields(written, again);
    if (good && (written[RecordLine::PhMin] != record[RecordLine::PhMin] ||
                 written[RecordLine::PhMax] != record[RecordLine::PhMax]))
        return QStringLiteral("the pH range %1..%2 is written back as %3..%4")
            .arg(quoted(record[RecordLine::PhMin]), quoted(record[RecordLine::PhMax]),
                 quoted(written[RecordLine::PhMin]), quoted(written[RecordLine::PhMax]));
    return std::nullopt;
}

} // namespace

std::vector<std::size_t> deliverySizes(std::span<const std::uint8_t> stream)
{
    std::vector<std::size_t> sizes;
    std::uint64_t state = fnv1a(stream);
    std::size_t left = stream.size();
    while (left > 0) {
        const std::uint64_t r = splitmix(state);
        std::size_t limit;
        switch (r % 8) {
        case 0:
        case 1:
            limit = 1;
            break;
        case 2:
        case 3:
        case 4:
            limit = 8;
            break;
        case 5:
        case 6:
            limit = 64;
            break;
        default:
            limit = MaxDelivery;
            break;
        }
        const std::size_t size = std::min<std::size_t>(left, 1 + (r >> 8) % limit);
        sizes.push_back(size);
        left -= size;
    }
    return sizes;
}

std::optional<QString> checkBufferBound(const ReceiveBuffer& buffer)
{
    if (buffer.text().size() > MaxBufferedChars)
        return QStringLiteral("the receive buffer holds %1 characters, more than %2")
            .arg(buffer.text().size())
            .arg(MaxBufferedChars);
    if (buffer.lineCount() >= ReceiveBuffer::FrameTrigger)
        return QStringLiteral("the receive buffer holds %1 lines without an extraction")
            .arg(buffer.lineCount());
    return std::nullopt;
}

ReceptionResult runReception(std::span<const std::uint8_t> stream, const std::vector<std::size_t>& sizes)
{
    ReceptionResult result;
    ReceptionStats& stats = result.stats;
    ReceiveBuffer buffer;
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        const auto delivery = stream.subspan(at, size);
        at += size;
        ++stats.deliveries;
        const std::optional<FrameLines> frame =
            receiveText(buffer, QString::fromLatin1(reinterpret_cast<const char*>(delivery.data()),
                                                    qsizetype(delivery.size())));
        stats.largestBuffer = std::max(stats.largestBuffer, buffer.text().size());
        if ((result.failure = checkBufferBound(buffer)))
            return result;
        if (!frame)
            continue;
        ++stats.frames;
        if (!buffer.isReset()) {
            result.failure = QStringLiteral("the receive buffer is not reset after an extraction");
            return result;
        }
        if ((result.failure = checkFrame(*frame, stats)))
            return result;
    }
    return result;
}

namespace {

std::vector<FrameLines> streamRecords(std::span<const std::uint8_t> stream,
                                      const std::vector<std::size_t>& sizes)
{
    RecordStream records;
    std::vector<FrameLines> out;
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        const auto delivery = stream.subspan(at, size);
        at += size;
        for (FrameLines& f : records.append(QString::fromLatin1(
                 reinterpret_cast<const char*>(delivery.data()), qsizetype(delivery.size()))))
            out.push_back(std::move(f));
    }
    return out;
}

} // namespace

std::optional<QString> checkRecordStream(std::span<const std::uint8_t> stream,
                                         const std::vector<std::size_t>& sizes)
{
    const std::vector<FrameLines> got = streamRecords(stream, sizes);
    if (got != streamRecords(stream, {stream.size()}))
        return QStringLiteral("the record stream gives other records when the bytes arrive in %1 pieces")
            .arg(sizes.size());
    for (const FrameLines& received : got) {
        for (const QString& l : received)
            if (l.size() > RecordStream::kMaxLine || hasLowerAscii(l) || l.contains(u'\n'))
                return QStringLiteral("record stream line %1 is too long, not upper-cased or broken")
                    .arg(quoted(l));
        if (!frameIsValid(received))
            continue;
        FrameLines record = received;
        if (decodeFrame(record).error)
            continue;
        SettingsFields fields;
        fillSettingsFromFrame(record, fields);
        restorePhComma(record);
        const QString row = formatLogRow(record, QStringLiteral("12:00"));
        if (row.count(u';') != 8 || row.contains(u'\n') || row.contains(u'\r'))
            return QStringLiteral("log row %1 lost its columns").arg(quoted(row));
    }
    return std::nullopt;
}

} // namespace fuzz
