#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <initializer_list>

// The lines of a record that follow its "-" separator, by name. This order is the one place
// that ties a line's position in the controller's record to its meaning.
// PhMin, PhMax, Kh, Alarm, Brightness and Contrast double as the settings record.
enum class RecordLine {
    Ph,         // current pH, "7,05"
    PhMin,      // pH range minimum, "6,80"
    PhMax,      // pH range maximum
    Ppm,        // CO2 in PPM
    Kh,         // carbonate hardness
    Alarm,      // alarm threshold in hundredths of a pH unit
    O2,         // O2 output, "1" on, "0" off
    Co2,        // CO2 output
    Brightness, // LCD brightness
    Contrast,   // LCD contrast
    Blank,      // one space
    End,        // "-", the next record's separator
};

// The settings fields: field N is entry N. Fields 1 to 10 are sent as three digits each, then
// field 11, "11" (32 characters). Settings files hold fields 1 to 10, one a line, in the same
// order; a longer file fills the spare entries up to 15, which are never sent.
enum class SettingsField {
    Unused,          // entry 0, never used
    Brightness,      // 1
    Contrast,        // 2
    PhMaxWhole,      // 3: integer part of the pH maximum
    PhMaxHundredths, // 4: its hundredths
    PhMinWhole,      // 5
    PhMinHundredths, // 6
    Alarm,           // 7: alarm threshold in hundredths
    Kh,              // 8
    Reserved1,       // 9: "0" in every frame
    Reserved2,       // 10: "0" in every frame
    End,             // 11: "11"
    Spare12,
    Spare13,
    Spare14,
    Spare15,
};

// A fixed set of texts addressed by the names of an enum.
template <typename Name, std::size_t N>
class NamedTexts {
public:
    static constexpr std::size_t Count = N;

    NamedTexts() = default;
    // The texts in the order of the names; the rest stay empty.
    NamedTexts(std::initializer_list<QString> inOrder)
    {
        std::size_t i = 0;
        for (const QString& t : inOrder)
            if (i < N)
                texts_[i++] = t;
    }

    QString& operator[](Name n) { return texts_[static_cast<std::size_t>(n)]; }
    const QString& operator[](Name n) const { return texts_[static_cast<std::size_t>(n)]; }

    void fill(const QString& text) { texts_.fill(text); }

    auto begin() { return texts_.begin(); }
    auto end() { return texts_.end(); }
    auto begin() const { return texts_.begin(); }
    auto end() const { return texts_.end(); }

    bool operator==(const NamedTexts&) const = default;

private:
    std::array<QString, N> texts_;
};

// The last extracted record.
using FrameLines = NamedTexts<RecordLine, 12>;
// The settings as the integer texts the controller receives.
using SettingsFields = NamedTexts<SettingsField, 16>;

// The fields of the settings frame, in the order they are sent.
inline constexpr SettingsField kFrameFields[] = {
    SettingsField::Brightness,      SettingsField::Contrast,   SettingsField::PhMaxWhole,
    SettingsField::PhMaxHundredths, SettingsField::PhMinWhole, SettingsField::PhMinHundredths,
    SettingsField::Alarm,           SettingsField::Kh,         SettingsField::Reserved1,
    SettingsField::Reserved2,       SettingsField::End};
// Fields 1 to 10: what a settings file holds.
inline constexpr std::size_t kSettingsFileFields = 10;
// The field that line `index` (from 0) of a settings file fills; entries up to 15.
constexpr SettingsField settingsFieldOfFileLine(std::size_t index)
{
    return static_cast<SettingsField>(index + 1);
}
