#include "TarloMainForm.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
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
