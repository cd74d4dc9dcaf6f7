// The CSV measurement log: one row per clock minute while the log box is ticked.

#include "TarloMainForm.h"

#include "Log.h"
#include "Numbers.h"
#include "ProgramState.h"

#include <QDir>
#include <QTimer>

bool TForm1::LogStep()
{
    ProgramState& st = State();
    const LogState log{st.LogFrameCount, st.LogFinished, st.LogFileName};
    // Only a step that touched a file tells whether logging works again.
    const bool fileWork = CheckBox1->Checked() ? st.LogFrameCount == 1 || st.ClockMinute != st.LastFrameMinute
                                               : st.LogFinished == 0;
    try {
        // A working folder that is gone gives "." and a failing create, never a log in "/".
        runLogStep(log, CheckBox1->Checked(), st.FrameLines, st.ClockMinute, st.LastFrameMinute,
                   workingDirectory(), [] { return platform().now(); });
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
    // A failed rename leaves LogFinished 0, so the next chance tries again.
    finishLog({st.LogFrameCount, st.LogFinished, st.LogFileName}, [] { return platform().now(); });
}

void TForm1::CheckBox1Click(QObject*)
{
    CheckBox1->setEnabled(false);
    platform().pause(300);
    CheckBox1->setEnabled(true);
    platform().pause(300);
}

void TForm1::Image6Click(QObject*) { platform().openFolder(workingDirectory()); }
