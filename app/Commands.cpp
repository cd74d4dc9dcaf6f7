// Sending the settings, taking them from the last record, the factory settings, the
// controller restart, and the system's date and time settings.

#include "TarloMainForm.h"

#include "NumSpin.h"
#include "Numbers.h"
#include "ProgramState.h"
#include "SerialPort.h"
#include "Settings.h"
#include "ShadowLabel.h"

#include <QStandardPaths>

SpinValues TForm1::CommittedSpinValues()
{
    // A text typed and not yet committed (the edit still has the focus) is taken as leaving the
    // edit would take it: parsed, clamped to the edit's limits and formatted. Otherwise "1000"
    // or "-5" would go into the frame as typed.
    for (TNumSpinEdit* e :
         {NumSpinEdit7, NumSpinEdit8, NumSpinEdit11, NumSpinEdit12, NumSpinEdit9, NumSpinEdit10})
        e->refreshText();
    return {NumSpinEdit7->Value(),  NumSpinEdit8->Value(), NumSpinEdit11->Value(),
            NumSpinEdit12->Value(), NumSpinEdit9->Value(), NumSpinEdit10->Value()};
}

void TForm1::SetSpinEdits(const SpinSettings& values)
{
    const std::pair<const std::optional<long double>&, TNumSpinEdit*> edits[] = {
        {values.phMin, NumSpinEdit7}, {values.phMax, NumSpinEdit8},      {values.threshold, NumSpinEdit11},
        {values.kh, NumSpinEdit12},   {values.brightness, NumSpinEdit9}, {values.contrast, NumSpinEdit10}};
    for (const auto& [value, edit] : edits)
        if (value)
            edit->SetValue(*value);
    if (values.error)
        throw EConvertError(*values.error);
}

void TForm1::SpeedButton3Click(QObject*)
{
    ProgramState& st = State();
    computeSettingsFields(CommittedSpinValues(), st.SettingsFields);
    // Eleven writes, each complete before the next: together the 32-character frame.
    for (const QString& piece : settingsFrameWrites(st.SettingsFields))
        ComPort->WriteText(piece.toStdString());
    SpeedButton14->show();
    SpeedButton3->hide();
    platform().pause(800);
    SpeedButton14->hide();
    SpeedButton3->show();
    updateRecordFromFields(st.FrameLines, st.SettingsFields);
}

void TForm1::SpeedButton4Click(QObject*)
{
    ProgramState& st = State();
    ShadowLabel1->SetCaption(QStringLiteral("*.*"));
    const TakenSettings t = takeSettings(st.FrameLines);
    // No record yet (or a malformed one): nothing to take.
    if (!t.recordComplete)
        return;
    SetSpinEdits(t);
    fieldsFromRecord(st.FrameLines, st.SettingsFields);
}

void TForm1::SpeedButton6Click(QObject*)
{
    const Language lang = CurrentLanguage();
    // The warning's buttons read "OK" and "Cancel" in either language.
    if (!platform().warningOkCancel(this, QStringLiteral("Warning"), factoryQuestion(lang),
                                    QStringLiteral("OK"), QStringLiteral("Cancel")))
        return;
    ShadowLabel1->SetCaption(QStringLiteral("*.*"));
    ComPort->WriteText(FactorySettingsCommand);
    NumSpinEdit7->SetValue(FactorySettings.phMin);
    NumSpinEdit8->SetValue(FactorySettings.phMax);
    NumSpinEdit9->SetValue(FactorySettings.brightness);
    NumSpinEdit10->SetValue(FactorySettings.contrast);
    NumSpinEdit11->SetValue(FactorySettings.threshold);
    NumSpinEdit12->SetValue(FactorySettings.kh);
    platform().messageBox(this, applicationTitle(), factoryDoneMessage(lang));
}

void TForm1::SpeedButton7Click(QObject*) { ComPort->WriteText(RestartCommand); }

namespace {
// The desktop's own date and time settings, where one is installed.
void openDateTimeSettings()
{
    const std::pair<const char*, QStringList> tools[] = {
        {"gnome-control-center", {QStringLiteral("datetime")}},
        {"cinnamon-settings", {QStringLiteral("calendar")}},
        {"kcmshell6", {QStringLiteral("kcm_clock")}},
        {"kcmshell5", {QStringLiteral("clock")}},
        {"time-admin", {}},
        {"lxqt-admin-time", {}},
    };
    for (const auto& [program, args] : tools) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (!path.isEmpty()) {
            platform().startProgram(path, args);
            return;
        }
    }
}
} // namespace

void TForm1::Label3Click(QObject*) { openDateTimeSettings(); }
void TForm1::Label4Click(QObject*) { openDateTimeSettings(); }
void TForm1::Label5Click(QObject*) { openDateTimeSettings(); }
