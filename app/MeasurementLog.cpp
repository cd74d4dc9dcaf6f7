// The CSV measurement log: one row per clock minute while the log box is ticked.

#include "TarloMainForm.h"

#include "Log.h"
#include "Numbers.h"
#include "ProgramState.h"

#include <QDir>
#include <QTimer>

namespace {
LogState logState(ProgramState& st) { return {st.LogFrameCount, st.LogFinished, st.LogFileName, st.LogDay}; }

QString loggingAgainText(Language lang, const QDateTime& since, const QString& file)
{
    const QString time = since.toString(QStringLiteral("HH:mm:ss"));
    return lang == Language::Polish
               ? QString::fromUtf8("Zapis do pliku znów działa od %1: \"%2\"").arg(time, file)
               : QStringLiteral("Logging works again since %1: \"%2\"").arg(time, file);
}
} // namespace

bool TForm1::LogStep()
{
    ProgramState& st = State();
    // Only a step that touched a file tells whether logging works again.
    const bool fileWork = CheckBox1->Checked() ? st.LogFrameCount == 1 || st.ClockMinute != st.LastFrameMinute
                                               : st.LogFinished == 0;
    std::optional<QString> told;
    try {
        told = runLogStep(logState(st), CheckBox1->Checked(), st.FrameLines, st.ClockMinute,
                          st.LastFrameMinute, folder_, [] { return platform().now(); });
    } catch (const EInOutError& e) {
        ReportLogError(e.message());
        return false;
    }
    if (fileWork && logFailing_)
        ReportLogRecovered();
    if (told)
        QTimer::singleShot(0, this, [this, message = *told] { ShowError(message); });
    return true;
}

void TForm1::ReportLogError(const QString& message)
{
    // Told once, and again only after logging has worked in between. The box opens from the
    // event loop, never inside the received-data handler that the port's thread waits for.
    if (logFailing_)
        return;
    logFailing_ = true;
    logErrorText_ = ErrorText(message);
    QTimer::singleShot(0, this, [this, message] { ShowError(message); });
}

void TForm1::ReportLogRecovered()
{
    logFailing_ = false;
    platform().closeBox(logErrorText_);
    const QString text = logErrorText_ + QStringLiteral("\r\n\r\n") +
                         loggingAgainText(CurrentLanguage(), platform().now(), State().LogFileName);
    QTimer::singleShot(0, this, [this, text] { platform().messageBox(this, applicationTitle(), text); });
}

void TForm1::FinishLog()
{
    // A failed rename leaves LogFinished 0, so the next chance tries again.
    finishLog(logState(State()), [] { return platform().now(); });
}

void TForm1::FinishPastDaysLog()
{
    try {
        finishLogOfPastDay(logState(State()), [this] { return clockNow_; });
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
