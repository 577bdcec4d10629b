#include "platform/text/Numbers.h"

#include "platform/text/Exception.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace text {
namespace {

std::atomic<char> g_separator{'.'};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view StripBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

[[noreturn]] void NotInteger(std::string_view text) {
    throw EConvertError("\"" + std::string(text) + "\" не является целым числом");
}

[[noreturn]] void NotFloat(std::string_view text) {
    throw EConvertError("\"" + std::string(text) + "\" не является числом с плавающей точкой");
}

// A number split into its parts; what both the float reader and Decimal use.
struct NumberParts {
    bool negative = false;
    std::string_view integer;  // digits before the point
    std::string_view fraction; // digits after it
    int exponent = 0;
};

bool ParseNumber(std::string_view s, char separator, NumberParts& parts) {
    s = StripBlanks(s);
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        parts.negative = s[i++] == '-';
    size_t start = i;
    while (i < s.size() && IsDigit(s[i]))
        ++i;
    parts.integer = s.substr(start, i - start);
    if (i < s.size() && s[i] == separator) {
        start = ++i;
        while (i < s.size() && IsDigit(s[i]))
            ++i;
        parts.fraction = s.substr(start, i - start);
    }
    if (parts.integer.empty() && parts.fraction.empty())
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            negativeExponent = s[i++] == '-';
        if (i >= s.size() || !IsDigit(s[i]))
            return false;
        long exponent = 0;
        while (i < s.size() && IsDigit(s[i])) {
            exponent = exponent * 10 + (s[i++] - '0');
            if (exponent > 100000)
                return false;
        }
        parts.exponent = static_cast<int>(negativeExponent ? -exponent : exponent);
    }
    return i == s.size();
}

} // namespace

char DecimalSeparator() {
    return g_separator.load();
}
void SetDecimalSeparator(char separator) {
    g_separator.store(separator);
}

DecimalSeparatorGuard::DecimalSeparatorGuard(char separator) : m_previous(DecimalSeparator()) {
    SetDecimalSeparator(separator);
}
DecimalSeparatorGuard::~DecimalSeparatorGuard() {
    SetDecimalSeparator(m_previous);
}

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

std::string FloatToStr(double value) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";
    // Fifteen significant digits as d.dddddddddddddde[+-]x, then laid out.
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string_view sci(buffer, result.ptr - buffer);
    bool negative = sci.front() == '-';
    if (negative)
        sci.remove_prefix(1);
    size_t e = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, e))
        if (IsDigit(c))
            digits.push_back(c);
    int exponent = 0;
    std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+'), sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    const char separator = DecimalSeparator();
    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += separator;
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += '0';
        out += separator;
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        size_t intDigits = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits;
            out.append(intDigits - digits.size(), '0');
        } else {
            out.append(digits, 0, intDigits);
            out += separator;
            out.append(digits, intDigits, std::string::npos);
        }
    }
    return out;
}

int64_t StrToInt(std::string_view textIn) {
    std::string_view s = StripBlanks(textIn);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    int64_t value = 0;
    if (s.empty() || (s.size() > 1 && s[0] == '-' && !IsDigit(s[1])))
        NotInteger(textIn);
    auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    if (result.ec != std::errc() || result.ptr != s.data() + s.size())
        NotInteger(textIn);
    return value;
}

namespace {

constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr size_t kExactDigits = 15;

// The value of at most kExactDigits digits, `fraction` of them after the
// point: the digits as an integer and the power of ten are both exact
// doubles, and one division rounds correctly, as the full conversion does.
double ExactValue(uint64_t digits, size_t fraction, bool negative) {
    const double value = static_cast<double>(digits) / kPowers[fraction];
    return negative ? -value : value;
}

// For a number of at most kExactDigits digits in all and no exponent, its
// correctly rounded double. Answers false, `value` untouched, for any other
// number.
bool ExactSmallNumber(const NumberParts& parts, double& value) {
    if (parts.exponent != 0 || parts.integer.size() + parts.fraction.size() > kExactDigits)
        return false;
    uint64_t digits = 0;
    for (char c : parts.integer)
        digits = digits * 10 + static_cast<uint64_t>(c - '0');
    for (char c : parts.fraction)
        digits = digits * 10 + static_cast<uint64_t>(c - '0');
    value = ExactValue(digits, parts.fraction.size(), parts.negative);
    return true;
}

} // namespace

bool StrToPlainDecimal(const char* text, double& value) {
    const char separator = DecimalSeparator();
    const char* p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    uint64_t digits = 0;
    size_t count = 0;
    size_t fraction = 0;
    bool point = false;
    for (;; ++p) {
        if (IsDigit(*p)) {
            if (++count > kExactDigits)
                return false;
            digits = digits * 10 + static_cast<uint64_t>(*p - '0');
            if (point)
                ++fraction;
        } else if (*p == separator && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (*p != '\0' || count == 0)
        return false;
    value = ExactValue(digits, fraction, negative);
    return true;
}

double StrToFloat(std::string_view textIn) {
    NumberParts parts;
    if (!ParseNumber(textIn, DecimalSeparator(), parts))
        NotFloat(textIn);
    if (double value; ExactSmallNumber(parts, value))
        return value;
    // -<integer>.<fraction>e<exponent>, on the stack unless the number is long.
    char stack[96];
    std::string heap;
    const size_t size = parts.integer.size() + parts.fraction.size() + 16;
    if (size > sizeof stack)
        heap.resize(size);
    char* const begin = size > sizeof stack ? heap.data() : stack;
    char* out = begin;
    if (parts.negative)
        *out++ = '-';
    if (parts.integer.empty())
        *out++ = '0';
    out = std::copy(parts.integer.begin(), parts.integer.end(), out);
    if (!parts.fraction.empty()) {
        *out++ = '.';
        out = std::copy(parts.fraction.begin(), parts.fraction.end(), out);
    }
    *out++ = 'e';
    out = std::to_chars(out, begin + size, parts.exponent).ptr;
    double value = 0;
    auto result = std::from_chars(begin, out, value);
    if (result.ec != std::errc() || !std::isfinite(value))
        NotFloat(textIn);
    return value;
}

double RoundHalfEven(double value) {
    double r = std::round(value);
    if (std::fabs(value - std::trunc(value)) == 0.5)
        r = 2.0 * std::round(value / 2.0);
    return r;
}

int64_t ToFixed4(double value) {
    double scaled = RoundHalfEven(value * 10000.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18)
        throw EConvertError("Число " + FloatToStr(value) + " вне допустимого диапазона");
    return static_cast<int64_t>(scaled);
}

std::string Fixed4ToString(int64_t fixed) {
    bool negative = fixed < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(fixed) : static_cast<uint64_t>(fixed);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    return (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
}

Decimal Decimal::FromText(std::string_view textIn, char separator) {
    NumberParts parts;
    if (!ParseNumber(textIn, separator, parts))
        NotFloat(textIn);
    Decimal d;
    d.m_negative = parts.negative;
    d.m_digits.reserve(parts.integer.size() + parts.fraction.size());
    d.m_digits.append(parts.integer).append(parts.fraction);
    d.m_scale = static_cast<int>(parts.fraction.size()) - parts.exponent;
    if (d.m_scale < 0) {
        d.m_digits.append(static_cast<size_t>(-d.m_scale), '0');
        d.m_scale = 0;
    }
    d.Normalize();
    return d;
}

Decimal Decimal::FromDouble(double value) {
    if (!std::isfinite(value))
        NotFloat(FloatToStr(value));
    DecimalSeparatorGuard guard('.');
    return FromText(FloatToStr(value));
}

void Decimal::Normalize() {
    while (m_scale > 0 && m_digits.size() > 1 && m_digits.back() == '0') {
        m_digits.pop_back();
        --m_scale;
    }
    if (m_scale > 0 && m_digits == "0")
        m_scale = 0;
    size_t lead = 0;
    while (lead + 1 < m_digits.size() && m_digits[lead] == '0')
        ++lead;
    m_digits.erase(0, lead);
    if (m_digits.empty())
        m_digits = "0";
    if (m_digits == "0") {
        m_negative = false;
        m_scale = 0;
    }
}

int64_t Decimal::Scaled(int scale) const {
    std::string digits = m_digits;
    bool roundUp = false;
    if (m_scale <= scale) {
        digits.append(static_cast<size_t>(scale - m_scale), '0');
    } else {
        size_t drop = static_cast<size_t>(m_scale - scale);
        if (drop >= digits.size()) {
            roundUp = drop == digits.size() && digits[0] >= '5';
            digits = "0";
        } else {
            roundUp = digits[digits.size() - drop] >= '5';
            digits.resize(digits.size() - drop);
        }
    }
    unsigned __int128 value = 0;
    for (char c : digits) {
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()))
            throw EConvertError("Число " + ToString() + " вне допустимого диапазона");
    }
    if (roundUp)
        ++value;
    if (value > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()))
        throw EConvertError("Число " + ToString() + " вне допустимого диапазона");
    int64_t result = static_cast<int64_t>(value);
    return m_negative ? -result : result;
}

std::string Decimal::ToString() const {
    std::string digits = m_digits;
    if (static_cast<int>(digits.size()) <= m_scale)
        digits.insert(0, static_cast<size_t>(m_scale) - digits.size() + 1, '0');
    if (m_scale > 0)
        digits.insert(digits.size() - static_cast<size_t>(m_scale), ".");
    return (m_negative ? "-" : "") + digits;
}

double Decimal::ToDouble() const {
    std::string s = ToString();
    double value = 0;
    std::from_chars(s.data(), s.data() + s.size(), value);
    return value;
}

} // namespace text
