// Records arriving over a real pseudo-terminal, decoded into the display.

#include "FormFixture.h"
#include "PtyPeer.h"

#include "Frame.h"
#include "SerialPort.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const kRecord[] = {"-", "7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14", " "};

QByteArray record(const std::vector<QByteArray>& values)
{
    QByteArray out = "-\r\n";
    for (const QByteArray& v : values)
        out += v + "\r\n";
    return out + " \r\n";
}

QByteArray goodRecord()
{
    QByteArray out;
    for (const char* l : kRecord)
        out += QByteArray(l) + "\r\n";
    return out;
}

class ReceptionTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        // As start-up leaves the log: nothing to finish, the next logged record starts a file.
        State().LogFinished = 1;
        State().LogFrameCount = 1;
        fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
        TForm1& f = layoutOnly();
        // The clock is the test's: a live tick would set ClockMinute from the platform's clock.
        f.Timer1->stop();
        f.ComPort->SetPort(pty.path);
        f.ComPort->OpenPort();
        ASSERT_TRUE(f.ComPort->Connected());
    }
    void TearDown() override
    {
        if (form)
            form->ComPort->ClosePort();
        FormTest::TearDown();
    }

    // Writes everything, letting the window read while the line's buffer is full.
    void send(const QByteArray& bytes)
    {
        qsizetype done = 0;
        QElapsedTimer t;
        t.start();
        while (done < bytes.size() && t.elapsed() < 5000) {
            const ssize_t n = write(pty.master, bytes.data() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        ASSERT_EQ(done, bytes.size());
    }

    // Runs the event loop until the condition holds or two seconds pass.
    template <typename Cond>
    bool waitFor(Cond cond)
    {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return cond();
    }
    // Sends a marker record afterwards and waits for it, so everything before has been handled.
    void settle()
    {
        send(record({"4,44", "6,80", "7,40", "0", "0", "20", "0", "0", "50", "10"}) + goodTail());
        ASSERT_TRUE(waitFor([&] { return form->Label7->Caption() == QStringLiteral("4.44"); }))
            << form->ReceiveText().text().toStdString() << "|" << form->FrameBufferText().toStdString();
    }
    // Twelve more lines so that the buffer reaches 24 lines behind a record.
    static QByteArray goodTail()
    {
        return record({"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14"});
    }

    PtyPeer pty;
};

} // namespace

TEST_F(ReceptionTest, FirstRecordIsShownWithItsSettings)
{
    TForm1& f = *form;
    State().ClockMinute = QStringLiteral("30");
    send(goodRecord() + goodRecord());
    ASSERT_TRUE(waitFor([&] { return !f.Label7->isHidden(); }));
    EXPECT_EQ(f.Label7->Caption(), QStringLiteral("7.05"));
    EXPECT_EQ(f.Label8->Caption(), QStringLiteral("6,80"));
    EXPECT_EQ(f.Label9->Caption(), QStringLiteral("7,40"));
    EXPECT_EQ(f.Label11->Caption(), QStringLiteral("12,3"));
    EXPECT_EQ(f.Label12->Caption(), QStringLiteral("05"));
    EXPECT_EQ(f.Label17->Caption(), QStringLiteral("6,60"));
    EXPECT_EQ(f.Label23->Caption(), QStringLiteral("7,60"));
    EXPECT_FALSE(f.Image2->isHidden());
    EXPECT_TRUE(f.Image1->isHidden());
    for (QWidget* w : std::initializer_list<QWidget*>{f.Label8, f.Label9, f.Label10, f.Label11, f.Label12,
                                                      f.Label17, f.Label23, f.Image4})
        EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();
    const char* fields[] = {"100", "14", "7", "40", "6", "80", "20", "5"};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(State().SettingsFields.begin()[i + 1], QString::fromLatin1(fields[i])) << i + 1;
    EXPECT_EQ(State().FrameLines[RecordLine::Ph], QStringLiteral("7.05"));
    EXPECT_EQ(State().LastFrameMinute, QStringLiteral("30"));
    // Everything received went with the extraction; the frame buffer holds the record.
    EXPECT_EQ(f.ReceiveText().text(), QStringLiteral("\r\n"));
    EXPECT_TRUE(f.FrameBufferText().startsWith(QStringLiteral("7,05\r\n6,80\r\n7,40\r\n12,3\r\n5\r\n")));
    EXPECT_TRUE(plat.messages.empty());
}

TEST_F(ReceptionTest, BytesArrivingInPiecesAccumulateUntilTwentyFourLines)
{
    TForm1& f = *form;
    const QByteArray all = goodRecord() + goodRecord();
    // 23 lines after the reset line: nothing is extracted yet.
    const qsizetype cut = all.indexOf("14\r\n", all.indexOf("100\r\n", goodRecord().size()));
    send(all.left(cut));
    ASSERT_TRUE(waitFor([&] { return f.ReceiveText().text().size() == cut + 2; }));
    EXPECT_TRUE(f.Label7->isHidden());
    EXPECT_EQ(f.ReceiveText().lineCount(), 23);
    send(all.mid(cut));
    ASSERT_TRUE(waitFor([&] { return !f.Label7->isHidden(); }));
    EXPECT_EQ(f.Label7->Caption(), QStringLiteral("7.05"));
}

TEST_F(ReceptionTest, RejectedRecordsChangeNothingButTheFrameLines)
{
    TForm1& f = *form;
    send(goodRecord() + goodRecord());
    ASSERT_TRUE(waitFor([&] { return f.Label7->Caption() == QStringLiteral("7.05"); }));
    const auto fieldsBefore = State().SettingsFields;
    // Two blanks where one belongs.
    send(record({"6,55", "6,00", "7,00", "0", "0", "20", "0", "1", "50", "10"}).replace(" \r\n", "  \r\n") +
         goodTail());
    ASSERT_TRUE(waitFor([&] { return State().FrameLines[RecordLine::Ph] == QStringLiteral("6,55"); }));
    EXPECT_EQ(f.Label7->Caption(), QStringLiteral("7.05"));
    EXPECT_EQ(State().SettingsFields, fieldsBefore);
    EXPECT_TRUE(f.Image1->isHidden());
}

TEST_F(ReceptionTest, AValueThatDoesNotConvertEndsOnlyThatRecord)
{
    TForm1& f = *form;
    State().ClockMinute = QStringLiteral("31");
    // KH "X" cannot be read: the pH and range are shown, the rest of that record is skipped.
    send(record({"6,95", "6,80", "7,40", "12,3", "X", "20", "1", "1", "100", "14"}) + goodTail());
    ASSERT_TRUE(waitFor([&] { return f.Label7->Caption() == QStringLiteral("6.95"); }));
    EXPECT_TRUE(State().SettingsFields[SettingsField::Brightness].isEmpty());
    EXPECT_TRUE(State().LastFrameMinute.isEmpty());
    // The outputs come after the failing step: the CO2 picture stays hidden.
    EXPECT_TRUE(f.Image1->isHidden());
    // Reception goes on with the next record, without any reopening.
    settle();
    EXPECT_EQ(State().SettingsFields[SettingsField::Brightness], QStringLiteral("50"));
    EXPECT_EQ(State().LastFrameMinute, QStringLiteral("31"));
    EXPECT_TRUE(plat.messages.empty());
}

TEST_F(ReceptionTest, NoiseWithoutLineBreaksIsBoundedAndDiscarded)
{
    TForm1& f = *form;
    // Bytes as at a wrong line speed: no CR LF at all, NUL bytes among them.
    QByteArray noise;
    for (int i = 0; i < 20000; ++i)
        noise += char(0x80 + (i * 37) % 0x7f);
    noise[100] = 0;
    qsizetype largest = 0;
    f.ComPort->OnRxChar = [&](QObject* sender, int count) {
        f.ComPortRxChar(sender, count);
        largest = std::max(largest, f.ReceiveText().text().size());
    };
    send(noise);
    // The wrapped noise kept being cut into frames and thrown away; records still get through.
    settle();
    EXPECT_EQ(f.ReceiveText().text(), QStringLiteral("\r\n"));
    // Between deliveries the buffer never held more than 24 wrapped lines.
    EXPECT_GT(largest, 0);
    EXPECT_LT(largest, 24 * ReceiveBuffer::WrapWidth);
    EXPECT_TRUE(plat.messages.empty());
}

TEST_F(ReceptionTest, LowerCaseLettersAreUpperCasedInTheFrame)
{
    send(record({"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "ab", "cd"}) + goodTail());
    ASSERT_TRUE(waitFor([&] { return State().FrameLines[RecordLine::Brightness] == QStringLiteral("AB"); }));
    EXPECT_EQ(State().FrameLines[RecordLine::Contrast], QStringLiteral("CD"));
}
