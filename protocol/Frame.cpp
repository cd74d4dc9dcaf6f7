#include "Frame.h"

#include "Numbers.h"
#include "Settings.h"

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
    for (int k = 1; k <= 12; ++k)
        lines[k - 1] = asciiUpper(buffer.line(sep + k));
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
    for (int i : {0, 1, 2})
        if (l[i].size() != 4 || l[i][1] != u',')
            return false;
    return l[6].size() == 1 && l[7].size() == 1 && l[10] == QStringLiteral(" ") &&
           l[11] == QStringLiteral("-");
}

FrameDisplay decodeFrame(FrameLines& l)
{
    FrameDisplay d;
    QString& ph = l[0];
    const QString& phMin = l[1];
    const QString& phMax = l[2];
    const QString& ppm = l[3];
    const QString& kh = l[4];
    const QString& threshold = l[5];
    try {
        if (ph.size() >= 2)
            ph[1] = u'.';
        d.Label7 = ph;
        if (ph.startsWith(u'9') && l[7] == QStringLiteral("0")) {
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

        if (l[6] == QStringLiteral("1"))
            d.Image2 = true;
        else if (l[6] == QStringLiteral("0"))
            d.Image2 = false;
        if (l[7] == QStringLiteral("1"))
            d.Image1 = true;
        else if (l[7] == QStringLiteral("0"))
            d.Image1 = false;
    } catch (const EConvertError& e) {
        d.error = e.message();
    }
    return d;
}

void fillSettingsFromFrame(const FrameLines& lines, SettingsFields& fields)
{
    // A received record fills the fields exactly as taking the settings does.
    fieldsFromRecord(lines, fields);
}
