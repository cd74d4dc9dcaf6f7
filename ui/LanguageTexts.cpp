#include "LanguageTexts.h"

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
