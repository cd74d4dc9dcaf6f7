#include "QtPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QUrl>

QDateTime QtPlatform::now() { return QDateTime::currentDateTime(); }

void QtPlatform::pause(int ms)
{
    // Keep the window painted but take no input, so the pause holds the program as a sleep would.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
        const qint64 left = ms - t.elapsed();
        if (left > 0)
            QThread::msleep(static_cast<unsigned long>(qMin<qint64>(left, 5)));
    }
}

QSize QtPlatform::screenSize()
{
    if (QScreen* s = QGuiApplication::primaryScreen())
        return s->size();
    return {};
}

void QtPlatform::beep() { QApplication::beep(); }

void QtPlatform::messageBox(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtPlatform::warningOkCancel(QWidget* parent, const QString& title, const QString& text,
                                 const QString& okText, const QString& cancelText)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(okText, QMessageBox::AcceptRole);
    box.addButton(cancelText, QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == ok;
}

static QFileDialog* makeDialog(QWidget* parent, const Platform::FileDialog& d)
{
    auto* dlg = new QFileDialog(parent, QString(), d.initialFolder, d.filter);
    dlg->selectFile(d.fileName);
    dlg->setDefaultSuffix(d.defaultSuffix);
    dlg->setOption(QFileDialog::DontConfirmOverwrite, true);
    return dlg;
}

std::optional<QString> QtPlatform::openFile(QWidget* parent, const FileDialog& d)
{
    std::unique_ptr<QFileDialog> dlg(makeDialog(parent, d));
    dlg->setAcceptMode(QFileDialog::AcceptOpen);
    dlg->setFileMode(QFileDialog::AnyFile);
    if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty())
        return std::nullopt;
    return dlg->selectedFiles().first();
}

std::optional<QString> QtPlatform::saveFile(QWidget* parent, const FileDialog& d)
{
    std::unique_ptr<QFileDialog> dlg(makeDialog(parent, d));
    dlg->setAcceptMode(QFileDialog::AcceptSave);
    if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty())
        return std::nullopt;
    return dlg->selectedFiles().first();
}

bool QtPlatform::startProgram(const QString& program, const QStringList& args)
{
    return QProcess::startDetached(program, args);
}

bool QtPlatform::openFolder(const QString& folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
