#include "Frame.h"

#include "Numbers.h"
#include "Settings.h"

#include <algorithm>
#include <utility>

namespace {

QString asciiUpper(QString s)
{
    for (QChar& c : s)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    return s;
}

// The character at index i, or nothing when the line is shorter.
bool charIs(const QString& s, qsizetype i, char16_t c) { return i < s.size() && s[i] == c; }

} // namespace

void ReceiveBuffer::appendLine(const QString& line)
{
    if (!text_.isEmpty() && !text_.endsWith(QStringLiteral("\r\n")))
        text_ += QStringLiteral("\r\n");
    text_ += line;
    text_ += QStringLiteral("\r\n");
}

std::vector<ReceiveBuffer::Span> ReceiveBuffer::spans() const
{
    std::vector<Span> out;
    qsizetype start = 0;
    const qsizetype n = text_.size();
    for (;;) {
        qsizetype end = text_.indexOf(QStringLiteral("\r\n"), start);
        const bool last = end < 0;
        if (last) {
            end = n;
            if (end == start)
                break; // empty last line: not counted
        }
        const qsizetype len = end - start;
        if (len == 0) {
            out.push_back({start, 0});
        } else {
            for (qsizetype p = start; p < end; p += WrapWidth)
                out.push_back({p, std::min<qsizetype>(WrapWidth, end - p)});
        }
        if (last)
            break;
        start = end + 2;
    }
    return out;
}

int ReceiveBuffer::lineCount() const { return static_cast<int>(spans().size()); }

QString ReceiveBuffer::line(int index) const
{
    const auto s = spans();
    if (index < 0 || index >= static_cast<int>(s.size()))
        return {};
    return text_.mid(s[index].start, s[index].length);
}

int ReceiveBuffer::separatorLine() const
{
    const qsizetype dash = text_.indexOf(u'-');
    if (dash < 0)
        return 0;
    const auto s = spans();
    for (std::size_t i = 0; i < s.size(); ++i)
        if (dash >= s[i].start && dash < s[i].start + s[i].length)
            return static_cast<int>(i);
    return 0;
}

FrameLines extractFrame(const ReceiveBuffer& buffer)
{
    const int sep = buffer.separatorLine();
    FrameLines lines;
    int k = sep;
    for (QString& line : lines)
        line = asciiUpper(buffer.line(++k));
    return lines;
}

std::optional<FrameLines> receiveText(ReceiveBuffer& buffer, const QString& received)
{
    buffer.append(received);
    if (buffer.lineCount() < ReceiveBuffer::FrameTrigger)
        return std::nullopt;
    FrameLines lines = extractFrame(buffer);
    buffer.reset();
    return lines;
}

QString frameBufferText(const FrameLines& lines)
{
    QString text;
    for (const QString& l : lines)
        text += l + QStringLiteral("\r\n");
    return text;
}

bool frameIsValid(const FrameLines& l)
{
    for (RecordLine n : {RecordLine::Ph, RecordLine::PhMin, RecordLine::PhMax})
        if (l[n].size() != 4 || l[n][1] != u',')
            return false;
    return l[RecordLine::O2].size() == 1 && l[RecordLine::Co2].size() == 1 &&
           l[RecordLine::Blank] == QStringLiteral(" ") && l[RecordLine::End] == QStringLiteral("-");
}

FrameDisplay decodeFrame(FrameLines& l)
{
    FrameDisplay d;
    QString& ph = l[RecordLine::Ph];
    const QString& phMin = l[RecordLine::PhMin];
    const QString& phMax = l[RecordLine::PhMax];
    const QString& ppm = l[RecordLine::Ppm];
    const QString& kh = l[RecordLine::Kh];
    const QString& threshold = l[RecordLine::Alarm];
    const QString& o2 = l[RecordLine::O2];
    const QString& co2 = l[RecordLine::Co2];
    try {
        if (ph.size() >= 2)
            ph[1] = u'.';
        d.Label7 = ph;
        if (ph.startsWith(u'9') && co2 == QStringLiteral("0")) {
            ph = QStringLiteral(">10");
            d.Label7 = ph;
        }

        d.Label8 = phMin;
        d.Label9 = phMax;

        if (charIs(ppm, 1, u','))
            d.Label11 = QStringLiteral("0") + ppm;
        if (charIs(ppm, 2, u','))
            d.Label11 = ppm;
        if (ppm == QStringLiteral("100"))
            d.Label11 = QStringLiteral(">") + ppm + QStringLiteral("!");

        if (kh != QStringLiteral("0"))
            d.Label12 = toInt(kh) <= 9 ? QStringLiteral("0") + kh : kh;

        if (ppm == QStringLiteral("0") && kh == QStringLiteral("0")) {
            d.Label12 = QStringLiteral("--");
            d.Label11 = QStringLiteral("--.-");
        }
        if (ppm == QStringLiteral("0") && kh != QStringLiteral("0"))
            d.Label11 = QStringLiteral("00.0");

        // A KH of three characters or a threshold holding "," leaves the limits as they are.
        if (kh.size() < 3 && !threshold.left(4).contains(u',')) {
            const long double t = toFloat(threshold) / 100;
            const long double low = toFloat(phMin) - t;
            const long double high = toFloat(phMax) + t;
            const QString lowText = FloatToStrGeneral(low);
            const QString highText = FloatToStrGeneral(high);
            if (lowText.size() == 3)
                d.Label17 = lowText + QStringLiteral("0");
            if (highText.size() == 3)
                d.Label23 = highText + QStringLiteral("0");
            if (lowText.size() == 4)
                d.Label17 = lowText;
            if (highText.size() == 4)
                d.Label23 = highText;
        }

        if (o2 == QStringLiteral("1"))
            d.Image2 = true;
        else if (o2 == QStringLiteral("0"))
            d.Image2 = false;
        if (co2 == QStringLiteral("1"))
            d.Image1 = true;
        else if (co2 == QStringLiteral("0"))
            d.Image1 = false;
    } catch (const EConvertError& e) {
        d.error = e.message();
    }
    return d;
}

namespace {

// One cut-out record: kept as the program's last, checked, decoded, the settings fields filled.
ReceivedRecord handleRecord(const FrameLines& lines, FrameLines& record, SettingsFields& fields)
{
    ReceivedRecord r;
    r.extracted = lines;
    record = lines;
    r.valid = frameIsValid(record);
    if (!r.valid)
        return r;
    r.display = decodeFrame(record);
    if (r.complete())
        fillSettingsFromFrame(record, fields);
    return r;
}

} // namespace

std::optional<ReceivedRecord> receiveRecord(ReceiveBuffer& buffer, const QString& received,
                                            FrameLines& record, SettingsFields& fields)
{
    const std::optional<FrameLines> lines = receiveText(buffer, received);
    if (!lines)
        return std::nullopt;
    return handleRecord(*lines, record, fields);
}

std::vector<FrameLines> RecordStream::append(QStringView received)
{
    for (QChar c : received) {
        if (c == u'\n') {
            if (partial_.endsWith(u'\r'))
                partial_.chop(1);
            lineDone();
        } else {
            partial_ += c;
            if (partial_.size() >= kMaxLine)
                lineDone();
        }
    }
    return std::exchange(done_, {});
}

void RecordStream::lineDone()
{
    QString line = std::exchange(partial_, {});
    if (!inRecord_) {
        if (line == QStringLiteral("-")) {
            inRecord_ = true;
            lines_.clear();
        }
        return;
    }
    lines_.push_back(asciiUpper(std::move(line)));
    if (lines_.size() < FrameLines::Count)
        return;
    FrameLines frame;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        frame[RecordLine(i)] = lines_[i];
    done_.push_back(frame);
    // A good record ends with the next one's "-". Otherwise the next record starts at the first
    // "-" line inside this one, if there is one.
    std::vector<QString> rest;
    if (!frameIsValid(frame)) {
        const auto dash = std::find(lines_.begin(), lines_.end(), QStringLiteral("-"));
        if (dash != lines_.end())
            rest.assign(dash + 1, lines_.end());
        inRecord_ = dash != lines_.end();
    }
    lines_.clear();
    // The lines after an inner "-" are received again, so a record within them is found.
    for (QString& l : rest) {
        partial_ = std::move(l);
        lineDone();
    }
}

void receiveRecords(RecordStream& stream, QStringView received, FrameLines& record, SettingsFields& fields,
                    const std::function<void(const ReceivedRecord&)>& each)
{
    for (const FrameLines& lines : stream.append(received))
        each(handleRecord(lines, record, fields));
}

void fillSettingsFromFrame(const FrameLines& lines, SettingsFields& fields)
{
    // A received record fills the fields exactly as taking the settings does.
    fieldsFromRecord(lines, fields);
}
