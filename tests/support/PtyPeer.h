#pragma once

// A pseudo-terminal pair standing in for the far end of a serial line: the port under test
// opens the slave path, the test talks through the master.

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <unistd.h>

struct PtyPeer {
    int master = -1;
    std::string path;

    PtyPeer()
    {
        int slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path = ttyname(slave);
        ::close(slave);
    }
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // The slave's path for Qt code.
    QString qPath() const { return QString::fromLocal8Bit(path.c_str()); }

    void send(const char* bytes) { send(std::string(bytes)); }
    void send(const QByteArray& bytes) { send(bytes.toStdString()); }
    void send(const std::string& bytes)
    {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Everything the port sent within timeoutMs; stops after quietMs without new bytes once
    // something came.
    std::string receive(int timeoutMs = 1000, int quietMs = 50)
    {
        std::string got;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, got.empty() ? 20 : quietMs) <= 0) {
                if (!got.empty())
                    break;
                continue;
            }
            char buf[4096];
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, size_t(n));
        }
        return got;
    }
    QByteArray receiveBytes(int timeoutMs = 1000, int quietMs = 100)
    {
        return QByteArray::fromStdString(receive(timeoutMs, quietMs));
    }
    // Closes the master: the slave side hangs up.
    void hangUp()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
};

// Runs the event loop until cond holds or timeoutMs passes.
inline bool waitUntil(const std::function<bool()>& cond, int timeoutMs = 3000)
{
    return QTest::qWaitFor(cond, timeoutMs);
}

// Runs the event loop for ms milliseconds (for checking that nothing happens).
inline void runEvents(int ms) { QTest::qWait(ms); }
