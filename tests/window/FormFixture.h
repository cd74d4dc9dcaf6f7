#pragma once

// A window of its own for each test: a scripted platform (clock, dialogs, message boxes),
// a fresh working folder, and the program-wide state as before start-up.

#include "ProgramState.h"
#include "ScriptedPlatform.h"
#include "TarloMainForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        previousDir = QDir::currentPath();
        QDir::setCurrent(work.path());
        State().reset();
    }
    void TearDown() override
    {
        form.reset();
        QDir::setCurrent(previousDir);
        State().reset();
    }

    // The window as the program entry builds it: layout, then the create event.
    TForm1& create()
    {
        form.reset(TForm1::Create());
        return *form;
    }
    // The window as laid out, before the create event.
    TForm1& layoutOnly()
    {
        form = std::make_unique<TForm1>();
        return *form;
    }

    void writeFile(const QString& name, const QByteArray& content)
    {
        QFile f(QDir(work.path()).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray readFile(const QString& name)
    {
        QFile f(QDir(work.path()).filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

    ScopedPlatform scripted;
    ScriptedPlatform& plat = scripted.p;
    QTemporaryDir work;
    QString previousDir;
    std::unique_ptr<TForm1> form;
};
