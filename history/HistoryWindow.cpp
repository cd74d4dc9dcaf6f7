#include "HistoryWindow.h"

#include "FileIo.h"
#include "Numbers.h"
#include "Platform.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

// A table of texts, one row a line, changed in place: rows that stay the same keep their
// selection and the view's scroll position when the logs grow. Each cell has a key to sort
// by (Qt::UserRole): the number or time behind its text.
class TextTable : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setHeaders(const QStringList& headers)
    {
        // Other columns: the views (and the sorting proxy) learn them anew.
        if (headers.size() != headers_.size()) {
            beginResetModel();
            headers_ = headers;
            endResetModel();
            return;
        }
        headers_ = headers;
        emit headerDataChanged(Qt::Horizontal, 0, int(headers_.size()) - 1);
    }
    void setRows(std::vector<QStringList> rows, std::vector<QVariantList> keys)
    {
        std::size_t same = 0;
        while (same < rows_.size() && same < rows.size() && rows_[same] == rows[same])
            ++same;
        if (same < rows_.size()) {
            beginRemoveRows({}, int(same), int(rows_.size()) - 1);
            rows_.resize(same);
            keys_.resize(same);
            endRemoveRows();
        }
        if (same < rows.size()) {
            beginInsertRows({}, int(same), int(rows.size()) - 1);
            rows_.insert(rows_.end(), std::make_move_iterator(rows.begin() + qsizetype(same)),
                         std::make_move_iterator(rows.end()));
            keys_.insert(keys_.end(), std::make_move_iterator(keys.begin() + qsizetype(same)),
                         std::make_move_iterator(keys.end()));
            endInsertRows();
        }
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(headers_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || std::size_t(index.row()) >= rows_.size())
            return {};
        if (role == Qt::DisplayRole)
            return rows_[std::size_t(index.row())].value(index.column());
        if (role == Qt::UserRole)
            return keys_[std::size_t(index.row())].value(index.column());
        if (role == Qt::TextAlignmentRole && index.column() > 0)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return headers_.value(section);
        return {};
    }

private:
    QStringList headers_;
    std::vector<QStringList> rows_;
    std::vector<QVariantList> keys_;
};

namespace {
// A value to sort by; no value sorts first.
QVariant key(double v) { return std::isnan(v) ? std::numeric_limits<double>::lowest() : v; }

// What the day's and the period's cells sort by, in the order of their columns.
QVariantList dayKeys(const DaySummary& d)
{
    const Statistics& s = d.stats;
    return {d.day.toJulianDay(), key(s.minPh),      key(s.meanPh),  s.phAbove > 0 ? 10.0 : key(s.maxPh),
            double(s.inRange),   double(s.inAlarm), double(s.co2On)};
}

QVariantList alarmKeys(const AlarmPeriod& p)
{
    return {p.from, p.to - p.from, p.side, p.above ? 10.0 : key(p.extreme)};
}

QSortFilterProxyModel* sorted(QAbstractItemModel* model, QObject* parent)
{
    auto* proxy = new QSortFilterProxyModel(parent);
    proxy->setSourceModel(model);
    proxy->setSortRole(Qt::UserRole);
    return proxy;
}

QTableView* tableView(QAbstractItemModel* model)
{
    auto* view = new QTableView;
    view->setModel(model);
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    return view;
}
} // namespace

HistoryWindow::HistoryWindow(QWidget* parent)
    : QMainWindow(parent), chart_(new HistoryChart), readout_(new QLabel), statistics_(new QLabel),
      tabs_(new QTabWidget), daysTable_(new TextTable(this)), alarmsTable_(new TextTable(this)),
      daysSorted_(sorted(daysTable_, this)), alarmsSorted_(sorted(alarmsTable_, this)),
      problemsPage_(new QWidget), problemsSummary_(new QLabel), problems_(new QPlainTextEdit),
      date_(new QDateEdit)
{
    auto* tools = tools_ = addToolBar(QString());
    tools->setMovable(false);
    openFiles_ = tools->addAction(QString(), this, [this] {
        const QStringList files =
            QFileDialog::getOpenFileNames(this, openFiles_->text().remove(u'…'), logs_.folders().value(0),
                                          historyTexts(language_).csvFilter);
        if (!files.isEmpty())
            open(files);
    });
    openFolder_ = tools->addAction(QString(), this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, openFolder_->text().remove(u'…'),
                                                                 logs_.folders().value(0));
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
    // The exports in one menu: the toolbar fits the window in either language.
    auto* exports = new QMenu(this);
    png_ = exports->addAction(QString(), this, [this] { exportPng(); });
    pdf_ = exports->addAction(QString(), this, [this] { exportPdf(); });
    svg_ = exports->addAction(QString(), this, [this] { exportSvg(); });
    svg_->setVisible(HistoryChart::hasSvg());
    exports->addSeparator();
    csv_ = exports->addAction(QString(), this, [this] { exportCsv(); });
    daysCsv_ = exports->addAction(QString(), this, [this] { exportDays(); });
    alarmsCsv_ = exports->addAction(QString(), this, [this] { exportAlarms(); });
    exportButton_ = new QToolButton;
    exportButton_->setMenu(exports);
    exportButton_->setPopupMode(QToolButton::InstantPopup);
    exportButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tools->addWidget(exportButton_);

    auto* central = new QWidget;
    auto* rows = new QVBoxLayout(central);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setMinimumHeight(readout_->fontMetrics().height() + 4);
    rows->addWidget(readout_);
    auto* splitter = new QSplitter(Qt::Vertical);
    auto* top = new QWidget;
    auto* middle = new QHBoxLayout(top);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->addWidget(chart_, 1);
    statistics_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    statistics_->setMinimumWidth(220);
    statistics_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    middle->addWidget(statistics_);
    splitter->addWidget(top);

    daysView_ = tableView(daysSorted_);
    alarmsView_ = tableView(alarmsSorted_);
    tabs_->addTab(daysView_, QString());
    tabs_->addTab(alarmsView_, QString());
    // However many files had problems, a line of their sum and a list that scrolls.
    auto* problemRows = new QVBoxLayout(problemsPage_);
    problemsSummary_->setStyleSheet(QStringLiteral("color: #a04000; font-weight: bold"));
    problemRows->addWidget(problemsSummary_);
    problems_->setReadOnly(true);
    problems_->setLineWrapMode(QPlainTextEdit::NoWrap);
    problemRows->addWidget(problems_, 1);
    tabs_->addTab(problemsPage_, style()->standardIcon(QStyle::SP_MessageBoxWarning), QString());
    splitter->addWidget(tabs_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    tabs_->setMinimumHeight(120);
    rows->addWidget(splitter, 1);
    setCentralWidget(central);
    resize(1200, 860);
    splitter->setSizes({620, 200});

    connect(chart_, &HistoryChart::viewChanged, this, [this](TimeRange v) {
        statistics_->setText(statisticsText(statistics(logs_.rows(), v, &chart_->blocks()), language_));
        undo_->setEnabled(chart_->canUndo());
        const QSignalBlocker quiet(date_);
        date_->setDate(middleDay(v));
    });
    connect(date_, &QDateEdit::dateChanged, this, [this](QDate d) { chart_->navigate(calendarDay(d)); });
    connect(daysView_, &QTableView::clicked, this, [this](const QModelIndex& i) {
        const auto row = std::size_t(daysSorted_->mapToSource(i).row());
        if (row < days_.size())
            chart_->navigate(calendarDay(days_[row].day));
    });
    connect(alarmsView_, &QTableView::clicked, this, [this](const QModelIndex& i) {
        const auto row = std::size_t(alarmsSorted_->mapToSource(i).row());
        if (row < periods_.size())
            chart_->navigate(aroundPeriod(periods_[row]));
    });
    connect(chart_, &HistoryChart::hovered, this, [this](const QString& text) { readout_->setText(text); });
    followTimer_.setInterval(kFollowInterval);
    connect(&followTimer_, &QTimer::timeout, this, &HistoryWindow::follow);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { folderChanged(); });
    retranslate();
    // The keys (a day, a week, undo) work from the start: the chart has the focus, not the date.
    chart_->plotView()->setFocus(Qt::OtherFocusReason);
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
    // Qt's own dialogs speak the window's language too.
    if (language_ == Language::Polish)
        QCoreApplication::installTranslator(&qtTexts_);
    else
        QCoreApplication::removeTranslator(&qtTexts_);
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
    updateProblems();
}

void HistoryWindow::updateSummaries()
{
    const std::vector<LogRow>& rows = logs_.rows();
    days_ = dailySummaries(rows, allRows(rows));
    periods_ = alarmPeriods(rows);
    std::vector<QStringList> lines;
    std::vector<QVariantList> keys;
    lines.reserve(days_.size());
    keys.reserve(days_.size());
    for (const DaySummary& d : days_) {
        lines.push_back(dayRow(d, language_));
        keys.push_back(dayKeys(d));
    }
    daysTable_->setRows(std::move(lines), std::move(keys));
    lines.clear();
    keys.clear();
    for (const AlarmPeriod& p : periods_) {
        lines.push_back(alarmRow(p, language_));
        keys.push_back(alarmKeys(p));
    }
    alarmsTable_->setRows(std::move(lines), std::move(keys));
    tabs_->setTabText(1, historyTexts(language_).alarmsTab + QStringLiteral(" (%1)").arg(periods_.size()));
    if (!rows.empty()) {
        const QSignalBlocker quiet(date_);
        date_->setDateRange(QDateTime::fromMSecsSinceEpoch(rows.front().time).date(),
                            QDateTime::fromMSecsSinceEpoch(rows.back().time).date());
    }
}

void HistoryWindow::updateProblems()
{
    const QString summary = problemsSummary(logs_, language_);
    problemsSummary_->setText(summary);
    problems_->setPlainText(problemsText(logs_, language_));
    tabs_->setTabVisible(tabs_->indexOf(problemsPage_), !summary.isEmpty());
    tabs_->setTabToolTip(tabs_->indexOf(problemsPage_), summary);
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
    previousWeek_->setText(t.previousWeek);
    previousDay_->setText(t.previousDay);
    nextDay_->setText(t.nextDay);
    nextWeek_->setText(t.nextWeek);
    undo_->setText(t.undo);
    undo_->setToolTip(t.undo + QStringLiteral(" (Backspace)"));
    date_->setToolTip(t.goToDate);
    date_->setLocale(QLocale(language_ == Language::English ? QLocale::English : QLocale::Polish));
    exportButton_->setText(t.exportMenu);
    png_->setText(t.exportPng);
    pdf_->setText(t.exportPdf);
    svg_->setText(t.exportSvg);
    csv_->setText(t.exportCsv);
    daysCsv_->setText(t.exportDays);
    alarmsCsv_->setText(t.exportAlarms);
    chart_->setToolTip(t.hints);
    statistics_->setText(
        logs_.rows().empty()
            ? t.noRows
            : statisticsText(statistics(logs_.rows(), chart_->view(), &chart_->blocks()), language_));
    daysTable_->setHeaders(t.dayColumns);
    alarmsTable_->setHeaders(t.alarmColumns);
    tabs_->setTabText(0, t.daysTab);
    tabs_->setTabText(1, t.alarmsTab + QStringLiteral(" (%1)").arg(periods_.size()));
    tabs_->setTabText(2, t.problemsTab);
    updateProblems();
}

QString HistoryWindow::statisticsShown() const { return statistics_->text(); }
QString HistoryWindow::problemsShown() const { return problems_->toPlainText(); }
QString HistoryWindow::problemsSummaryShown() const { return problemsSummary_->text(); }
QString HistoryWindow::readoutShown() const { return readout_->text(); }

std::optional<QString> HistoryWindow::askSavePath(const QString& suffix, const QString& filter,
                                                  const QString& name)
{
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(chart_->view().to);
    const auto path = platform().saveFile(
        this, {logs_.folders().value(0, workingDirectory()),
               name + u' ' + end.toString(QStringLiteral("yyyy-MM-dd")) + u'.' + suffix, filter, suffix});
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

void HistoryWindow::exportPdf()
{
    if (const auto path = askSavePath(QStringLiteral("pdf"), historyTexts(language_).pdfFilter))
        write(*path, chart_->pdf());
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

namespace {
// The source rows of a sorted table, in the order shown.
std::vector<std::size_t> shownOrder(const QSortFilterProxyModel* sorted)
{
    std::vector<std::size_t> out;
    for (int r = 0; r < sorted->rowCount(); ++r)
        out.push_back(std::size_t(sorted->mapToSource(sorted->index(r, 0)).row()));
    return out;
}
} // namespace

void HistoryWindow::exportDays()
{
    const HistoryTexts& t = historyTexts(language_);
    std::vector<DaySummary> days;
    for (std::size_t i : shownOrder(daysSorted_))
        if (i < days_.size())
            days.push_back(days_[i]);
    if (const auto path = askSavePath(QStringLiteral("csv"), t.csvFilter, t.daysFile))
        write(*path, dailyCsv(days));
}

void HistoryWindow::exportAlarms()
{
    const HistoryTexts& t = historyTexts(language_);
    std::vector<AlarmPeriod> periods;
    for (std::size_t i : shownOrder(alarmsSorted_))
        if (i < periods_.size())
            periods.push_back(periods_[i]);
    if (const auto path = askSavePath(QStringLiteral("csv"), t.csvFilter, t.alarmsFile))
        write(*path, alarmsCsv(periods));
}
