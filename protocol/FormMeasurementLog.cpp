// The CSV measurement log: one row per clock minute while the log box is ticked.

#include "TarloMainForm.h"

#include "Log.h"
#include "Numbers.h"
#include "ProgramState.h"

#include <QDir>
#include <QTimer>

namespace {
QString timeText(const QDateTime& t, const char* format) { return t.time().toString(QLatin1String(format)); }
} // namespace

bool TForm1::LogStep()
{
    ProgramState& st = State();
    bool fileWork = true;
    try {
        if (CheckBox1->Checked()) {
            if (st.LogFrameCount == 1) {
                st.LogFinished = 0;
                // A working folder that is gone gives "." and a failing create, never a log in "/".
                st.LogFileName = logFileName(workingDirectory(), platform().now());
                const QString time = timeText(platform().now(), "hh:mm:ss");
                restorePhComma(st.FrameLines);
                startLogFile(st.LogFileName, formatLogRow(st.FrameLines, time));
            } else if (st.ClockMinute != st.LastFrameMinute) {
                const QString time = timeText(platform().now(), "hh:mm");
                restorePhComma(st.FrameLines);
                appendLogRow(st.LogFileName, formatLogRow(st.FrameLines, time));
            } else {
                fileWork = false;
            }
            ++st.LogFrameCount;
        } else {
            fileWork = st.LogFinished == 0;
            if (fileWork)
                FinishLog();
            st.LogFrameCount = 1;
        }
    } catch (const EInOutError& e) {
        ReportLogError(QString::fromUtf8(e.what()));
        return false;
    }
    if (fileWork)
        logFailing_ = false;
    return true;
}

void TForm1::ReportLogError(const QString& message)
{
    // Told once, and again only after logging has worked in between. The box opens from the
    // event loop, never inside the received-data handler that the port's thread waits for.
    if (logFailing_)
        return;
    logFailing_ = true;
    QTimer::singleShot(0, this, [this, message] { ShowError(message); });
}

void TForm1::FinishLog()
{
    ProgramState& st = State();
    const QString finished = finishedLogName(st.LogFileName, platform().now());
    // A failed rename leaves LogFinished 0, so the next chance tries again.
    renameLog(st.LogFileName, finished);
    st.LogFileName = finished;
    st.LogFinished = 1;
}

void TForm1::CheckBox1Click(QObject*)
{
    CheckBox1->setEnabled(false);
    platform().pause(300);
    CheckBox1->setEnabled(true);
    platform().pause(300);
}

void TForm1::Image6Click(QObject*) { platform().openFolder(workingDirectory()); }
