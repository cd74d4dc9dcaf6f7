// Choosing the port and the link type, and the connection switch.

#include "TarloMainForm.h"

#include "Frame.h"
#include "NumSpin.h"
#include "PortList.h"
#include "ProgramState.h"
#include "SerialPort.h"
#include "ToggleSwitch.h"

namespace {
const QString kNoPortsMessage =
    QString::fromUtf8("                                  Brak zainstalowanych portów COM!\r\n\r\n"
                      "1. Podłącz bezprzewodowy nadajnik do dowolnego USB tego komputera\r\n"
                      "2. Sprawdź w Menadżeże Urządzeń, czy się poprawnie zainstalował COM");
} // namespace

void TForm1::EnumComPorts()
{
    ComboBox1->clear();
    ComboBox1->SetText(QString());
    // The name chosen before survives the refresh.
    ComboBox1->SetText(PortInUse());
    const QStringList ports = serialPortNames(platform().deviceTreeRoot());
    if (ports.isEmpty()) {
        platform().messageBox(this, applicationTitle(), kNoPortsMessage);
        return;
    }
    const QString text = ComboBox1->Text();
    ComboBox1->addItems(ports);
    ComboBox1->SetText(text);
}

void TForm1::ComboBox1Enter(QObject*) { EnumComPorts(); }

void TForm1::SpeedButton5Click(QObject*) { EnumComPorts(); }

void TForm1::ComboBox1Change(QObject*)
{
    const QString text = ComboBox1->Text();
    ComPort->SetPort(text.isEmpty() ? std::string("COM1") : PortBytes(text));
    SetPortInUse(Preferences::decodeLine(QByteArray::fromStdString(ComPort->Port())));
    // A typed text that cannot start a port name is cleared (the port keeps it). Device
    // paths start with "/".
    if (!text.isEmpty() && !QStringLiteral("COM/").contains(text.front()))
        ComboBox1->SetText(QString());
}

void TForm1::ToggleSwitch1Click(QObject*)
{
    // The grey copies and the grey panel cover the working controls while not connected.
    QWidget* const coverings[] = {SpeedButton10, SpeedButton11, SpeedButton12,
                                  SpeedButton13, SpeedButton14, Panel2};
    TNumSpinEdit* const settings[] = {NumSpinEdit7,  NumSpinEdit8,  NumSpinEdit9,
                                      NumSpinEdit10, NumSpinEdit11, NumSpinEdit12};
    receive_->reset();
    ShowReceiveBuffer();
    if (ToggleSwitch1->StateOn()) {
        try {
            ComPort->OpenPort();
        } catch (...) {
            // Nothing is open: the switch goes back off with the window idle, so no restart
            // second opens the port behind the user's back.
            ToggleSwitch1->SetStateOn(false);
            throw;
        }
        for (int i = 0; i < 30; ++i)
            platform().pause(10);
        SpeedButton9->hide();
        SpeedButton8->hide();
        if (State().LinkType == 1) {
            Image8->hide();
            Image4->show();
        } else if (State().LinkType == 0) {
            Image4->hide();
            Image8->show();
        }
        ComboBox1->setEnabled(false);
        SpeedButton5->hide();
        SpeedButton7->show();
        GroupBox14->SetEnabled(true);
        setHint(ToggleSwitch1, switchHint(CurrentLanguage(), true));
        for (QWidget* w : coverings)
            w->hide();
        for (TNumSpinEdit* e : settings)
            e->setEnabled(true);
        for (TLabel* l : {Label3, Label4, Label5})
            l->setEnabled(true);
        Image5->hide();
        Image6->show();
        CheckBox1->setEnabled(true);
        for (TLabel* l : {Label13, Label14, Label19})
            l->setEnabled(true);
        working_ = true;
    } else {
        working_ = false;
        if (ComPort->Connected())
            ComPort->ClosePort();
        if (State().LinkType == 0) {
            SpeedButton8->show();
            SpeedButton9->hide();
        } else if (State().LinkType == 1) {
            SpeedButton8->hide();
            SpeedButton9->show();
        }
        ComboBox1->setEnabled(true);
        SpeedButton5->show();
        SpeedButton7->hide();
        GroupBox14->SetEnabled(false);
        setHint(ToggleSwitch1, switchHint(CurrentLanguage(), false));
        for (QWidget* w : coverings)
            w->show();
        for (TNumSpinEdit* e : settings)
            e->setEnabled(false);
        for (QWidget* w : ValueDisplays())
            w->hide();
        // Label8 stays enabled: nothing would enable it again, and the pH minimum would show
        // greyed after every reconnect.
        for (TLabel* l : {Label3, Label4, Label5})
            l->setEnabled(false);
        Image5->show();
        Image6->hide();
        CheckBox1->setEnabled(false);
    }
    // The restart seconds are ticked through only while working.
    if (Timer1->isActive())
        ArmTimer1();
}

void TForm1::SpeedButton8Click(QObject*)
{
    State().LinkType = 1;
    SpeedButton9->show();
    SpeedButton8->hide();
}

void TForm1::SpeedButton9Click(QObject*)
{
    State().LinkType = 0;
    SpeedButton8->show();
    SpeedButton9->hide();
}
