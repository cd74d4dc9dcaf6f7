#include "TarloMainForm.h"

#include "ControllerPort.h"
#include "Frame.h"
#include "NumSpin.h"
#include "Pictures.h"
#include "SerialPort.h"
#include "Settings.h"
#include "ShadowLabel.h"
#include "ToggleSwitch.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>

TForm1* Form1 = nullptr;

QString applicationTitle() { return QStringLiteral("PH Controller Tarlo-01"); }

namespace {

const QString kSansSerif = QStringLiteral("MS Sans Serif");
const QString kArial = QStringLiteral("Arial");

QString u(const char* s) { return QString::fromUtf8(s); }

template <typename T>
T* place(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    T* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(left, top, width, height);
    return w;
}

struct LabelFont {
    QString family;
    int size;
    bool bold;
    QColor color;
};

TLabel* label(QWidget* parent, const char* name, int l, int t, int w, int h, const QString& caption,
              std::optional<LabelFont> font = std::nullopt, std::optional<QColor> color = std::nullopt,
              bool fixedSize = false)
{
    auto* lb = place<TLabel>(parent, name, l, t, w, h);
    lb->SetAutoSize(!fixedSize);
    if (font) {
        lb->setFont(layoutFont(font->family, font->size, font->bold));
        setFontColor(lb, font->color);
    }
    if (color)
        lb->SetColor(*color);
    lb->SetCaption(caption);
    return lb;
}

// Pictures and glyphs are set by TForm1::SetPictures, once they are decoded.
TImage* image(QWidget* parent, const char* name, int l, int t, int w, int h)
{
    return place<TImage>(parent, name, l, t, w, h);
}

TSpeedButton* speedButton(QWidget* parent, const char* name, int l, int t, int w, int h,
                          const QString& hintText = QString())
{
    auto* b = place<TSpeedButton>(parent, name, l, t, w, h);
    if (!hintText.isEmpty())
        setHint(b, hintText);
    return b;
}

void handCursor(QWidget* w) { w->setCursor(Qt::PointingHandCursor); }

TNumSpinEdit* spinEdit(QWidget* parent, const char* name, int l, int t, int w, int h, const SpinLimit& limit,
                       long double value, const QString& hintText)
{
    const TValueType type = limit.decimals > 0 ? vtFloat : vtInteger;
    const long double increment = limit.step, maxValue = limit.max, minValue = limit.min;
    auto* s = place<TNumSpinEdit>(parent, name, l, t, w, h);
    s->setFont(layoutFont(kSansSerif, 16, true));
    setFontColor(s, Qt::black);
    // The order the layout gives its properties: increment, maximum, minimum, type, value.
    s->SetIncrement(increment);
    s->SetMaxValue(maxValue);
    s->SetMinValue(minValue);
    s->SetValueType(type);
    s->SetValue(value);
    setHint(s, hintText);
    s->setEnabled(false);
    return s;
}

bool isWindowed(QWidget* w)
{
    return qobject_cast<TContainer*>(w) || qobject_cast<TMemo*>(w) || qobject_cast<TCheckBox*>(w) ||
           qobject_cast<TComboBox*>(w) || qobject_cast<TToggleSwitch*>(w) ||
           dynamic_cast<TNumCustomSpinEdit*>(w);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), receive_(std::make_unique<ReceiveBuffer>())
{
    setObjectName(QStringLiteral("Form1"));
    // The pictures are decoded on another thread while the controls are built here; the 2x
    // ones too when the screen the window opens on has more than one device pixel a pixel.
    // Another screen's need later loads them as they are first drawn.
    std::future<QHash<QString, QImage>> pictures = decodeAllPictures();
    std::optional<std::future<QHash<QString, QImage>>> dense;
    if (screen() && screen()->devicePixelRatio() > 1)
        dense = decodeAllPictures(2);
    setWindowTitle(QStringLiteral("Tarlo-02 - www.tarlo.pl"));
    setFont(layoutFont(kSansSerif, 11, true));
    setFontColor(this, Qt::white);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Colors::clActiveBorder);
    setPalette(p);
    // Auto size: the client area always fits the controls; the position stays free.
    setFixedSize(ClientWidth, ClientHeight);
    move(528, 110);

    CreateControls();
    SetPictures(pictures.get(), dense ? dense->get() : QHash<QString, QImage>());
    CreateNonVisual();
    ApplyStacking();
    ApplyTabOrder();
    BindHandlers();
    Memo->SetText(receive_->text());
    Memo1->SetText(QStringLiteral("\r\n"));
    Form1 = this;
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::CreateControls()
{
    const LabelFont clock{kSansSerif, 13, true, Qt::black};

    Image3 = image(this, "Image3", 0, 118, 345, 505);
    Image6 = image(this, "Image6", 275, 173, 32, 32);
    setHint(Image6, u("Pokaż folder z plikiem Excela"));
    Image6->hide();
    handCursor(Image6);
    Image5 = image(this, "Image5", 275, 173, 32, 32);

    Label5 = label(this, "Label5", 265, 110, 57, 16, u("18:00:00"), clock, Colors::clActiveBorder);
    setHint(Label5, u("obecna godzina ..."));
    Label4 = label(this, "Label4", 24, 110, 75, 16, u("2016-10-01"), clock, Colors::clActiveBorder);
    setHint(Label4, u("data ..."));
    Label3 = label(this, "Label3", 105, 110, 91, 16, u("Poniedzialek"), clock, Colors::clActiveBorder);
    Label3->SetAlignment(Qt::AlignHCenter);
    setHint(Label3, u("dziś jest ..."));
    for (TLabel* l : {Label5, Label4, Label3}) {
        l->setEnabled(false);
        handCursor(l);
    }

    const LabelFont panelSilver{kSansSerif, 16, true, Colors::clSilver};
    Label28 = label(this, "Label28", 264, 369, 41, 20, u("CON"), panelSilver, Qt::black, true);
    Label2 = label(this, "Label2", 46, 369, 32, 20, u("BRI"), panelSilver, Qt::black);

    SpeedButton5 = speedButton(this, "SpeedButton5", 70, 52, 21, 21, u("Odśwież COM"));
    Label29 = label(this, "Label29", 8, 88, 5, 13, QString(), std::nullopt, Colors::clActiveBorder);
    Label29->hide();
    Image7 = image(this, "Image7", 20, 80, 57, 25);
    SpeedButton7 = speedButton(this, "SpeedButton7", 70, 52, 21, 21, u("Restart zdalny"));
    SpeedButton7->hide();
    SpeedButton9 = speedButton(this, "SpeedButton9", 3, 82, 21, 21, u("Połączenie bezprzewodowe"));
    SpeedButton9->hide();
    SpeedButton8 = speedButton(this, "SpeedButton8", 3, 82, 21, 21, u("Połączenie kablowe"));
    SpeedButton8->hide();

    ToggleSwitch1 = place<TToggleSwitch>(this, "ToggleSwitch1", 24, 78, 47, 29);
    ToggleSwitch1->SetCaption(QStringLiteral("ToggleSwitch1"));
    // The picture must show the connection: every way of toggling runs the click handler.
    ToggleSwitch1->SetEveryToggleClicks(true);
    ToggleSwitch1->SetColor(Colors::clActiveBorder);
    setHint(ToggleSwitch1, u("Połącz ..."));
    handCursor(ToggleSwitch1);
    ToggleSwitch1->hide();

    Memo1 = place<TMemo>(this, "Memo1", 60, 216, 85, 121);
    Memo1->setFont(layoutFont(kSansSerif, 11, true));
    Memo = place<TMemo>(this, "Memo", 150, 216, 92, 121);
    Memo->setFont(layoutFont(kSansSerif, 11, false));
    // The two buffers lie under the display, never seen: they take no focus, so Tab goes
    // from one visible control to the next.
    for (TMemo* m : {Memo1, Memo}) {
        setFontColor(m, Qt::black);
        m->setFocusPolicy(Qt::NoFocus);
    }

    // --- GroupBox14: settings buttons and the configuration file name ---
    GroupBox14 = place<TGroupBox>(this, "GroupBox14", 93, 0, 249, 108);
    GroupBox14->setFont(layoutFont(kSansSerif, 11, true));
    setFontColor(GroupBox14, Colors::clWindowText);
    GroupBox14->SetColor(Colors::clActiveBorder);

    SpeedButton3 =
        speedButton(GroupBox14, "SpeedButton3", 152, 60, 89, 41, u("Wyślij ustawienia do urządzenia"));
    SpeedButton4 =
        speedButton(GroupBox14, "SpeedButton4", 8, 60, 89, 41, u("Pobierz ustawienia z urządzenia"));
    SpeedButton1 = speedButton(GroupBox14, "SpeedButton1", 8, 12, 41, 41, u("Pobierz ustawienia z pliku"));
    SpeedButton2 =
        speedButton(GroupBox14, "SpeedButton2", 200, 12, 41, 41, u("Zachowaj ustawienia do pliku"));
    for (TSpeedButton* b : {SpeedButton3, SpeedButton4, SpeedButton1, SpeedButton2})
        handCursor(b);
    SpeedButton10 = speedButton(GroupBox14, "SpeedButton10", 8, 12, 41, 41);
    SpeedButton11 = speedButton(GroupBox14, "SpeedButton11", 200, 12, 41, 41);
    SpeedButton13 = speedButton(GroupBox14, "SpeedButton13", 8, 60, 89, 41);
    SpeedButton14 = speedButton(GroupBox14, "SpeedButton14", 152, 60, 89, 41);
    Bevel2 = place<TBevel>(GroupBox14, "Bevel2", 56, 27, 137, 25);
    Label327 = label(GroupBox14, "Label327", 58, 18, 89, 13, u("Plik z konfiguracją "),
                     LabelFont{kSansSerif, 11, false, Colors::clWindowText});
    ShadowLabel1 = place<TShadowLabel>(GroupBox14, "ShadowLabel1", 64, 33, 121, 13);
    ShadowLabel1->SetAutoSize(false);
    ShadowLabel1->SetWordWrap(true);
    ShadowLabel1->setGeometry(64, 33, 121, 13);
    ShadowLabel1->SetCaption(QStringLiteral("*.*"));
    SetSettingsFolder(QStringLiteral("C:\\"));
    handCursor(ShadowLabel1);
    SpeedButton6 = speedButton(GroupBox14, "SpeedButton6", 104, 60, 41, 41,
                               u("Przywróć ustawienia domyślne (fabryczne)"));
    handCursor(SpeedButton6);
    SpeedButton12 = speedButton(GroupBox14, "SpeedButton12", 104, 60, 41, 41);

    // --- GroupBox1: the measurement display ---
    GroupBox1 = place<TGroupBox>(this, "GroupBox1", 50, 205, 249, 140);
    GroupBox1->SetColor(Colors::displayBlue);
    const LabelFont big{kSansSerif, 19, true, Colors::clWindowText};
    Label24 = label(GroupBox1, "Label24", 58, 108, 8, 24, u("("), big);
    Label7 = label(GroupBox1, "Label7", 60, 6, 81, 75, u("-,--"),
                   LabelFont{kArial, 64, true, Colors::clWindowText});
    Label8 = label(GroupBox1, "Label8", 8, 110, 28, 24, u("-,--"), big);
    Label9 = label(GroupBox1, "Label9", 201, 110, 28, 24, u("-,--"), big);
    Label10 = label(GroupBox1, "Label10", 106, 116, 40, 14, u("ALARM"),
                    LabelFont{kArial, 11, true, Colors::clGray});
    Label11 = label(GroupBox1, "Label11", 136, 70, 28, 24, u("-,--"), big);
    Label12 = label(GroupBox1, "Label12", 136, 90, 15, 24, u("--"), big);
    Image1 = image(GroupBox1, "Image1", 185, 8, 65, 81);
    Image2 = image(GroupBox1, "Image2", 1, 8, 65, 81);
    Label15 = label(GroupBox1, "Label15", 17, 65, 17, 24, u("O"),
                    LabelFont{kSansSerif, 19, true, Colors::clTeal}, Colors::displayBlue);
    Label18 = label(GroupBox1, "Label18", 8, 90, 35, 24, u("min"), big);
    Label20 = label(GroupBox1, "Label20", 200, 90, 40, 24, u("max"), big);
    Label21 = label(GroupBox1, "Label21", 72, 70, 50, 24, u("PPM:"), big);
    Label22 = label(GroupBox1, "Label22", 87, 90, 35, 24, u("KH:"), big);
    Image4 = image(GroupBox1, "Image4", 52, 93, 30, 17);
    Label17 = label(GroupBox1, "Label17", 64, 110, 28, 24, u("-,--"), big);
    Label23 = label(GroupBox1, "Label23", 145, 110, 28, 24, u("-,--"), big);
    Label25 = label(GroupBox1, "Label25", 184, 108, 8, 24, u(")"), big);
    Label26 = label(GroupBox1, "Label26", 32, 75, 9, 16, u("2"),
                    LabelFont{kSansSerif, 13, true, Colors::clTeal}, Colors::displayBlue);
    Label27 =
        label(GroupBox1, "Label27", 227, 76, 9, 16, u("2"), LabelFont{kSansSerif, 13, true, Colors::clGray});
    Label16 = label(GroupBox1, "Label16", 198, 65, 31, 24, u("CO"),
                    LabelFont{kSansSerif, 19, true, Colors::clGray});
    Image8 = image(GroupBox1, "Image8", 52, 93, 30, 17);
    for (QWidget* w : std::initializer_list<QWidget*>{Label7, Label8, Label9, Label11, Label12, Image1,
                                                      Image2, Image4, Label17, Label23, Image8})
        w->hide();

    Panel2 = place<TPanel>(this, "Panel2", 45, 205, 258, 143);
    Panel2->SetColor(Colors::clGray);

    CheckBox1 = place<TCheckBox>(this, "CheckBox1", 253, 183, 15, 14);
    {
        QPalette cp = CheckBox1->palette();
        cp.setColor(QPalette::Window, Colors::clMenu);
        CheckBox1->setPalette(cp);
    }
    setHint(CheckBox1, u("Zapisz do pliku Excela w formacie CSV"));
    CheckBox1->setEnabled(false);
    handCursor(CheckBox1);

    // --- GroupBox2: the language selector ---
    GroupBox2 = place<TGroupBox>(this, "GroupBox2", 2, 0, 88, 44);
    GroupBox2->setFont(layoutFont(kSansSerif, 11, false));
    setFontColor(GroupBox2, Qt::black);
    GroupBox2->SetColor(Colors::clActiveBorder);
    setHint(GroupBox2, u("   Wybór języka \r\nChoose language"));
    Image12 = image(GroupBox2, "Image12", 13, 13, 24, 24);
    setHint(Image12, u("Język polski"));
    Image12->hide();
    Image13 = image(GroupBox2, "Image13", 13, 13, 24, 24);
    setHint(Image13, u("Język polski"));
    Image14 = image(GroupBox2, "Image14", 53, 12, 24, 24);
    setHint(Image14, u("English language"));
    Image14->hide();
    Image15 = image(GroupBox2, "Image15", 53, 12, 24, 24);
    setHint(Image15, u("English language"));
    Label1 = label(GroupBox2, "Label1", 39, 23, 13, 13, u("PL"), LabelFont{kSansSerif, 11, false, Qt::black});
    setHint(Label1, u("polski"));

    // --- Panel1: range, alarm and KH settings ---
    Panel1 = place<TPanel>(this, "Panel1", 34, 470, 281, 104);
    Panel1->SetColor(Colors::clBtnText);
    Label13 = label(Panel1, "Label13", 8, 8, 82, 24, u("ZAKRES"),
                    LabelFont{kSansSerif, 19, true, Colors::clSilver});
    Label6 =
        label(Panel1, "Label6", 180, 3, 10, 29, u("-"), LabelFont{kSansSerif, 23, true, Colors::clSilver});
    Label14 = label(Panel1, "Label14", 8, 42, 149, 24, u("PRÓG ALARMU"),
                    LabelFont{kSansSerif, 19, true, Colors::clSilver});
    Label19 = label(Panel1, "Label19", 8, 73, 168, 24, u("TWW (KH) WODY"),
                    LabelFont{kSansSerif, 19, true, Colors::clSilver});
    NumSpinEdit7 = spinEdit(Panel1, "NumSpinEdit7", 100, 6, 73, 29, kSpinLimits.phMin, FactorySettings.phMin,
                            u("PH minimalne zakresu"));
    NumSpinEdit8 = spinEdit(Panel1, "NumSpinEdit8", 196, 6, 73, 28, kSpinLimits.phMax, FactorySettings.phMax,
                            u("PH maksymalne zakresu"));
    NumSpinEdit11 =
        spinEdit(Panel1, "NumSpinEdit11", 172, 39, 73, 28, kSpinLimits.threshold, FactorySettings.threshold,
                 u("Próg alarmu obliczany jako (PHmin-ALARM oraz PHmax+ALARM)"));
    NumSpinEdit12 = spinEdit(Panel1, "NumSpinEdit12", 188, 72, 57, 28, kSpinLimits.kh, FactorySettings.kh,
                             u("Twardość węglanowa wody TWW (KH)"));

    NumSpinEdit9 = spinEdit(this, "NumSpinEdit9", 33, 387, 60, 28, kSpinLimits.brightness,
                            FactorySettings.brightness, u("Jasność podświetlenia LCD"));
    NumSpinEdit10 = spinEdit(this, "NumSpinEdit10", 255, 387, 60, 28, kSpinLimits.contrast,
                             FactorySettings.contrast, u("Kontrast LCD"));

    ComboBox1 = place<TComboBox>(this, "ComboBox1", 2, 51, 66, 21);
    ComboBox1->setFont(layoutFont(kSansSerif, 11, false));
    setFontColor(ComboBox1, Qt::black);
    {
        QPalette cp = ComboBox1->palette();
        cp.setColor(QPalette::Base, Colors::clBtnFace);
        cp.setColor(QPalette::Button, Colors::clBtnFace);
        ComboBox1->setPalette(cp);
    }

    // Settings buttons start disabled with their frame.
    GroupBox14->SetEnabled(false);
}

void TForm1::SetPictures(const QHash<QString, QImage>& pictures, const QHash<QString, QImage>& dense)
{
    // Each picture at 1x and, loaded when a screen first needs them, at the other scales.
    const std::vector<int> scales(std::begin(kPictureScales), std::end(kPictureScales));
    const auto scaled = [&](const QString& name) {
        const QImage decoded = dense.value(name);
        return ScaledPicture(
            pictures.value(name),
            [name, decoded](int scale) {
                return scale == 2 && !decoded.isNull() ? decoded : picture(name, scale);
            },
            scales);
    };
    // Each picture is named after the control that shows it.
    for (TImage* im : findChildren<TImage*>())
        if (pictures.contains(im->objectName()))
            im->SetPicture(scaled(im->objectName()));
    for (TSpeedButton* b : findChildren<TSpeedButton*>())
        if (pictures.contains(b->objectName()))
            b->SetGlyph(scaled(b->objectName()));
    ToggleSwitch1->SetGlyphOff(scaled(QStringLiteral("ToggleSwitch1Off")));
    ToggleSwitch1->SetGlyphOn(scaled(QStringLiteral("ToggleSwitch1On")));
    QIcon icon(QPixmap::fromImage(pictures.value(QStringLiteral("AppIcon"))));
    if (const QImage denseIcon = dense.value(QStringLiteral("AppIcon")); !denseIcon.isNull())
        icon.addPixmap(QPixmap::fromImage(denseIcon));
    setWindowIcon(icon);
}

void TForm1::CreateNonVisual()
{
    ComPort = new TComPort(this);
    ComPort->setObjectName(QStringLiteral("ComPort"));
    configureControllerPort(*ComPort);
    ComPort->SetPort("COM1");

    // Timer1 asks for 1 ms, which the window timer it stands for gives as a tick every 10 ms.
    // A tick changes something only at a second boundary and, while connected, on each of
    // those ticks in a restart second; so the timer is armed for exactly those moments, one
    // at a time, and sleeps in between.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setSingleShot(true);

    const QString filter = u("Pliki ustawień Tarlo-01 (*.tarlo)");
    SaveDialog1 = {QString(), QStringLiteral("ustawienia"), filter, QStringLiteral("tarlo")};
    OpenDialog1 = {QString(), QStringLiteral("ustawienia"), filter, QStringLiteral("tarlo")};
}

void TForm1::ApplyStacking()
{
    // Within one parent the windowed controls lie above the others, each group in creation order.
    for (QWidget* parent : std::initializer_list<QWidget*>{this, GroupBox14, GroupBox1, GroupBox2, Panel1}) {
        const auto children = parent->children();
        for (QObject* o : children) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->objectName().isEmpty() && isWindowed(w))
                w->raise();
        }
    }
    GroupBox14->SetEnabled(GroupBox14->Enabled());
}

void TForm1::ApplyTabOrder()
{
    // Focusable controls in the layout's tab order; the buffers under the display take no focus.
    QWidget* order[] = {ToggleSwitch1, CheckBox1,    NumSpinEdit7,  NumSpinEdit8, NumSpinEdit11,
                        NumSpinEdit12, NumSpinEdit9, NumSpinEdit10, ComboBox1};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TForm1::BindHandlers()
{
    auto bind = [this](TNotifyEvent& slot, void (TForm1::*handler)(QObject*)) {
        slot = [this, handler](QObject* sender) { Guarded([&] { (this->*handler)(sender); }); };
    };
    bind(Image6->OnClick, &TForm1::Image6Click);
    bind(Label5->OnClick, &TForm1::Label5Click);
    bind(Label4->OnClick, &TForm1::Label4Click);
    bind(Label3->OnClick, &TForm1::Label3Click);
    bind(SpeedButton5->OnClick, &TForm1::SpeedButton5Click);
    bind(SpeedButton7->OnClick, &TForm1::SpeedButton7Click);
    bind(SpeedButton9->OnClick, &TForm1::SpeedButton9Click);
    bind(SpeedButton8->OnClick, &TForm1::SpeedButton8Click);
    bind(ToggleSwitch1->OnClick, &TForm1::ToggleSwitch1Click);
    bind(CheckBox1->OnClick, &TForm1::CheckBox1Click);
    bind(ComboBox1->OnChange, &TForm1::ComboBox1Change);
    bind(ComboBox1->OnEnter, &TForm1::ComboBox1Enter);
    bind(SpeedButton3->OnClick, &TForm1::SpeedButton3Click);
    bind(SpeedButton4->OnClick, &TForm1::SpeedButton4Click);
    bind(SpeedButton1->OnClick, &TForm1::SpeedButton1Click);
    bind(SpeedButton2->OnClick, &TForm1::SpeedButton2Click);
    bind(ShadowLabel1->OnClick, &TForm1::ShadowLabel1Click);
    bind(SpeedButton6->OnClick, &TForm1::SpeedButton6Click);
    bind(Image12->OnClick, &TForm1::Image12Click);
    bind(Image15->OnClick, &TForm1::Image15Click);
    // The received-data handler runs as a delivery of the port's event thread; what escapes
    // it ends that thread's deliveries, so it handles its own errors.
    ComPort->OnRxChar = [this](QObject* sender, int count) { ComPortRxChar(sender, count); };
    connect(Timer1, &QTimer::timeout, this, &TForm1::RunTick);
    Timer1->start(0);
    // What the tick follows between its runs, followed at once: the switch offered as soon
    // as there is a port name, and the restart ticks as soon as the switch is on.
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ShowSwitchForPortName(); });
    ToggleSwitch1->OnOn = ToggleSwitch1->OnOff = [this](QObject*) {
        if (Timer1->isActive())
            ArmTimer1();
    };
}

void TForm1::closeEvent(QCloseEvent* e)
{
    bool close = true;
    Guarded([&] { close = FormClose(this); });
    if (close)
        e->accept();
    else
        e->ignore();
}

QString TForm1::ErrorText(const QString& message)
{
    QString text = message;
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    return text;
}

void TForm1::ShowError(const QString& message)
{
    platform().errorBox(this, applicationTitle(), ErrorText(messageIn(CurrentLanguage(), message)));
}

int TForm1::Left() const { return x(); }
int TForm1::Top() const { return y(); }
int TForm1::Width() const { return frameGeometry().width(); }
int TForm1::Height() const { return frameGeometry().height(); }

void TForm1::SetBounds(int left, int top, int width, int height)
{
    move(left, top);
    // The fitted size has the last word; the stored width and height have no effect.
    Q_UNUSED(width);
    Q_UNUSED(height);
}

std::array<QWidget*, 9> TForm1::ValueDisplays() const
{
    return {Label7, Label8, Label9, Label10, Label11, Label12, Label17, Label23, Image4};
}

bool TForm1::PolishActive() const { return !Image13->isHidden(); }
bool TForm1::EnglishActive() const { return !Image14->isHidden(); }

QString TForm1::PortInUse() const { return Label29->Caption(); }
void TForm1::SetPortInUse(const QString& port) { Label29->SetCaption(port); }

QString TForm1::SettingsFolder() const { return hint(ShadowLabel1); }
void TForm1::SetSettingsFolder(const QString& folder) { setHint(ShadowLabel1, folder); }

void TForm1::ShowReceiveBuffer() { Memo->SetText(receive_->text()); }

void TForm1::SetFrameBufferText(const QString& text) { Memo1->SetText(text); }
QString TForm1::FrameBufferText() const { return Memo1->GivenText(); }
