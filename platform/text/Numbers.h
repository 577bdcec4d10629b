// Number <-> text conversions with a process-wide decimal separator, as the host
// framework has one. All conversions are locale-independent: the C library's
// locale (which Qt sets from the environment) never changes what they produce.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// The process-wide decimal separator used by FloatToStr and StrToFloat.
// Default: '.'. The programs and the module set it from the user's locale at
// start-up (UserDecimalSeparator); reading and writing XML force '.' for their
// duration.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

// The decimal separator of the user's numeric locale, as the C library
// resolves it from the environment (LC_ALL, then LC_NUMERIC, then LANG), read
// without changing the process's locale. '.' when that locale is "C"/POSIX, is
// not installed, or has a separator other than one ASCII punctuation byte.
char UserDecimalSeparator();

// Sets the separator for its lifetime and puts the previous one back on every
// path out of the scope.
class DecimalSeparatorGuard {
public:
    explicit DecimalSeparatorGuard(char separator);
    ~DecimalSeparatorGuard();
    DecimalSeparatorGuard(const DecimalSeparatorGuard&) = delete;
    DecimalSeparatorGuard& operator=(const DecimalSeparatorGuard&) = delete;

private:
    char m_previous;
};

std::string IntToStr(int64_t value);

// General format with up to 15 significant digits and no trailing zeros, using
// the current separator: 1.5, 0.25, 100, 123456789.123. Values below 0.00001 in
// magnitude, or with more than 15 digits before the point, are written as a
// mantissa and an exponent: 1E-7, 1.5E20. Zero is "0".
std::string FloatToStr(double value);

// Decimal integer, optionally signed, blanks allowed around it. Throws
// EConvertError naming the text when it is not such an integer or does not fit.
int64_t StrToInt(std::string_view text);

// Decimal number with the current separator and an optional exponent (1,5 with
// ',' as separator; 1.5E-3), blanks allowed around it. Throws EConvertError
// naming the text otherwise.
double StrToFloat(std::string_view text);

// The plain decimals that fill a patch, read straight from zero-terminated
// text: an optional '-', digits with at most one current separator, at most
// 15 digits, nothing else (no blanks, no exponent). Stores what StrToFloat
// gives for that text and answers true; answers false, `value` untouched, for
// any other text, which then needs StrToFloat.
bool StrToPlainDecimal(const char* text, double& value);

// Rounds half to even: 2.5 -> 2, 3.5 -> 4.
double RoundHalfEven(double value);

// Fixed point with four decimals: value x 10000 rounded to the nearest integer,
// halves to even (1.23456 -> 12346, 0.00005 -> 0). Throws EConvertError for a
// value that does not fit a 64-bit count, NaN or infinity.
int64_t ToFixed4(double value);
// The text of a fixed-point value with '.' and four decimals: 12346 -> "1.2346".
std::string Fixed4ToString(int64_t fixed);

// An exact decimal number: sign, digits and the count of fraction digits. Made
// from text without passing through floating point.
class Decimal {
public:
    Decimal() = default;

    // Accepts [blanks][sign]digits[.digits][E[sign]digits][blanks] with '.' or
    // the given separator. Throws EConvertError naming the text otherwise.
    static Decimal FromText(std::string_view text, char separator = '.');
    // The double's general text (15 significant digits), read exactly.
    static Decimal FromDouble(double value);

    bool Negative() const { return m_negative; }
    // All significant digits, no leading zeros ("0" for zero).
    const std::string& Digits() const { return m_digits; }
    // How many of Digits() stand after the point.
    int Scale() const { return m_scale; }
    bool IsZero() const { return m_digits == "0"; }

    // The value scaled to `scale` fraction digits as a 64-bit integer, rounding
    // half away from zero when digits are dropped. Throws EConvertError when it
    // does not fit.
    int64_t Scaled(int scale) const;
    // Plain text with '.' ("-12.5", "0.00001").
    std::string ToString() const;
    double ToDouble() const;

    bool operator==(const Decimal& other) const {
        return m_negative == other.m_negative && m_digits == other.m_digits &&
               m_scale == other.m_scale;
    }

private:
    void Normalize();

    bool m_negative = false;
    std::string m_digits = "0";
    int m_scale = 0;
};

} // namespace text
