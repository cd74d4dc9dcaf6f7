// The CSV measurement log: one row per clock minute while the log box is ticked.

#include "TarloMainForm.h"

#include "Log.h"
#include "Numbers.h"
#include "ProgramState.h"

#include <QDir>
#include <QTimer>

namespace {
LogState logState(ProgramState& st)
{
    return {st.LogFrameCount, st.LogFinished, st.LogFileName, st.LogDay, st.LogBacklog};
}

// How many lines the box about logging lists, newest first.
constexpr int kLogBoxLines = 10;
} // namespace

bool TForm1::LogStep()
{
    ProgramState& st = State();
    const LogBacklog& backlog = st.LogBacklog;
    // Only a step that touched a file tells whether logging works again.
    const bool fileWork =
        CheckBox1->Checked()
            ? st.LogFrameCount == 1 || st.ClockMinute != st.LastFrameMinute || !backlog.rows.empty()
            : st.LogFinished == 0;
    const qsizetype waited = backlog.rows.size();
    std::optional<QString> told;
    try {
        told = runLogStep(logState(st), CheckBox1->Checked(), st.FrameLines, st.ClockMinute,
                          st.LastFrameMinute, folder_, [] { return platform().now(); });
    } catch (const EInOutError& e) {
        ReportLogError(e.message(), backlog.rows.size());
        return false;
    }
    // A row that could not be written waits in memory: the record is handled all the same.
    if (!backlog.failure.isEmpty())
        ReportLogError(backlog.failure, backlog.rows.size());
    else if (fileWork && logFailing_)
        ReportLogRecovered(waited);
    if (told)
        QTimer::singleShot(0, this, [this, message = *told] { ShowError(message); });
    return true;
}

void TForm1::TellAboutLogging(const QString& line)
{
    // One box about logging at a time: while it is open, a new outage or recovery is added to
    // it, newest first, instead of a box on top of it.
    logBoxLines_.prepend(line);
    while (logBoxLines_.size() > kLogBoxLines)
        logBoxLines_.removeLast();
    const QString text = logBoxLines_.join(QStringLiteral("\r\n"));
    if (logBoxOpen_ && platform().updateBox(logBoxText_, text)) {
        logBoxText_ = text;
        return;
    }
    logBoxText_ = text;
    if (logBoxQueued_)
        return; // the box about to open shows the newest text
    // Opened from the event loop, never inside the received-data handler that the port's thread
    // waits for.
    logBoxQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        logBoxQueued_ = false;
        logBoxOpen_ = true;
        platform().errorBox(this, applicationTitle(), logBoxText_);
        logBoxOpen_ = false;
    });
}

void TForm1::ReportLogError(const QString& message, qsizetype waiting)
{
    // Told once, and again only after logging has worked in between.
    if (logFailing_)
        return;
    logFailing_ = true;
    const Language lang = CurrentLanguage();
    TellAboutLogging(logOutageText(lang, platform().now(), ErrorText(messageIn(lang, message)), waiting));
}

void TForm1::ReportLogRecovered(qsizetype waited)
{
    logFailing_ = false;
    TellAboutLogging(logRecoveryText(CurrentLanguage(), platform().now(),
                                     QDir::toNativeSeparators(State().LogFileName), waited));
}

void TForm1::FinishLog()
{
    // A failed rename leaves LogFinished 0, so the next chance tries again.
    finishLog(logState(State()), [] { return platform().now(); });
}

void TForm1::FinishPastDaysLog()
{
    try {
        finishLogOnClockChange(logState(State()), [this] { return clockNow_; });
    } catch (const EInOutError&) {
        // The next row tries once more, tells, and starts the new day's file all the same.
    }
}

void TForm1::CheckBox1Click(QObject*)
{
    CheckBox1->setEnabled(false);
    platform().pause(300);
    CheckBox1->setEnabled(true);
    platform().pause(300);
}

void TForm1::Image6Click(QObject*) { platform().openFolder(folder_); }
