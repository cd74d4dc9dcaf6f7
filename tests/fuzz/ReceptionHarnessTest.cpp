#include "ReceptionHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <numeric>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes seed(const QString& name)
{
    QFile f(QStringLiteral(TARLO_FUZZ_CORPUS "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll();
    return Bytes(data.begin(), data.end());
}

QStringList seedNames() { return QDir(QStringLiteral(TARLO_FUZZ_CORPUS)).entryList(QDir::Files, QDir::Name); }

std::vector<std::size_t> bytewise(const Bytes& b) { return std::vector<std::size_t>(b.size(), 1); }

std::size_t total(const std::vector<std::size_t>& sizes)
{
    return std::accumulate(sizes.begin(), sizes.end(), std::size_t{0});
}

Bytes randomBytes(std::size_t n, unsigned seedValue)
{
    std::mt19937 gen(seedValue);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(gen());
    return b;
}

} // namespace

TEST(FuzzSeeds, EverySeedRunsCleanWhateverTheDeliveries)
{
    const QStringList names = seedNames();
    ASSERT_GE(names.size(), 10);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const Bytes b = seed(name);
        ASSERT_FALSE(b.empty());
        for (const auto& sizes : {fuzz::deliverySizes(b), std::vector<std::size_t>{b.size()}, bytewise(b)}) {
            const fuzz::ReceptionResult r = fuzz::runReception(b, sizes);
            EXPECT_FALSE(r.failure) << r.failure.value_or(QString()).toStdString();
            EXPECT_EQ(r.stats.deliveries, int(sizes.size()));
            EXPECT_LE(r.stats.largestBuffer, fuzz::MaxBufferedChars);
            // The service's record stream: the same records however the bytes arrive.
            EXPECT_EQ(fuzz::checkRecordStream(b, sizes), std::nullopt);
        }
    }
}

TEST(FuzzSeeds, RecordSeedsHoldGoodRecords)
{
    // The record seeds are real record streams: received byte by byte, each gives a good frame.
    int recordSeeds = 0;
    for (const QString& name : seedNames()) {
        if (!name.startsWith(QStringLiteral("record-")))
            continue;
        ++recordSeeds;
        SCOPED_TRACE(name.toStdString());
        const Bytes b = seed(name);
        const fuzz::ReceptionResult r = fuzz::runReception(b, bytewise(b));
        ASSERT_FALSE(r.failure);
        EXPECT_GE(r.stats.goodFrames, 1);
    }
    EXPECT_GE(recordSeeds, 6);
}

TEST(FuzzReception, CountsFramesAsTheReceiveBufferCutsThem)
{
    struct Case {
        const char* seedName;
        bool oneDelivery;
        int frames, goodFrames, convertErrors;
    };
    const Case cases[] = {
        // Three records: the 24th line starts inside the third, one good frame is cut out.
        {"record-stream", false, 1, 1, 0},
        {"record-stream", true, 1, 1, 0},
        // The first record is good but its KH "A" (a lower-case "a" received) does not
        // convert; byte by byte the second cut skips the records ended by two blanks and
        // led by "--" and takes the one after them.
        {"record-lower-case-and-bad-ends", false, 2, 2, 1},
        {"record-lower-case-and-bad-ends", true, 1, 1, 1},
        // 700 bytes without line breaks: a frame every 22 x 13 + 1 characters, none good.
        {"noise-wrong-speed", false, 2, 0, 0},
        // As one delivery they make a single extraction.
        {"noise-wrong-speed", true, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.seedName) + (c.oneDelivery ? " in one delivery" : " byte by byte"));
        const Bytes b = seed(QString::fromLatin1(c.seedName));
        const fuzz::ReceptionResult r =
            fuzz::runReception(b, c.oneDelivery ? std::vector{b.size()} : bytewise(b));
        ASSERT_FALSE(r.failure) << r.failure->toStdString();
        EXPECT_EQ(r.stats.frames, c.frames);
        EXPECT_EQ(r.stats.goodFrames, c.goodFrames);
        EXPECT_EQ(r.stats.convertErrors, c.convertErrors);
    }
}

TEST(FuzzDeliveries, SplitTheWholeStreamIntoQueueSizedPieces)
{
    for (std::size_t n :
         {std::size_t{0}, std::size_t{1}, std::size_t{13}, std::size_t{1000}, std::size_t{20000}}) {
        SCOPED_TRACE(n);
        const Bytes b = randomBytes(n, unsigned(n));
        const auto sizes = fuzz::deliverySizes(b);
        EXPECT_EQ(total(sizes), n);
        for (std::size_t s : sizes) {
            EXPECT_GE(s, 1u);
            EXPECT_LE(s, fuzz::MaxDelivery);
        }
        EXPECT_EQ(fuzz::deliverySizes(b), sizes) << "one input must always split the same way";
    }
}

TEST(FuzzDeliveries, MixSingleBytesWithLargeLoadsAndFollowTheInput)
{
    const Bytes b = randomBytes(50000, 7);
    const auto sizes = fuzz::deliverySizes(b);
    const auto count = [&](auto pred) { return std::count_if(sizes.begin(), sizes.end(), pred); };
    EXPECT_GT(count([](std::size_t s) { return s == 1; }), 10);
    EXPECT_GT(count([](std::size_t s) { return s > 64; }), 10);

    Bytes changed = b;
    changed[25000] ^= 1;
    EXPECT_NE(fuzz::deliverySizes(changed), sizes) << "a mutated input tries another split";
}

TEST(FuzzBound, IsReachedByTwentyThreeFullLinesAndNeverPassedBelowTwentyFour)
{
    ReceiveBuffer b;
    QString full;
    for (int i = 0; i < ReceiveBuffer::FrameTrigger - 1; ++i)
        full += QString(ReceiveBuffer::WrapWidth, u'7') + QStringLiteral("\r\n");
    b.setText(full);
    EXPECT_EQ(b.lineCount(), ReceiveBuffer::FrameTrigger - 1);
    EXPECT_EQ(b.text().size(), fuzz::MaxBufferedChars);
    EXPECT_FALSE(fuzz::checkBufferBound(b));
    // One more character is the 24th line: the buffer is cut and reset.
    EXPECT_TRUE(receiveText(b, QStringLiteral("7")));
    EXPECT_TRUE(b.isReset());

    // Any longer text of CR, LF and other characters already holds 24 lines.
    std::mt19937 gen(24);
    const char16_t alphabet[] = {u'\r', u'\n', u'x', u'-'};
    for (int trial = 0; trial < 2000; ++trial) {
        QString text;
        const int length = int(fuzz::MaxBufferedChars) + 1 + int(gen() % 60);
        for (int i = 0; i < length; ++i)
            text += QChar(alphabet[gen() % 4]);
        b.setText(text);
        ASSERT_GE(b.lineCount(), ReceiveBuffer::FrameTrigger) << text.toStdString();
    }
}

TEST(FuzzBound, FlagsABufferThatGrewWithoutAnExtraction)
{
    ReceiveBuffer b;
    EXPECT_FALSE(fuzz::checkBufferBound(b));
    b.setText(QString(fuzz::MaxBufferedChars + 1, u'x'));
    const auto failure = fuzz::checkBufferBound(b);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->contains(QStringLiteral("346 characters")));
    // Within the length but 24 lines: still a buffer that should have been cut.
    b.setText(QString(ReceiveBuffer::FrameTrigger - 1, u'-').replace(u'-', QStringLiteral("\r\n")) + u'x');
    EXPECT_EQ(b.lineCount(), ReceiveBuffer::FrameTrigger);
    EXPECT_TRUE(fuzz::checkBufferBound(b));
}
