#include "Numbers.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

// The message of the conversion error that reading text raises; empty when it reads.
template <class Convert>
QString conversionError(Convert convert, const QString& text)
{
    try {
        convert(text);
    } catch (const EConvertError& e) {
        return e.message();
    }
    return {};
}

} // namespace

TEST(toInt, AcceptsSignedDecimalsWithLeadingBlanks)
{
    const std::pair<const char*, int> cases[] = {
        {"0", 0},
        {"7", 7},
        {"100", 100},
        {"007", 7},
        {"  12", 12},
        {"-5", -5},
        {"+5", 5},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(toInt(QString::fromLatin1(text)), value) << text;
}

TEST(toInt, RejectsOtherTextsWithTheUsersMessage)
{
    for (const char* text :
         {"", " ", "-", "12 ", "1,5", "X", "0x10", "2147483648", "-2147483649", "99999999999999999999"}) {
        EXPECT_EQ(conversionError(toInt, QString::fromLatin1(text)),
                  QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
}

TEST(toFloat, ReadsCommaDecimals)
{
    const std::pair<const char*, long double> cases[] = {
        {"7,05", 7.05L},
        {"6,80", 6.8L},
        {"20", 20.0L},
        {"-0,5", -0.5L},
        {" 1,5 ", 1.5L},
        {"5,", 5.0L},
        {",25", 0.25L},
        {"1,5E2", 150.0L},
        {"2e-1", 0.2L},
        {"-0,000000000000000000000000001", -1e-27L},
        {"1234567890,123456789", 1234567890.123456789L},
        {"0,1E+3", 100.0L},
        {"00012,5e-2", 0.125L},
        {"1,5e-20", 1.5e-20L},
        // Past what is read exactly in one step: 20 digits, powers of ten beyond 10^27.
        {"99999999999999999999", 99999999999999999999.0L},
#ifndef _WIN32
        // MinGW's long double powers of ten beyond 10^27 are off by one unit in the last place.
        {"3e-28", 3e-28L},
        {"9e28", 9e28L},
#endif
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(toFloat(QString::fromLatin1(text)), value) << text;
}

TEST(toFloat, RejectsDotsAndGarbage)
{
    for (const char* text : {"7.05", "", ",", "X", "1,2,3", "1E", "1E+", "--1", "9,15X", "1E99999"}) {
        EXPECT_EQ(conversionError(toFloat, QString::fromLatin1(text)),
                  QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
}

TEST(formatFixed, FormatsWithCommaAndRoundsIntegersHalfToEven)
{
    enum Form { Fixed, Integer, Hex };
    struct Case {
        long double x;
        Form form;
        int decimals;
        const char* text;
    };
    const Case cases[] = {
        {6.9L, Fixed, 2, "6,90"},
        {0.2L, Fixed, 2, "0,20"},
        {8.7L, Fixed, 2, "8,70"},
        {-1.5L, Fixed, 1, "-1,5"},
        {-0.004L, Fixed, 2, "0,00"},
        {7.0L, Fixed, 0, "7"},
        {1234567.891L, Fixed, 2, "1234567,89"},
        {123456789012345.67L, Fixed, 2, "123456789012346,00"},
        {1.23456789012345678L, Fixed, 17, "1,23456789012346000"},
        {1e15L, Fixed, 2, "1E+15"},
        {-2.5e20L, Fixed, 2, "-2,5E+20"},
        {2.5L, Integer, 0, "2"},
        {3.5L, Integer, 0, "4"},
        {-2.5L, Integer, 0, "-2"},
        {-0.4L, Integer, 0, "0"},
        {100.0L, Integer, 0, "100"},
        {255.0L, Hex, 0, "FF"},
        {0.0L, Hex, 0, "0"},
        {-255.5L, Hex, 0, "-100"},
    };
    for (const Case& c : cases) {
        const QString t = c.form == Fixed     ? formatFixed(c.x, c.decimals)
                          : c.form == Integer ? formatInteger(c.x)
                                              : formatHex(c.x);
        EXPECT_EQ(t, QString(c.text)) << double(c.x);
    }
}

TEST(parseNumbers, TypedTextReadsOnlyWellFormedNumbers)
{
    struct Case {
        const char* text;
        std::optional<long double> f;
        std::optional<int> i, h;
    };
    const std::nullopt_t no = std::nullopt;
    const Case cases[] = {
        {"9,5", 9.5L, no, no},
        {"6,90", 6.9L, no, no},
        {"-1", -1, -1, -1},
        {"+2,5", 2.5L, no, no},
        {"1,5E2", 150, no, no},
        {"2e-1", 0.2L, no, no},
        {" 7 ", 7, 7, 7},
        {",5", 0.5L, no, no},
        {"", no, no, no},
        {",", no, no, no},
        {"-", no, no, no},
        {"1,2,3", no, no, no},
        {"6.90", no, no, no},
        {"1e", no, no, 0x1E},
        {"1e99999", no, no, 0x1E99999},
        {"abc", no, no, 0xABC},
        {"ff", no, no, 255},
        {"2147483647", 2147483647.0L, 2147483647, no},
        {"2147483648", 2147483648.0L, no, no},
        {"-2147483648", -2147483648.0L, -2147483647 - 1, no},
        {"7FFFFFFF", no, no, 2147483647},
        {"80000000", 80000000.0L, 80000000, no},
        {"-1F", no, no, -31},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        const auto f = parseFloat(text, Padding::WhiteSpace);
        ASSERT_EQ(f.has_value(), c.f.has_value()) << c.text;
        if (f) {
            EXPECT_NEAR(double(*f), double(*c.f), 1e-12) << c.text;
        }
        EXPECT_EQ(parseInteger(text, Padding::WhiteSpace), c.i) << c.text;
        EXPECT_EQ(parseHex(text, Padding::WhiteSpace), c.h) << c.text;
    }
}

// Records, settings and preferences files are read with blanks (space, tab) allowed before
// an integer and around a decimal number; typed and pasted spin-edit text with any white
// space on both sides. These are the texts on which the two used to be read differently.
TEST(Padding, DecidesWhatMayStandAroundTheNumber)
{
    struct Case {
        const char16_t* text;
        bool fileInt, fileFloat, typed;
    };
    const Case cases[] = {
        {u" 12", true, true, true},        {u"\t12\t", false, true, true},
        {u"12 ", false, true, true},       {u"12\r\n", false, false, true},
        {u"\r12", false, false, true},     {u"\n12", false, false, true},
        {u"\v12\f", false, false, true},   {u"12\u00A0", false, false, true},
        {u"12\u2003", false, false, true}, {u"12\u3000", false, false, true},
        {u"1 2", false, false, false},     {u"\r\n", false, false, false},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        const QByteArray shown = text.toUtf8().toPercentEncoding();
        EXPECT_EQ(conversionError(toInt, text).isEmpty(), c.fileInt) << shown.constData();
        EXPECT_EQ(conversionError(toFloat, text).isEmpty(), c.fileFloat) << shown.constData();
        if (c.fileInt) {
            EXPECT_EQ(toInt(text), 12) << shown.constData();
        }
        if (c.fileFloat) {
            EXPECT_EQ(toFloat(text), 12) << shown.constData();
        }
        EXPECT_EQ(parseInteger(text, Padding::WhiteSpace), c.typed ? std::optional(12) : std::nullopt)
            << shown.constData();
        EXPECT_EQ(parseFloat(text, Padding::WhiteSpace), c.typed ? std::optional(12.0L) : std::nullopt)
            << shown.constData();
    }
}

TEST(FloatToStrGeneral, ShortestFormWithComma)
{
    const std::pair<long double, const char*> cases[] = {
        {6.6L, "6,6"},
        {7.0L, "7"},
        {6.65L, "6,65"},
        {0, "0"},
        {-1.25L, "-1,25"},
        {100, "100"},
        {0.0001L, "0,0001"},
        {1e-5L, "1E-5"},
        {1e20L, "1E20"},
        {123456789012345.0L, "123456789012345"},
        {1.0L / 3, "0,333333333333333"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FloatToStrGeneral(value), QString::fromLatin1(text)) << text;
}

TEST(FloatToStrGeneral, HidesBinaryErrorOfDecimalArithmetic)
{
    // The alarm limits are computed from decimal texts in binary.
    EXPECT_EQ(FloatToStrGeneral(toFloat("6,8") - toFloat("20") / 100), "6,6");
    EXPECT_EQ(FloatToStrGeneral(toFloat("7,4") + toFloat("20") / 100), "7,6");
    EXPECT_EQ(FloatToStrGeneral(toFloat("6,80") - toFloat("5") / 100), "6,75");
    EXPECT_EQ(FloatToStrGeneral(0.1L + 0.2L), "0,3");
}

TEST(Numbers, IgnoreTheProcessLocale)
{
    // A locale with a "," decimal point must change nothing. The test scripts install one, so
    // its absence is a failure, not a reason to skip.
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    struct Restore {
        std::string name;
        ~Restore() { std::setlocale(LC_NUMERIC, name.c_str()); }
    } restore{before ? before : "C"};
    bool comma = false;
    for (const char* name : {"pl_PL.UTF-8", "de_DE.UTF-8", "Polish_Poland.1250", "German_Germany.1252"})
        if (std::setlocale(LC_NUMERIC, name) && std::string(std::localeconv()->decimal_point) == ",") {
            comma = true;
            break;
        }
    ASSERT_TRUE(comma) << "no locale with a comma decimal point (scripts/install-deps.sh makes pl_PL.UTF-8)";
    EXPECT_EQ(FloatToStrGeneral(6.65L), "6,65");
    EXPECT_EQ(FloatToStrGeneral(1e20L), "1E20");
    EXPECT_EQ(toFloat("7,05"), 7.05L);
    EXPECT_DOUBLE_EQ(double(toFloat("1,5e-30")), 1.5e-30); // the library's reading
    EXPECT_THROW(toFloat("7.05"), EConvertError);
}
