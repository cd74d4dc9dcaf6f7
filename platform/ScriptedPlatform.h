#pragma once

#include "Platform.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// A platform for tests: the clock is set by hand and moves only with pause(),
// dialogs answer from queues, and everything asked of it is recorded.
class ScriptedPlatform : public Platform {
public:
    QDateTime clock{QDate(2016, 10, 1), QTime(18, 0, 0)};
    QSize screen{1024, 768};
    QList<QRect> areas; // empty: the one screen of `screen`

    struct Message {
        QString title, text;
        bool error = false; // shown with the error icon
    };
    std::vector<Message> messages;                // message boxes shown
    std::vector<Message> warnings;                // warning questions asked
    std::deque<bool> warningAnswers;              // empty: answers OK
    std::deque<QString> openAnswers, saveAnswers; // none left, or an empty text: cancel
    std::vector<FileDialog> openAsked, saveAsked;
    std::vector<QStringList> started; // program followed by its arguments
    std::vector<QString> foldersOpened;
    std::vector<int> pauses;
    int beeps = 0;
    QString devices = QStringLiteral("/sys"); // the device tree the port list reads
    // Called from inside messageBox, while the box would be open.
    std::function<void(const Message&)> onMessage;
    std::vector<QString> closedBoxes;  // texts of the boxes closed by the program
    std::vector<QString> updatedBoxes; // new texts given to open boxes

    QDateTime now() override { return clock; }
    void pause(int ms) override
    {
        pauses.push_back(ms);
        clock = clock.addMSecs(ms);
    }
    QSize screenSize() override { return screen; }
    QList<QRect> screenAreas() override { return areas.isEmpty() ? Platform::screenAreas() : areas; }
    void beep() override { ++beeps; }
    void messageBox(QWidget*, const QString& title, const QString& text) override
    {
        record(title, text, false);
    }
    void errorBox(QWidget*, const QString& title, const QString& text) override { record(title, text, true); }
    // A box is open only while onMessage runs for it.
    bool closeBox(const QString& text) override
    {
        if (!openBox || *openBox != text)
            return false;
        closedBoxes.push_back(text);
        openBox.reset();
        return true;
    }
    // The open box takes the new text; the update is recorded.
    bool updateBox(const QString& text, const QString& newText) override
    {
        if (!openBox || *openBox != text)
            return false;
        updatedBoxes.push_back(newText);
        openBox = newText;
        return true;
    }
    bool warningOkCancel(QWidget*, const QString& title, const QString& text, const QString&,
                         const QString&) override
    {
        warnings.push_back({title, text});
        if (warningAnswers.empty())
            return true;
        bool a = warningAnswers.front();
        warningAnswers.pop_front();
        return a;
    }
    std::optional<QString> openFile(QWidget*, const FileDialog& d) override
    {
        openAsked.push_back(d);
        return take(openAnswers);
    }
    std::optional<QString> saveFile(QWidget*, const FileDialog& d) override
    {
        saveAsked.push_back(d);
        return take(saveAnswers);
    }
    bool startProgram(const QString& program, const QStringList& args) override
    {
        started.push_back(QStringList{program} + args);
        return true;
    }
    bool openFolder(const QString& folder) override
    {
        foldersOpened.push_back(folder);
        return true;
    }

    QString deviceTreeRoot() override { return devices; }

    void setTime(int h, int m, int s) { clock.setTime(QTime(h, m, s)); }

private:
    std::optional<QString> openBox;
    void record(const QString& title, const QString& text, bool error)
    {
        messages.push_back({title, text, error});
        const std::optional<QString> outer = openBox;
        openBox = text;
        if (onMessage)
            onMessage(messages.back());
        openBox = outer;
    }
    static std::optional<QString> take(std::deque<QString>& q)
    {
        if (q.empty())
            return std::nullopt;
        const QString a = q.front();
        q.pop_front();
        if (a.isEmpty())
            return std::nullopt;
        return a;
    }
};

// Installs a scripted platform for the lifetime of this object.
struct ScopedPlatform {
    ScriptedPlatform p;
    ScopedPlatform() { setPlatform(&p); }
    ~ScopedPlatform() { setPlatform(nullptr); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;
};
