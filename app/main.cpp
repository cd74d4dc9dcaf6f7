#include "FontWarmUp.h"
#include "SessionBusWarmUp.h"
#include "TarloMainForm.h"

#include <QApplication>

int main(int argc, char** argv)
{
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
    TForm1* form = TForm1::Create();
    form->show();
    const int rc = app.exec();
    delete form;
    return rc;
}
