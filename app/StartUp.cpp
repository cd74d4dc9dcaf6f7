// Start-up and shutdown: the preferences file, the first run, and what must be finished
// before the program ends.

#include "TarloMainForm.h"

#include "Numbers.h"
#include "Preferences.h"
#include "ProgramState.h"
#include "SerialPort.h"

#include <QFileInfo>

ProgramState& State()
{
    static ProgramState state;
    return state;
}

namespace {
const QString kResolutionMessage =
    QStringLiteral("Do poprawnego dzialania program wymaga \r\nrozdzielczosci minimum SVGA 800x600");
} // namespace

TForm1* TForm1::Create()
{
    auto* form = new TForm1;
    form->Guarded([form] { form->FormCreate(form); });
    return form;
}

void TForm1::ApplyPreferences(const QStringList& lines)
{
    // Line 1: the port name, whatever it holds. A Windows-style name (COM12) must carry a
    // number after "COM"; other names are taken as they are.
    const QString& port = lines[0];
    ComboBox1->SetText(port);
    if (port.size() >= 4 && port.size() <= 6 && port.startsWith(QLatin1String("COM")))
        toInt(port.mid(3));
    ComPort->SetPort(ComboBox1->Text().toStdString());

    const int left = toInt(lines[1]);
    move(left, y());
    const int top = toInt(lines[2]);
    move(x(), top);
    const int width = toInt(lines[3]);
    const int height = toInt(lines[4]);
    SetBounds(x(), y(), width, height);

    if (lines[5] == QLatin1String("PL"))
        Image12Click(this);
    else if (lines[5] == QLatin1String("EN"))
        Image15Click(this);

    if (lines[6] == QLatin1String("USB")) {
        Image4->hide();
        Image8->show();
        SpeedButton8->show();
        SpeedButton9->hide();
        State().LinkType = 0;
    } else if (lines[6] == QLatin1String("WIFI")) {
        Image8->hide();
        Image4->show();
        SpeedButton9->show();
        SpeedButton8->hide();
        State().LinkType = 1;
    }
}

void TForm1::FirstRun(const QString& path)
{
    const QSize screen = platform().screenSize();
    if (screen.height() < 600 || screen.width() < 800)
        platform().messageBox(this, applicationTitle(), kResolutionMessage);

    // Centred; C++ division truncates toward zero like the original's div.
    move((screen.width() - 354) / 2, (screen.height() - 655) / 2);
    SetBounds(x(), y(), 425, 158);

    ComboBox1->SetText(QStringLiteral("COM1"));
    ComPort->SetPort(ComboBox1->Text().toStdString());
    Preferences::write(
        path, Preferences::format({ComboBox1->Text(), Left(), Top(), Width(), Height(), true, false}));

    SpeedButton8->show();
    SpeedButton9->hide();
    State().LinkType = 0;
    Image12Click(this);
}

void TForm1::FormCreate(QObject*)
{
    State().LinkType = 0;
    ComPort->SetPort(ComboBox1->Text().toStdString());
    const QString path = Preferences::pathIn(workingDirectory());
    try {
        if (QFileInfo::exists(path)) {
            const QStringList lines = Preferences::read(path);
            // Applied only when it has exactly seven lines; otherwise it waits to be replaced at close.
            if (lines.size() == Preferences::LineCount)
                ApplyPreferences(lines);
        } else {
            FirstRun(path);
        }
    } catch (const std::exception& e) {
        // The window opens with what was applied before the error.
        ShowError(QString::fromUtf8(e.what()));
    }
    State().LogFinished = 1;
    State().LogFrameCount = 1;
}

bool TForm1::FormClose(QObject*)
{
    if (ComPort->Connected())
        ComPort->ClosePort();
    const QString path = Preferences::pathIn(workingDirectory());
    try {
        Preferences::write(path, Preferences::format({ComboBox1->Text(), Left(), Top(), Width(), Height(),
                                                      PolishActive(), State().LinkType == 1}));
    } catch (const std::exception& e) {
        // Reported, but the program still closes: otherwise a read-only folder would keep it
        // open for good.
        ShowError(QString::fromUtf8(e.what()));
    }
    ComPort->ClosePort();
    if (State().LogFinished == 0) {
        try {
            FinishLog();
        } catch (const std::exception& e) {
            // The log keeps its start name and all its rows; closing goes on.
            ShowError(QString::fromUtf8(e.what()));
        }
        State().LogFinished = 1;
    }
    return true;
}
