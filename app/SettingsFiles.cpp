// Saving the six settings to a settings file and loading them back.

#include "TarloMainForm.h"

#include "Frame.h"
#include "NumSpin.h"
#include "Numbers.h"
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

std::optional<QString> TForm1::ChooseSettingsFile(bool saving)
{
    // The dialog opens in the working folder, which the label's hint then names.
    const QString folder = QDir::toNativeSeparators(workingDirectory());
    Platform::FileDialog& dialog = saving ? SaveDialog1 : OpenDialog1;
    dialog.initialFolder = folder;
    dialog.filter = settingsFileFilter(CurrentLanguage());
    SetSettingsFolder(folder);
    const std::optional<QString> chosen =
        saving ? platform().saveFile(this, dialog) : platform().openFile(this, dialog);
    if (!chosen)
        return std::nullopt;
    const QString path = withExtension(*chosen, !saving);
    // A loaded file is named once it has loaded: a file that failed leaves the label as it was.
    if (saving)
        ShadowLabel1->SetCaption(QFileInfo(path).fileName());
    return path;
}

void TForm1::SpeedButton2Click(QObject*)
{
    const std::optional<QString> path = ChooseSettingsFile(true);
    if (!path)
        return;
    ProgramState& st = State();
    fieldsForSaving(CommittedSpinValues(), st.SettingsFields);
    saveSettingsFile(*path, formatSettingsFile(st.SettingsFields));
    // The file is written whole (atomically); the pause of 1 ms a line is kept.
    for (int n = 1; n <= 10; ++n)
        platform().pause(1);
    updateRecordFromFields(st.FrameLines, st.SettingsFields);
}

void TForm1::SpeedButton1Click(QObject*)
{
    const std::optional<QString> path = ChooseSettingsFile(false);
    if (!path)
        return;
    ProgramState& st = State();
    const std::vector<QString> lines = readSettingsFileLines(*path);
    receive_->clear();
    for (const QString& line : lines) {
        receive_->appendLine(line);
        platform().pause(1);
    }
    ShowReceiveBuffer();
    // The fields take the file only when all of it converts: a refused file leaves nothing of
    // itself for a later load to find in the fields it does not fill.
    SettingsFields fields = st.SettingsFields;
    const LoadedSettings loaded = loadSettingsLines(*path, lines, fields);
    if (!loaded.error)
        st.SettingsFields = fields;

    SetSpinEdits(loaded);
    ShadowLabel1->SetCaption(QFileInfo(*path).fileName());
    updateRecordFromFields(st.FrameLines, st.SettingsFields);
}

void TForm1::ShadowLabel1Click(QObject*) { platform().openFolder(SettingsFolder()); }
