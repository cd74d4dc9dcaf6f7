#include "LanguageTexts.h"

#include <QRegularExpression>
#include <QStringList>

namespace {
QString u(const char* s) { return QString::fromUtf8(s); }
} // namespace

const std::vector<LanguageStep>& languageSteps()
{
    using S = LanguageStep;
    static const std::vector<LanguageStep> steps{
        {"Image12", S::Visible, u("0"), u("1")},
        {"Image13", S::Visible, u("1"), u("0")},
        {"Image14", S::Visible, u("0"), u("1")},
        {"Image15", S::Visible, u("1"), u("0")},
        {"Label1", S::Left, u("39"), u("38")},
        {"Label1", S::Caption, u("PL"), u("EN")},
        {"Label1", S::Hint, u("polski"), u("english")},
        {"SpeedButton9", S::Hint, u("Połączenie bezprzewodowe"), u("Wireless connection")},
        {"SpeedButton8", S::Hint, u("Połączenie kablowe"), u("Cable connection")},
        {"SpeedButton7", S::Hint, u("Restart urządzenia"), u("Reset device")},
        {"SpeedButton5", S::Hint, u("Odśwież COM"), u("Refresh COM")},
        {"ComboBox1", S::Hint, u("Wybierz port do którego podłączone urządzenie"),
         u("Choose the port that is connected to device - usually the highest number in the list")},
        {"ToggleSwitch1", S::SwitchHint, QString(), QString()},
        {"SpeedButton4", S::Hint, u("Pobierz ustawienia z urządzenia"),
         u("Get settings from the Controller")},
        {"SpeedButton6", S::Hint, u("Przywróć ustawienia domyślne (fabryczne)"),
         u("Restore default settings")},
        {"SpeedButton3", S::Hint, u("Wyślij ustawienia do urządzenia"), u("Send settings to the Controller")},
        {"SpeedButton2", S::Hint, u("Zachowaj ustawienia do pliku"), u("Save settings to file")},
        {"SpeedButton1", S::Hint, u("Pobierz ustawienia z pliku"), u("Get settings from file")},
        {"NumSpinEdit9", S::Hint, u("Jasność podświetlenia LCD"), u("Backlight brightness of LCD")},
        {"NumSpinEdit10", S::Hint, u("Kontrast LCD"), u("Contrast of LCD")},
        {"NumSpinEdit12", S::Hint, u("Twardość węglanowa wody TWW (KH)"),
         u("Carbonate Hardness of the Water")},
        {"NumSpinEdit11", S::Hint, u("Próg alarmu obliczany jako (PHmin-ALARM oraz PHmax+ALARM)"),
         u("Alarm treshold calculated as (PHmin-ALARM and PHmax+ALARM)")},
        {"NumSpinEdit7", S::Hint, u("PH minimalne zakresu"), u("Minimum of PH Range")},
        {"NumSpinEdit8", S::Hint, u("PH maksymalne zakresu"), u("Maximum of PH Range")},
        {"CheckBox1", S::Hint, u("Zapisz do pliku Excela w formacie CSV"),
         u("Save to Excel file in CSV type")},
        {"Image6", S::Hint, u("Pokaż folder z plikiem Excela"), u("Show directory with Excel file")},
        {"Label13", S::Caption, u("ZAKRES"), u("RANGE")},
        {"Label14", S::Caption, u("PRÓG ALARMU"), u("ALARM PH")},
        {"Label19", S::Caption, u("TWW (KH) WODY"), u("KH of WATER")},
        {"Label2", S::Caption, u("JAS"), u("BRI")},
        {"Label28", S::Caption, u("KON"), u("CON")},
        {"Label327", S::Caption, u(" Plik z konfiguracją "), u(" Configuration file ")},
        {"Label3", S::Hint, u("dziś jest ..."), u("today is ...")},
        {"Label4", S::Hint, u("data ..."), u("date ...")},
        {"Label5", S::Hint, u("obecna godzina ..."), u("now its ...")},
    };
    return steps;
}

QString switchHint(Language lang, bool connected)
{
    if (lang == Language::Polish)
        return connected ? u("Rozłącz ...") : u("Połącz ...");
    return connected ? u("Disconnect ...") : u("Connect ...");
}

QString weekdayName(Language lang, int dayOfWeek)
{
    static const char* const polish[] = {"Niedziela", "Poniedziałek", "Wtorek", "Środa",
                                         "Czwartek",  "Piątek",       "Sobota"};
    static const char* const english[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
    if (dayOfWeek < 1 || dayOfWeek > 7)
        return QString();
    return u(lang == Language::Polish ? polish[dayOfWeek - 1] : english[dayOfWeek - 1]);
}

QString factoryQuestion(Language lang)
{
    if (lang == Language::Polish)
        return u("Czy jesteś pewnien, że chcesz przywrócić ustawienia domyślne (fabryczne)?\r\n\r\n"
                 "Bieżące ustawienia będą wykasowane ...");
    return u(
        "Are you sure, You want to restore the default values?\r\n\r\nCurrent settings will be lost ...");
}

QString factoryDoneMessage(Language lang)
{
    if (lang == Language::Polish)
        return u(
            "Po przywróceniu ustawień domyślnych, do poprawnej pracy urządzenia WYMAGANA jest kalibracja!");
    return u("After restore the default settings, REQUIRE probe calibration process!");
}

QString logOutageText(Language lang, const QDateTime& at, const QString& error, qsizetype waiting)
{
    QString text = at.toString(QStringLiteral("HH:mm:ss")) + u' ' + error;
    if (waiting > 0)
        text +=
            lang == Language::Polish
                ? u(" Wiersze czekają w pamięci (dotąd: %1) i zostaną zapisane, gdy plik znów da się "
                    "zapisać.")
                      .arg(waiting)
                : u(" Rows wait in memory (so far: %1) and are written once the file can be written again.")
                      .arg(waiting);
    return text;
}

QString logRecoveryText(Language lang, const QDateTime& since, const QString& file, qsizetype waited)
{
    const QString time = since.toString(QStringLiteral("HH:mm:ss"));
    QString text = lang == Language::Polish ? u("%1 Zapis do pliku znów działa: \"%2\".").arg(time, file)
                                            : u("%1 Logging works again: \"%2\".").arg(time, file);
    if (waited > 0)
        text += lang == Language::Polish ? u(" Zapisano wiersze, które czekały: %1.").arg(waited)
                                         : u(" Rows that waited, now written: %1.").arg(waited);
    return text;
}

namespace {
// The system's reasons for a failed file operation, as they end our messages.
const std::pair<const char*, const char*> kReasons[] = {
    {"No such file or directory", "Nie ma takiego pliku ani katalogu"},
    {"Permission denied", "Brak dostępu"},
    {"No space left on device", "Brak miejsca na urządzeniu"},
    {"Read-only file system", "System plików tylko do odczytu"},
    {"Disk quota exceeded", "Przekroczony przydział dysku"},
    {"Input/output error", "Błąd wejścia/wyjścia"},
    {"File too large", "Plik jest za duży"},
    {"Is a directory", "To jest katalog"},
    {"Not a directory", "To nie jest katalog"},
    {"File name too long", "Za długa nazwa pliku"},
    {"Too many levels of symbolic links", "Za dużo poziomów dowiązań symbolicznych"},
    {"Operation not permitted", "Operacja niedozwolona"},
    {"not a regular file", "to nie jest zwykły plik"},
    {"UTF-16 text, not 8-bit text such as UTF-8", "tekst UTF-16, a nie tekst 8-bitowy, taki jak UTF-8"},
};

QString reasonIn(Language lang, const QString& reason)
{
    if (lang == Language::English)
        return reason;
    for (const auto& [english, polish] : kReasons)
        if (reason == QLatin1String(english))
            return QString::fromUtf8(polish);
    static const QRegularExpression nul(
        QStringLiteral("^a NUL byte on line (\\d+), not 8-bit text such as UTF-8$"));
    if (const QRegularExpressionMatch m = nul.match(reason); m.hasMatch())
        return QString::fromUtf8("bajt NUL w wierszu %1, a nie tekst 8-bitowy, taki jak UTF-8")
            .arg(m.captured(1));
    static const QRegularExpression larger(QStringLiteral("^larger than (\\d+) bytes$"));
    if (const QRegularExpressionMatch m = larger.match(reason); m.hasMatch())
        return QString::fromUtf8("większy niż %1 bajtów").arg(m.captured(1));
    return reason; // the system's own words
}

// A message of ours: its English form as a pattern, and its Polish form, where %1, %2, ...
// are the pattern's captures in order; a capture named "reason" is a system's reason.
struct Phrase {
    const char* english;
    const char* polish;
};
const Phrase kPhrases[] = {
    {"^Cannot write the log file \"(.*)\": the names of the next (\\d+) seconds are taken$",
     "Nie można zapisać pliku logu \"%1\": nazwy kolejnych %2 sekund są zajęte"},
    {"^Cannot write the log file \"(.*)\": (?<reason>.*)$", "Nie można zapisać pliku logu \"%1\": %2"},
    {"^Cannot append to the log file \"(.*)\": (?<reason>.*)$", "Nie można dopisać do pliku logu \"%1\": %2"},
    {"^Cannot rename the log file \"(.*)\" to \"(.*)\": (?<reason>.*)$",
     "Nie można zmienić nazwy pliku logu \"%1\" na \"%2\": %3"},
    {"^The log \"(.*)\" could not be written for too long: of the (\\d+) rows waiting in memory, the oldest "
     "are "
     "dropped$",
     "Pliku logu \"%1\" zbyt długo nie dało się zapisać: z %2 wierszy czekających w pamięci najstarsze są "
     "porzucane"},
    {"^Cannot read the preferences file \"(.*)\": (?<reason>.*)$",
     "Nie można odczytać pliku ustawień programu \"%1\": %2"},
    {"^Cannot write the preferences file \"(.*)\": (?<reason>.*)$",
     "Nie można zapisać pliku ustawień programu \"%1\": %2"},
    {"^The preferences file \"(.*)\" is read-only: the preferences were not saved$",
     "Plik ustawień programu \"%1\" jest tylko do odczytu: ustawienia nie zostały zapisane"},
    {"^Cannot save the settings file \"(.*)\": (?<reason>.*)$",
     "Nie można zapisać pliku z konfiguracją \"%1\": %2"},
    {"^Cannot read the settings file \"(.*)\": (?<reason>.*)$",
     "Nie można odczytać pliku z konfiguracją \"%1\": %2"},
    {"^Settings file \"(.*)\" is empty$", "Plik z konfiguracją \"%1\" jest pusty"},
    {"^Settings file \"(.*)\" ends before line (\\d+)$",
     "Plik z konfiguracją \"%1\" kończy się przed wierszem %2"},
    {"^Settings file \"(.*)\", line (\\d+): '(.*)' is not a valid integer value$",
     "Plik z konfiguracją \"%1\", wiersz %2: '%3' nie jest poprawną liczbą całkowitą"},
};

// The endings our own code puts after a message.
const Phrase kEndings[] = {
    {"; it was kept as \"(.*)\"$", "; zachowano go jako \"%1\""},
    {"; it could not be kept aside as \"(.*)\"$", "; nie udało się go zachować jako \"%1\""},
    {"; (\\d+) rows waiting in memory could not be written$",
     "; nie zapisano %1 wierszy czekających w pamięci"},
};

QString applyPhrase(const QRegularExpressionMatch& m, const char* polish, Language lang)
{
    // In one pass, so a "%1" inside a path stays as it is.
    const QString form = QString::fromUtf8(polish);
    const QStringList names = m.regularExpression().namedCaptureGroups();
    QString text;
    for (qsizetype i = 0; i < form.size(); ++i) {
        if (form[i] == u'%' && i + 1 < form.size() && form[i + 1].isDigit()) {
            const int n = form[++i].digitValue();
            const bool reason = n < names.size() && names[n] == QLatin1String("reason");
            text += reason ? reasonIn(lang, m.captured(n)) : m.captured(n);
        } else {
            text += form[i];
        }
    }
    return text;
}
} // namespace

QString messageIn(Language lang, const QString& message)
{
    if (lang == Language::English)
        return message;
    QString head = message;
    QString tail;
    for (const Phrase& p : kEndings) {
        const QRegularExpression ending(QString::fromUtf8(p.english));
        if (const QRegularExpressionMatch m = ending.match(head); m.hasMatch()) {
            tail = applyPhrase(m, p.polish, lang) + tail;
            head.truncate(m.capturedStart(0));
        }
    }
    for (const Phrase& p : kPhrases) {
        const QRegularExpression whole(QString::fromUtf8(p.english));
        if (const QRegularExpressionMatch m = whole.match(head); m.hasMatch())
            return applyPhrase(m, p.polish, lang) + tail;
    }
    return head + tail; // not ours (the serial component's, a conversion's): as it stands
}

QString settingsFileFilter(Language lang)
{
    return lang == Language::Polish ? QString::fromUtf8("Pliki ustawień Tarlo-01 (*.tarlo)")
                                    : QStringLiteral("Tarlo-01 settings files (*.tarlo)");
}
