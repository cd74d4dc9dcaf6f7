#pragma once

#include "Platform.h"

// The desktop implementation on Qt.
class QtPlatform : public Platform {
public:
    QDateTime now() override;
    qint64 msSinceEpoch() override;
    void pause(int ms) override;
    QSize screenSize() override;
    QList<QRect> screenAreas() override;
    void beep() override;
    void messageBox(QWidget* parent, const QString& title, const QString& text) override;
    void errorBox(QWidget* parent, const QString& title, const QString& text) override;
    bool closeBox(const QString& text) override;
    bool updateBox(const QString& text, const QString& newText) override;
    bool warningOkCancel(QWidget* parent, const QString& title, const QString& text, const QString& okText,
                         const QString& cancelText) override;
    std::optional<QString> openFile(QWidget* parent, const FileDialog& d) override;
    std::optional<QString> saveFile(QWidget* parent, const FileDialog& d) override;
    bool startProgram(const QString& program, const QStringList& args) override;
    bool openFolder(const QString& folder) override;
};
