// Renders the main window offscreen to PNG files, for the README and for looking at the
// layout without a display: render-window [--scale F] IDLE.png [WORKING.png]
// The second picture shows the working arrangement with a record received over a
// pseudo-terminal. --scale draws the window as a screen of F device pixels a pixel shows it
// (2: at 200 %, twice the pixels each way).
#include "ScriptedPlatform.h"
#include "SerialPort.h"
#include "TarloMainForm.h"
#include "ToggleSwitch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <pty.h>
#include <unistd.h>

namespace {

bool save(TForm1* form, const char* path)
{
    const QString out =
        QDir(QString::fromLocal8Bit(qgetenv("PWD"))).absoluteFilePath(QString::fromLocal8Bit(path));
    const bool ok = form->grab().save(out);
    std::printf("%s\n", ok ? qPrintable(out) : "failed");
    return ok;
}

bool showRecord(TForm1* form)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    form->ComboBox1->SetText(QString::fromLocal8Bit(name));
    form->ComboBox1Change(form->ComboBox1);
    form->ToggleSwitch1->SetStateOn(true);
    form->Guarded([&] { form->ToggleSwitch1Click(form->ToggleSwitch1); });
    const QByteArray record = "-\r\n7,05\r\n6,80\r\n7,40\r\n12,3\r\n5\r\n20\r\n1\r\n0\r\n100\r\n14\r\n \r\n";
    const QByteArray twice = record + record;
    const bool written = write(master, twice.data(), size_t(twice.size())) == twice.size();
    QElapsedTimer t;
    t.start();
    while (written && form->Label7->isHidden() && t.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const bool shown = !form->Label7->isHidden();
    form->ComPort->ClosePort();
    close(master);
    close(slave);
    return shown;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--scale") == 0) {
        // The offscreen screen takes the scale as a desktop's setting would give it.
        qputenv("QT_SCALE_FACTOR", argv[2]);
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s [--scale F] IDLE.png [WORKING.png]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();

    // Start as on a first run, in a folder of its own, with the clock at a fixed time.
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    ScopedPlatform scripted;
    scripted.p.clock = QDateTime(QDate(2016, 10, 1), QTime(18, 30, 8));

    TForm1* form = TForm1::Create();
    form->show();
    form->Timer1->stop();
    form->Timer1Timer(form->Timer1);
    QApplication::processEvents();
    bool ok = save(form, argv[1]);
    if (argc > 2) {
        ok = showRecord(form) && ok;
        form->Timer1Timer(form->Timer1);
        QApplication::processEvents();
        ok = save(form, argv[2]) && ok;
    }
    delete form;
    return ok ? 0 : 1;
}
