// Saving the six settings to a settings file and loading them back.

#include "TarloMainForm.h"

#include "Frame.h"
#include "Numbers.h"
#include "NumSpin.h"
#include "ProgramState.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "ShadowLabel.h"

#include <QDir>
#include <QFileInfo>

namespace {
// A name typed without an extension gets the one of the single filter (when loading, only
// if no file of the bare name exists).
QString withExtension(const QString& path, bool mustExist)
{
    const QFileInfo info(path);
    if (!info.suffix().isEmpty() || (mustExist && info.exists()))
        return path;
    return path + QStringLiteral(".tarlo");
}
} // namespace

void TForm1::SpeedButton2Click(QObject*)
{
    const QString folder = QDir::toNativeSeparators(workingDirectory());
    SaveDialog1.initialFolder = folder;
    setHint(ShadowLabel1, folder);
    const std::optional<QString> chosen = platform().saveFile(this, SaveDialog1);
    if (!chosen)
        return;
    const QString path = withExtension(*chosen, false);
    ShadowLabel1->SetCaption(QFileInfo(path).fileName());

    ProgramState& st = State();
    for (int n = 1; n <= 10; ++n)
        st.SettingsFields[n] = QStringLiteral("0");
    computeSettingsFields(SpinEditValues(), st.SettingsFields);
    saveSettingsFile(path, formatSettingsFile(st.SettingsFields));
    // The file is written whole (atomically); the pause of 1 ms a line is kept.
    for (int n = 1; n <= 10; ++n)
        platform().pause(1);
    updateRecordFromFields(st.FrameLines, st.SettingsFields);
}

void TForm1::SpeedButton1Click(QObject*)
{
    const QString folder = QDir::toNativeSeparators(workingDirectory());
    OpenDialog1.initialFolder = folder;
    setHint(ShadowLabel1, folder);
    const std::optional<QString> chosen = platform().openFile(this, OpenDialog1);
    if (!chosen)
        return;
    const QString path = withExtension(*chosen, true);
    ShadowLabel1->SetCaption(QFileInfo(path).fileName());

    ProgramState& st = State();
    const std::vector<QString> lines = readSettingsFileLines(path);
    receive_->clear();
    for (const QString& line : lines) {
        receive_->appendLine(line);
        platform().pause(1);
    }
    ShowReceiveBuffer();
    fieldsFromFileLines(lines, st.SettingsFields);

    const LoadedSettings loaded = settingsFromFields(st.SettingsFields);
    const std::pair<const std::optional<long double>&, TNumSpinEdit*> values[] = {
        {loaded.phMin, NumSpinEdit7}, {loaded.phMax, NumSpinEdit8},      {loaded.threshold, NumSpinEdit11},
        {loaded.kh, NumSpinEdit12},   {loaded.brightness, NumSpinEdit9}, {loaded.contrast, NumSpinEdit10}};
    for (const auto& [value, edit] : values)
        if (value)
            edit->SetValue(*value);
    if (loaded.error)
        throw EConvertError(*loaded.error);
    updateRecordFromFields(st.FrameLines, st.SettingsFields);
}

void TForm1::ShadowLabel1Click(QObject*) { platform().openFolder(hint(ShadowLabel1)); }
