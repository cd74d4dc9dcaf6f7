// Switching the window between Polish and English.

#include "FormFixture.h"
#include "PtyPeer.h"

#include "NumSpin.h"
#include "SerialPort.h"
#include "ToggleSwitch.h"

#include <QTest>

#include <unistd.h>

namespace {

struct TextCase {
    const char* control;
    bool isHint;
    const char* polish;
    const char* english;
};

// Every text the two handlers write, as the user reads it.
const TextCase kTexts[] = {
    {"Label1", false, "PL", "EN"},
    {"Label1", true, "polski", "english"},
    {"SpeedButton9", true, "Połączenie bezprzewodowe", "Wireless connection"},
    {"SpeedButton8", true, "Połączenie kablowe", "Cable connection"},
    {"SpeedButton7", true, "Restart urządzenia", "Reset device"},
    {"SpeedButton5", true, "Odśwież COM", "Refresh COM"},
    {"ComboBox1", true, "Wybierz port do którego podłączone urządzenie",
     "Choose the port that is connected to device - usually the highest number in the list"},
    {"SpeedButton4", true, "Pobierz ustawienia z urządzenia", "Get settings from the Controller"},
    {"SpeedButton6", true, "Przywróć ustawienia domyślne (fabryczne)", "Restore default settings"},
    {"SpeedButton3", true, "Wyślij ustawienia do urządzenia", "Send settings to the Controller"},
    {"SpeedButton2", true, "Zachowaj ustawienia do pliku", "Save settings to file"},
    {"SpeedButton1", true, "Pobierz ustawienia z pliku", "Get settings from file"},
    {"NumSpinEdit9", true, "Jasność podświetlenia LCD", "Backlight brightness of LCD"},
    {"NumSpinEdit10", true, "Kontrast LCD", "Contrast of LCD"},
    {"NumSpinEdit12", true, "Twardość węglanowa wody TWW (KH)", "Carbonate Hardness of the Water"},
    {"NumSpinEdit11", true, "Próg alarmu obliczany jako (PHmin-ALARM oraz PHmax+ALARM)",
     "Alarm treshold calculated as (PHmin-ALARM and PHmax+ALARM)"},
    {"NumSpinEdit7", true, "PH minimalne zakresu", "Minimum of PH Range"},
    {"NumSpinEdit8", true, "PH maksymalne zakresu", "Maximum of PH Range"},
    {"CheckBox1", true, "Zapisz do pliku Excela w formacie CSV", "Save to Excel file in CSV type"},
    {"Image6", true, "Pokaż folder z plikiem Excela", "Show directory with Excel file"},
    {"Label13", false, "ZAKRES", "RANGE"},
    {"Label14", false, "PRÓG ALARMU", "ALARM PH"},
    {"Label19", false, "TWW (KH) WODY", "KH of WATER"},
    {"Label2", false, "JAS", "BRI"},
    {"Label28", false, "KON", "CON"},
    {"Label327", false, " Plik z konfiguracją ", " Configuration file "},
    {"Label3", true, "dziś jest ...", "today is ..."},
    {"Label4", true, "data ...", "date ..."},
    {"Label5", true, "obecna godzina ...", "now its ..."},
};

QString textOf(TForm1& f, const TextCase& c)
{
    auto* w = f.findChild<QWidget*>(QString::fromLatin1(c.control));
    if (!w)
        return QStringLiteral("<missing>");
    if (c.isHint)
        return hint(w);
    return qobject_cast<TLabel*>(w)->Caption();
}

void expectLanguage(TForm1& f, bool polish)
{
    for (const TextCase& c : kTexts)
        EXPECT_EQ(textOf(f, c), QString::fromUtf8(polish ? c.polish : c.english))
            << c.control << (c.isHint ? " hint" : " caption");
    EXPECT_EQ(f.Image12->isHidden(), polish);
    EXPECT_EQ(f.Image13->isHidden(), !polish);
    EXPECT_EQ(f.Image14->isHidden(), polish);
    EXPECT_EQ(f.Image15->isHidden(), !polish);
    EXPECT_EQ(f.Label1->x(), polish ? 39 : 38);
    EXPECT_EQ(f.PolishActive(), polish);
    EXPECT_EQ(f.EnglishActive(), !polish);
}

} // namespace

TEST_F(FormTest, SwitchingBothWaysRewritesEveryText)
{
    TForm1& f = layoutOnly();
    f.Image15Click(&f);
    expectLanguage(f, false);
    EXPECT_EQ(hint(f.ToggleSwitch1), QStringLiteral("Connect ..."));
    f.Image12Click(&f);
    expectLanguage(f, true);
    EXPECT_EQ(hint(f.ToggleSwitch1), QString::fromUtf8("Połącz ..."));
    // Texts that stay the same in both languages.
    EXPECT_EQ(hint(f.GroupBox2), QString::fromUtf8("   Wybór języka \r\nChoose language"));
    EXPECT_EQ(hint(f.Image13), QString::fromUtf8("Język polski"));
    EXPECT_EQ(f.Label10->Caption(), QStringLiteral("ALARM"));
}

TEST_F(FormTest, PolishHandlerDiffersFromTheLayoutWhereTheLayoutDiffers)
{
    TForm1& f = layoutOnly();
    // As laid out, before any language was applied.
    EXPECT_EQ(f.Label327->Caption(), QString::fromUtf8("Plik z konfiguracją "));
    EXPECT_EQ(hint(f.SpeedButton7), QStringLiteral("Restart zdalny"));
    EXPECT_TRUE(hint(f.ComboBox1).isEmpty());
    f.Image15Click(&f);
    f.Image12Click(&f);
    EXPECT_EQ(f.Label327->Caption(), QString::fromUtf8(" Plik z konfiguracją "));
    EXPECT_EQ(hint(f.SpeedButton7), QString::fromUtf8("Restart urządzenia"));
    EXPECT_FALSE(hint(f.ComboBox1).isEmpty());
}

TEST_F(FormTest, ClickingTheGreyFlagSwitchesAndTheColourFlagDoesNothing)
{
    TForm1& f = layoutOnly();
    f.show();
    QTest::mouseClick(f.Image13, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_TRUE(f.PolishActive());
    QTest::mouseClick(f.Image15, Qt::LeftButton, {}, QPoint(12, 12));
    expectLanguage(f, false);
    QTest::mouseClick(f.Image14, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_TRUE(f.EnglishActive());
    QTest::mouseClick(f.Image12, Qt::LeftButton, {}, QPoint(12, 12));
    expectLanguage(f, true);
}

TEST_F(FormTest, SwitchHintFollowsThePortNotTheSwitch)
{
    PtyPeer pty;
    TForm1& f = layoutOnly();
    f.ComPort->SetPort(pty.path);
    f.ComPort->OpenPort();
    ASSERT_TRUE(f.ComPort->Connected());
    f.Image15Click(&f);
    EXPECT_EQ(hint(f.ToggleSwitch1), QStringLiteral("Disconnect ..."));
    f.Image12Click(&f);
    EXPECT_EQ(hint(f.ToggleSwitch1), QString::fromUtf8("Rozłącz ..."));
    // The switch's own state is not looked at.
    f.ToggleSwitch1->SetStateOn(false);
    f.Image15Click(&f);
    EXPECT_EQ(hint(f.ToggleSwitch1), QStringLiteral("Disconnect ..."));
    f.ComPort->ClosePort();
    f.ToggleSwitch1->SetStateOn(true);
    f.Image15Click(&f);
    EXPECT_EQ(hint(f.ToggleSwitch1), QStringLiteral("Connect ..."));
}

TEST_F(FormTest, CaptionsResizeLabelsExceptTheFixedOne)
{
    TForm1& f = layoutOnly();
    f.Image12Click(&f);
    EXPECT_EQ(f.Label2->Caption(), QStringLiteral("JAS"));
    EXPECT_GE(f.Label2->width(), f.Label2->fontMetrics().horizontalAdvance(QStringLiteral("JAS")));
    EXPECT_EQ(f.Label2->x(), 46);
    f.Image15Click(&f);
    EXPECT_GE(f.Label19->width(), f.Label19->fontMetrics().horizontalAdvance(QStringLiteral("KH of WATER")));
    EXPECT_LT(f.Label19->width(),
              f.Label19->fontMetrics().horizontalAdvance(QStringLiteral("TWW (KH) WODY")));
    EXPECT_EQ(f.Label28->size(), QSize(41, 20));
}

// The program's own messages in Polish, a system's reason too where known; a text that is not
// ours stands as it is, and a "%1" in a path is no placeholder.
TEST(MessageIn, OurMessagesInPolishOthersAsTheyStand)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Cannot append to the log file \"/a/%1 b.csv\": No space left on device",
         "Nie można dopisać do pliku logu \"/a/%1 b.csv\": Brak miejsca na urządzeniu"},
        {"Cannot read the preferences file \"/w/tarlo02.ini\": UTF-16 text, not 8-bit text such as UTF-8; it "
         "was "
         "kept as \"/w/tarlo02.ini.bad\"",
         "Nie można odczytać pliku ustawień programu \"/w/tarlo02.ini\": tekst UTF-16, a nie tekst 8-bitowy, "
         "taki "
         "jak UTF-8; zachowano go jako \"/w/tarlo02.ini.bad\""},
        {"Cannot write the log file \"/x.csv\": Some reason of the system",
         "Nie można zapisać pliku logu \"/x.csv\": Some reason of the system"},
        {"Settings file \"/s.tarlo\" ends before line 4",
         "Plik z konfiguracją \"/s.tarlo\" kończy się przed wierszem 4"},
        {"Unable to open com port (Error: 2)", "Unable to open com port (Error: 2)"},
        {"'X' is not a valid integer value", "'X' is not a valid integer value"},
    };
    for (const auto& [english, polish] : cases) {
        EXPECT_EQ(messageIn(Language::Polish, QString::fromUtf8(english)), QString::fromUtf8(polish));
        EXPECT_EQ(messageIn(Language::English, QString::fromUtf8(english)), QString::fromUtf8(english));
    }
}
