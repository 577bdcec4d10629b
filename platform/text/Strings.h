// Small string helpers used across the layers.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Removes leading and trailing characters with codes up to 32 (blanks and
// control characters), as the host framework's Trim does.
std::string Trim(std::string_view s);
// Trim without a copy: the part of `s` that Trim keeps.
std::string_view TrimView(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// ASCII-only case folding; Cyrillic letters are left as they are.
std::string UpperAscii(std::string_view s);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

// The number of characters (code points) in a UTF-8 text.
size_t Utf8Length(std::string_view s);
// The longest prefix of at most maxBytes bytes that does not split a UTF-8
// character.
std::string_view Utf8Prefix(std::string_view s, size_t maxBytes);

} // namespace text
