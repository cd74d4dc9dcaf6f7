#pragma once

// Numbers as text with "," as the decimal separator, whatever the locale: the one codec
// for the controller's records, the settings and preferences files and the spin edits.

#include <QString>
#include <QStringView>

#include <optional>
#include <stdexcept>

// An error that carries the text the user sees; what() gives it as UTF-8.
class MessageError : public std::runtime_error {
public:
    explicit MessageError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message)
    {
    }
    const QString& message() const { return message_; }

private:
    QString message_;
};

// A text that is no number of the expected kind.
class EConvertError : public MessageError {
public:
    using MessageError::MessageError;
};

// A file that cannot be created, opened, read or written.
class EInOutError : public MessageError {
public:
    using MessageError::MessageError;
};

// What may stand around the number in a text.
enum class Padding {
    // Values in records and files: spaces and tabs before an integer, before and after a
    // decimal number. Anything else around the digits (a stray line end) makes it no number.
    Blanks,
    // Text typed or pasted into an edit: any white space on both sides, line ends and
    // no-break spaces included, as a copied spreadsheet cell or web page brings them.
    WhiteSpace,
};

// Most decimals the fixed format writes.
inline constexpr int kMaxDecimals = 18;

// Value of c as a digit of base 10 or 16 (ASCII only, either case), or -1.
int digitValue(QChar c, int base);

// Optional sign and decimal digits, within 32 bits.
std::optional<int> parseInteger(QStringView text, Padding padding);
// Optional sign and hexadecimal digits without prefix, within 32 bits ("-1F", "7FFFFFFF").
std::optional<int> parseHex(QStringView text, Padding padding);
// Optional sign, digits with an optional "," and decimals (at least one digit in all),
// an optional exponent ("E" or "e", optional sign, digits); finite.
std::optional<long double> parseFloat(QStringView text, Padding padding);

// parseInteger with Padding::Blanks, else EConvertError "'<text>' is not a valid integer value".
int toInt(const QString& text);
// parseFloat with Padding::Blanks, else EConvertError "'<text>' is not a valid floating point value".
long double toFloat(const QString& text);

// Rounded to an integer, a half to the even neighbour.
long double roundHalfEven(long double x);

// Shortest general form with up to 15 significant digits and "," as the separator
// (6.6 -> "6,6", 7 -> "7", 6.65 -> "6,65"); scientific ("1E20", "1,5E-5") only
// for very large or very small magnitudes.
QString FloatToStrGeneral(long double value);
// Fixed point with `decimals` digits (0 to kMaxDecimals), at most 15 significant digits
// (larger values in exponent notation: "1E+15"); no "-" on a value that shows as zero.
QString formatFixed(long double x, int decimals);
// Fixed point after a number pattern: the "0"s after its "." (or ",") are always shown,
// the "#"s that follow them only when not zero ("0.0#": 7 -> "7,0", 7.25 -> "7,25").
QString formatPattern(long double x, QStringView pattern);
// Rounded half to even; "-" for negative values.
QString formatInteger(long double x);
// Rounded half to even, upper-case hexadecimal digits, "-" for negative values.
QString formatHex(long double x);
