#include "Numbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <string>

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

[[noreturn]] void notInteger(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

[[noreturn]] void notFloat(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

} // namespace

int toInt(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == n)
        notInteger(text);
    long long value = 0;
    for (; i < n; ++i) {
        if (!isDigit(text[i]))
            notInteger(text);
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            notInteger(text);
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        notInteger(text);
    return static_cast<int>(value);
}

long double toFloat(const QString& text)
{
    // Check the form by hand, then let from_chars (locale-free) do the rounding.
    std::string ascii;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            ascii += '-';
        ++i;
    }
    int mantissaDigits = 0;
    while (i < n && isDigit(text[i])) {
        ascii += char(text[i].unicode());
        ++mantissaDigits;
        ++i;
    }
    if (i < n && text[i] == u',') {
        ascii += '.';
        ++i;
        while (i < n && isDigit(text[i])) {
            ascii += char(text[i].unicode());
            ++mantissaDigits;
            ++i;
        }
    }
    if (mantissaDigits == 0)
        notFloat(text);
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            ascii += char(text[i].unicode());
            ++i;
        }
        int exponentDigits = 0;
        while (i < n && isDigit(text[i])) {
            ascii += char(text[i].unicode());
            ++exponentDigits;
            ++i;
        }
        if (exponentDigits == 0)
            notFloat(text);
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n)
        notFloat(text);

    long double value = 0;
    const char* first = ascii.data();
    const char* last = ascii.data() + ascii.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || !std::isfinite(value))
        notFloat(text);
    return value;
}

QString FloatToStrGeneral(long double value)
{
    constexpr int precision = 15;
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");

    // d.dddddddddddddde±x: the value rounded to 15 significant digits.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision - 1);
    const std::string s(buf, res.ptr);
    const bool negative = s[0] == '-';
    const auto ePos = s.find('e');
    std::string digits;
    for (std::size_t k = negative ? 1 : 0; k < ePos; ++k)
        if (s[k] != '.')
            digits += s[k];
    const int exponent = std::stoi(s.substr(ePos + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    // pointPos: how many digits stand before the decimal point.
    const int pointPos = exponent + 1;
    std::string out = negative ? "-" : "";
    if (pointPos > precision || pointPos < -3) {
        out += digits[0];
        if (digits.size() > 1)
            out += "," + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (pointPos <= 0) {
        out += "0," + std::string(-pointPos, '0') + digits;
    } else if (static_cast<int>(digits.size()) <= pointPos) {
        out += digits + std::string(pointPos - digits.size(), '0');
    } else {
        out += digits.substr(0, pointPos) + "," + digits.substr(pointPos);
    }
    return QString::fromLatin1(out);
}
