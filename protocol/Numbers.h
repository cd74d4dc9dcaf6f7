#pragma once

#include <QString>

#include <stdexcept>

// Errors carry the text the user sees; what() gives it as UTF-8.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message)
    {
    }
    const QString& message() const { return message_; }

private:
    QString message_;
};

class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message)
    {
    }
    const QString& message() const { return message_; }

private:
    QString message_;
};

// Decimal integer: leading blanks, an optional sign, digits, nothing after them,
// within 32 bits. Otherwise EConvertError "'<text>' is not a valid integer value".
int toInt(const QString& text);

// Decimal number with "," as the separator, whatever the locale: blanks around it,
// an optional sign, digits with an optional "," and decimals, an optional exponent.
// Otherwise EConvertError "'<text>' is not a valid floating point value".
long double toFloat(const QString& text);

// Shortest general form with up to 15 significant digits and "," as the separator
// (6.6 -> "6,6", 7 -> "7", 6.65 -> "6,65"); scientific ("1E20", "1,5E-5") only
// for very large or very small magnitudes.
QString FloatToStrGeneral(long double value);
