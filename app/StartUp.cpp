// Start-up and shutdown: the program's start, the preferences file, the first run, and what
// must be finished before the program ends.

#include "TarloMainForm.h"

#include "FontWarmUp.h"
#include "Numbers.h"
#include "Preferences.h"
#include "ProgramState.h"
#include "SerialPort.h"
#include "SessionBusWarmUp.h"

#include <QApplication>
#include <QDir>
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

namespace {
QString secondCopyText(Language lang, const QString& folder)
{
    const QString where = QDir::toNativeSeparators(folder);
    return lang == Language::Polish
               ? QString::fromUtf8("Program PH Controller Tarlo-01 już działa w tym folderze:\r\n%1\r\n\r\n"
                                   "Ustawienia i logi folderu może używać tylko jedna kopia programu. "
                                   "Drugą kopię uruchom w innym folderze.")
                     .arg(where)
               : QStringLiteral("PH Controller Tarlo-01 is already running in this folder:\r\n%1\r\n\r\n"
                                "Only one copy of the program can use a folder's settings and logs. "
                                "Start the second copy in another folder.")
                     .arg(where);
}

// The language the window of that folder speaks: its preferences', Polish as on a first run.
Language folderLanguage(const QString& folder)
{
    try {
        const Preferences::Stored stored = Preferences::read(Preferences::pathIn(folder));
        if (stored.lines.size() == Preferences::LineCount &&
            stored.lines[Preferences::LanguageLine] == QLatin1String("EN"))
            return Language::English;
    } catch (const std::exception&) {
        // Unreadable: the first run's language.
    }
    return Language::Polish;
}
} // namespace

std::optional<FolderLock> LockWorkingFolder()
{
    const QString folder = workingDirectory();
    std::optional<FolderLock> lock = FolderLock::take(folder);
    if (!lock)
        platform().errorBox(nullptr, applicationTitle(), secondCopyText(folderLanguage(folder), folder));
    return lock;
}

std::unique_ptr<QuitSignals> CloseOnQuitSignals(TForm1& form)
{
    auto quit = std::make_unique<QuitSignals>();
    // A second signal while the close is still running (a box of it open) changes nothing.
    quit->onSignal = [&form, closing = false](int) mutable {
        if (closing)
            return;
        closing = true;
        form.close();
    };
    return quit;
}

int runProgram(int argc, char** argv, const StartHooks& hooks)
{
    // The scale is the desktop's own, 1.25 at 125 %: the window keeps the size the desktop
    // gives every window, and its pictures are made sharp for that scale (see ScaledPicture).
    // Rounding to 2 would make the window at 150 % taller than a 1080-pixel screen.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    // The font configuration loads while the application connects to the display.
    FontWarmUp fonts;
    QApplication app(argc, argv);
    // The session bus is joined while the window is built.
    const std::jthread bus = joinSessionBusEarly();
    fonts.wait();
    // The application title goes on message boxes; a display name would also be appended to
    // the window's own caption.
    QApplication::setApplicationName(QStringLiteral("Tarlo01"));
    installFontSubstitutions();
    // A second copy in the same folder would share the preferences and the logs: it ends.
    const std::optional<FolderLock> lock = LockWorkingFolder();
    if (!lock)
        return 1;
    if (hooks.applicationReady)
        hooks.applicationReady();
    const std::unique_ptr<TForm1> form(TForm1::Create());
    if (hooks.windowBuilt)
        hooks.windowBuilt(form.get());
    const std::unique_ptr<QuitSignals> quit = CloseOnQuitSignals(*form);
    form->show();
    if (hooks.windowShown)
        hooks.windowShown();
    return app.exec();
}

TForm1* TForm1::Create()
{
    auto* form = new TForm1;
    form->Guarded([form] { form->FormCreate(form); });
    return form;
}

std::string TForm1::PortBytes(const QString& name) const
{
    // A name read from the preferences keeps the bytes it was stored as, also when they are
    // not UTF-8; a typed or listed name is UTF-8.
    if (!storedPortBytes_.isNull() && name == Preferences::decodeLine(storedPortBytes_))
        return storedPortBytes_.toStdString();
    return name.toStdString();
}

void TForm1::ApplyPreferences(const Preferences::Stored& stored)
{
    const QStringList& lines = stored.lines;
    // Line 1: the port name, whatever it holds. A Windows-style name (COM12) must carry a
    // number after "COM"; other names are taken as they are.
    storedPortBytes_ = stored.portBytes;
    const QString& port = lines[Preferences::PortLine];
    ComboBox1->SetText(port);
    if (port.size() >= 4 && port.size() <= 6 && port.startsWith(QLatin1String("COM")))
        toInt(port.mid(3));
    ComPort->SetPort(PortBytes(ComboBox1->Text()));
    // The stored port is the one in use until the user picks another: entering the box or
    // refreshing the list keeps it, and the close stores it again.
    SetPortInUse(ComboBox1->Text());

    const int left = toInt(lines[Preferences::LeftLine]);
    move(left, y());
    const int top = toInt(lines[Preferences::TopLine]);
    move(x(), top);
    const int width = toInt(lines[Preferences::WidthLine]);
    const int height = toInt(lines[Preferences::HeightLine]);
    SetBounds(x(), y(), width, height);
    // A stored place whose title bar is on no screen (another monitor was unplugged) would
    // open the window where it cannot be reached: it opens where the first run puts it.
    if (!TitleBarOnAScreen())
        PlaceAsFirstRun();

    const QString& language = lines[Preferences::LanguageLine];
    if (language == QLatin1String("PL"))
        Image12Click(this);
    else if (language == QLatin1String("EN"))
        Image15Click(this);

    const QString& link = lines[Preferences::LinkLine];
    if (link == QLatin1String("USB")) {
        Image4->hide();
        Image8->show();
        SpeedButton8->show();
        SpeedButton9->hide();
        State().LinkType = 0;
    } else if (link == QLatin1String("WIFI")) {
        Image8->hide();
        Image4->show();
        SpeedButton9->show();
        SpeedButton8->hide();
        State().LinkType = 1;
    }
}

void TForm1::PlaceAsFirstRun()
{
    // Centred; C++ division truncates toward zero like the original's div.
    const QSize screen = platform().screenSize();
    move((screen.width() - 354) / 2, (screen.height() - 655) / 2);
}

bool TForm1::TitleBarOnAScreen() const
{
    // The strip above the client area that the title bar takes, at least a grip's height.
    const QRect frame = frameGeometry();
    const int bar = std::max(geometry().top() - frame.top(), 20);
    const QRect titleBar(frame.left(), frame.top(), frame.width(), bar);
    for (const QRect& screen : platform().screenAreas()) {
        const QRect shared = screen.intersected(titleBar);
        // Enough of it to take hold of.
        if (shared.width() >= 40 && shared.height() >= bar / 2)
            return true;
    }
    return false;
}

void TForm1::FirstRun(const QString& path)
{
    const QSize screen = platform().screenSize();
    if (screen.height() < 600 || screen.width() < 800)
        platform().messageBox(this, applicationTitle(), kResolutionMessage);

    PlaceAsFirstRun();
    SetBounds(x(), y(), 425, 158);

    ComboBox1->SetText(QStringLiteral("COM1"));
    ComPort->SetPort(PortBytes(ComboBox1->Text()));
    // A folder that cannot be written (read-only, full) is told, after the window is set up
    // whole: link button, link type and captions in one language.
    std::optional<QString> unwritten;
    try {
        Preferences::write(
            path, Preferences::format({ComboBox1->Text(), Left(), Top(), Width(), Height(), true, false}));
    } catch (const EInOutError& e) {
        unwritten = e.message();
    }

    SpeedButton8->show();
    SpeedButton9->hide();
    State().LinkType = 0;
    Image12Click(this);
    if (unwritten)
        ShowError(*unwritten);
}

namespace {
// A file the user made read-only (no write permission for anybody, or none for us): the
// atomic save would replace it all the same, so it is left alone. Root may write anything,
// hence the permission bits too.
bool madeReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return !info.isWritable() || !(info.permissions() & anyWrite);
}

// Keeps a preferences file that cannot be read beside as "tarlo02.ini.bad", replacing an older
// one, so the first run's defaults do not overwrite what the user may want back. The text
// that ends the refusal's message.
QString keepRefused(const QString& path)
{
    const QString bad = path + QStringLiteral(".bad");
    QFile::remove(bad);
    if (!QFile::rename(path, bad))
        return QStringLiteral("it could not be kept aside as \"%1\"").arg(QDir::toNativeSeparators(bad));
    return QStringLiteral("it was kept as \"%1\"").arg(QDir::toNativeSeparators(bad));
}
} // namespace

void TForm1::FormCreate(QObject*)
{
    State().LinkType = 0;
    ComPort->SetPort(PortBytes(ComboBox1->Text()));
    folder_ = workingDirectory();
    const QString path = Preferences::pathIn(workingDirectory());
    // A file that cannot be read (not a regular file, far too large, unreadable) is refused
    // with a message, and the program starts as without one.
    std::optional<Preferences::Stored> stored;
    bool exists = QFileInfo(path).exists() || QFileInfo(path).isSymLink();
    if (exists) {
        try {
            stored = Preferences::read(path);
        } catch (const std::exception& e) {
            ShowError(QString::fromUtf8(e.what()) + QStringLiteral("; ") + keepRefused(path));
            exists = false;
        }
    }
    try {
        if (!exists)
            FirstRun(path);
        // Applied only when it has exactly seven lines; otherwise it waits to be replaced at close.
        else if (stored->lines.size() == Preferences::LineCount)
            ApplyPreferences(*stored);
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
    const QString path = Preferences::pathIn(folder_);
    try {
        if (madeReadOnly(path))
            throw EInOutError(
                QStringLiteral("The preferences file \"%1\" is read-only: the preferences were not saved")
                    .arg(QDir::toNativeSeparators(path)));
        const std::string port = PortBytes(ComboBox1->Text());
        Preferences::write(path, Preferences::format({ComboBox1->Text(), Left(), Top(), Width(), Height(),
                                                      PolishActive(), State().LinkType == 1},
                                                     QByteArray::fromStdString(port)));
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
            // The log keeps its start name and all its rows written; closing goes on, and rows
            // still waiting in memory are lost: said so.
            QString text = QString::fromUtf8(e.what());
            if (const qsizetype lost = State().LogBacklog.rows.size(); lost > 0)
                text += QStringLiteral("; %1 rows waiting in memory could not be written").arg(lost);
            ShowError(text);
        }
        State().LogFinished = 1;
    }
    return true;
}
