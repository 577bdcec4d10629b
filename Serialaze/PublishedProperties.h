// The published properties of a serializable class: an ordered table per class
// (name, kind, accessors) that is the whole XML vocabulary of its attributes and
// nested property elements. ClassInfo holds a class's name, its base and its
// table; tables are static data built once per class and never change.
#pragma once

#include "Serialaze/Variant.h"

#include "platform/text/Exception.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

class TSerializeList;

namespace serialaze {

// Kinds of published properties. The framework writes and reads the scalar
// kinds (Integer up to Variant) and Class; it ignores the rest.
enum class PropertyKind {
    Integer,
    Char,
    Enumeration,
    Float,
    ShortString,
    WChar,
    LString,
    WString,
    Variant,
    Class,
    Set,
    Method,
    Array,
    Record,
    Interface,
    Int64,
    DynArray
};

inline bool IsScalar(PropertyKind kind) {
    return kind <= PropertyKind::Variant;
}
inline bool IsNumeric(PropertyKind kind) {
    return kind == PropertyKind::Integer || kind == PropertyKind::Float;
}

struct PropertyInfo {
    std::string name;
    PropertyKind kind = PropertyKind::Integer;
    // Scalar kinds: the value (an enumeration by its identifier).
    std::function<Variant(const TSerializeList&)> get;
    // Scalar kinds: stores a value. May throw EConvertError.
    std::function<void(TSerializeList&, const Variant&)> set;
    // Enumeration: stores the value named by an identifier. Throws
    // EConvertError for an unknown identifier.
    std::function<void(TSerializeList&, const std::string&)> setIdentifier;
    // Class: the held object, or nullptr.
    std::function<TSerializeList*(const TSerializeList&)> object;
    // A text member's store without a Variant (empty for other kinds): what set
    // does with a text value.
    std::function<void(TSerializeList&, std::string_view)> setText;
    // A floating-point member's store without a Variant (empty for other
    // kinds): what set does with a floating-point value.
    std::function<void(TSerializeList&, double)> setFloat;
};

class ClassInfo {
public:
    // `parent` is null only for TSerializeList itself.
    ClassInfo(const char* name, const std::type_info& type, const ClassInfo* parent,
              std::vector<PropertyInfo> own);
    ClassInfo(const ClassInfo&) = delete;
    ClassInfo& operator=(const ClassInfo&) = delete;

    const std::string& Name() const { return m_name; }
    const std::type_info& Type() const { return m_type; }
    const ClassInfo* Parent() const { return m_parent; }
    // All published properties, those of the base classes first, each class's
    // own in declaration order.
    const std::vector<const PropertyInfo*>& Properties() const { return m_all; }
    // The property of that exact name, or nullptr.
    const PropertyInfo* FindProperty(const std::string& name) const;
    // The positions in Properties() of the scalar properties whose name
    // starts with `first`, in rising order: where an attribute of that name
    // can go.
    std::pair<const uint16_t*, const uint16_t*> ScalarsStartingWith(char first) const {
        const unsigned char c = static_cast<unsigned char>(first);
        return {m_scalars.data() + m_scalarStart[c], m_scalars.data() + m_scalarStart[c + 1]};
    }

private:
    std::string m_name;
    const std::type_info& m_type;
    const ClassInfo* m_parent;
    std::vector<PropertyInfo> m_own;
    std::vector<const PropertyInfo*> m_all;
    // The scalar properties grouped by the first byte of their names:
    // m_scalars[m_scalarStart[c] .. m_scalarStart[c + 1]) start with c.
    std::vector<uint16_t> m_scalars;
    std::array<uint16_t, 257> m_scalarStart{};
};

// ---- Building table rows from members ----

// A number stored into an int property. Throws EConvertError when out of range.
int NarrowToInt(int64_t value);

template <class C> PropertyInfo Property(std::string name, int C::*member) {
    PropertyInfo p{std::move(name), PropertyKind::Integer, {}, {}, {}, {}, {}, {}};
    p.get = [member](const TSerializeList& o) { return Variant(static_cast<const C&>(o).*member); };
    p.set = [member](TSerializeList& o, const Variant& v) {
        static_cast<C&>(o).*member = NarrowToInt(v.AsInteger());
    };
    return p;
}

template <class C> PropertyInfo Property(std::string name, double C::*member) {
    PropertyInfo p{std::move(name), PropertyKind::Float, {}, {}, {}, {}, {}, {}};
    p.get = [member](const TSerializeList& o) { return Variant(static_cast<const C&>(o).*member); };
    p.set = [member](TSerializeList& o, const Variant& v) {
        static_cast<C&>(o).*member = v.AsFloat();
    };
    p.setFloat = [member](TSerializeList& o, double v) { static_cast<C&>(o).*member = v; };
    return p;
}

template <class C> PropertyInfo Property(std::string name, std::string C::*member) {
    PropertyInfo p{std::move(name), PropertyKind::LString, {}, {}, {}, {}, {}, {}};
    p.get = [member](const TSerializeList& o) { return Variant(static_cast<const C&>(o).*member); };
    p.set = [member](TSerializeList& o, const Variant& v) {
        static_cast<C&>(o).*member = v.AsString();
    };
    p.setText = [member](TSerializeList& o, std::string_view v) {
        (static_cast<C&>(o).*member).assign(v.data(), v.size());
    };
    return p;
}

// An object-valued property held by a plain pointer (owned by the holder).
template <class C, class T, class = std::enable_if_t<std::is_base_of_v<TSerializeList, T>>>
PropertyInfo Property(std::string name, T* C::*member) {
    PropertyInfo p{std::move(name), PropertyKind::Class, {}, {}, {}, {}, {}, {}};
    p.object = [member](const TSerializeList& o) -> TSerializeList* {
        return static_cast<const C&>(o).*member;
    };
    return p;
}

// An object-valued property held by a unique_ptr.
template <class C, class T, class = std::enable_if_t<std::is_base_of_v<TSerializeList, T>>>
PropertyInfo Property(std::string name, std::unique_ptr<T> C::*member) {
    PropertyInfo p{std::move(name), PropertyKind::Class, {}, {}, {}, {}, {}, {}};
    p.object = [member](const TSerializeList& o) -> TSerializeList* {
        return (static_cast<const C&>(o).*member).get();
    };
    return p;
}

// An enumeration stored in `member`; identifiers[i] names the value i.
template <class C, class E, class = std::enable_if_t<std::is_enum_v<E>>>
PropertyInfo EnumProperty(std::string name, E C::*member, std::vector<std::string> identifiers) {
    PropertyInfo p{std::move(name), PropertyKind::Enumeration, {}, {}, {}, {}, {}, {}};
    auto names = std::make_shared<const std::vector<std::string>>(std::move(identifiers));
    p.get = [member, names](const TSerializeList& o) {
        size_t index = static_cast<size_t>(static_cast<const C&>(o).*member);
        return Variant(index < names->size() ? (*names)[index] : std::to_string(index));
    };
    p.setIdentifier = [member, names](TSerializeList& o, const std::string& identifier) {
        for (size_t i = 0; i < names->size(); ++i)
            if ((*names)[i] == identifier) {
                static_cast<C&>(o).*member = static_cast<E>(i);
                return;
            }
        throw EConvertError("Недопустимое значение перечисления: \"" + identifier + "\"");
    };
    p.set = [setIdentifier = p.setIdentifier](TSerializeList& o, const Variant& v) {
        setIdentifier(o, v.AsString());
    };
    return p;
}

// A computed property of any scalar kind through a getter and a setter:
// get(const C&) -> Variant, set(C&, const Variant&).
template <class C, class Get, class Set>
PropertyInfo Property(std::string name, PropertyKind kind, Get get, Set set) {
    PropertyInfo p{std::move(name), kind, {}, {}, {}, {}, {}, {}};
    p.get = [get](const TSerializeList& o) { return Variant(get(static_cast<const C&>(o))); };
    p.set = [set](TSerializeList& o, const Variant& v) { set(static_cast<C&>(o), v); };
    return p;
}

} // namespace serialaze
