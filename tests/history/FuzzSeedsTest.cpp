#include "LogReaderHarness.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

// The fuzz target's rules hold for its seeds, so a report from it is a fault of the reader.
TEST(LogReaderFuzzSeeds, HoldTheReadersRules)
{
    const QDir dir(QStringLiteral(TARLO_FUZZ_LOGREADER_CORPUS));
    const QStringList seeds = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(seeds.size(), 5);
    for (const QString& name : seeds) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        const auto failure = fuzz::checkLogReader(
            {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())});
        EXPECT_FALSE(failure) << name.toStdString() << ": " << failure->toStdString();
    }
}
