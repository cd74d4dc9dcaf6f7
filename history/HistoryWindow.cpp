#include "HistoryWindow.h"

#include "FileIo.h"
#include "Numbers.h"
#include "Platform.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolBar>
#include <QVBoxLayout>

HistoryWindow::HistoryWindow(QWidget* parent)
    : QMainWindow(parent), chart_(new HistoryChart), readout_(new QLabel), statistics_(new QLabel),
      problems_(new QLabel)
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
    const auto preset = [this](Preset p) { return [this, p] { showView(presetRange(logs_.rows(), p)); }; };
    day_ = tools->addAction(QString(), this, preset(Preset::Day));
    week_ = tools->addAction(QString(), this, preset(Preset::Week));
    month_ = tools->addAction(QString(), this, preset(Preset::Month));
    all_ = tools->addAction(QString(), this, preset(Preset::All));
    reset_ = tools->addAction(QString(), this, preset(Preset::All));
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
    });
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
    chart_->dataChanged();
    // A view at the newest rows keeps showing the newest; any other stays where it is.
    if (view.to >= before.to && after.to > before.to)
        chart_->setView({after.to - view.span(), after.to});
    problems_->setText(problemsText(logs_, language_));
    problems_->setVisible(!problems_->text().isEmpty());
}

void HistoryWindow::showView(const TimeRange& view) { chart_->setView(view); }

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
