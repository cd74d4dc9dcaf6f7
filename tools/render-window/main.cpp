// Renders the main window offscreen to a PNG, for the README and for looking at the layout
// without a display: render-window OUT.png
#include "ScriptedPlatform.h"
#include "TarloMainForm.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    const QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
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
    form->Timer1Timer(form->Timer1);
    QApplication::processEvents();
    const bool ok = form->grab().save(out);
    delete form;
    std::printf("%s\n", ok ? qPrintable(out) : "failed");
    return ok ? 0 : 1;
}
