#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/StringList.h"
#include "platform/text/Strings.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

using namespace text;

TEST(EncodingTest, CyrillicRoundTrip) {
    const std::string utf8 = "Устройство бетонной подготовки №1 «ёЁ»";
    std::string bytes = Utf8ToCp1251(utf8);
    EXPECT_EQ(bytes.size(), Utf8Length(utf8));
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD3); // У
    EXPECT_EQ(Cp1251ToUtf8(bytes), utf8);
}

TEST(EncodingTest, UnrepresentableAndBrokenInputBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1251("a€b"), "a\x88"
                                   "b"); // the euro sign exists in 1251
    EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");
    EXPECT_EQ(Utf8ToCp1251("a\xFF"
                           "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp1251("a\xD0"), "a?"); // cut sequence at the end
    EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
}

TEST(StringsTest, TrimRemovesControlCharactersAndBlanks) {
    EXPECT_EQ(Trim(" \t\r\n 01-01-001 \x01\x1F"), "01-01-001");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(TrimLeft("  a b "), "a b ");
    EXPECT_EQ(TrimRight("  a b "), "  a b");
    EXPECT_EQ(Utf8Prefix("абв", 3), "а"); // never splits a character
    EXPECT_TRUE(EqualsIgnoreCaseAscii("KOD_PVR", "kod_pvr"));
    EXPECT_FALSE(EqualsIgnoreCaseAscii("OracleConnection", "oracleconnectio"));
}

TEST(StringListTest, TextJoinsWithCrLfAndSetTextSplitsAnyBreak) {
    StringList list;
    list.SetText("one\r\ntwo\nthree\rfour\r\n");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour");
    list.Insert(0, "zero");
    list.Add("five");
    EXPECT_EQ(list.Text(), "zero\r\none\r\ntwo\r\nthree\r\nfour\r\nfive");
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText("\n\n");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_THROW(list.Insert(5, "x"), Exception);
}

TEST(StringListTest, FilesAreWindows1251WithCrLf) {
    testsupport::TempFolder folder("ud_stringlist");
    const std::filesystem::path path = folder.File("test.txt");
    StringList list;
    list.Add("Журнал");
    list.Add("строка 2");
    list.SaveToFile(path.string());
    EXPECT_EQ(ReadFileBytes(path.string()), Utf8ToCp1251("Журнал\r\nстрока 2\r\n"));
    StringList back;
    back.LoadFromFile(path.string());
    EXPECT_EQ(back.Lines(), list.Lines());
}

TEST(StringListTest, MissingOrUnreadableFileNamesTheFileAndKeepsTheList) {
    StringList list;
    list.Add("kept");
    try {
        list.LoadFromFile("/nonexistent/patch.xml");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Не удается открыть файл \"/nonexistent/patch.xml\": No such file or directory");
    }
    EXPECT_THROW(list.LoadFromFile(std::filesystem::temp_directory_path().string()), Exception);
    EXPECT_EQ(list.Count(), 1);
}

// The joined text read straight from the bytes is what the lines give.
TEST(StringListTest, JoinedTextFromBytesIsTheTextOfTheLines) {
    const std::vector<std::string> inputs = {"",
                                             "\r\n",
                                             "a",
                                             "a\r\n",
                                             "a\n",
                                             "a\r",
                                             "a\r\n\r\n",
                                             "a\n\r",
                                             "\n\nb",
                                             "\xC6\xF3\xF0\xED\xE0\xEB\r\n\x98\xFF\r\rb\n",
                                             "x\r\ny\rz\n\n"};
    for (const std::string& bytes : inputs) {
        StringList lines;
        lines.SetText(Cp1251ToUtf8(bytes));
        EXPECT_EQ(Cp1251ToUtf8Lines(bytes), lines.Text()) << "bytes: " << bytes;
    }
    testsupport::TempFolder folder("ud_stringlist");
    const std::filesystem::path path = folder.File("joined.txt");
    WriteFileBytes(path.string(), "<a>\r\n\xC6\n</a>\r\n");
    StringList lines;
    lines.LoadFromFile(path.string());
    EXPECT_EQ(LoadTextFromFile(path.string()), lines.Text());
    EXPECT_THROW(LoadTextFromFile("/nonexistent/patch.xml"), Exception);
}

// Long inputs go through the block path; what it writes must equal decoding
// each byte on its own and joining the lines, for every mix of plain ASCII,
// letters beyond it, characters of three UTF-8 bytes and line breaks, at
// every position against the block boundaries.
TEST(EncodingTest, BlockDecodingEqualsBytewiseDecoding) {
    const std::string alphabet =
        std::string("ab <=\"/>\r\n\xC0\xFF\xE0\xB8\xB9\x88\x98\x80") + std::string(1, '\0');
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(next() % 70, 'x');
        const bool plain = round % 3 == 0; // long ASCII runs with a few others
        for (char& c : bytes)
            c = plain && next() % 8 != 0 ? 'q' : alphabet[next() % alphabet.size()];
        std::string bytewise;
        for (char c : bytes)
            bytewise += Cp1251ToUtf8(std::string(1, c));
        ASSERT_EQ(Cp1251ToUtf8(bytes), bytewise) << "round " << round;
        StringList lines;
        lines.SetText(bytewise);
        ASSERT_EQ(Cp1251ToUtf8Lines(bytes), lines.Text()) << "round " << round;
    }
    std::string letters;
    for (int i = 0; i < 20; ++i)
        letters += "А";
    EXPECT_EQ(Cp1251ToUtf8(std::string(20, '\xC0') + "\xFF\xB9\x88"), letters + "я№€");
}

TEST(NumbersTest, FloatToStrGeneralFormat) {
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(0.25), "0.25");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(-2.469), "-2.469");
    EXPECT_EQ(FloatToStr(123456789.123), "123456789.123");
    EXPECT_EQ(FloatToStr(1e-7), "1E-7");
    EXPECT_EQ(FloatToStr(0.00001), "0.00001");
    EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(0), "0");
    DecimalSeparatorGuard comma(',');
    EXPECT_EQ(FloatToStr(1.5), "1,5");
}

TEST(NumbersTest, SeparatorGuardRestoresOnEveryPath) {
    ASSERT_EQ(DecimalSeparator(), '.');
    try {
        DecimalSeparatorGuard guard(',');
        EXPECT_EQ(StrToFloat("1,5"), 1.5);
        throw Exception("boom");
    } catch (const Exception&) {
    }
    EXPECT_EQ(DecimalSeparator(), '.');
}

TEST(NumbersTest, StrToFloatFollowsTheSeparatorAndRejectsJunk) {
    EXPECT_EQ(StrToFloat(" 1.5 "), 1.5);
    EXPECT_EQ(StrToFloat("-1.5E-3"), -0.0015);
    EXPECT_EQ(StrToFloat(".5"), 0.5);
    for (const char* bad : {"1,5", "", "abc", "1.5x", "1e", "--1", "1e999"})
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
    try {
        StrToFloat("1,5");
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "\"1,5\" не является числом с плавающей точкой");
    }
}

// Short numbers take a shortcut; every one must still give the correctly
// rounded double that the full conversion gives.
TEST(NumbersTest, StrToFloatRoundsShortAndLongNumbersAsTheLibraryDoes) {
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 200000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 17);
        std::string number = random() % 4 == 0 ? "-" : "";
        std::string body;
        for (int d = 0; d < digits; ++d)
            body += static_cast<char>('0' + random() % 10);
        const size_t point = random() % (body.size() + 1);
        number += body.substr(0, point) + "." + body.substr(point);
        if (number.back() == '.' && random() % 2)
            number.pop_back();
        double expected = 0;
        const std::string plain = number[0] == '-' ? number.substr(1) : number;
        std::from_chars(plain.data(), plain.data() + plain.size(), expected);
        if (number[0] == '-')
            expected = -expected;
        ASSERT_EQ(StrToFloat(number), expected) << number;
        // The reader of plain decimals takes every one of up to 15 digits and
        // gives the same double, sign of a zero included.
        double plainValue = 7;
        ASSERT_EQ(StrToPlainDecimal(number.c_str(), plainValue), digits <= 15) << number;
        if (digits <= 15) {
            ASSERT_TRUE(plainValue == expected && std::signbit(plainValue) == std::signbit(expected))
                << number;
        }
    }
    // Anything else is left to StrToFloat, the value untouched.
    for (const char* other : {"", "-", ".", "-.", " 1", "1 ", "+1", "1e5", "1.2.3", "1,5", "0x1",
                              "1234567890123456", "--1"}) {
        double value = 7;
        EXPECT_FALSE(StrToPlainDecimal(other, value)) << other;
        EXPECT_EQ(value, 7) << other;
    }
    {
        DecimalSeparatorGuard comma(',');
        double value = 0;
        EXPECT_TRUE(StrToPlainDecimal("-1,25", value));
        EXPECT_EQ(value, -1.25);
        EXPECT_FALSE(StrToPlainDecimal("1.25", value));
    }
    EXPECT_TRUE(std::signbit(StrToFloat("-0.000")));
    EXPECT_EQ(StrToFloat("0.1"), 0.1);
    EXPECT_EQ(StrToFloat("123456789012345.6"), 123456789012345.6);
    EXPECT_EQ(StrToFloat("9007199254740993"), 9007199254740992.0);
}

TEST(NumbersTest, StrToIntAcceptsSignsAndRejectsJunk) {
    EXPECT_EQ(StrToInt(" 42 "), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("+7"), 7);
    for (const char* bad : {"", "1.0", "12a", "99999999999999999999", "-", "- 1"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
}

TEST(NumbersTest, FixedPointRoundsHalfToEven) {
    EXPECT_EQ(ToFixed4(1.23456), 12346);
    EXPECT_EQ(ToFixed4(0.00005), 0);
    EXPECT_EQ(ToFixed4(0.000150001), 2);
    EXPECT_EQ(ToFixed4(-1.23456), -12346);
    EXPECT_EQ(ToFixed4(2.47), 24700);
    EXPECT_EQ(Fixed4ToString(12346), "1.2346");
    EXPECT_EQ(Fixed4ToString(-5), "-0.0005");
    EXPECT_THROW(ToFixed4(1e300), EConvertError);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-3.5), -4);
}

TEST(NumbersTest, DecimalIsExact) {
    Decimal d = Decimal::FromText("0012.34500");
    EXPECT_EQ(d.ToString(), "12.345");
    EXPECT_EQ(d.Scaled(5), 1234500);
    EXPECT_EQ(d.Scaled(2), 1235); // half away from zero
    EXPECT_EQ(Decimal::FromText("-0.00005").Scaled(4), -1);
    EXPECT_EQ(Decimal::FromText("0.00004").Scaled(4), 0);
    EXPECT_EQ(Decimal::FromText("1.5E-5").ToString(), "0.000015");
    EXPECT_EQ(Decimal::FromText("2E3").ToString(), "2000");
    EXPECT_EQ(Decimal::FromText("1,25", ',').ToString(), "1.25");
    EXPECT_EQ(Decimal::FromDouble(0.1).ToString(), "0.1");
    EXPECT_EQ(Decimal::FromText("-0.000").ToString(), "0");
    EXPECT_THROW(Decimal::FromText("1,25"), EConvertError);
    EXPECT_THROW(Decimal::FromText("99999999999999999999").Scaled(0), EConvertError);
}
