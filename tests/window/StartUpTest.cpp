// Start-up and shutdown: the preferences file "tarlo02.ini".

#include "FileSizeLimit.h"
#include "FormFixture.h"

#include "Preferences.h"
#include "QuitSignals.h"
#include "SerialPort.h"

#include <QTest>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray prefs(std::initializer_list<const char*> lines)
{
    QByteArray out;
    for (const char* l : lines)
        out += QByteArray(l) + "\r\n";
    return out;
}

} // namespace

TEST(PreferencesText, LinesAsALineReaderSeesThem)
{
    EXPECT_EQ(Preferences::textLines("").size(), 0);
    EXPECT_EQ(Preferences::textLines("a\r\nb\r\n"), (QStringList{"a", "b"}));
    EXPECT_EQ(Preferences::textLines("a\r\nb"), (QStringList{"a", "b"}));
    // An empty last line counts: seven lines and a blank one make eight.
    EXPECT_EQ(Preferences::textLines("a\r\nb\r\n\r\n"), (QStringList{"a", "b", ""}));
    EXPECT_EQ(Preferences::textLines("a\nb\rc"), (QStringList{"a", "b", "c"}));
    // A UTF-8 byte-order mark is no part of the first line's bytes.
    EXPECT_EQ(Preferences::byteLines("\357\273\277a\r\nb"), (QList<QByteArray>{"a", "b"}));
}

TEST(PreferencesText, OtherEncodingsAreNamed)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"COM1\r\n\xC4\x85", ""},
        {"\357\273\277COM1", ""},
        {QByteArray("\377\376C\0", 4), "UTF-16 text, not 8-bit text such as UTF-8"},
        {QByteArray("\376\377\0C", 4), "UTF-16 text, not 8-bit text such as UTF-8"},
        {QByteArray("C\0O\0", 4), "a NUL byte on line 1, not 8-bit text such as UTF-8"},
        {QByteArray("a\r\r\n\0", 5), "a NUL byte on line 3, not 8-bit text such as UTF-8"},
    };
    for (const auto& [content, problem] : cases)
        EXPECT_EQ(Preferences::encodingProblem(content), problem) << content.toHex().toStdString();
}

TEST_F(FormTest, FirstRunWritesThePreferencesAndSelectsPolish)
{
    plat.screen = QSize(1024, 768);
    TForm1& f = create();
    EXPECT_TRUE(plat.messages.empty());
    EXPECT_EQ(f.Left(), 335);
    EXPECT_EQ(f.Top(), 56);
    EXPECT_EQ(f.ComboBox1->Text(), QStringLiteral("COM1"));
    EXPECT_EQ(f.ComPort->Port(), "COM1");
    EXPECT_TRUE(f.PolishActive());
    EXPECT_EQ(f.Label327->Caption(), QString::fromUtf8(" Plik z konfiguracją "));
    EXPECT_FALSE(f.SpeedButton8->isHidden());
    EXPECT_TRUE(f.SpeedButton9->isHidden());
    EXPECT_EQ(State().LinkType, 0);
    EXPECT_EQ(State().LogFinished, 1);
    EXPECT_EQ(State().LogFrameCount, 1);
    const QByteArray expected = "COM1\r\n335\r\n56\r\n" + QByteArray::number(f.Width()) + "\r\n" +
                                QByteArray::number(f.Height()) + "\r\nPL\r\nUSB\r\n";
    EXPECT_EQ(readFile("tarlo02.ini"), expected);
    // The window's own fitted size, not the 425 x 158 asked for.
    EXPECT_EQ(f.size(), QSize(345, 623));
}

TEST_F(FormTest, FirstRunResolutionMessageBelowSvga)
{
    const struct {
        QSize screen;
        bool message;
        int left;
    } cases[] = {
        {{800, 600}, false, 223}, {{800, 599}, true, 223}, {{799, 600}, true, 222}, {{320, 240}, true, -17}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen.width() * 10000 + c.screen.height());
        QFile::remove(QDir(work.path()).filePath("tarlo02.ini"));
        plat.messages.clear();
        plat.screen = c.screen;
        TForm1& f = create();
        ASSERT_EQ(plat.messages.size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_EQ(plat.messages[0].text,
                      QStringLiteral(
                          "Do poprawnego dzialania program wymaga \r\nrozdzielczosci minimum SVGA 800x600"));
            EXPECT_EQ(plat.messages[0].title, QStringLiteral("PH Controller Tarlo-01"));
        }
        EXPECT_EQ(f.Left(), c.left);
    }
}

TEST_F(FormTest, SevenLinesWithEnglishAndWirelessAreAppliedAndWrittenBack)
{
    writeFile("tarlo02.ini", prefs({"COM12", "100", "50", "361", "662", "EN", "WIFI"}));
    TForm1& f = create();
    EXPECT_TRUE(plat.messages.empty());
    EXPECT_EQ(f.ComboBox1->Text(), QStringLiteral("COM12"));
    EXPECT_EQ(f.ComPort->Port(), "COM12");
    EXPECT_EQ(f.Left(), 100);
    EXPECT_EQ(f.Top(), 50);
    EXPECT_TRUE(f.EnglishActive());
    EXPECT_EQ(f.Label13->Caption(), QStringLiteral("RANGE"));
    EXPECT_EQ(State().LinkType, 1);
    EXPECT_FALSE(f.SpeedButton9->isHidden());
    EXPECT_TRUE(f.SpeedButton8->isHidden());
    EXPECT_FALSE(f.Image4->isHidden());
    EXPECT_TRUE(f.Image8->isHidden());

    f.move(120, 70);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(readFile("tarlo02.ini"), "COM12\r\n120\r\n70\r\n" + QByteArray::number(f.Width()) + "\r\n" +
                                           QByteArray::number(f.Height()) + "\r\nEN\r\nWIFI\r\n");
}

TEST_F(FormTest, OtherLineCountsAreIgnoredAndReplacedAtClose)
{
    writeFile("tarlo02.ini", prefs({"COM3", "100", "50", "361", "662", "EN", "WIFI", ""}));
    TForm1& f = create();
    EXPECT_TRUE(plat.messages.empty());
    // Layout texts and both link buttons hidden.
    EXPECT_TRUE(f.ComboBox1->Text().isEmpty());
    EXPECT_EQ(f.Label327->Caption(), QString::fromUtf8("Plik z konfiguracją "));
    EXPECT_EQ(hint(f.SpeedButton7), QStringLiteral("Restart zdalny"));
    EXPECT_TRUE(f.SpeedButton8->isHidden());
    EXPECT_TRUE(f.SpeedButton9->isHidden());
    EXPECT_EQ(State().LogFinished, 1);
    EXPECT_EQ(State().LogFrameCount, 1);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(Preferences::textLines(readFile("tarlo02.ini")).size(), 7);
    EXPECT_TRUE(readFile("tarlo02.ini").endsWith("\r\nPL\r\nUSB\r\n"));
}

TEST_F(FormTest, PortLineChecks)
{
    const struct {
        const char* line1;
        bool error;
        const char* message;
        const char* port = nullptr; // the port name taken, when not line1 as it is
    } cases[] = {
        {"COM12", false, nullptr},
        {"COM123", false, nullptr},
        {"MYPORT7", false, nullptr},
        {"COM", false, nullptr},
        // Linux device names are taken as they are.
        {"ttyS0", false, nullptr},
        {"/dev/ttyUSB0", false, nullptr},
        {"COMX", true, "'X' is not a valid integer value."},
        // A UTF-8 byte-order mark before it is no part of the name.
        {"\357\273\277COM12", false, nullptr, "COM12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line1);
        plat.messages.clear();
        State().reset();
        writeFile("tarlo02.ini", prefs({c.line1, "100", "50", "361", "662", "EN", "WIFI"}));
        TForm1& f = create();
        const char* port = c.port ? c.port : c.line1;
        EXPECT_EQ(f.ComboBox1->Text(), QString::fromLatin1(port));
        if (c.error) {
            ASSERT_EQ(plat.messages.size(), 1u);
            EXPECT_EQ(plat.messages[0].text, QString::fromLatin1(c.message));
            // Nothing after the failing step was applied.
            EXPECT_TRUE(f.PolishActive());
            EXPECT_EQ(State().LinkType, 0);
            EXPECT_TRUE(f.SpeedButton9->isHidden());
            EXPECT_EQ(f.Left(), 528);
        } else {
            EXPECT_TRUE(plat.messages.empty());
            EXPECT_EQ(f.ComPort->Port(), port);
            EXPECT_TRUE(f.EnglishActive());
            EXPECT_EQ(f.Left(), 100);
        }
        EXPECT_EQ(State().LogFinished, 1);
        EXPECT_EQ(State().LogFrameCount, 1);
    }
}

TEST_F(FormTest, BadNumberStopsAtItsLineAndExactWordsOnly)
{
    writeFile("tarlo02.ini", prefs({"COM2", "100", "abc", "361", "662", "EN", "WIFI"}));
    TForm1& f = create();
    ASSERT_EQ(plat.messages.size(), 1u);
    EXPECT_EQ(plat.messages[0].text, QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(f.Left(), 100); // applied before the error
    EXPECT_EQ(f.Top(), 110);
    EXPECT_TRUE(f.PolishActive());

    form.reset();
    plat.messages.clear();
    State().reset();
    writeFile("tarlo02.ini", prefs({"COM2", "1", "2", "3", "4", "pl", "usb"}));
    TForm1& g = create();
    EXPECT_TRUE(plat.messages.empty());
    // Lower case names nothing: the layout texts stay and no link button shows.
    EXPECT_EQ(hint(g.SpeedButton7), QStringLiteral("Restart zdalny"));
    EXPECT_TRUE(g.SpeedButton8->isHidden());
    EXPECT_TRUE(g.SpeedButton9->isHidden());
}

TEST_F(FormTest, PreferencesThatCannotBeWrittenAreReportedAndTheWindowStillCloses)
{
    writeFile("tarlo02.ini", prefs({"COM2", "100", "50", "361", "662", "PL", "USB"}));
    TForm1& f = create();
    // The program's folder is gone: nothing can be written there, even as root.
    ASSERT_TRUE(QDir(work.path()).removeRecursively());
    EXPECT_TRUE(f.close());
    ASSERT_EQ(plat.messages.size(), 1u);
    EXPECT_TRUE(plat.messages[0].text.contains(QStringLiteral("tarlo02.ini")));
    EXPECT_TRUE(plat.messages[0].text.endsWith(QLatin1Char('.')));
}

TEST_F(FormTest, FirstRunInAFolderThatCannotBeWrittenStillStarts)
{
    // Even root cannot create files in /proc.
    QDir::setCurrent(QStringLiteral("/proc"));
    TForm1& f = create();
    ASSERT_EQ(plat.messages.size(), 1u);
    EXPECT_TRUE(plat.messages[0].text.contains(QStringLiteral("/proc/tarlo02.ini")));
    EXPECT_EQ(f.ComboBox1->Text(), QStringLiteral("COM1"));
    // Set up whole all the same: the link button and the captions in Polish.
    EXPECT_FALSE(f.SpeedButton8->isHidden());
    EXPECT_EQ(f.Label2->Caption(), QStringLiteral("JAS"));
    EXPECT_EQ(f.Label28->Caption(), QStringLiteral("KON"));
    EXPECT_EQ(State().LogFinished, 1);
    EXPECT_EQ(State().LogFrameCount, 1);
}

TEST_F(FormTest, ReadOnlyPreferencesAreLeftAsTheyAreAndTheCloseSaysSo)
{
    const QByteArray stored = prefs({"COM2", "100", "50", "361", "662", "EN", "WIFI"});
    writeFile("tarlo02.ini", stored);
    const QString ini = QDir(work.path()).filePath("tarlo02.ini");
    ASSERT_TRUE(QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    TForm1& f = create();
    f.ComboBox1->SetText(QStringLiteral("/dev/ttyUSB0"));
    EXPECT_TRUE(f.close());
    EXPECT_EQ(readFile("tarlo02.ini"), stored);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    ASSERT_EQ(plat.messages.size(), 1u);
    EXPECT_TRUE(plat.messages[0].text.contains(ini)) << plat.messages[0].text.toStdString();
    EXPECT_TRUE(plat.messages[0].text.contains(QStringLiteral("read-only")));
}

TEST_F(FormTest, AFullDiskAtCloseKeepsThePreferencesWholeAndTellsTheUser)
{
    const QByteArray stored = prefs({"COM2", "100", "50", "361", "662", "EN", "WIFI"});
    writeFile("tarlo02.ini", stored);
    TForm1& f = create();
    f.ComboBox1->SetText(QStringLiteral("/dev/ttyUSB0"));
    {
        FileSizeLimit full(10);
        EXPECT_TRUE(f.close());
    }
    EXPECT_EQ(readFile("tarlo02.ini"), stored);
    ASSERT_EQ(plat.messages.size(), 1u);
    EXPECT_TRUE(plat.messages[0].text.contains(QStringLiteral("tarlo02.ini")));
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"tarlo02.ini"});
}

// A preferences file that is no small plain file is refused at once (no hang, no memory
// grab), and the program starts as on its first run.
TEST_F(FormTest, PreferencesThatAreNoSmallPlainFileStartAsTheFirstRun)
{
    const QString ini = QDir(work.path()).filePath("tarlo02.ini");
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0); }},
        {"link to /dev/zero", [&] { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), ini)); }},
        {"100 MB", [&] { ASSERT_EQ(::truncate(QFile::encodeName(ini).constData(), 100 << 20), 0); }},
        // Text in another encoding is no more readable than these.
        {"UTF-16", [&] { writeFile("tarlo02.ini", QByteArray("\377\376C\0O\0M\0\r\0\n\0", 12)); }},
        {"NUL byte",
         [&] {
             writeFile("tarlo02.ini",
                       prefs({"COM3", "100", "50", "361", "662", "EN", "WIFI"}).replace('M', '\0'));
         }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        QFile::remove(ini);
        if (QString::fromLatin1(what) == QLatin1String("100 MB"))
            writeFile("tarlo02.ini", "");
        make();
        plat.messages.clear();
        TForm1& f = create();
        ASSERT_EQ(plat.messages.size(), 1u);
        // In the language the window starts in: Polish, as on a first run.
        EXPECT_TRUE(plat.messages[0].text.startsWith(
            QString::fromUtf8("Nie można odczytać pliku ustawień programu")));
        EXPECT_EQ(f.Left(), 335); // the first run's place
        EXPECT_EQ(f.ComboBox1->Text(), QStringLiteral("COM1"));
        // The refused file is kept beside, in place of the one refused before, and the first
        // run's preferences take its name.
        const QFileInfo bad(ini + QStringLiteral(".bad"));
        EXPECT_TRUE(bad.exists() || bad.isSymLink());
        EXPECT_TRUE(plat.messages[0].text.contains(QStringLiteral("zachowano go jako \"%1.bad\"").arg(ini)))
            << plat.messages[0].text.toStdString();
        EXPECT_TRUE(readFile("tarlo02.ini").startsWith("COM1\r\n"));
        if (QString::fromLatin1(what) == QLatin1String("UTF-16")) {
            EXPECT_EQ(readFile("tarlo02.ini.bad"), QByteArray("\377\376C\0O\0M\0\r\0\n\0", 12));
        }
    }
}

TEST_F(FormTest, APortNameThatIsNotUtf8KeepsItsBytes)
{
    const QByteArray port = "/dev/tty\xDCSB0";
    writeFile("tarlo02.ini", port + "\r\n" + prefs({"100", "50", "361", "662", "PL", "USB"}));
    TForm1& f = create();
    EXPECT_EQ(f.ComPort->Port(), port.toStdString());
    EXPECT_TRUE(f.close());
    EXPECT_TRUE(readFile("tarlo02.ini").startsWith(port + "\r\n"));
}

TEST_F(FormTest, AWindowStoredOffEveryScreenOpensWhereTheFirstRunPutsIt)
{
    plat.screen = QSize(1024, 768);
    const struct {
        const char *left, *top;
        int expectedLeft, expectedTop;
    } cases[] = {
        {"100", "50", 100, 50},    {"900", "700", 900, 700}, {"5000", "5000", 335, 56},
        {"-300", "-200", 335, 56}, {"-400", "100", 335, 56},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.left) + "," + c.top);
        writeFile("tarlo02.ini", prefs({"COM2", c.left, c.top, "361", "662", "PL", "USB"}));
        TForm1& f = create();
        EXPECT_EQ(f.Left(), c.expectedLeft);
        EXPECT_EQ(f.Top(), c.expectedTop);
    }
    // A second screen to the right holds a window stored there.
    plat.areas = {QRect(0, 0, 1024, 768), QRect(1024, 0, 1920, 1080)};
    writeFile("tarlo02.ini", prefs({"COM2", "2000", "500", "361", "662", "PL", "USB"}));
    EXPECT_EQ(create().Left(), 2000);
}

// Ended from outside (a logout, a shutdown, Ctrl+C, its terminal gone), the window closes as the
// user would close it: the preferences stored.
TEST_F(FormTest, ATerminatingSignalClosesTheWindowAsTheUserWould)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        QFile::remove(QDir(work.path()).filePath("tarlo02.ini"));
        TForm1& f = create();
        f.show();
        f.Image15Click(&f);
        const std::unique_ptr<QuitSignals> quit = CloseOnQuitSignals(f);
        ASSERT_EQ(::raise(signal), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }, 5000));
        EXPECT_TRUE(readFile("tarlo02.ini").contains("\r\nEN\r\n"));
    }
}
