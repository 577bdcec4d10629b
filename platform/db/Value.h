// The values that travel between a Query and a driver: a bound parameter value
// (what the program hands over, before any conversion to the server's type) and
// a column value of the current row (as the driver read it). Plain data.
#pragma once

#include "platform/text/Numbers.h"

#include <cstdint>
#include <string>

namespace db {

// What a parameter holds. Unbound is the state after the statement text is set
// and before anything was bound; executing with such a parameter is an error.
enum class ParamKind { Unbound, Null, String, Integer, Fixed4, Decimal };

struct BoundValue {
    ParamKind kind = ParamKind::Unbound;
    std::string text;      // String
    int64_t integer = 0;   // Integer; Fixed4 as value x 10000
    text::Decimal decimal; // Decimal

    // The value as plain text with '.' ("" for NULL and unbound): 1.2346 for the
    // fixed-point 12346. Used by drivers that pass text and by the recorder.
    std::string ToText() const;
    // "string", "integer", "fixed4", "decimal", "null" or "unbound".
    const char* KindName() const;
};

// A column value of the current row. Scaled is a NUMERIC/DECIMAL read natively:
// the integer `integer` means integer x 10^-scale.
enum class FieldKind { Null, String, Integer, Scaled, Double };

struct FieldValue {
    FieldKind kind = FieldKind::Null;
    std::string text;
    int64_t integer = 0;
    int scale = 0;
    double real = 0;

    static FieldValue Null() { return FieldValue(); }
    static FieldValue String(std::string s);
    static FieldValue Integer(int64_t v);
    static FieldValue Scaled(int64_t v, int scale);
    static FieldValue Double(double v);

    // NULL -> ""; integers in decimal; scaled values exactly with all `scale`
    // fraction digits and the process-wide decimal separator ("1.2346");
    // doubles in the general format of text::FloatToStr.
    std::string AsString() const;
    // NULL -> 0. Text is converted with text::StrToInt (EConvertError when it is
    // not an integer); scaled values and doubles are rounded half away from zero.
    int64_t AsInteger() const;
    // NULL -> 0. Text is converted with text::StrToFloat (EConvertError when it is
    // not a number); a scaled value goes through its exact text.
    double AsFloat() const;
    bool IsNull() const { return kind == FieldKind::Null; }
};

// The exact text of integer x 10^-scale with the given separator: (12346, 4) ->
// "1.2346", (-5, 2) -> "-0.05".
std::string ScaledToString(int64_t value, int scale, char separator);

} // namespace db
