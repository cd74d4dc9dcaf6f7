#include "Texts.h"

#include "Numbers.h"
#include "Preferences.h"

#include <QFileInfo>
#include <QHash>

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
        .title = u("Tarlo-02 historia"),
        .openFiles = u("Otwórz pliki…"),
        .openFolder = u("Otwórz folder…"),
        .day = u("24 h"),
        .week = u("7 dni"),
        .month = u("30 dni"),
        .all = u("Wszystko"),
        .exportMenu = u("Zapisz"),
        .exportPng = u("Wykres jako PNG…"),
        .exportPdf = u("Wykres jako PDF…"),
        .exportSvg = u("Wykres jako SVG…"),
        .exportCsv = u("Pomiary z widoku (CSV)…"),
        .exportDays = u("Tabela dni (CSV)…"),
        .exportAlarms = u("Lista alarmów (CSV)…"),
        .daysFile = u("tarlo02 dni"),
        .alarmsFile = u("tarlo02 alarmy"),
        .ph = u("pH"),
        .ppm = u("CO2 [ppm]"),
        .o2 = u("O2"),
        .co2 = u("CO2"),
        .on = u("wł."),
        .off = u("wył."),
        .range = u("zakres"),
        .alarm = u("alarm"),
        .pngFilter = u("Obraz PNG (*.png)"),
        .pdfFilter = u("Dokument PDF (*.pdf)"),
        .svgFilter = u("Rysunek SVG (*.svg)"),
        .csvFilter = u("Plik CSV (*.csv)"),
        .noRows = u("Brak pomiarów"),
        .readError = u("nie można odczytać"),
        .saveError = u("Nie można zapisać pliku"),
        .hints = u("Przeciągnij: przesuń · kółko: powiększ · prawy przycisk lub Shift + przeciągnij: zaznacz "
                   "zakres · ← →: dzień · PgUp PgDn: tydzień · Backspace: cofnij"),
        .noRowsBetween = u("Brak pomiarów między %1 a %2"),
        .replaceQuestion = u("Plik %1 już istnieje. Zastąpić go?"),
        .replace = u("Zastąp"),
        .cancel = u("Anuluj"),
        .notOverALog =
            u("%1 jest dziennikiem pomiarów: eksport nigdy go nie zastępuje. Wybierz inną nazwę lub folder."),
        .linesSkipped = {u("%1 linia pominięta"), u("%1 linie pominięte"), u("%1 linii pominiętych")},
        .filesUnreadable = {u("%1 plik nieczytelny"), u("%1 pliki nieczytelne"),
                            u("%1 plików nieczytelnych")},
        .inFiles = {u("w %1 pliku"), u("w %1 plikach"), u("w %1 plikach")},
        .duplicatesDropped = {u("%1 powtórzony wiersz pominięty"), u("%1 powtórzone wiersze pominięte"),
                              u("%1 powtórzonych wierszy pominiętych")},
        .series = {u("pH"), u("zakres pH"), u("progi alarmu"), u("CO2 [ppm]"), u("wyjście O2"),
                   u("wyjście CO2")},
        .legendHint = u("Kliknij, aby ukryć lub pokazać"),
        .previousDay = u("◀ Dzień"),
        .nextDay = u("Dzień ▶"),
        .previousWeek = u("◀◀ Tydzień"),
        .nextWeek = u("Tydzień ▶▶"),
        .undo = u("Cofnij"),
        .goToDate = u("Pokaż dzień"),
        .daysTab = u("Dni"),
        .alarmsTab = u("Alarmy"),
        .problemsTab = u("Problemy"),
        .dayColumns = {u("Dzień"), u("pH min"), u("pH średnie"), u("pH maks"), u("W zakresie"),
                       u("W alarmie"), u("CO2 wł.")},
        .alarmColumns = {u("Początek"), u("Czas"), u("Próg"), u("pH skrajne")},
        .below = u("poniżej"),
        .above = u("powyżej"),
    };
    static const HistoryTexts english{
        .title = u("Tarlo-02 history"),
        .openFiles = u("Open files…"),
        .openFolder = u("Open folder…"),
        .day = u("24 h"),
        .week = u("7 days"),
        .month = u("30 days"),
        .all = u("All"),
        .exportMenu = u("Export"),
        .exportPng = u("Chart as PNG…"),
        .exportPdf = u("Chart as PDF…"),
        .exportSvg = u("Chart as SVG…"),
        .exportCsv = u("Rows in view (CSV)…"),
        .exportDays = u("Daily table (CSV)…"),
        .exportAlarms = u("Alarm list (CSV)…"),
        .daysFile = u("tarlo02 days"),
        .alarmsFile = u("tarlo02 alarms"),
        .ph = u("pH"),
        .ppm = u("CO2 [ppm]"),
        .o2 = u("O2"),
        .co2 = u("CO2"),
        .on = u("on"),
        .off = u("off"),
        .range = u("range"),
        .alarm = u("alarm"),
        .pngFilter = u("PNG image (*.png)"),
        .pdfFilter = u("PDF document (*.pdf)"),
        .svgFilter = u("SVG drawing (*.svg)"),
        .csvFilter = u("CSV file (*.csv)"),
        .noRows = u("No measurements"),
        .readError = u("cannot be read"),
        .saveError = u("Cannot write the file"),
        .hints = u("Drag: pan · wheel: zoom · right button or Shift + drag: select a range · ← →: day · "
                   "PgUp PgDn: week · Backspace: undo"),
        .noRowsBetween = u("No measurements between %1 and %2"),
        .replaceQuestion = u("%1 already exists. Replace it?"),
        .replace = u("Replace"),
        .cancel = u("Cancel"),
        .notOverALog =
            u("%1 is a measurement log: an export never replaces one. Choose another name or folder."),
        .linesSkipped = {u("%1 line skipped"), u("%1 lines skipped"), u("%1 lines skipped")},
        .filesUnreadable = {u("%1 file unreadable"), u("%1 files unreadable"), u("%1 files unreadable")},
        .inFiles = {u("in %1 file"), u("in %1 files"), u("in %1 files")},
        .duplicatesDropped = {u("%1 duplicate row dropped"), u("%1 duplicate rows dropped"),
                              u("%1 duplicate rows dropped")},
        .series = {u("pH"), u("pH range"), u("alarm limits"), u("CO2 [ppm]"), u("O2 output"),
                   u("CO2 output")},
        .legendHint = u("Click to hide or show"),
        .previousDay = u("◀ Day"),
        .nextDay = u("Day ▶"),
        .previousWeek = u("◀◀ Week"),
        .nextWeek = u("Week ▶▶"),
        .undo = u("Undo"),
        .goToDate = u("Show the day"),
        .daysTab = u("Days"),
        .alarmsTab = u("Alarms"),
        .problemsTab = u("Problems"),
        .dayColumns = {u("Day"), u("pH min"), u("pH mean"), u("pH max"), u("In range"), u("In alarm"),
                       u("CO2 on")},
        .alarmColumns = {u("Start"), u("Length"), u("Limit"), u("Extreme pH")},
        .below = u("below"),
        .above = u("above"),
    };
    return language == Language::English ? english : polish;
}

QString counted(qint64 n, const Counted& forms)
{
    const qint64 units = n % 10, tens = n % 100 / 10;
    const std::size_t form = n == 1 ? 0 : units >= 2 && units <= 4 && tens != 1 ? 1 : 2;
    return forms[form].arg(n);
}

QString QtTexts::translate(const char* context, const char* sourceText, const char*, int) const
{
    // What the file dialogs and message boxes show of Qt's own texts, in Polish.
    static const QHash<QByteArray, QString> polish{
        {"QPlatformTheme|OK", u("OK")},
        {"QPlatformTheme|Cancel", u("Anuluj")},
        {"QPlatformTheme|Open", u("Otwórz")},
        {"QPlatformTheme|Save", u("Zapisz")},
        {"QPlatformTheme|Close", u("Zamknij")},
        {"QPlatformTheme|Yes", u("Tak")},
        {"QPlatformTheme|No", u("Nie")},
        {"QFileDialog|Open", u("Otwórz")},
        {"QFileDialog|Save As", u("Zapisz jako")},
        {"QFileDialog|Find Directory", u("Wybierz folder")},
        {"QFileDialog|Look in:", u("Szukaj w:")},
        {"QFileDialog|File &name:", u("&Nazwa pliku:")},
        {"QFileDialog|Files of type:", u("Pliki typu:")},
        {"QFileDialog|Directory:", u("Folder:")},
        {"QFileDialog|&Open", u("&Otwórz")},
        {"QFileDialog|&Save", u("&Zapisz")},
        {"QFileDialog|&Choose", u("&Wybierz")},
        {"QFileDialog|Back", u("Wstecz")},
        {"QFileDialog|Go back", u("Wstecz")},
        {"QFileDialog|Forward", u("Dalej")},
        {"QFileDialog|Go forward", u("Dalej")},
        {"QFileDialog|Parent Directory", u("Folder nadrzędny")},
        {"QFileDialog|Go to the parent directory", u("Przejdź do folderu nadrzędnego")},
        {"QFileDialog|Create New Folder", u("Utwórz nowy folder")},
        {"QFileDialog|Create a New Folder", u("Utwórz nowy folder")},
        {"QFileDialog|New Folder", u("Nowy folder")},
        {"QFileDialog|&New Folder", u("&Nowy folder")},
        {"QFileDialog|List View", u("Lista")},
        {"QFileDialog|Change to list view mode", u("Pokaż jako listę")},
        {"QFileDialog|Detail View", u("Szczegóły")},
        {"QFileDialog|Change to detail view mode", u("Pokaż szczegóły")},
        {"QFileDialog|Sidebar", u("Panel boczny")},
        {"QFileDialog|List of places and bookmarks", u("Miejsca i zakładki")},
        {"QFileDialog|Files", u("Pliki")},
        {"QFileDialog|Directories", u("Foldery")},
        {"QFileDialog|All Files (*)", u("Wszystkie pliki (*)")},
        {"QFileDialog|Show ", u("Pokaż ")},
        {"QFileDialog|&Rename", u("&Zmień nazwę")},
        {"QFileDialog|&Delete", u("&Usuń")},
        {"QFileDialog|Show &hidden files", u("Pokaż &ukryte pliki")},
        {"QFileDialog|Are you sure you want to delete '%1'?", u("Czy na pewno usunąć „%1”?")},
        {"QFileDialog|Delete", u("Usuń")},
        {"QFileSystemModel|Computer", u("Komputer")},
        {"QFileSystemModel|Name", u("Nazwa")},
        {"QFileSystemModel|Size", u("Rozmiar")},
        {"QFileSystemModel|Type", u("Typ")},
        {"QFileSystemModel|Date Modified", u("Data modyfikacji")},
        {"QAbstractFileIconProvider|Drive", u("Dysk")},
        {"QAbstractFileIconProvider|Folder", u("Folder")},
        {"QAbstractFileIconProvider|File", u("Plik")},
        {"QAbstractFileIconProvider|%1 File", u("Plik %1")},
    };
    return polish.value(QByteArray(context) + '|' + sourceText);
}

QString rangeText(const TimeRange& range)
{
    const QString format = u("yyyy-MM-dd HH:mm");
    return QDateTime::fromMSecsSinceEpoch(range.from).toString(format) + u(" – ") +
           QDateTime::fromMSecsSinceEpoch(range.to).toString(format);
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

QString noRowsText(const TimeRange& range, Language language)
{
    const auto when = [](qint64 t) {
        return QDateTime::fromMSecsSinceEpoch(t).toString(u("yyyy-MM-dd HH:mm"));
    };
    return historyTexts(language).noRowsBetween.arg(when(range.from), when(range.to));
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
            lines << name + u(": ") + counted(f.skipped, t.linesSkipped) + u(" (") + numbers.join(u", ") +
                         u(")");
        }
        if (f.error.isEmpty() && f.duplicates > 0)
            lines << name + u(": ") + counted(f.duplicates, t.duplicatesDropped);
    }
    return lines.join(u'\n');
}

QString problemsSummary(const LogSet& logs, Language language)
{
    const HistoryTexts& t = historyTexts(language);
    qint64 lines = 0, withLines = 0, unreadable = 0;
    for (const LogFile& f : logs.files()) {
        unreadable += !f.error.isEmpty();
        if (f.error.isEmpty() && f.skipped > 0) {
            lines += f.skipped;
            ++withLines;
        }
    }
    QStringList parts;
    if (lines > 0)
        parts << counted(lines, t.linesSkipped) + QLatin1Char(' ') + counted(withLines, t.inFiles);
    if (unreadable > 0)
        parts << counted(unreadable, t.filesUnreadable);
    if (logs.duplicates() > 0)
        parts << counted(logs.duplicates(), t.duplicatesDropped);
    return parts.join(u(" · "));
}

namespace {
QString dayName(QDate day, Language language)
{
    static const QString polish[] = {u("pn"), u("wt"), u("śr"), u("cz"), u("pt"), u("sb"), u("nd")};
    static const QString english[] = {u("Mon"), u("Tue"), u("Wed"), u("Thu"), u("Fri"), u("Sat"), u("Sun")};
    return (language == Language::English ? english : polish)[day.dayOfWeek() - 1];
}

QString length(qint64 ms)
{
    const qint64 minutes = (ms + 30000) / 60000;
    if (minutes < 60)
        return QString::number(minutes) + u(" min");
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QChar(u'0'));
}
} // namespace

QStringList dayRow(const DaySummary& day, Language language)
{
    const Statistics& s = day.stats;
    return {day.day.toString(u("yyyy-MM-dd")) + QLatin1Char(' ') + dayName(day.day, language),
            decimal(s.minPh, 2),
            decimal(s.meanPh, 2),
            s.phAbove > 0 ? u(">10") : decimal(s.maxPh, 2),
            hours(s.inRange) + share(s.inRange, s.phTime),
            hours(s.inAlarm) + share(s.inAlarm, s.phTime),
            hours(s.co2On)};
}

QStringList alarmRow(const AlarmPeriod& period, Language language)
{
    const HistoryTexts& t = historyTexts(language);
    return {QDateTime::fromMSecsSinceEpoch(period.from).toString(u("yyyy-MM-dd HH:mm")),
            length(period.to - period.from), period.side < 0 ? t.below : t.above,
            period.above ? u(">10") : decimal(period.extreme, 2)};
}

QByteArray alarmsCsv(const std::vector<AlarmPeriod>& periods)
{
    const QString format = u("yyyy-MM-dd HH:mm:ss");
    QByteArray out = QByteArray(AlarmsCsvHeader) + "\r\n";
    for (const AlarmPeriod& p : periods)
        out += (QDateTime::fromMSecsSinceEpoch(p.from).toString(format) + u';' +
                QDateTime::fromMSecsSinceEpoch(p.to).toString(format) + u';' +
                QString::number((p.to - p.from + 30000) / 60000) + u';' +
                (p.side < 0 ? u("low") : u("high")) + u';' +
                (p.above                 ? u(">10")
                 : std::isnan(p.extreme) ? QString()
                                         : decimal(p.extreme, 2)))
                   .toLatin1() +
               "\r\n";
    return out;
}
