#include "Texts.h"

#include "Numbers.h"
#include "Preferences.h"

#include <QFileInfo>

#include <cmath>

namespace {
QString u(const char* s) { return QString::fromUtf8(s); }

// A number with "," as the program writes them; "–" for a gap.
QString decimal(double v, int decimals)
{
    if (std::isnan(v))
        return u("–");
    return QString::number(v, 'f', decimals).replace(u'.', u',');
}

QString hours(qint64 ms) { return decimal(double(ms) / 3600000.0, 1) + u(" h"); }

QString share(qint64 part, qint64 whole)
{
    return whole > 0 ? u(" (") + decimal(100.0 * double(part) / double(whole), 0) + u(" %)") : QString();
}
} // namespace

Language folderLanguage(const QString& folder)
{
    try {
        const QStringList lines = Preferences::read(Preferences::pathIn(folder)).lines;
        if (lines.size() == Preferences::LineCount && lines[Preferences::LanguageLine] == u("EN"))
            return Language::English;
    } catch (const EInOutError&) {
    }
    return Language::Polish;
}

const HistoryTexts& historyTexts(Language language)
{
    static const HistoryTexts polish{
        u("Tarlo-02 historia"),
        u("Otwórz pliki…"),
        u("Otwórz folder…"),
        u("24 h"),
        u("7 dni"),
        u("30 dni"),
        u("Wszystko"),
        u("Cały zakres"),
        u("Zapisz PNG…"),
        u("Zapisz SVG…"),
        u("Zapisz CSV…"),
        u("pH"),
        u("CO2 [ppm]"),
        u("O2"),
        u("CO2"),
        u("wł."),
        u("wył."),
        u("zakres"),
        u("alarm"),
        u("Obraz PNG (*.png)"),
        u("Rysunek SVG (*.svg)"),
        u("Plik CSV (*.csv)"),
        u("Brak pomiarów"),
        u("pominięte linie"),
        u("nie można odczytać"),
        u("Nie można zapisać pliku"),
        u("Przeciągnij: przesuń · kółko: powiększ · prawy przycisk lub Shift + przeciągnij: zaznacz zakres"),
        u("Plik %1 już istnieje. Zastąpić go?"),
        u("Zastąp"),
        u("Anuluj"),
        u("%1 jest dziennikiem pomiarów: eksport nigdy go nie zastępuje. Wybierz inną nazwę lub folder."),
    };
    static const HistoryTexts english{
        u("Tarlo-02 history"),
        u("Open files…"),
        u("Open folder…"),
        u("24 h"),
        u("7 days"),
        u("30 days"),
        u("All"),
        u("Reset zoom"),
        u("Export PNG…"),
        u("Export SVG…"),
        u("Export CSV…"),
        u("pH"),
        u("CO2 [ppm]"),
        u("O2"),
        u("CO2"),
        u("on"),
        u("off"),
        u("range"),
        u("alarm"),
        u("PNG image (*.png)"),
        u("SVG drawing (*.svg)"),
        u("CSV file (*.csv)"),
        u("No measurements"),
        u("lines skipped"),
        u("cannot be read"),
        u("Cannot write the file"),
        u("Drag: pan · wheel: zoom · right button or Shift + drag: select a range"),
        u("%1 already exists. Replace it?"),
        u("Replace"),
        u("Cancel"),
        u("%1 is a measurement log: an export never replaces one. Choose another name or folder."),
    };
    return language == Language::English ? english : polish;
}

QString readout(const LogRow& row, Language language)
{
    const HistoryTexts& t = historyTexts(language);
    const auto state = [&](OutputState s) {
        return s == OutputState::On ? t.on : s == OutputState::Off ? t.off : u("–");
    };
    // Bounds as the controller shows them.
    const QString ph = row.phAbove() ? u(">10") : decimal(row.ph, 2);
    const QString ppm = row.ppmAbove() ? u(">100") : decimal(row.ppm, 1);
    return QDateTime::fromMSecsSinceEpoch(row.time).toString(u("yyyy-MM-dd HH:mm:ss")) + u("   pH ") + ph +
           u("   ") + t.range + u(" ") + decimal(row.phMin, 2) + u("–") + decimal(row.phMax, 2) + u("   ") +
           t.alarm + u(" ") + decimal(row.alarm / 100, 2) + u("   CO2 ") + ppm + u(" ppm   KH ") +
           decimal(row.kh, 0) + u("   O2 ") + state(row.o2) + u("   CO2 ") + state(row.co2);
}

QString statisticsText(const Statistics& s, Language language)
{
    const bool en = language == Language::English;
    QStringList lines;
    lines << (en ? u("Rows: ") : u("Wiersze: ")) + QString::number(s.rows);
    lines << u("pH min ") + decimal(s.minPh, 2) + u(" · max ") +
                 (s.phAbove > 0 ? u(">10") : decimal(s.maxPh, 2)) + (en ? u(" · mean ") : u(" · średnio ")) +
                 decimal(s.meanPh, 2);
    if (s.phAbove > 0)
        lines << u("pH >10: ") + hours(s.phAbove) + share(s.phAbove, s.phTime);
    lines << (en ? u("In range: ") : u("W zakresie: ")) + hours(s.inRange) + share(s.inRange, s.phTime);
    lines << (en ? u("In alarm: ") : u("W alarmie: ")) + hours(s.inAlarm) + share(s.inAlarm, s.phTime);
    lines << (en ? u("CO2 on per day: ") : u("CO2 wł. na dobę: ")) + hours(qint64(s.co2OnPerDay)) +
                 share(s.co2On, s.co2Known);
    return lines.join(u'\n');
}

QString problemsText(const LogSet& logs, Language language)
{
    const HistoryTexts& t = historyTexts(language);
    QStringList lines;
    for (const LogFile& f : logs.files()) {
        const QString name = QFileInfo(f.path).fileName();
        if (!f.error.isEmpty()) {
            lines << name + u(": ") + t.readError + u(" (") + f.error + u(")");
        } else if (f.skipped > 0) {
            QStringList numbers;
            for (int n : f.skippedLines)
                numbers << QString::number(n);
            if (f.skipped > f.skippedLines.size())
                numbers << u("…");
            lines << name + u(": ") + QString::number(f.skipped) + u(" ") + t.skipped + u(" (") +
                         numbers.join(u", ") + u(")");
        }
    }
    return lines.join(u'\n');
}
