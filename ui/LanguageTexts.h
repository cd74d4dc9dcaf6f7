#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

// The texts of the window in Polish and English.

enum class Language { Polish, English };

// One property that a language switch sets, in the order the switch sets them.
struct LanguageStep {
    enum Kind { Visible, Left, Caption, Hint, SwitchHint };
    const char* control; // name of the control
    Kind kind;
    QString polish;  // value written when switching to Polish ("1"/"0" for Visible, a number for Left)
    QString english; // value written when switching to English
};

// Every property the two language handlers set, in order. The switch hint depends on whether
// the port is open and is given by switchHint().
const std::vector<LanguageStep>& languageSteps();

// Hint of the connection switch: the text for disconnecting while connected.
QString switchHint(Language lang, bool connected);

// Weekday name for a day of the week numbered 1 = Sunday to 7 = Saturday.
QString weekdayName(Language lang, int dayOfWeek);

QString factoryQuestion(Language lang);
QString factoryDoneMessage(Language lang);

// Lines of the box about logging. An outage: its time, the error's text and, when rows wait in
// memory, how many so far. A recovery: since when logging works, to which file, and how many
// rows that waited are now written.
QString logOutageText(Language lang, const QDateTime& at, const QString& error, qsizetype waiting);
QString logRecoveryText(Language lang, const QDateTime& since, const QString& file, qsizetype waited);

// A message of the program's own in the language: the Polish form of its English text (a
// system's reason for a failed file operation too, where known). A text that is not ours (the
// serial component's, a conversion's) stands as it is.
QString messageIn(Language lang, const QString& message);

// The filter of the settings-file dialogs.
QString settingsFileFilter(Language lang);
