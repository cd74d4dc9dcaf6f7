#include "Settings.h"
#include "Frame.h"
#include "Numbers.h"

#include <gtest/gtest.h>

namespace {

// A spin edit's value as it holds the text it shows.
long double spin(const char* text) { return toFloat(QString::fromLatin1(text)); }

QString decimal(int hundredths)
{
    return QStringLiteral("%1,%2").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QChar(u'0'));
}

QString frameText(const SpinValues& v, std::vector<QString>* writesOut = nullptr)
{
    SettingsFields f;
    computeSettingsFields(v, f);
    const auto writes = settingsFrameWrites(f);
    if (writesOut)
        *writesOut = writes;
    QString all;
    for (const QString& w : writes)
        all += w;
    return all;
}

} // namespace

TEST(SettingsFrame, StartValuesAsElevenWrites)
{
    std::vector<QString> writes;
    EXPECT_EQ(frameText(FactorySettings, &writes), "10001400701000609002000000000011");
    ASSERT_EQ(writes.size(), 11u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(writes[i].size(), 3) << i;
    EXPECT_EQ(writes[10], "11");
    EXPECT_EQ(QString::fromLatin1(FactorySettingsCommand), QString(32, u'2'));
    EXPECT_EQ(QString::fromLatin1(RestartCommand), QString(32, u'3'));
}

TEST(SettingsFrame, FieldValuesAndPadding)
{
    struct Case {
        SpinValues v;
        int from, length; // characters of the frame, counted from 1
        const char* expected;
    };
    const Case cases[] = {
        {{spin("6,05"), 7.1L, 0.2L, 0, 100, 14}, 13, 6, "006005"},
        {{6.9L, 7.1L, 0.2L, 0, 5, 0}, 1, 6, "005000"},
        {{6.9L, 7.1L, spin("2,50"), 0, 100, 14}, 19, 3, "250"},
        {{6.9L, 7.1L, spin("0,53"), 0, 100, 14}, 19, 3, "053"},
        {{6.9L, 7.1L, spin("2,35"), 0, 100, 14}, 19, 3, "235"},
        {{6.9L, 7.1L, 0, 20, 100, 14}, 19, 6, "000020"},
        {{spin("4,00"), spin("8,80"), 0.2L, 0, 100, 25}, 4, 15, "025008080004000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(frameText(c.v).mid(c.from - 1, c.length), c.expected) << c.expected;
}

TEST(SettingsFields, EveryThresholdAndPhOfTheSpinEditsIsExact)
{
    for (int k = 0; k <= 250; ++k) {
        SettingsFields f;
        computeSettingsFields({6.9L, 7.1L, toFloat(decimal(k)), 0, 100, 14}, f);
        EXPECT_EQ(f[7], QString::number(k)) << decimal(k).toStdString();
    }
    for (int k = 400; k <= 880; ++k) {
        SettingsFields f;
        const long double v = toFloat(decimal(k));
        computeSettingsFields({v, v, 0, 0, 0, 0}, f);
        EXPECT_EQ(f[5] + u',' + f[6].rightJustified(2, u'0'), decimal(k));
        EXPECT_EQ(f[3] + u',' + f[4].rightJustified(2, u'0'), decimal(k));
    }
}

TEST(SettingsFields, HundredthsRoundHalfToEvenAndCarry)
{
    const std::tuple<long double, const char*, const char*> cases[] = {
        {6.125L, "6", "12"}, {6.375L, "6", "38"},
        {6.994L, "6", "99"}, {6.996L, "7", "0"}, // rounds up to a whole unit: never "6" and "100"
        {7.0L, "7", "0"},
    };
    for (const auto& [v, whole, hundredths] : cases) {
        SettingsFields f;
        computeSettingsFields({v, 7.1L, 0.2L, 0, 100, 14}, f);
        EXPECT_EQ(f[5], whole) << double(v);
        EXPECT_EQ(f[6], hundredths) << double(v);
    }
}

TEST(SettingsFrame, PadsTheFieldsThemselvesAndOnlyTouchesTheirEntries)
{
    SettingsFields f;
    f[0] = "zero";
    f[12] = "twelve";
    computeSettingsFields(FactorySettings, f);
    settingsFrameWrites(f);
    EXPECT_EQ(f[5], "006");
    EXPECT_EQ(f[1], "100");
    EXPECT_EQ(f[9], "000");
    EXPECT_EQ(f[11], "11");
    EXPECT_EQ(f[0], "zero");
    EXPECT_EQ(f[12], "twelve");
}

TEST(SettingsRecord, UpdatedFromPaddedFieldsThenTakenBack)
{
    FrameLines record;
    record.fill("keep");
    SettingsFields f;
    const SpinValues sent{spin("6,05"), spin("7,40"), spin("0,53"), 12, 5, 0};
    computeSettingsFields(sent, f);
    settingsFrameWrites(f);
    updateRecordFromFields(record, f);
    const char* expected[] = {"keep", "6,05", "7,40", "keep", "12",   "53",
                              "keep", "keep", "5",    "0",    "keep", "keep"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(record[i], expected[i]) << "frame line " << i + 1;

    const TakenSettings t = takeSettings(record);
    EXPECT_TRUE(t.recordComplete);
    EXPECT_FALSE(t.error);
    EXPECT_EQ(t.phMin, sent.phMin);
    EXPECT_EQ(t.phMax, sent.phMax);
    EXPECT_EQ(FloatToStrGeneral(*t.threshold), "0,53");
    EXPECT_EQ(t.kh, 12);
    EXPECT_EQ(t.brightness, 5);
    EXPECT_EQ(t.contrast, 0);

    // Taking then sending again gives the same frame.
    SettingsFields again;
    fieldsFromRecord(record, again);
    SettingsFields recomputed;
    computeSettingsFields({*t.phMin, *t.phMax, *t.threshold, *t.kh, *t.brightness, *t.contrast}, recomputed);
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(again[n].toInt(), recomputed[n].toInt()) << "field " << n;
}

TEST(TakeSettings, FromAReceivedRecord)
{
    FrameLines l{"7.05", "6X80", "7,40", "12,3", "5", "20", "1", "0", "100", "14", " ", "-"};
    const TakenSettings t = takeSettings(l);
    EXPECT_EQ(l[1], "6,80") << "the second character is made a comma first";
    EXPECT_EQ(t.phMin, spin("6,80"));
    EXPECT_EQ(t.phMax, spin("7,40"));
    EXPECT_EQ(t.threshold, spin("20") / 100);
    EXPECT_EQ(t.kh, 5);
    EXPECT_EQ(t.brightness, 100);
    EXPECT_EQ(t.contrast, 14);

    SettingsFields f;
    f[9] = "0";
    fieldsFromRecord(l, f);
    const char* expected[] = {"", "100", "14", "7", "40", "6", "80", "20", "5", "0"};
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(f[n], expected[n]) << n;
}

TEST(TakeSettings, ShortRecordTakesNothing)
{
    for (const auto& [min, max] : {std::pair{"", ""}, {"6,8", "7,40"}, {"6,80", "7,4"}}) {
        FrameLines l{"", min, max, "", "5", "20", "", "", "100", "14", "", ""};
        const TakenSettings t = takeSettings(l);
        EXPECT_FALSE(t.recordComplete) << min << " " << max;
        EXPECT_FALSE(t.phMin || t.phMax || t.threshold || t.kh || t.brightness || t.contrast);
        EXPECT_FALSE(t.error);
        EXPECT_EQ(l[1], min);
    }
}

TEST(TakeSettings, ConversionErrorKeepsTheValuesBeforeIt)
{
    FrameLines l{"7.05", "6,80", "7,40", "0", "5", "X", "1", "0", "100", "14", " ", "-"};
    const TakenSettings t = takeSettings(l);
    ASSERT_TRUE(t.error);
    EXPECT_EQ(*t.error, "'X' is not a valid floating point value");
    EXPECT_TRUE(t.phMin);
    EXPECT_TRUE(t.phMax);
    EXPECT_FALSE(t.threshold);
    EXPECT_FALSE(t.kh);

    l = {"7.05", "6,8X", "7X40", "0", "5", "20", "1", "0", "100", "14", " ", "-"};
    const TakenSettings u = takeSettings(l);
    EXPECT_EQ(u.error, "'6,8X' is not a valid floating point value");
    EXPECT_FALSE(u.phMin);
    EXPECT_EQ(l[2], "7X40") << "line 3 is untouched once line 2 failed";
}
