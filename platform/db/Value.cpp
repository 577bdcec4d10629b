#include "platform/db/Value.h"

#include <cmath>

namespace db {

std::string ScaledToString(int64_t value, int scale, char separator) {
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (scale <= 0)
        return (negative ? "-" : "") + digits + std::string(static_cast<size_t>(-scale), '0');
    if (digits.size() <= static_cast<size_t>(scale))
        digits.insert(0, static_cast<size_t>(scale) - digits.size() + 1, '0');
    digits.insert(digits.end() - scale, separator);
    return (negative ? "-" : "") + digits;
}

std::string BoundValue::ToText() const {
    switch (kind) {
    case ParamKind::String:
        return text;
    case ParamKind::Integer:
        return std::to_string(integer);
    case ParamKind::Fixed4:
        return text::Fixed4ToString(integer);
    case ParamKind::Decimal:
        return decimal.ToString();
    case ParamKind::Null:
    case ParamKind::Unbound:
        break;
    }
    return "";
}

const char* BoundValue::KindName() const {
    switch (kind) {
    case ParamKind::String:
        return "string";
    case ParamKind::Integer:
        return "integer";
    case ParamKind::Fixed4:
        return "fixed4";
    case ParamKind::Decimal:
        return "decimal";
    case ParamKind::Null:
        return "null";
    case ParamKind::Unbound:
        break;
    }
    return "unbound";
}

FieldValue FieldValue::String(std::string s) {
    FieldValue v;
    v.kind = FieldKind::String;
    v.text = std::move(s);
    return v;
}

FieldValue FieldValue::Integer(int64_t i) {
    FieldValue v;
    v.kind = FieldKind::Integer;
    v.integer = i;
    return v;
}

FieldValue FieldValue::Scaled(int64_t i, int scale) {
    FieldValue v;
    v.kind = scale == 0 ? FieldKind::Integer : FieldKind::Scaled;
    v.integer = i;
    v.scale = scale;
    return v;
}

FieldValue FieldValue::Double(double d) {
    FieldValue v;
    v.kind = FieldKind::Double;
    v.real = d;
    return v;
}

std::string FieldValue::AsString() const {
    switch (kind) {
    case FieldKind::String:
        return text;
    case FieldKind::Integer:
        return std::to_string(integer);
    case FieldKind::Scaled:
        return ScaledToString(integer, scale, text::DecimalSeparator());
    case FieldKind::Double:
        return text::FloatToStr(real);
    case FieldKind::Null:
        break;
    }
    return "";
}

int64_t FieldValue::AsInteger() const {
    switch (kind) {
    case FieldKind::String:
        return text::StrToInt(text);
    case FieldKind::Integer:
        return integer;
    case FieldKind::Scaled:
        return text::Decimal::FromText(ScaledToString(integer, scale, '.')).Scaled(0);
    case FieldKind::Double:
        return static_cast<int64_t>(std::round(real));
    case FieldKind::Null:
        break;
    }
    return 0;
}

double FieldValue::AsFloat() const {
    switch (kind) {
    case FieldKind::String:
        return text::StrToFloat(text);
    case FieldKind::Integer:
        return static_cast<double>(integer);
    case FieldKind::Scaled:
        return text::Decimal::FromText(ScaledToString(integer, scale, '.')).ToDouble();
    case FieldKind::Double:
        return real;
    case FieldKind::Null:
        break;
    }
    return 0;
}

} // namespace db
