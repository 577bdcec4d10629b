// windows-1251 <-> UTF-8. Inside the program text is UTF-8; windows-1251 is used
// only at the boundaries that store 8-bit text (patch files, journals, scripts,
// host records, the log buffer).
#pragma once

#include <string>
#include <string_view>

namespace text {

// Decodes windows-1251 bytes. Every byte has a meaning (0x98, unassigned, maps
// to U+FFFD), so this never fails.
std::string Cp1251ToUtf8(std::string_view bytes);

// Decodes windows-1251 bytes as lines joined with CR LF: every line break (CR
// LF, LF or CR) becomes CR LF, and one at the very end is dropped. This is the
// text that splitting the decoded bytes into lines and joining them again
// gives. Never fails.
std::string Cp1251ToUtf8Lines(std::string_view bytes);

// Encodes UTF-8 as windows-1251. A character that windows-1251 lacks, and any
// byte that is not valid UTF-8, becomes '?'. Never fails.
std::string Utf8ToCp1251(std::string_view utf8);

} // namespace text
