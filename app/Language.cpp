// Switching the window between Polish and English.

#include "TarloMainForm.h"

#include "NumSpin.h"
#include "SerialPort.h"
#include "ShadowLabel.h"
#include "ToggleSwitch.h"

void TForm1::SwitchLanguage(Language lang)
{
    for (const LanguageStep& step : languageSteps()) {
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(step.control));
        if (!w)
            continue;
        const QString& value = lang == Language::Polish ? step.polish : step.english;
        switch (step.kind) {
        case LanguageStep::Visible:
            w->setVisible(value == QLatin1String("1"));
            break;
        case LanguageStep::Left:
            w->move(value.toInt(), w->y());
            break;
        case LanguageStep::Caption:
            if (auto* l = qobject_cast<TLabel*>(w))
                l->SetCaption(value);
            break;
        case LanguageStep::Hint:
            setHint(w, value);
            break;
        case LanguageStep::SwitchHint:
            // Follows the port, not the switch: the text for disconnecting while it is open.
            setHint(w, switchHint(lang, ComPort->Connected()));
            break;
        }
    }
    // The tick shows the weekday once a second; a language change shows it at once.
    ShowWeekday(platform().now().date());
}

void TForm1::Image12Click(QObject*) { SwitchLanguage(Language::Polish); }

void TForm1::Image15Click(QObject*) { SwitchLanguage(Language::English); }
