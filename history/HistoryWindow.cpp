#include "HistoryWindow.h"

#include "FileIo.h"
#include "Numbers.h"
#include "Platform.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolBar>
#include <QVBoxLayout>

HistoryWindow::HistoryWindow(QWidget* parent)
    : QMainWindow(parent), chart_(new HistoryChart), readout_(new QLabel), statistics_(new QLabel),
      problems_(new QLabel), date_(new QDateEdit)
{
    auto* tools = addToolBar(QString());
    tools->setMovable(false);
    openFiles_ = tools->addAction(QString(), this, [this] {
        const QStringList files = QFileDialog::getOpenFileNames(
            this, openFiles_->text(), logs_.folders().value(0), historyTexts(language_).csvFilter);
        if (!files.isEmpty())
            open(files);
    });
    openFolder_ = tools->addAction(QString(), this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, openFolder_->text(), logs_.folders().value(0));
        if (!folder.isEmpty())
            open({folder});
    });
    tools->addSeparator();
    const auto preset = [this](Preset p) {
        return [this, p] { chart_->navigate(presetRange(logs_.rows(), p)); };
    };
    day_ = tools->addAction(QString(), this, preset(Preset::Day));
    week_ = tools->addAction(QString(), this, preset(Preset::Week));
    month_ = tools->addAction(QString(), this, preset(Preset::Month));
    all_ = tools->addAction(QString(), this, preset(Preset::All));
    reset_ = tools->addAction(QString(), this, preset(Preset::All));
    tools->addSeparator();
    // Whole calendar days and weeks around the one in the middle of the view.
    const auto step = [this](Step s, int direction) {
        return [this, s, direction] { chart_->navigate(stepped(chart_->view(), s, direction)); };
    };
    previousWeek_ = tools->addAction(QString(), this, step(Step::Week, -1));
    previousDay_ = tools->addAction(QString(), this, step(Step::Day, -1));
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    date_->setKeyboardTracking(false); // a date typed in is gone to once it is complete
    tools->addWidget(date_);
    nextDay_ = tools->addAction(QString(), this, step(Step::Day, 1));
    nextWeek_ = tools->addAction(QString(), this, step(Step::Week, 1));
    previousDay_->setShortcut(Qt::Key_Left);
    nextDay_->setShortcut(Qt::Key_Right);
    previousWeek_->setShortcut(Qt::Key_PageUp);
    nextWeek_->setShortcut(Qt::Key_PageDown);
    undo_ = tools->addAction(QString(), this, [this] { chart_->undo(); });
    undo_->setShortcut(Qt::Key_Backspace);
    undo_->setEnabled(false);
    tools->addSeparator();
    png_ = tools->addAction(QString(), this, [this] { exportPng(); });
    svg_ = tools->addAction(QString(), this, [this] { exportSvg(); });
    csv_ = tools->addAction(QString(), this, [this] { exportCsv(); });

    auto* central = new QWidget;
    auto* rows = new QVBoxLayout(central);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setMinimumHeight(readout_->fontMetrics().height() + 4);
    rows->addWidget(readout_);
    auto* middle = new QHBoxLayout;
    middle->addWidget(chart_, 1);
    statistics_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    statistics_->setMinimumWidth(220);
    statistics_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    middle->addWidget(statistics_);
    rows->addLayout(middle, 1);
    problems_->setWordWrap(true);
    problems_->setStyleSheet(QStringLiteral("color: #a04000"));
    rows->addWidget(problems_);
    setCentralWidget(central);
    resize(1200, 720);

    connect(chart_, &HistoryChart::viewChanged, this, [this](TimeRange v) {
        statistics_->setText(statisticsText(statistics(logs_.rows(), v), language_));
        undo_->setEnabled(chart_->canUndo());
        const QSignalBlocker quiet(date_);
        date_->setDate(middleDay(v));
    });
    connect(date_, &QDateEdit::dateChanged, this, [this](QDate d) { chart_->navigate(calendarDay(d)); });
    connect(chart_, &HistoryChart::hovered, this, [this](const QString& text) { readout_->setText(text); });
    followTimer_.setInterval(kFollowInterval);
    connect(&followTimer_, &QTimer::timeout, this, &HistoryWindow::follow);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { folderChanged(); });
    retranslate();
}

void HistoryWindow::open(const QStringList& paths)
{
    logs_ = LogSet();
    logs_.open(paths);
    if (!watcher_.directories().isEmpty())
        watcher_.removePaths(watcher_.directories());
    if (!logs_.openedFolders().isEmpty())
        watcher_.addPaths(logs_.openedFolders());
    rescan_ = false;
    language_ = folderLanguage(logs_.folders().value(0, workingDirectory()));
    updateSummaries();
    chart_->setLanguage(language_);
    chart_->setLogs(&logs_);
    retranslate();
    followTimer_.start();
}

void HistoryWindow::follow()
{
    const TimeRange before = chart_->limits(), view = chart_->view();
    const LogSet::Scope scope = rescan_ ? LogSet::Scope::All : LogSet::Scope::Growing;
    rescan_ = false;
    if (!logs_.refresh(scope))
        return;
    const TimeRange after = chart_->limits();
    updateSummaries();
    chart_->dataChanged();
    // A view at the newest rows keeps showing the newest; any other stays where it is.
    if (view.to >= before.to && after.to > before.to)
        chart_->setView({after.to - view.span(), after.to});
    problems_->setText(problemsText(logs_, language_));
    problems_->setVisible(!problems_->text().isEmpty());
}

void HistoryWindow::updateSummaries()
{
    const std::vector<LogRow>& rows = logs_.rows();
    if (!rows.empty()) {
        const QSignalBlocker quiet(date_);
        date_->setDateRange(QDateTime::fromMSecsSinceEpoch(rows.front().time).date(),
                            QDateTime::fromMSecsSinceEpoch(rows.back().time).date());
    }
}

void HistoryWindow::retranslate()
{
    const HistoryTexts& t = historyTexts(language_);
    QString title = t.title;
    if (!logs_.folders().isEmpty())
        title += QStringLiteral(" – ") + logs_.folders().join(QStringLiteral(", "));
    setWindowTitle(title);
    openFiles_->setText(t.openFiles);
    openFolder_->setText(t.openFolder);
    day_->setText(t.day);
    week_->setText(t.week);
    month_->setText(t.month);
    all_->setText(t.all);
    reset_->setText(t.reset);
    previousWeek_->setText(t.previousWeek);
    previousDay_->setText(t.previousDay);
    nextDay_->setText(t.nextDay);
    nextWeek_->setText(t.nextWeek);
    undo_->setText(t.undo);
    undo_->setToolTip(t.undo + QStringLiteral(" (Backspace)"));
    date_->setToolTip(t.goToDate);
    date_->setLocale(QLocale(language_ == Language::English ? QLocale::English : QLocale::Polish));
    png_->setText(t.exportPng);
    svg_->setText(t.exportSvg);
    csv_->setText(t.exportCsv);
    chart_->setToolTip(t.hints);
    statistics_->setText(logs_.rows().empty()
                             ? t.noRows
                             : statisticsText(statistics(logs_.rows(), chart_->view()), language_));
    problems_->setText(problemsText(logs_, language_));
    problems_->setVisible(!problems_->text().isEmpty());
}

QString HistoryWindow::statisticsShown() const { return statistics_->text(); }
QString HistoryWindow::problemsShown() const { return problems_->text(); }
QString HistoryWindow::readoutShown() const { return readout_->text(); }

std::optional<QString> HistoryWindow::askSavePath(const QString& suffix, const QString& filter)
{
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(chart_->view().to);
    const auto path = platform().saveFile(
        this, {logs_.folders().value(0, workingDirectory()),
               QStringLiteral("tarlo02 ") + end.toString(QStringLiteral("yyyy-MM-dd")) + u'.' + suffix,
               filter, suffix});
    if (!path)
        return std::nullopt;
    const HistoryTexts& t = historyTexts(language_);
    const QString shown = QDir::toNativeSeparators(*path);
    if (isLogPath(logs_, *path)) {
        platform().errorBox(this, t.title, t.notOverALog.arg(shown));
        return std::nullopt;
    }
    // The platform's save dialog does not ask before replacing a file: asked here.
    if (QFileInfo::exists(*path) &&
        !platform().warningOkCancel(this, t.title, t.replaceQuestion.arg(shown), t.replace, t.cancel))
        return std::nullopt;
    return path;
}

void HistoryWindow::write(const QString& path, const std::optional<QByteArray>& data)
{
    const HistoryTexts& t = historyTexts(language_);
    try {
        if (!data)
            throw EInOutError(t.saveError + u' ' + QDir::toNativeSeparators(path));
        replaceFileAtomically(path, *data, t.saveError);
    } catch (const EInOutError& e) {
        platform().errorBox(this, t.title, e.message());
    }
}

namespace {
std::optional<QByteArray> png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::nullopt;
    return bytes;
}
} // namespace

void HistoryWindow::exportPng()
{
    if (const auto path = askSavePath(QStringLiteral("png"), historyTexts(language_).pngFilter))
        write(*path, png(chart_->image()));
}

void HistoryWindow::exportSvg()
{
    if (const auto path = askSavePath(QStringLiteral("svg"), historyTexts(language_).svgFilter))
        write(*path, chart_->svg());
}

void HistoryWindow::exportCsv()
{
    if (const auto path = askSavePath(QStringLiteral("csv"), historyTexts(language_).csvFilter))
        write(*path, mergedCsv(logs_, chart_->view()));
}
