#include "Frame.h"
#include "Numbers.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

QString crlf(const QStringList& lines) { return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"); }

const QStringList goodRecord = {"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14", " ", "-"};

FrameLines frame(const QStringList& l)
{
    FrameLines f;
    qsizetype i = 0;
    for (QString& line : f)
        line = l.value(i++);
    return f;
}

FrameLines withLine(RecordLine line, const QString& text)
{
    FrameLines f = frame(goodRecord);
    f[line] = text;
    return f;
}

} // namespace

TEST(ReceiveBuffer, CountsLinesAsTheMemoDoes)
{
    ReceiveBuffer b;
    EXPECT_TRUE(b.isReset());
    EXPECT_EQ(b.text(), "\r\n");
    EXPECT_EQ(b.lineCount(), 1);
    b.clear();
    EXPECT_EQ(b.lineCount(), 0);
    b.setText("abc");
    EXPECT_EQ(b.lineCount(), 1);
    b.setText("abc\r\n");
    EXPECT_EQ(b.lineCount(), 1);
    b.setText("abc\r\n\r\n");
    EXPECT_EQ(b.lineCount(), 2);
    b.setText("a\nb\rc");
    EXPECT_EQ(b.lineCount(), 1) << "only CR LF breaks a line";
    b.setText(QString(13, u'x'));
    EXPECT_EQ(b.lineCount(), 1);
    b.setText(QString(14, u'x'));
    EXPECT_EQ(b.lineCount(), 2);
    EXPECT_EQ(b.line(1), "x");
    EXPECT_EQ(b.line(2), "");
}

TEST(ReceiveBuffer, TwentyFourLinesTriggerAnExtraction)
{
    ReceiveBuffer b;
    QStringList lines = QStringList{"-"} + goodRecord +
                        QStringList{"6,99", "6,80", "7,40", "0", "0", "20", "0", "1", "100", "14"};
    ASSERT_EQ(lines.size(), 23);
    b.append(crlf(lines.mid(0, 22)));
    EXPECT_EQ(b.lineCount(), 23); // the reset line plus 22
    EXPECT_LT(b.lineCount(), ReceiveBuffer::FrameTrigger);
    b.append("1");
    EXPECT_EQ(b.lineCount(), 24) << "a partly received line counts";
    b.append("4\r\n");
    EXPECT_EQ(b.lineCount(), 24);
}

TEST(ReceiveBuffer, NoiseWithoutLineBreaksIsBounded)
{
    ReceiveBuffer b;
    int chars = 0;
    while (b.lineCount() < ReceiveBuffer::FrameTrigger && chars < 100000) {
        b.append(QStringLiteral("\x7f"));
        ++chars;
    }
    EXPECT_GE(chars, 200);
    EXPECT_LE(chars, 400);
}

TEST(ReceiveBuffer, AppendLineActsAsLinesAdd)
{
    ReceiveBuffer b;
    b.clear();
    b.appendLine("100");
    b.appendLine("14");
    EXPECT_EQ(b.text(), "100\r\n14\r\n");
    EXPECT_EQ(b.lineCount(), 2);
    b.setText("abc");
    b.appendLine("x");
    EXPECT_EQ(b.text(), "abc\r\nx\r\n");
    b.reset();
    b.appendLine("x");
    EXPECT_EQ(b.lineCount(), 2);
    EXPECT_EQ(b.line(1), "x");
}

TEST(ExtractFrame, TakesTheTwelveLinesAfterTheFirstDash)
{
    ReceiveBuffer b;
    b.append(crlf(QStringList{"-"} + goodRecord +
                  QStringList{"6,99", "6,80", "7,40", "0", "0", "20", "0", "1", "100", "14"}));
    ASSERT_GE(b.lineCount(), 24);
    EXPECT_EQ(b.separatorLine(), 1);
    const FrameLines f = extractFrame(b);
    EXPECT_EQ(f, frame(goodRecord));
    EXPECT_TRUE(frameIsValid(f));
}

TEST(ExtractFrame, PartialLeadAndSeparatorInsideALine)
{
    ReceiveBuffer b;
    b.append(crlf({"14", " ", "x-y", "7,05"}));
    EXPECT_EQ(b.separatorLine(), 3);
    FrameLines f = extractFrame(b);
    EXPECT_EQ(f[RecordLine::Ph], "7,05");
    for (auto line = f.begin() + 1; line != f.end(); ++line)
        EXPECT_EQ(*line, "") << "line " << (line - f.begin()) + 1 << " lies beyond the buffer";
}

TEST(ExtractFrame, WithoutDashTakesLinesTwoToThirteen)
{
    ReceiveBuffer b;
    b.setText(QString(400, u'a'));
    EXPECT_EQ(b.separatorLine(), 0);
    const FrameLines f = extractFrame(b);
    EXPECT_EQ(f[RecordLine::Ph], QString(13, u'A')) << "wrapped noise, upper-cased";
    EXPECT_FALSE(frameIsValid(f));
}

TEST(ExtractFrame, UpperCasesAsciiLettersOnly)
{
    ReceiveBuffer b;
    b.append(crlf({"-", "ab,z", QStringLiteral("ąé1x")}));
    const FrameLines f = extractFrame(b);
    EXPECT_EQ(f[RecordLine::Ph], "AB,Z");
    EXPECT_EQ(f[RecordLine::PhMin], QStringLiteral("ąé1X"));
}

TEST(FrameIsValid, FiveFormRules)
{
    EXPECT_TRUE(frameIsValid(frame(goodRecord)));
    using L = RecordLine;
    const std::pair<L, const char*> broken[] = {
        {L::Ph, "7,0"},    {L::Ph, "7,055"},   {L::Ph, "7.05"}, {L::PhMin, "6,8"}, {L::PhMin, "6.80"},
        {L::PhMax, "7,4"}, {L::PhMax, "7;40"}, {L::O2, ""},     {L::O2, "11"},     {L::Co2, ""},
        {L::Co2, "00"},    {L::Blank, "  "},   {L::Blank, ""},  {L::End, "--"},    {L::End, ""},
    };
    for (const auto& [line, text] : broken)
        EXPECT_FALSE(frameIsValid(withLine(line, text))) << "line " << int(line) + 1 << " '" << text << "'";
    // The value lines are not checked.
    for (L line : {L::Ppm, L::Kh, L::Alarm, L::Brightness, L::Contrast})
        EXPECT_TRUE(frameIsValid(withLine(line, "?"))) << int(line) + 1;
}

TEST(DecodeFrame, ShowsAGoodRecordAndFillsTheSettings)
{
    FrameLines f = frame(goodRecord);
    const FrameDisplay d = decodeFrame(f);
    EXPECT_FALSE(d.error);
    EXPECT_EQ(d.Label7, "7.05");
    EXPECT_EQ(d.Label8, "6,80");
    EXPECT_EQ(d.Label9, "7,40");
    EXPECT_EQ(d.Label11, "12,3");
    EXPECT_EQ(d.Label12, "05");
    EXPECT_EQ(d.Label17, "6,60");
    EXPECT_EQ(d.Label23, "7,60");
    EXPECT_EQ(d.Image2, true);
    EXPECT_EQ(d.Image1, false);
    EXPECT_EQ(f[RecordLine::Ph], "7.05") << "the stored pH line holds the display form";

    SettingsFields s;
    s[SettingsField::Unused] = "keep";
    s[SettingsField::Reserved1] = "keep";
    fillSettingsFromFrame(f, s);
    const char* expected[] = {"keep", "100", "14", "7", "40", "6", "80", "20", "5", "keep"};
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(s.begin()[i], expected[i]) << "field " << i;
}

TEST(DecodeFrame, PhAboveTen)
{
    FrameLines f = withLine(RecordLine::Ph, "9,15");
    EXPECT_EQ(decodeFrame(f).Label7, ">10");
    EXPECT_EQ(f[RecordLine::Ph], ">10");
    f = withLine(RecordLine::Ph, "9,15");
    f[RecordLine::Co2] = "1";
    EXPECT_EQ(decodeFrame(f).Label7, "9.15");
    EXPECT_EQ(f[RecordLine::Ph], "9.15");
}

TEST(DecodeFrame, PpmAndKhForms)
{
    struct Case {
        const char* ppm;
        const char* kh;
        std::optional<QString> label11, label12;
    };
    const Case cases[] = {
        {"5,5", "5", "05,5", "05"},
        {"25,5", "12", "25,5", "12"},
        {"100", "9", ">100!", "09"},
        {"0", "0", "--.-", "--"},
        {"0", "7", "00.0", "07"},
        {"0", "12", "00.0", "12"},
        {"3", "0", std::nullopt, std::nullopt}, // neither form: both labels keep their text
        {"1,,", "10", "1,,", "10"},             // both comma rules apply, the later one wins
    };
    for (const Case& c : cases) {
        FrameLines f = frame(goodRecord);
        f[RecordLine::Ppm] = c.ppm;
        f[RecordLine::Kh] = c.kh;
        const FrameDisplay d = decodeFrame(f);
        EXPECT_EQ(d.Label11, c.label11) << c.ppm << " / " << c.kh;
        EXPECT_EQ(d.Label12, c.label12) << c.ppm << " / " << c.kh;
    }
}

TEST(DecodeFrame, AlarmLimits)
{
    struct Case {
        const char* phMin;
        const char* phMax;
        const char* threshold;
        const char* kh;
        std::optional<QString> low, high;
    };
    const Case cases[] = {
        {"6,80", "7,40", "20", "5", "6,60", "7,60"},
        {"6,80", "7,40", "5", "5", "6,75", "7,45"},
        {"7,20", "7,40", "20", "5", std::nullopt, "7,60"}, // low 7: one character
        {"6,80", "7,80", "20", "5", "6,60", std::nullopt}, // high 8: one character
        {"6,90", "7,10", "0", "0", "6,90", "7,10"},
        {"6,80", "8,80", "145", "5", "5,35", std::nullopt}, // 10,25: five characters
        {"4,00", "8,80", "250", "5", "1,50", "11,3"},
        {"6,80", "7,40", "20", "100", std::nullopt, std::nullopt}, // KH of three characters
        {"6,80", "7,40", "2,0", "5", std::nullopt, std::nullopt},  // threshold with ","
        {"6,80", "7,40", "123,", "5", std::nullopt, std::nullopt}, // "," as the fourth character
        {"6,80", "7,40", "1234,5", "5", std::nullopt,
         std::nullopt}, // "," past the fourth character: -5,545 and 19,745
    };
    for (const Case& c : cases) {
        FrameLines f = frame(goodRecord);
        f[RecordLine::PhMin] = c.phMin;
        f[RecordLine::PhMax] = c.phMax;
        f[RecordLine::Alarm] = c.threshold;
        f[RecordLine::Kh] = c.kh;
        const FrameDisplay d = decodeFrame(f);
        EXPECT_FALSE(d.error) << d.error.value_or("").toStdString();
        EXPECT_EQ(d.Label17, c.low) << c.phMin << " - " << c.threshold;
        EXPECT_EQ(d.Label23, c.high) << c.phMax << " + " << c.threshold;
    }
}

TEST(DecodeFrame, Outputs)
{
    const std::tuple<const char*, const char*, std::optional<bool>, std::optional<bool>> cases[] = {
        {"1", "1", true, true},
        {"0", "0", false, false},
        {"2", "1", std::nullopt, true},
        {"0", "X", false, std::nullopt},
    };
    for (const auto& [o2, co2, image2, image1] : cases) {
        FrameLines f = frame(goodRecord);
        f[RecordLine::O2] = o2;
        f[RecordLine::Co2] = co2;
        const FrameDisplay d = decodeFrame(f);
        EXPECT_EQ(d.Image2, image2) << o2;
        EXPECT_EQ(d.Image1, image1) << co2;
    }
}

TEST(DecodeFrame, ConversionErrorStopsPartWay)
{
    FrameLines f = withLine(RecordLine::Kh, "X");
    const FrameDisplay d = decodeFrame(f);
    ASSERT_TRUE(d.error);
    EXPECT_EQ(*d.error, "'X' is not a valid integer value");
    EXPECT_EQ(d.Label7, "7.05");
    EXPECT_EQ(d.Label8, "6,80");
    EXPECT_EQ(d.Label9, "7,40");
    EXPECT_EQ(d.Label11, "12,3");
    EXPECT_FALSE(d.Label12);
    EXPECT_FALSE(d.Label17);
    EXPECT_FALSE(d.Label23);
    EXPECT_FALSE(d.Image2);
    EXPECT_FALSE(d.Image1);

    // A threshold that is no number stops at the limits: KH is already shown.
    f = withLine(RecordLine::Alarm, "2X");
    const FrameDisplay t = decodeFrame(f);
    ASSERT_TRUE(t.error);
    EXPECT_EQ(*t.error, "'2X' is not a valid floating point value");
    EXPECT_EQ(t.Label12, "05");
    EXPECT_FALSE(t.Label17);
    EXPECT_FALSE(t.Image2);
}

TEST(ReceiveText, ExtractsOnceTwentyFourLinesArrivedAndResets)
{
    ReceiveBuffer b;
    const QStringList next = {"6,99", "6,80", "7,40", "0", "0", "20", "0", "1", "100", "14"};
    const QString stream = crlf(QStringList{"-"} + goodRecord + next);
    std::optional<FrameLines> got;
    int i = 0;
    // Byte by byte, as a slow line delivers it.
    for (; i < stream.size() && !got; ++i)
        got = receiveText(b, stream.mid(i, 1));
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, frame(goodRecord));
    EXPECT_TRUE(b.isReset());
    EXPECT_EQ(stream.mid(0, i).count(QStringLiteral("\r\n")), 22)
        << "extracted when the 23rd line had begun: 24 with the reset line";
    EXPECT_EQ(frameBufferText(*got).count(QStringLiteral("\r\n")), 12);
    EXPECT_TRUE(frameBufferText(*got).startsWith("7,05\r\n6,80\r\n"));
}

TEST(RecordStream, EveryRecordAsSoonAsTheNextOneStarts)
{
    const QString good = crlf(goodRecord.mid(0, 11));
    const QString broken = crlf({"7,05", "6,80", "7,40"}); // cut short by the next "-"
    const QString noise = QString(1000, u'x');
    // The text as it arrives, in pieces; the first lines of the records taken, in order.
    const std::pair<QStringList, QStringList> cases[] = {
        {{"junk\r\n-\r\n" + good + "-\r\n" + good + "-\r\n" + good}, {"7,05", "7,05"}},
        // Split anywhere, even between CR and LF; the third record waits for its end.
        {{"-\r", "\n7,0", "5\r\n" + crlf(goodRecord.mid(1, 10)), "-", "\r\n", good, "-\r\n"},
         {"7,05", "7,05"}},
        // A broken record is taken and refused; the good one behind it is not lost.
        {{"-\r\n" + broken + "-\r\n" + good + "-\r\n"}, {"7,05", "7,05"}},
        // Lines ended by LF alone, lower case made upper.
        {{"-\n" + QString(good).replace("\r\n", "\n").replace("7,05", "7,0a") + "-\n"}, {"7,0A"}},
        // Noise without line breaks costs nothing but itself.
        {{noise, "\r\n-\r\n" + good + noise + "\r\n-\r\n" + good + "-\r\n"}, {"7,05", "7,05"}},
    };
    for (const auto& [pieces, firstLines] : cases) {
        RecordStream s;
        std::vector<FrameLines> got;
        for (const QString& p : pieces)
            for (const FrameLines& f : s.append(p))
                got.push_back(f);
        QStringList first;
        for (const FrameLines& f : got)
            first << f[RecordLine::Ph];
        EXPECT_EQ(first, firstLines) << pieces.join("|").left(80).toStdString();
    }
}

TEST(RecordStream, ReceiveRecordsDecodesEachAndFillsTheSettings)
{
    RecordStream s;
    FrameLines record;
    SettingsFields fields;
    QStringList seen;
    const QString second = crlf({"9,15", "6,80", "7,40", "12,3", "7", "20", "1", "0", "100", "14", " "});
    receiveRecords(s,
                   "-\r\n" + crlf({"7,05", "6,80"}) + "-\r\n" + crlf(goodRecord.mid(0, 11)) + "-\r\n" +
                       second + "-\r\n",
                   record, fields, [&](const ReceivedRecord& r) {
                       // The record and the fields are this record's while it is handled.
                       seen << QStringLiteral("%1 %2 %3 %4")
                                   .arg(r.extracted[RecordLine::Ph], record[RecordLine::Ph])
                                   .arg(r.complete())
                                   .arg(fields[SettingsField::Kh]);
                   });
    EXPECT_EQ(seen, (QStringList{"7,05 7,05 0 ", "7,05 7.05 1 5", "9,15 >10 1 7"}));
}
