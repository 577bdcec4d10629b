// The value of a scalar published property on its way to and from XML and the
// tree view: empty, an integer, a floating-point number or a text. Converts
// between these as the host framework's variants do.
#pragma once

#include <cstdint>
#include <string>

namespace serialaze {

class Variant {
public:
    enum class Type { Empty, Integer, Float, String };

    Variant() = default;
    Variant(int value) : m_type(Type::Integer), m_integer(value) {}
    Variant(int64_t value) : m_type(Type::Integer), m_integer(value) {}
    Variant(double value) : m_type(Type::Float), m_float(value) {}
    Variant(std::string value) : m_type(Type::String), m_string(std::move(value)) {}
    Variant(const char* value) : m_type(Type::String), m_string(value) {}

    Type GetType() const { return m_type; }

    // Integers in decimal; floating point in general format with up to 15
    // significant digits and the current decimal separator; texts unchanged;
    // empty gives "".
    std::string AsString() const;
    // Texts are read with the current separator (EConvertError when not a
    // number); empty gives 0.
    double AsFloat() const;
    // Floating point rounded to the nearest integer, halves to even. Throws
    // EConvertError when the value does not fit 64 bits or a text is no number.
    int64_t AsInteger() const;

private:
    Type m_type = Type::Empty;
    int64_t m_integer = 0;
    double m_float = 0;
    std::string m_string;
};

} // namespace serialaze
