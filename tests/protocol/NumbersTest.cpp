#include "Numbers.h"

#include <gtest/gtest.h>

#include <clocale>

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
        try {
            toInt(QString::fromLatin1(text));
            ADD_FAILURE() << "accepted " << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
}

TEST(toFloat, ReadsCommaDecimals)
{
    const std::pair<const char*, long double> cases[] = {
        {"7,05", 7.05L}, {"6,80", 6.8L}, {"20", 20.0L},     {"-0,5", -0.5L}, {" 1,5 ", 1.5L},
        {"5,", 5.0L},    {",25", 0.25L}, {"1,5E2", 150.0L}, {"2e-1", 0.2L},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(toFloat(QString::fromLatin1(text)), value) << text;
}

TEST(toFloat, RejectsDotsAndGarbage)
{
    for (const char* text : {"7.05", "", ",", "X", "1,2,3", "1E", "1E+", "--1", "9,15X", "1E99999"}) {
        try {
            toFloat(QString::fromLatin1(text));
            ADD_FAILURE() << "accepted " << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("'%1' is not a valid floating point value").arg(text));
        }
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
    // A locale with a "," decimal point must change nothing; skip quietly where none is installed.
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = before ? before : "C";
    if (!std::setlocale(LC_NUMERIC, "pl_PL.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no locale with a comma decimal point installed";
    EXPECT_EQ(FloatToStrGeneral(6.65L), "6,65");
    EXPECT_EQ(toFloat("7,05"), 7.05L);
    std::setlocale(LC_NUMERIC, saved.c_str());
}
