// The user's decimal separator, read from the environment's numeric locale
// through a locale object of its own: the process-wide C locale (which Qt sets
// at start-up) is neither read nor changed.
#include "platform/text/Numbers.h"

#include <clocale>
#include <langinfo.h>

namespace text {
namespace {

// One byte that can stand between the digits of a number without making it
// ambiguous: visible ASCII, not a digit, a letter (the exponent) or a sign.
bool UsableSeparator(const char* radix) {
    if (!radix || !radix[0] || radix[1])
        return false;
    const char c = radix[0];
    const bool visible = c > ' ' && c < 0x7f;
    const bool alphanumeric = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                              (c >= 'A' && c <= 'Z');
    return visible && !alphanumeric && c != '-' && c != '+';
}

} // namespace

char UserDecimalSeparator() {
    locale_t numeric = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (numeric == static_cast<locale_t>(nullptr))
        return '.'; // the named locale is not installed
    const char* radix = nl_langinfo_l(RADIXCHAR, numeric);
    const char separator = UsableSeparator(radix) ? radix[0] : '.';
    freelocale(numeric);
    return separator;
}

} // namespace text
