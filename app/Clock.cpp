// The clock and the periodic tick: time, date and weekday, the connection switch offered
// only with a port name, the port restart four times a minute and the no-data check.
// The tick runs just after each second boundary, and every 10 ms through a restart second
// while connected; what changes between those moments (the port box's text, the language,
// the switch) is followed where it changes.

#include "TarloMainForm.h"

#include "Frame.h"
#include "ProgramState.h"
#include "SerialPort.h"
#include "TickSchedule.h"
#include "ToggleSwitch.h"

#include <QTimer>

namespace {
void zeroDigitCounters(ProgramState& st)
{
    st.SecondDigitSeen.fill(0);
    st.SecondDigitCount = 0;
}
} // namespace

void TForm1::ReportRestartError(const QString& message, const QDateTime& now)
{
    // Tried again on every tick of the restart second, but told once per restart second and
    // never while the box about it is still open. The box opens from the event loop after the
    // tick, never inside it: a timer does not fire again while its own handler runs, so a box
    // opened here would stop the clock and every later restart until someone clicked OK.
    const QString second = now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (restartErrorOpen_ || second == restartErrorSecond_)
        return;
    restartErrorSecond_ = second;
    restartErrorOpen_ = true;
    restartErrorText_ = ErrorText(message);
    QTimer::singleShot(0, this, [this, message] {
        ShowError(message);
        restartErrorOpen_ = false;
    });
}

void TForm1::ShowWeekday(const QDate& date)
{
    // Qt counts Monday as 1 and Sunday as 7; the names are kept from Sunday = 1.
    Label3->SetCaption(weekdayName(CurrentLanguage(), date.dayOfWeek() % 7 + 1));
}

void TForm1::ShowSwitchForPortName()
{
    const bool havePort = !ComboBox1->Text().isEmpty();
    ToggleSwitch1->setVisible(havePort);
    Image7->setVisible(!havePort);
}

void TForm1::ShowSendButtonsEnabled(bool enabled)
{
    // Only the outcome of a restart is shown: nothing paints while the port is reopened, and
    // hiding and showing again on each of a restart second's hundred ticks would repaint that
    // part of the panel each time.
    SpeedButton3->setVisible(enabled);
    SpeedButton4->setVisible(enabled);
    SpeedButton13->setVisible(!enabled);
    SpeedButton14->setVisible(!enabled);
}

namespace {
qint64 secondOf(qint64 msSinceEpoch)
{
    return msSinceEpoch >= 0 ? msSinceEpoch / 1000 : (msSinceEpoch - 999) / 1000;
}
} // namespace

bool TForm1::ReadClock()
{
    // Working out the local time is the costly part of a tick. Within one second of the clock
    // nothing the clock shows can change, so a restart second's hundred ticks keep the
    // second's reading and only look whether the second has moved on.
    if (secondOf(platform().msSinceEpoch()) == clockSecond_)
        return false;
    clockNow_ = platform().now();
    clockSecond_ = secondOf(clockNow_.toMSecsSinceEpoch());
    clockTime_ = clockNow_.time().toString(QStringLiteral("hh:mm:ss"));
    return true;
}

QTime TForm1::ClockTime()
{
    const qint64 ms = platform().msSinceEpoch();
    if (secondOf(ms) != clockSecond_)
        return platform().now().time();
    const QTime t = clockNow_.time();
    return QTime(t.hour(), t.minute(), t.second(), int(ms - clockSecond_ * 1000));
}

void TForm1::ArmTimer1() { Timer1->start(msToNextTick(ClockTime(), working_)); }

void TForm1::RunTick()
{
    // Armed after the tick, from the clock as it is then: a box opened inside the tick holds
    // the clock, as the window timer's own handler always did.
    Guarded([this] { Timer1Timer(Timer1); });
    ArmTimer1();
}

void TForm1::Timer1Timer(QObject*)
{
    ProgramState& st = State();
    if (ReadClock()) {
        Label5->SetCaption(clockTime_);
        Label4->SetCaption(clockNow_.date().toString(QStringLiteral("yyyy-MM-dd")));
        ShowWeekday(clockNow_.date());
        st.ClockMinute = clockTime_.mid(3, 2);
        ShowSwitchForPortName();
        FinishPastDaysLog();
    }
    const QDateTime& now = clockNow_;
    const QString& time = clockTime_;

    // The port is open only in the working arrangement, whatever the switch shows meanwhile.
    if (!working_) {
        if (ComPort->Connected())
            ComPort->ClosePort();
        return;
    }

    if (isRestartSecond(time.mid(6, 2).toInt())) {
        ComPort->ClosePort();
        receive_->reset();
        ShowReceiveBuffer();
        SetFrameBufferText(QStringLiteral("\r\n"));
        try {
            ComPort->OpenPort();
        } catch (const std::exception& e) {
            ShowSendButtonsEnabled(false);
            ReportRestartError(QString::fromUtf8(e.what()), now);
            return;
        }
        ShowSendButtonsEnabled(true);
        // The port works again: a box saying it could not be opened is no longer true.
        if (restartErrorOpen_)
            platform().closeBox(restartErrorText_);
        zeroDigitCounters(st);
    }

    const QChar last = time.at(7);
    if (last.isDigit())
        st.SecondDigitSeen[last.digitValue()] = 1;
    st.SecondDigitCount = int(std::count(st.SecondDigitSeen.begin(), st.SecondDigitSeen.end(), 1));

    // Nothing received and no record extracted since the last restart, nine seconds on.
    if (receive_->isReset() && FrameBufferText() == QLatin1String("\r\n") && st.SecondDigitCount == 10) {
        for (TLabel* l : {Label7, Label11, Label8, Label9, Label17, Label23})
            l->SetCaption(QStringLiteral("0.00"));
        Label12->SetCaption(QStringLiteral("00"));
        zeroDigitCounters(st);
    }
    if (st.SecondDigitCount == 10)
        zeroDigitCounters(st);
}
