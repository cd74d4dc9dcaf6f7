#include "SettingsFile.h"
#include "Files.h"
#include "Numbers.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

SettingsFields savedFields(const SpinValues& v)
{
    SettingsFields f;
    f.fill("stale");
    fieldsForSaving(v, f);
    return f;
}

} // namespace

TEST(SettingsFile, StartValuesAsTenLines)
{
    const SettingsFields f = savedFields(FactorySettings);
    EXPECT_EQ(f[SettingsField::Reserved1], "0");
    EXPECT_EQ(f[SettingsField::Reserved2], "0");
    EXPECT_EQ(f[SettingsField::End], "stale") << "field 11 is only set when sending";
    EXPECT_EQ(formatSettingsFile(savedFields(FactorySettings)),
              "100\r\n14\r\n7\r\n10\r\n6\r\n90\r\n20\r\n0\r\n0\r\n0\r\n");
}

TEST(SettingsFile, RoundTrips)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("ustawienia.tarlo");
    const SpinValues cases[] = {
        FactorySettings,
        {toFloat("6,05"), toFloat("8,80"), toFloat("0,53"), 20, 0, 25},
        {toFloat("4,00"), toFloat("4,10"), 0, 0, 100, 0},
        {toFloat("8,70"), toFloat("8,80"), toFloat("2,50"), 7, 55, 3},
    };
    for (const SpinValues& v : cases) {
        saveSettingsFile(path, formatSettingsFile(savedFields(v)));
        SettingsFields f;
        f[SettingsField::End] = "11";
        fieldsFromFileLines(readSettingsFileLines(path), f);
        EXPECT_EQ(f[SettingsField::End], "11") << "a ten-line file leaves field 11 alone";
        const LoadedSettings s = settingsFromFields(f);
        ASSERT_FALSE(s.error) << s.error->toStdString();
        // The spin edits show two decimals: compare as they would show.
        EXPECT_EQ(FloatToStrGeneral(*s.phMin), FloatToStrGeneral(v.phMin));
        EXPECT_EQ(FloatToStrGeneral(*s.phMax), FloatToStrGeneral(v.phMax));
        EXPECT_EQ(FloatToStrGeneral(*s.threshold), FloatToStrGeneral(v.threshold));
        EXPECT_EQ(s.kh, v.kh);
        EXPECT_EQ(s.brightness, v.brightness);
        EXPECT_EQ(s.contrast, v.contrast);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"ustawienia.tarlo"})
        << "no temporary files left";
}

TEST(SettingsFile, ReadsAtMostFifteenLines)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("long.tarlo");
    QByteArray data;
    for (int i = 1; i <= 16; ++i)
        data += QByteArray::number(i) + "\r\n";
    putFile(path, data);
    const auto lines = readSettingsFileLines(path);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines.front(), "1");
    EXPECT_EQ(lines.back(), "15");
    SettingsFields f;
    fieldsFromFileLines(lines, f);
    EXPECT_EQ(f[SettingsField::Spare15], "15");
    EXPECT_EQ(f[SettingsField::Unused], "");
}

TEST(SettingsFile, LineEndsAndShortFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::pair<QByteArray, std::vector<QString>> cases[] = {
        {"", {}},
        {"100", {"100"}},
        {"100\n14\n", {"100", "14"}},
        {"100\r\n\r\n14", {"100", "", "14"}},
        // CR alone ends a line too.
        {"100\r14\r", {"100", "14"}},
        {"1\r2\n3\r\n4", {"1", "2", "3", "4"}},
        // A line too long for any value stays a bad value, never a cut-off number.
        {QByteArray(2000, '0') + "7\r\n5\r\n", {QString(16, u'0') + QChar(0x2026), "5"}},
        {QByteArray(70000, '0') + "7\r\n5\r\n", {QString(16, u'0') + QChar(0x2026)}},
        {QByteArray(1023, '0') + "7\r\n5\r\n", {QString(1023, u'0') + u'7', "5"}},
        {QByteArray(1024, '0') + "7\r\n", {QString(16, u'0') + QChar(0x2026)}},
    };
    for (const auto& [data, expected] : cases) {
        const QString path = dir.filePath("f.tarlo");
        putFile(path, data);
        EXPECT_EQ(readSettingsFileLines(path), expected) << data.left(20).toStdString();
    }

    // A read that stopped before the end: its last line is whole only when a line end, CR
    // alone too, closes it.
    EXPECT_EQ(settingsFileLines("100\r14\r", false), (std::vector<QString>{"100", "14"}));
    EXPECT_EQ(settingsFileLines("100\r14", false),
              (std::vector<QString>{"100", "14" + QString(QChar(0x2026))}));

    // Fewer than eight lines: the missing fields keep what they held.
    SettingsFields f = savedFields(FactorySettings);
    fieldsFromFileLines({"50", "10"}, f);
    const LoadedSettings s = settingsFromFields(f);
    EXPECT_EQ(s.brightness, 50);
    EXPECT_EQ(s.contrast, 10);
    EXPECT_EQ(FloatToStrGeneral(*s.phMin), "6,9");
}

TEST(SettingsFile, NonIntegerLineStopsTheLoading)
{
    using F = SettingsField;
    const std::tuple<F, const char*, int> cases[] = {
        // field, text, how many spin edits got a value before it
        {F::PhMinWhole, "6,5", 0},
        {F::PhMinHundredths, "", 0},
        {F::PhMaxHundredths, "x", 1},
        {F::Alarm, "20 ", 2},
        {F::Kh, "K", 3},
        {F::Brightness, "1e2", 4},
        {F::Contrast, "-", 5},
    };
    for (const auto& [field, text, before] : cases) {
        SettingsFields f = savedFields(FactorySettings);
        f[field] = text;
        const LoadedSettings s = settingsFromFields(f);
        ASSERT_TRUE(s.error) << text;
        EXPECT_EQ(*s.error, QStringLiteral("'%1' is not a valid integer value").arg(text));
        const bool set[] = {bool(s.phMin), bool(s.phMax),      bool(s.threshold),
                            bool(s.kh),    bool(s.brightness), bool(s.contrast)};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(set[i], i < before) << "field " << int(field) << " value " << i;
    }
}

// A load that stops tells which file and which line (the load flow shows the common cases),
// and shows the bad value printable; a file without lines changes nothing.
TEST(SettingsFile, LoadErrorsNameTheFileAndTheLine)
{
    const QString path = QStringLiteral("/s/%1.tarlo"); // a "%1" in a name stays as it is
    const std::vector<QString> start{"100", "14", "7", "10", "6", "90", "20", "0"};
    const struct {
        std::vector<QString> lines;
        bool fresh; // the fields hold nothing yet, as before the first record
        QString error;
    } cases[] = {
        {{"\t5\x01", "14", "7", "10", "6", "90", "20", "0", "0", "0"},
         false,
         "line 1: '?5?' is not a valid integer value"},
        {{"50", "10", "7", "10"}, true, "\" ends before line 5"},
        // Cut short after the values: refused all the same, the fields as they were.
        {{"50", "10", "7", "10", "6", "90", "20", "0", "0"}, false, "\" ends before line 10"},
        // A bad value is shown up to 16 characters, then cut with "…".
        {{"abcdefghijklmnop", "14", "7", "10", "6", "90", "20", "0", "0", "0"},
         false,
         "line 1: 'abcdefghijklmnop' is not"},
        {{"abcdefghijklmnopq", "14", "7", "10", "6", "90", "20", "0", "0", "0"},
         false,
         "line 1: 'abcdefghijklmnop\xE2\x80\xA6' is not"},
        {{}, false, "\" is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error.toStdString());
        SettingsFields f;
        if (!c.fresh)
            fieldsFromFileLines(start, f);
        const SettingsFields before = f;
        const LoadedSettings s = loadSettingsLines(path, c.lines, f);
        ASSERT_TRUE(s.error);
        EXPECT_TRUE(s.error->startsWith(QStringLiteral("Settings file \"/s/%1.tarlo\"")))
            << s.error->toStdString();
        EXPECT_TRUE(s.error->contains(c.error)) << s.error->toStdString();
        if (c.lines.size() < 10) {
            EXPECT_TRUE(f == before);
        }
    }
}

TEST(SettingsFile, UnreadableFileIsAnIoError)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Text in another encoding is refused with a reason, not read as values full of NULs.
    const QString utf16 = dir.filePath("utf16.tarlo"), nul = dir.filePath("nul.tarlo");
    putFile(utf16, QByteArray::fromHex("fffe310030003000")); // "100" with a mark
    putFile(nul, QByteArray("100\r14\0\r", 8));
    const std::pair<QString, const char*> cases[] = {
        {dir.filePath("missing.tarlo"), "No such file"},
        {dir.path(), "not a regular file"},
        {utf16, "UTF-16 text"},
        {nul, "a NUL byte on line 2"},
    };
    for (const auto& [path, reason] : cases) {
        try {
            readSettingsFileLines(path);
            ADD_FAILURE() << "read " << path.toStdString();
        } catch (const EInOutError& e) {
            EXPECT_TRUE(e.message().contains(path)) << e.what();
            EXPECT_TRUE(e.message().contains(QLatin1String(reason))) << e.what();
        }
    }
}

TEST(SettingsFile, SaveReplacesAnExistingFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("s.tarlo");
    putFile(path, "a much longer old content that must go entirely\r\n");
    saveSettingsFile(path, "1\r\n");
    EXPECT_EQ(fileBytes(path, "<unreadable>"), "1\r\n");
}

TEST(SettingsFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporary)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("s.tarlo");
    const QByteArray old = "100\r\n14\r\n7\r\n10\r\n6\r\n90\r\n20\r\n0\r\n0\r\n0\r\n";
    putFile(path, old);

    // Let no file grow past 8 bytes: the new content fails half way, as on a full disk.
    const QByteArray fresh = formatSettingsFile(savedFields({6.5L, 7.5L, 0.1L, 3, 50, 12}));
    ASSERT_GT(fresh.size(), 8);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    QString message;
    try {
        saveSettingsFile(path, fresh);
    } catch (const EInOutError& e) {
        threw = true;
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_TRUE(message.contains(path)) << message.toStdString();
    EXPECT_EQ(fileBytes(path, "<unreadable>"), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"s.tarlo"});

    // A missing folder or a folder in the file's place: an error, nothing created.
    for (const QString& bad : {dir.filePath("gone/s.tarlo"), dir.path()}) {
        EXPECT_THROW(saveSettingsFile(bad, fresh), EInOutError) << bad.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"s.tarlo"});
}
