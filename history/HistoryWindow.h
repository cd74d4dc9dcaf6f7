#pragma once

// The viewer's window: the chart, the read-out under the pointer, the statistics of the
// view, the daily summaries, the alarm periods, the files' problems, and the commands to
// open, move about and export.

#include "HistoryChart.h"
#include "HistoryModel.h"
#include "Texts.h"

#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QTimer>

class QAction;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QToolBar;
class QToolButton;
class QTabWidget;
class QTableView;
class TextTable;

class HistoryWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit HistoryWindow(QWidget* parent = nullptr);

    // Opens files and folders in place of what was open; the language follows the
    // preferences of the first folder.
    void open(const QStringList& paths);

    // Reads again what grew or changed: the logs still being written, and everything when an
    // opened folder changed since. A view that showed the newest rows moves on with them.
    void follow();
    // An opened folder changed (a log new, renamed or gone): the next follow() looks at all.
    void folderChanged() { rescan_ = true; }

    HistoryChart* chart() const { return chart_; }
    const LogSet& logs() const { return logs_; }
    Language language() const { return language_; }
    QString statisticsShown() const;
    QString problemsShown() const;
    QString problemsSummaryShown() const;
    QString readoutShown() const;
    // The tabs under the chart: the days, the alarm periods, the problems (shown only when
    // there are any).
    QTabWidget* tabs() const { return tabs_; }
    QTableView* daysView() const { return daysView_; }
    QTableView* alarmsView() const { return alarmsView_; }
    QDateEdit* dateEdit() const { return date_; }
    QToolBar* toolBar() const { return tools_; }

    // The chart as a picture or a drawing, the rows in view merged, the daily table and the
    // alarm list as the tables show them (in their order).
    void exportPng();
    void exportPdf();
    void exportSvg();
    void exportCsv();
    void exportDays();
    void exportAlarms();

    // How often a log being written is read again, ms.
    static constexpr int kFollowInterval = 2000;

private:
    void retranslate();
    // What follows from all the rows read: the days, the alarm periods, the dates to go to.
    void updateSummaries();
    void updateProblems();
    // The path an export goes to: nothing when cancelled, when it is a log (which is told), or
    // when the file exists and is not to be replaced.
    std::optional<QString> askSavePath(const QString& suffix, const QString& filter,
                                       const QString& name = QStringLiteral("tarlo02"));
    // Writes beside the file and renames over it; a failure is told and leaves the old file.
    void write(const QString& path, const std::optional<QByteArray>& data);

    LogSet logs_;
    Language language_ = Language::Polish;
    QtTexts qtTexts_; // installed while the language is Polish
    std::vector<DaySummary> days_;
    std::vector<AlarmPeriod> periods_;
    HistoryChart* chart_;
    QLabel* readout_;
    QLabel* statistics_;
    QTabWidget* tabs_;
    QTableView* daysView_;
    QTableView* alarmsView_;
    TextTable* daysTable_;
    TextTable* alarmsTable_;
    // The tables as shown: sorted by a click on a column's header.
    QSortFilterProxyModel* daysSorted_;
    QSortFilterProxyModel* alarmsSorted_;
    QWidget* problemsPage_;
    QLabel* problemsSummary_;
    QPlainTextEdit* problems_;
    QDateEdit* date_;
    QTimer followTimer_;
    // The opened folders, so the timer needs to look only at the logs being written: its cost
    // does not grow with the number of logs.
    QFileSystemWatcher watcher_;
    bool rescan_ = false;
    QToolBar* tools_;
    QToolButton* exportButton_;
    QAction* openFiles_;
    QAction* openFolder_;
    QAction* day_;
    QAction* week_;
    QAction* month_;
    QAction* all_;
    QAction* previousWeek_;
    QAction* previousDay_;
    QAction* nextDay_;
    QAction* nextWeek_;
    QAction* undo_;
    QAction* png_;
    QAction* pdf_;
    QAction* svg_;
    QAction* csv_;
    QAction* daysCsv_;
    QAction* alarmsCsv_;
};
