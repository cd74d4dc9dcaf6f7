#pragma once

#include "Controls.h"
#include "LanguageTexts.h"
#include "Platform.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

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

    // The receive buffer behind Memo, and the frame buffer shown in Memo1.
    ReceiveBuffer& ReceiveText() { return *receive_; }
    void ShowReceiveBuffer();
    void SetFrameBufferText(const QString& text);
    QString FrameBufferText() const { return frameText_; }

    // --- controls on the window, in creation order ---
    TImage* Image3;
    TImage* Image6;
    TImage* Image5;
    TLabel* Label5;
    TLabel* Label4;
    TLabel* Label3;
    TLabel* Label28;
    TLabel* Label2;
    TSpeedButton* SpeedButton5;
    TLabel* Label29;
    TImage* Image7;
    TSpeedButton* SpeedButton7;
    TSpeedButton* SpeedButton9;
    TSpeedButton* SpeedButton8;
    TToggleSwitch* ToggleSwitch1;
    TMemo* Memo1;
    TMemo* Memo;
    TGroupBox* GroupBox14;
    TGroupBox* GroupBox1;
    TPanel* Panel2;
    TCheckBox* CheckBox1;
    TGroupBox* GroupBox2;
    TPanel* Panel1;
    TNumSpinEdit* NumSpinEdit9;
    TNumSpinEdit* NumSpinEdit10;
    TComboBox* ComboBox1;

    // in GroupBox14
    TSpeedButton* SpeedButton3;
    TSpeedButton* SpeedButton4;
    TSpeedButton* SpeedButton1;
    TSpeedButton* SpeedButton2;
    TSpeedButton* SpeedButton10;
    TSpeedButton* SpeedButton11;
    TSpeedButton* SpeedButton13;
    TSpeedButton* SpeedButton14;
    TBevel* Bevel2;
    TLabel* Label327;
    TShadowLabel* ShadowLabel1;
    TSpeedButton* SpeedButton6;
    TSpeedButton* SpeedButton12;

    // in GroupBox1
    TLabel* Label24;
    TLabel* Label7;
    TLabel* Label8;
    TLabel* Label9;
    TLabel* Label10;
    TLabel* Label11;
    TLabel* Label12;
    TImage* Image1;
    TImage* Image2;
    TLabel* Label15;
    TLabel* Label18;
    TLabel* Label20;
    TLabel* Label21;
    TLabel* Label22;
    TImage* Image4;
    TLabel* Label17;
    TLabel* Label23;
    TLabel* Label25;
    TLabel* Label26;
    TLabel* Label27;
    TLabel* Label16;
    TImage* Image8;

    // in GroupBox2
    TImage* Image12;
    TImage* Image13;
    TImage* Image14;
    TImage* Image15;
    TLabel* Label1;

    // in Panel1
    TLabel* Label13;
    TLabel* Label6;
    TLabel* Label14;
    TLabel* Label19;
    TNumSpinEdit* NumSpinEdit7;
    TNumSpinEdit* NumSpinEdit8;
    TNumSpinEdit* NumSpinEdit11;
    TNumSpinEdit* NumSpinEdit12;

    // non-visual
    TComPort* ComPort;
    QTimer* Timer1;
    Platform::FileDialog SaveDialog1;
    Platform::FileDialog OpenDialog1;

    // --- handlers ---
    void FormCreate(QObject* Sender);
    // Returns false when the close must not go on.
    bool FormClose(QObject* Sender);
    void Timer1Timer(QObject* Sender);
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
    // Runs a handler the way the event loop does: an escaping error is reported.
    template <typename F>
    void Guarded(F&& f);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();
    void CreateNonVisual();
    void BindHandlers();
    void ApplyStacking();
    void ApplyTabOrder();
    void SwitchLanguage(Language lang);
    SpinValues SpinEditValues() const;
    // Gives the spin edits the values there are, in order; then raises the conversion error
    // that stopped them, if any.
    void SetSpinEdits(const SpinSettings& values);
    // Runs the save or open dialog for a settings file; the chosen path, completed with the
    // settings extension, or nothing when cancelled.
    std::optional<QString> ChooseSettingsFile(bool saving);
    // The measured values and the link icon: shown by a good record, hidden on disconnecting.
    std::array<QWidget*, 9> ValueDisplays() const;
    void ApplyPreferences(const QStringList& lines);
    void FirstRun(const QString& path);

    void ReportLogError(const QString& message);

    std::unique_ptr<ReceiveBuffer> receive_;
    QString memoText_;  // what Memo shows
    QString frameText_; // what Memo1 shows
    bool logFailing_ = false;
    QString restartErrorSecond_;
    bool restartErrorOpen_ = false;
};

// The form of this run (nullptr before it exists).
extern TForm1* Form1;

QString applicationTitle();

template <typename F>
void TForm1::Guarded(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}
