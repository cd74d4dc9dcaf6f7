#include "QtPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QUrl>

#include <vector>

QDateTime QtPlatform::now() { return QDateTime::currentDateTime(); }
qint64 QtPlatform::msSinceEpoch() { return QDateTime::currentMSecsSinceEpoch(); }

void QtPlatform::pause(int ms)
{
    // Shows what the handler changed so far, then holds the main thread outright: no tick and
    // no received data is handled meanwhile (the port keeps the bytes), as the handlers expect.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            w->repaint();
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

QList<QRect> QtPlatform::screenAreas()
{
    QList<QRect> areas;
    for (QScreen* s : QGuiApplication::screens())
        areas << s->geometry();
    return areas;
}

QSize QtPlatform::screenSize()
{
    if (QScreen* s = QGuiApplication::primaryScreen())
        return s->size();
    return {};
}

void QtPlatform::beep() { QApplication::beep(); }

namespace {
// The boxes open now, each with the text it was given, newest last.
std::vector<std::pair<QMessageBox*, QString>> openBoxes;

void showBox(QMessageBox::Icon icon, QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")),
                    QMessageBox::Ok, parent);
    openBoxes.emplace_back(&box, text);
    box.exec();
    std::erase_if(openBoxes, [&](const auto& b) { return b.first == &box; });
}
} // namespace

bool QtPlatform::closeBox(const QString& text)
{
    for (const auto& [box, shown] : openBoxes)
        if (shown == text) {
            box->done(QMessageBox::Ok);
            return true;
        }
    return false;
}

bool QtPlatform::updateBox(const QString& text, const QString& newText)
{
    for (auto& [box, shown] : openBoxes)
        if (shown == text) {
            box->setText(QString(newText).replace(QLatin1String("\r\n"), QLatin1String("\n")));
            shown = newText;
            return true;
        }
    return false;
}

void QtPlatform::messageBox(QWidget* parent, const QString& title, const QString& text)
{
    showBox(QMessageBox::NoIcon, parent, title, text);
}

void QtPlatform::errorBox(QWidget* parent, const QString& title, const QString& text)
{
    showBox(QMessageBox::Critical, parent, title, text);
}

bool QtPlatform::warningOkCancel(QWidget* parent, const QString& title, const QString& text,
                                 const QString& okText, const QString& cancelText)
{
    QMessageBox box(QMessageBox::Warning, title,
                    QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")), QMessageBox::NoButton,
                    parent);
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
