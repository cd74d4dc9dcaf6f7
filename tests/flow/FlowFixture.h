#pragma once

// The window fixture extended for the flows through the window: a platform that can watch
// the pauses, a pseudo-terminal standing in for the controller, a fake sysfs device list,
// and helpers to tick the clock by hand, click the switch and feed records.

#include "FormFixture.h"

#include "Frame.h"

#include "PortList.h"
#include "SerialPort.h"
#include "ToggleSwitch.h"

#include <QDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

// The scripted platform, with a hook that runs inside every pause.
struct WatchedPlatform : ScriptedPlatform {
    std::function<void(int)> onPause;
    void pause(int ms) override
    {
        if (onPause)
            onPause(ms);
        ScriptedPlatform::pause(ms);
    }
    std::vector<std::pair<QString, QString>> warningButtons; // OK and Cancel texts asked for
    bool warningOkCancel(QWidget* parent, const QString& title, const QString& text, const QString& okText,
                         const QString& cancelText) override
    {
        warningButtons.emplace_back(okText, cancelText);
        return ScriptedPlatform::warningOkCancel(parent, title, text, okText, cancelText);
    }
};

// A pseudo-terminal: the window opens the slave path, the test plays the controller on the
// master side.
struct Pty {
    int master = -1;
    QString path;

    Pty()
    {
        int slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path = QString::fromLocal8Bit(ttyname(slave));
        ::close(slave);
    }
    ~Pty() { hangUp(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void send(const QByteArray& bytes)
    {
        ASSERT_EQ(::write(master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }
    // Everything that arrives within timeoutMs; stops after quietMs without new bytes once
    // something came.
    QByteArray receive(int timeoutMs = 1000, int quietMs = 100)
    {
        QByteArray got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, got.isEmpty() ? 20 : quietMs) <= 0) {
                if (!got.isEmpty())
                    break;
                continue;
            }
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, n);
        }
        return got;
    }
    void hangUp()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
};

// One controller record: "-", the ten value lines, " ", each ended by CR LF.
inline QByteArray recordText(const QStringList& values)
{
    QByteArray out = "-\r\n";
    for (const QString& v : values)
        out += v.toLatin1() + "\r\n";
    out += " \r\n";
    return out;
}

// pH, PHmin, PHmax, PPM, KH, alarm, O2, CO2, brightness, contrast.
inline const QStringList kRecord{"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14"};

class FlowTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        setPlatform(&pf);
    }
    void TearDown() override
    {
        FormTest::TearDown();
        setPlatform(&plat);
    }

    // The window after start-up, shown, with its timer stopped: the tests tick by hand.
    TForm1& openWindow()
    {
        TForm1& f = create();
        f.Timer1->stop();
        f.show();
        return f;
    }

    // One tick as the event loop runs it (an escaping error is reported).
    void tick()
    {
        form->Guarded([this] { form->Timer1Timer(form->Timer1); });
    }
    void at(int h, int m, int s)
    {
        pf.setTime(h, m, s);
        tick();
    }

    // The user types or picks a port name.
    void choosePort(const QString& name)
    {
        form->ComboBox1->SetText(name);
        form->ComboBox1->OnChange(form->ComboBox1);
    }
    void clickSwitch()
    {
        QTest::mouseClick(form->ToggleSwitch1, Qt::LeftButton, {}, form->ToggleSwitch1->rect().center());
    }
    // Port chosen, switch shown by a tick and clicked on.
    void connectTo(const QString& port)
    {
        choosePort(port);
        tick();
        ASSERT_FALSE(form->ToggleSwitch1->isHidden());
        clickSwitch();
    }

    static bool waitFor(const std::function<bool()>& cond, int ms = 3000)
    {
        return QTest::qWaitFor(cond, ms);
    }

    // Sends a record (followed by a second copy, which completes the 24 lines that start an
    // extraction) and waits until the window has shown it.
    bool feedRecord(Pty& pty, const QStringList& values = kRecord)
    {
        form->Label7->SetCaption(QStringLiteral("?"));
        pty.send(recordText(values) + recordText(values));
        return waitFor([&] { return form->Label7->Caption() != QLatin1String("?"); });
    }

    // A sysfs tree under the test's folder: class/tty/<name> with the given attributes.
    QString sysfs() const { return QDir(work.path()).filePath(QStringLiteral("sys")); }
    void addTty(const QString& name, const QString& dev, bool hasDevice, const QString& type = QString())
    {
        QDir d(sysfs() + QStringLiteral("/class/tty/") + name);
        ASSERT_TRUE(d.mkpath(QStringLiteral(".")));
        if (hasDevice) {
            ASSERT_TRUE(d.mkpath(QStringLiteral("device")));
        }
        auto put = [&](const char* file, const QString& text) {
            QFile f(d.filePath(QString::fromLatin1(file)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text.toLatin1() + "\n");
        };
        put("dev", dev);
        if (!type.isNull())
            put("type", type);
    }

    WatchedPlatform pf;
};
