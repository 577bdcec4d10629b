#include "Serialaze/Variant.h"

#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"

#include <cmath>

namespace serialaze {

std::string Variant::AsString() const {
    switch (m_type) {
    case Type::Integer:
        return text::IntToStr(m_integer);
    case Type::Float:
        return text::FloatToStr(m_float);
    case Type::String:
        return m_string;
    case Type::Empty:
        break;
    }
    return "";
}

double Variant::AsFloat() const {
    switch (m_type) {
    case Type::Integer:
        return static_cast<double>(m_integer);
    case Type::Float:
        return m_float;
    case Type::String:
        return text::StrToFloat(m_string);
    case Type::Empty:
        break;
    }
    return 0;
}

int64_t Variant::AsInteger() const {
    if (m_type == Type::Integer)
        return m_integer;
    double rounded = text::RoundHalfEven(AsFloat());
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        throw EConvertError("Значение " + text::FloatToStr(AsFloat()) +
                            " не может быть целым числом");
    return static_cast<int64_t>(rounded);
}

} // namespace serialaze
