#pragma once

#include "FolderLock.h"
#include "LanguageTexts.h"
#include "Platform.h"
#include "Preferences.h"
#include "QuitSignals.h"
#include "StandardControls.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

class TComPort;
class TToggleSwitch;
class TNumSpinEdit;
class TShadowLabel;
class ReceiveBuffer;
struct SpinValues;
struct SpinSettings;

// The main window: a picture of the controller's front panel with every control at a fixed
// place. The handlers are named after their control and event; each subsystem's handlers
// are defined in that subsystem's folder.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;
    // Builds the window and runs its create event, as the program entry does.
    static TForm1* Create();

    // The client area always fits the controls: 345 x 623.
    static constexpr int ClientWidth = 345;
    static constexpr int ClientHeight = 623;

    // Window position and size as the preferences store them (outer frame).
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetBounds(int left, int top, int width, int height);

    // Polish while Image13 is visible, English while Image14 is.
    bool PolishActive() const;
    bool EnglishActive() const;
    Language CurrentLanguage() const { return PolishActive() ? Language::Polish : Language::English; }

    // The port name last applied from the port box; Label29 holds it, hidden.
    QString PortInUse() const;
    void SetPortInUse(const QString& port);
    // The folder the settings-file dialogs last opened in; the shadow label's hint shows it.
    QString SettingsFolder() const;
    void SetSettingsFolder(const QString& folder);

    // The receive buffer behind Memo, and the frame buffer shown in Memo1.
    ReceiveBuffer& ReceiveText() { return *receive_; }
    void ShowReceiveBuffer();
    void SetFrameBufferText(const QString& text);
    QString FrameBufferText() const;

    // --- controls on the window, in creation order ---
    TImage* Image3;               // the controller's front panel, the window's background
    TImage* Image6;               // spreadsheet icon: opens the log folder (while connected)
    TImage* Image5;               // the same icon greyed (while not connected)
    TLabel* Label5;               // clock time; click opens the system date and time settings
    TLabel* Label4;               // date; click opens the date and time settings
    TLabel* Label3;               // weekday; click opens the date and time settings
    TLabel* Label28;              // "CON", beside the contrast edit
    TLabel* Label2;               // "BRI", beside the brightness edit
    TSpeedButton* SpeedButton5;   // lists the system's serial ports
    TLabel* Label29;              // hidden: the port name last applied
    TImage* Image7;               // grey field in place of the hidden switch
    TSpeedButton* SpeedButton7;   // restarts the controller (while connected)
    TSpeedButton* SpeedButton9;   // wireless link chosen; click picks the cable
    TSpeedButton* SpeedButton8;   // cable link chosen; click picks wireless
    TToggleSwitch* ToggleSwitch1; // the connection switch
    TMemo* Memo1;                 // frame buffer: the last record's twelve lines (covered)
    TMemo* Memo;                  // receive buffer: text received since the last record (covered)
    TGroupBox* GroupBox14;        // frame of the settings buttons
    TGroupBox* GroupBox1;         // the measurement display
    TPanel* Panel2;               // grey cover over the display while not connected
    TCheckBox* CheckBox1;         // log measurements to a CSV file
    TGroupBox* GroupBox2;         // the language selector
    TPanel* Panel1;               // range, alarm and KH settings
    TNumSpinEdit* NumSpinEdit9;   // LCD brightness
    TNumSpinEdit* NumSpinEdit10;  // LCD contrast
    TComboBox* ComboBox1;         // port name, typed or picked from the list

    // in GroupBox14
    TSpeedButton* SpeedButton3;  // sends the settings to the device
    TSpeedButton* SpeedButton4;  // takes the settings from the last record
    TSpeedButton* SpeedButton1;  // loads a settings file
    TSpeedButton* SpeedButton2;  // saves a settings file
    TSpeedButton* SpeedButton10; // greyed cover of SpeedButton1
    TSpeedButton* SpeedButton11; // greyed cover of SpeedButton2
    TSpeedButton* SpeedButton13; // greyed cover of SpeedButton4
    TSpeedButton* SpeedButton14; // greyed cover of SpeedButton3
    TBevel* Bevel2;              // frames the settings file name
    TLabel* Label327;            // "Plik z konfiguracją"
    TShadowLabel* ShadowLabel1;  // name of the last settings file; its hint is the folder
    TSpeedButton* SpeedButton6;  // restores the factory settings
    TSpeedButton* SpeedButton12; // greyed cover of SpeedButton6

    // in GroupBox1
    TLabel* Label24; // "("
    TLabel* Label7;  // current pH
    TLabel* Label8;  // pH range minimum
    TLabel* Label9;  // pH range maximum
    TLabel* Label10; // "ALARM"
    TLabel* Label11; // CO2 in PPM
    TLabel* Label12; // KH
    TImage* Image1;  // CO2 output on (bubbles, right)
    TImage* Image2;  // O2 output on (bubbles, left)
    TLabel* Label15; // "O" of O2
    TLabel* Label18; // "min"
    TLabel* Label20; // "max"
    TLabel* Label21; // "PPM:"
    TLabel* Label22; // "KH:"
    TImage* Image4;  // wireless link icon
    TLabel* Label17; // lower alarm limit
    TLabel* Label23; // upper alarm limit
    TLabel* Label25; // ")"
    TLabel* Label26; // subscript "2" of O2
    TLabel* Label27; // subscript "2" of CO2
    TLabel* Label16; // "CO" of CO2
    TImage* Image8;  // USB link icon

    // in GroupBox2
    TImage* Image12; // Polish flag, greyed: click for Polish
    TImage* Image13; // Polish flag in colour: Polish is on
    TImage* Image14; // British flag in colour: English is on
    TImage* Image15; // British flag, greyed: click for English
    TLabel* Label1;  // "PL"/"EN", the language in use

    // in Panel1
    TLabel* Label13;             // "ZAKRES"
    TLabel* Label6;              // dash between the range values
    TLabel* Label14;             // "PRÓG ALARMU"
    TLabel* Label19;             // "TWW (KH) WODY"
    TNumSpinEdit* NumSpinEdit7;  // pH range minimum setting
    TNumSpinEdit* NumSpinEdit8;  // pH range maximum setting
    TNumSpinEdit* NumSpinEdit11; // alarm threshold setting
    TNumSpinEdit* NumSpinEdit12; // KH setting

    // non-visual
    TComPort* ComPort;                // the serial port to the controller
    QTimer* Timer1;                   // the clock tick
    Platform::FileDialog SaveDialog1; // the settings-file save dialog
    Platform::FileDialog OpenDialog1; // the settings-file open dialog

    // --- handlers ---
    void FormCreate(QObject* Sender);
    // Returns false when the close must not go on.
    bool FormClose(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    // One tick as Timer1 runs it: Timer1Timer, then the timer armed for the next tick.
    void RunTick();
    // Arms Timer1 for the next moment a tick can change something, from the platform clock.
    void ArmTimer1();
    void ComPortRxChar(QObject* Sender, int Count);
    void Image12Click(QObject* Sender);
    void Image15Click(QObject* Sender);
    void EnumComPorts();
    void ComboBox1Enter(QObject* Sender);
    void SpeedButton5Click(QObject* Sender);
    void ComboBox1Change(QObject* Sender);
    void ToggleSwitch1Click(QObject* Sender);
    void SpeedButton8Click(QObject* Sender);
    void SpeedButton9Click(QObject* Sender);
    void SpeedButton3Click(QObject* Sender);
    void SpeedButton4Click(QObject* Sender);
    void SpeedButton6Click(QObject* Sender);
    void SpeedButton7Click(QObject* Sender);
    void Label3Click(QObject* Sender);
    void Label4Click(QObject* Sender);
    void Label5Click(QObject* Sender);
    void SpeedButton1Click(QObject* Sender);
    void SpeedButton2Click(QObject* Sender);
    void ShadowLabel1Click(QObject* Sender);
    void CheckBox1Click(QObject* Sender);
    void Image6Click(QObject* Sender);

    // The log step for a good record: false when a file error ended it (the user is told
    // once, from the event loop). Finishing renames the current log with its end stamp.
    bool LogStep();
    void FinishLog();

    // The application's default error report: a message box titled with the application
    // title, "." appended when the message ends in a character above ".".
    void ShowError(const QString& message);
    // The text ShowError shows for a message.
    static QString ErrorText(const QString& message);
    // The folder the logs and the preferences are written to: the working folder's path as it
    // was at start, so a folder deleted and made again at that path gets the next log.
    const QString& Folder() const { return folder_; }
    // True from a connect that opened the port until the disconnect: the arrangement the window
    // shows, and what the restart seconds follow (never the switch picture alone, which a held
    // press flips before anything is decided).
    bool Working() const { return working_; }
    // Runs a handler the way the event loop does: an escaping error is reported.
    template <typename F>
    void Guarded(F&& f);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();
    // Gives every picture, glyph and the window icon to its control, by name: the 1x pictures,
    // and the 2x ones when they were decoded with them (else each is loaded when first needed).
    void SetPictures(const QHash<QString, QImage>& pictures, const QHash<QString, QImage>& dense);
    void CreateNonVisual();
    void BindHandlers();
    void ApplyStacking();
    void ApplyTabOrder();
    void SwitchLanguage(Language lang);
    // The six spin edits' values after each has committed its text.
    SpinValues CommittedSpinValues();
    // Gives the spin edits the values there are, in order; then raises the conversion error
    // that stopped them, if any.
    void SetSpinEdits(const SpinSettings& values);
    // Runs the save or open dialog for a settings file; the chosen path, completed with the
    // settings extension, or nothing when cancelled.
    std::optional<QString> ChooseSettingsFile(bool saving);
    // The measured values and the link icon: shown by a good record, hidden on disconnecting.
    std::array<QWidget*, 9> ValueDisplays() const;
    void ApplyPreferences(const Preferences::Stored& stored);
    void FirstRun(const QString& path);
    void PlaceAsFirstRun();
    bool TitleBarOnAScreen() const;
    // The bytes of a port name for the serial port and the preferences file.
    std::string PortBytes(const QString& name) const;

    // A logging failure, with the rows waiting in memory; told once an outage.
    void ReportLogError(const QString& message, qsizetype waiting);
    // Logging works again after a failure the user was told of, and the rows that waited are
    // written.
    void ReportLogRecovered(qsizetype waited);
    // Adds a line to the one box about logging: it opens, or the open one is updated.
    void TellAboutLogging(const QString& line);
    // Finishes the log of a past day at the tick after midnight.
    void FinishPastDaysLog();
    // The switch where there is a port name, the grey field in its place where there is none.
    void ShowSwitchForPortName();
    // The send buttons, or their greyed covers while the port could not be reopened.
    void ShowSendButtonsEnabled(bool enabled);
    // Label3: the weekday of `date` in the current language.
    void ShowWeekday(const QDate& date);
    // Reads the wall clock into clockNow_ and clockTime_ when its second has moved on since the
    // last reading; false when it has not.
    bool ReadClock();
    // The wall clock's time of day, from the last reading while its second lasts.
    QTime ClockTime();
    // Reports a failed reopen of the port's restart, queued after the tick.
    void ReportRestartError(const QString& message, const QDateTime& now);

    std::unique_ptr<ReceiveBuffer> receive_;
    bool logFailing_ = false;
    QStringList logBoxLines_; // the box about logging: outages and recoveries, newest first
    QString logBoxText_;      // its text as shown
    bool logBoxOpen_ = false;
    bool logBoxQueued_ = false; // opens from the event loop
    QString folder_;
    bool working_ = false;
    QByteArray storedPortBytes_; // line 1 of the preferences file as read
    QString restartErrorSecond_;
    bool restartErrorOpen_ = false;
    QString restartErrorText_; // the box of the failed restart, closed once the port opens again
    // The tick's last reading of the wall clock: the time, its second since 1970 and the
    // time as Label5 shows it.
    QDateTime clockNow_;
    qint64 clockSecond_ = std::numeric_limits<qint64>::min();
    QString clockTime_;
};

// The form of this run (nullptr before it exists).
extern TForm1* Form1;

QString applicationTitle();

// What the start-up bench watches of the program's start; each hook may be empty.
struct StartHooks {
    std::function<void()> applicationReady;   // the application made, the fonts loaded
    std::function<void(TForm1*)> windowBuilt; // the window built and created, not yet shown
    std::function<void()> windowShown;
};

// The lock that makes this the one copy of the program in the working folder. When another
// copy holds it, the user is told in the language of that folder's preferences, and nothing.
std::optional<FolderLock> LockWorkingFolder();

// SIGTERM, SIGINT and SIGHUP close the window from the event loop as the user would: the log
// finished, the preferences stored. For as long as the returned object lives.
std::unique_ptr<QuitSignals> CloseOnQuitSignals(TForm1& form);

// The whole program from its entry: the application, the window, the event loop. The bench
// runs the same sequence to time it.
int runProgram(int argc, char** argv, const StartHooks& hooks = {});

template <typename F>
void TForm1::Guarded(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}
