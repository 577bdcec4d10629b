#include "platform/text/Strings.h"

namespace text {
namespace {
bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 32;
}
char UpperChar(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
} // namespace

std::string TrimLeft(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && IsTrimmed(s[b]))
        ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && IsTrimmed(s[e - 1]))
        --e;
    return std::string(s.substr(0, e));
}

std::string_view TrimView(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsTrimmed(s[b]))
        ++b;
    while (e > b && IsTrimmed(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string Trim(std::string_view s) {
    return std::string(TrimView(s));
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = UpperChar(c);
    return out;
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    // Mostly the letters are alike as they stand: only those that differ are
    // compared in upper case.
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpperChar(a[i]) != UpperChar(b[i]))
            return false;
    return true;
}

size_t Utf8Length(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string_view Utf8Prefix(std::string_view s, size_t maxBytes) {
    if (s.size() <= maxBytes)
        return s;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

} // namespace text
