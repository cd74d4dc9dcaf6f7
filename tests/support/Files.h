#pragma once

// Reading and writing whole test files.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

// The file's bytes, or `missing` when it cannot be read.
inline QByteArray fileBytes(const QString& path, const QByteArray& missing = "(missing)")
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : missing;
}

// Creates or replaces the file with exactly these bytes.
inline void putFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(data), data.size());
}
