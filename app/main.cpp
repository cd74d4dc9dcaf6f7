#include "TarloMainForm.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarlo01"));
    QApplication::setApplicationDisplayName(applicationTitle());
    installFontSubstitutions();
    TForm1* form = TForm1::Create();
    form->show();
    const int rc = app.exec();
    delete form;
    return rc;
}
