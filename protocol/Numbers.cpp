#include "Numbers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int kSignificant = 15;

[[noreturn]] void notInteger(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

[[noreturn]] void notFloat(const QString& text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

bool isPadding(QChar c, Padding padding)
{
    return padding == Padding::WhiteSpace ? c.isSpace() : c == u' ' || c == u'\t';
}

QStringView stripLeading(QStringView t, Padding padding)
{
    while (!t.isEmpty() && isPadding(t.front(), padding))
        t = t.sliced(1);
    return t;
}

QStringView stripTrailing(QStringView t, Padding padding)
{
    while (!t.isEmpty() && isPadding(t.back(), padding))
        t.chop(1);
    return t;
}

// Integers in records and files may have blanks before them only, the runtime's rule;
// typed ones may have white space on both sides.
std::optional<int> parseInt32(QStringView text, Padding padding, int base)
{
    QStringView t = stripLeading(text, padding);
    if (padding == Padding::WhiteSpace)
        t = stripTrailing(t, padding);
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    if (i == t.size())
        return std::nullopt;
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long v = 0;
    for (; i < t.size(); ++i) {
        const int d = digitValue(t[i], base);
        if (d < 0)
            return std::nullopt;
        v = v * base + d;
        if (v > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -v : v);
}

// Appends the ASCII digits at t[i...] to out; returns how many there were.
int takeDigits(QStringView t, qsizetype& i, std::string& out)
{
    int n = 0;
    for (; i < t.size() && digitValue(t[i], 10) >= 0; ++i, ++n)
        out += char(t[i].unicode());
    return n;
}

// The value of "-ddd.ddde-dd" when it needs a single rounding: at most 19 significant digits,
// which a long double holds exactly, scaled by an exactly held power of ten. One division or
// multiplication of exact values rounds correctly on every platform, whereas some C++
// libraries (MinGW's) read a long double through a double and round twice.
std::optional<long double> exactDecimal(std::string_view ascii)
{
    constexpr int kMaxDigits = 19;
    constexpr int kMaxPower = 27; // 5^27 < 2^64, so 10^27 is held exactly
    std::size_t i = 0;
    const bool negative = i < ascii.size() && ascii[i] == '-';
    if (negative)
        ++i;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int scale = 0;
    bool fraction = false;
    for (; i < ascii.size() && ascii[i] != 'e'; ++i) {
        if (ascii[i] == '.') {
            fraction = true;
            continue;
        }
        if (fraction)
            --scale;
        if (digits == 0 && ascii[i] == '0')
            continue;
        if (++digits > kMaxDigits)
            return std::nullopt;
        mantissa = mantissa * 10 + std::uint64_t(ascii[i] - '0');
    }
    if (i < ascii.size()) {
        int exponent = 0;
        const char* first = ascii.data() + i + 1;
        if (*first == '+')
            ++first;
        const auto [ptr, ec] = std::from_chars(first, ascii.data() + ascii.size(), exponent);
        if (ec != std::errc() || std::abs(exponent) > 1000)
            return std::nullopt;
        scale += exponent;
    }
    long double value = static_cast<long double>(mantissa);
    if (mantissa != 0 && scale != 0) {
        if (std::abs(scale) > kMaxPower)
            return std::nullopt;
        long double power = 1;
        for (int k = 0; k < std::abs(scale); ++k)
            power *= 10;
        value = scale > 0 ? value * power : value / power;
    }
    return negative ? -value : value;
}

std::string toChars(long double x, std::chars_format fmt, int precision)
{
    char buf[128];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, fmt, precision);
    if (r.ec != std::errc())
        return {};
    // MinGW formats a long double through printf, which writes the process locale's decimal
    // point; every other character of the result is a digit, a sign or the exponent's "e".
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '-' && c != '+' && c != 'e')
            c = '.';
    return s;
}

QString nonFinite(long double x)
{
    if (std::isnan(x))
        return QStringLiteral("NAN");
    return x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// The digits of |x| rounded to 15 significant digits, without trailing zeros when asked,
// and the decimal exponent of the first digit.
struct Significant {
    std::string digits;
    int exponent = 0;
};

Significant significant(long double x, bool dropTrailingZeros)
{
    const std::string s = toChars(std::fabs(x), std::chars_format::scientific, kSignificant - 1);
    const auto e = s.find('e');
    Significant r;
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] != '.')
            r.digits += s[i];
    r.exponent = std::stoi(s.substr(e + 1));
    while (dropTrailingZeros && r.digits.size() > 1 && r.digits.back() == '0')
        r.digits.pop_back();
    return r;
}

// "d,ddd" from the significant digits: the mantissa of the exponent notations.
void appendMantissa(std::string& out, const std::string& digits)
{
    out += digits[0];
    if (digits.size() > 1) {
        out += ',';
        out.append(digits, 1);
    }
}

QString fromAscii(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// "," for the "." of to_chars, and no "-" on a text that shows zero ("-0,00").
QString finishFixed(std::string s)
{
    const bool zero = std::none_of(s.begin(), s.end(), [](char c) { return c >= '1' && c <= '9'; });
    if (zero && !s.empty() && s[0] == '-')
        s.erase(0, 1);
    std::replace(s.begin(), s.end(), '.', ',');
    return fromAscii(s);
}

// Decimals a display pattern asks for: the "0"s after its separator are always shown,
// the "#"s after them only when not zero.
void patternDecimals(QStringView pattern, int& minDec, int& maxDec)
{
    minDec = maxDec = 0;
    qsizetype i = pattern.indexOf(u'.');
    if (i < 0)
        i = pattern.indexOf(u',');
    if (i < 0)
        return;
    for (++i; i < pattern.size(); ++i) {
        if (pattern[i] == u'0' && minDec == maxDec)
            ++minDec, ++maxDec;
        else if (pattern[i] == u'#')
            ++maxDec;
        else
            break;
    }
    minDec = std::min(minDec, kMaxDecimals);
    maxDec = std::min(maxDec, kMaxDecimals);
}

} // namespace

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (base == 16 && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (base == 16 && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

std::optional<int> parseInteger(QStringView text, Padding padding) { return parseInt32(text, padding, 10); }

std::optional<int> parseHex(QStringView text, Padding padding) { return parseInt32(text, padding, 16); }

std::optional<long double> parseFloat(QStringView text, Padding padding)
{
    // Check the form by hand, then let from_chars (locale-free) do the rounding.
    const QStringView t = stripTrailing(stripLeading(text, padding), padding);
    std::string ascii;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        if (t[i] == u'-')
            ascii += '-';
        ++i;
    }
    int mantissaDigits = takeDigits(t, i, ascii);
    if (i < t.size() && t[i] == u',') {
        ascii += '.';
        ++i;
        mantissaDigits += takeDigits(t, i, ascii);
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            ascii += char(t[i++].unicode());
        if (takeDigits(t, i, ascii) == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;

    // Anything longer or further from 1 is left to the library: on MinGW it may then be one
    // unit in the last place off, far below the 15 digits ever shown.
    if (const auto exact = exactDecimal(ascii))
        return exact;
    long double value = 0;
    const char* last = ascii.data() + ascii.size();
    const auto [ptr, ec] = std::from_chars(ascii.data(), last, value);
    if (ec != std::errc() || ptr != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

int toInt(const QString& text)
{
    if (const auto v = parseInteger(text, Padding::Blanks))
        return *v;
    notInteger(text);
}

long double toFloat(const QString& text)
{
    if (const auto v = parseFloat(text, Padding::Blanks))
        return *v;
    notFloat(text);
}

long double roundHalfEven(long double x)
{
    // The default floating-point rounding mode rounds a half to even.
    return std::nearbyintl(x);
}

QString FloatToStrGeneral(long double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    if (value == 0)
        return QStringLiteral("0");

    const Significant s = significant(value, true);
    const std::string& digits = s.digits;
    // pointPos: how many digits stand before the decimal point.
    const int pointPos = s.exponent + 1;
    std::string out;
    if (value < 0)
        out += '-';
    if (pointPos > kSignificant || pointPos < -3) {
        appendMantissa(out, digits);
        out += 'E';
        out += std::to_string(s.exponent);
    } else if (pointPos <= 0) {
        out += "0,";
        out.append(std::size_t(-pointPos), '0');
        out += digits;
    } else if (digits.size() <= std::size_t(pointPos)) {
        out += digits;
        out.append(std::size_t(pointPos) - digits.size(), '0');
    } else {
        out.append(digits, 0, std::size_t(pointPos));
        out += ',';
        out.append(digits, std::size_t(pointPos));
    }
    return fromAscii(out);
}

QString formatFixed(long double x, int decimals)
{
    if (!std::isfinite(x))
        return nonFinite(x);
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    std::string out;
    if (x < 0)
        out += '-';
    if (std::fabs(x) >= 1e15L) {
        // Too many integer digits: exponent notation with up to 15 significant digits.
        const Significant s = significant(x, true);
        appendMantissa(out, s.digits);
        out += "E+";
        out += std::to_string(s.exponent);
        return fromAscii(out);
    }
    const std::string fixed = toChars(x, std::chars_format::fixed, decimals);
    const auto significantCount =
        std::count_if(std::find_if(fixed.begin(), fixed.end(), [](char c) { return c >= '1' && c <= '9'; }),
                      fixed.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (significantCount <= kSignificant)
        return finishFixed(fixed);

    // Keep 15 significant digits; the places beyond them show zeros.
    const Significant s = significant(x, false);
    std::string fraction;
    if (s.exponent >= 0) {
        const std::size_t intDigits = std::size_t(s.exponent) + 1;
        const std::size_t taken = std::min(intDigits, s.digits.size());
        out.append(s.digits, 0, taken);
        out.append(intDigits - taken, '0');
        fraction.append(s.digits, taken);
    } else {
        out += '0';
        fraction.append(std::size_t(-s.exponent - 1), '0');
        fraction += s.digits;
    }
    fraction.resize(std::size_t(decimals), '0');
    if (decimals > 0) {
        out += '.';
        out += fraction;
    }
    return finishFixed(out);
}

QString formatPattern(long double x, QStringView pattern)
{
    int minDec, maxDec;
    patternDecimals(pattern, minDec, maxDec);
    const QString s = formatFixed(x, maxDec);
    const qsizetype sep = s.indexOf(u',');
    if (sep < 0 || s.contains(u'E'))
        return s;
    qsizetype keep = s.size();
    while (keep > sep + 1 + minDec && s[keep - 1] == u'0')
        --keep;
    if (keep == sep + 1)
        keep = sep;
    return s.left(keep);
}

QString formatInteger(long double x)
{
    if (!std::isfinite(x))
        return nonFinite(x);
    return finishFixed(toChars(roundHalfEven(x), std::chars_format::fixed, 0));
}

QString formatHex(long double x)
{
    if (!std::isfinite(x))
        return nonFinite(x);
    long double m = std::fabs(roundHalfEven(x));
    std::string digits;
    do {
        digits += "0123456789ABCDEF"[int(std::fmod(m, 16.0L))];
        m = std::floor(m / 16);
    } while (m >= 1);
    if (x < 0 && digits != "0")
        digits += '-';
    std::reverse(digits.begin(), digits.end());
    return fromAscii(digits);
}
