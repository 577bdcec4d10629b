// The list, the class description, the base bodies that must be overridden and
// the error texts.
#include "Serialaze/TSerializeList.h"

#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/xml/ParseError.h"

#include <cmath>
#include <limits>

namespace serialaze {

ClassInfo::ClassInfo(const char* name, const std::type_info& type, const ClassInfo* parent,
                     std::vector<PropertyInfo> own)
    : m_name(name), m_type(type), m_parent(parent), m_own(std::move(own)) {
    if (m_parent)
        m_all = m_parent->Properties();
    for (const PropertyInfo& property : m_own)
        m_all.push_back(&property);
    if (m_all.size() > std::numeric_limits<uint16_t>::max())
        throw Exception("Слишком много свойств класса " + m_name);
    for (int c = 0; c < 256; ++c) {
        m_scalarStart[c] = static_cast<uint16_t>(m_scalars.size());
        for (size_t i = 0; i < m_all.size(); ++i)
            if (IsScalar(m_all[i]->kind) && !m_all[i]->name.empty() &&
                static_cast<unsigned char>(m_all[i]->name[0]) == c)
                m_scalars.push_back(static_cast<uint16_t>(i));
    }
    m_scalarStart[256] = static_cast<uint16_t>(m_scalars.size());
}

const PropertyInfo* ClassInfo::FindProperty(const std::string& name) const {
    for (const PropertyInfo* property : m_all)
        if (property->name == name)
            return property;
    return nullptr;
}

int NarrowToInt(int64_t value) {
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw EConvertError("Значение " + std::to_string(value) + " вне диапазона целого числа");
    return static_cast<int>(value);
}

} // namespace serialaze

namespace {

[[noreturn]] void MustNotBeUsed(const char* method) {
    throw Exception(std::string("Метод TSerializeList::") + method + " не должен использоваться.");
}

} // namespace

TSerializeList::TSerializeList() = default;

const TSerializeList::ExtraTexts& TSerializeList::Extras() const {
    static const ExtraTexts none;
    return m_extras ? *m_extras : none;
}

TSerializeList::ExtraTexts& TSerializeList::MutableExtras() {
    if (!m_extras)
        m_extras = std::make_unique<ExtraTexts>();
    return *m_extras;
}

// The base Clear runs here whatever a derived class made of Clear: children are
// always destroyed with their container.
TSerializeList::~TSerializeList() {
    TSerializeList::Clear();
}

const serialaze::ClassInfo& TSerializeList::StaticClassInfo() {
    static const serialaze::ClassInfo info("TSerializeList", typeid(TSerializeList), nullptr, {});
    return info;
}

const serialaze::ClassInfo& TSerializeList::GetClassInfo() const {
    return StaticClassInfo();
}

const serialaze::ClassInfo& TSerializeList::Class() const {
    const serialaze::ClassInfo& info = GetClassInfo();
    if (info.Type() != typeid(*this))
        throw Exception("Класс " + std::string(typeid(*this).name()) +
                        " не описан через SERIALIZE_CLASS и выдаёт себя за " + info.Name());
    return info;
}

TSerializeList* TSerializeList::Items(int index) const {
    if (index < 0 || index >= Count())
        throw Exception("Индекс списка вне допустимых пределов (" + std::to_string(index) + ")");
    return m_items[static_cast<size_t>(index)].get();
}

int TSerializeList::Add(std::unique_ptr<TSerializeList> item) {
    m_items.push_back(std::move(item));
    return Count() - 1;
}

void TSerializeList::Delete(int index) {
    Items(index);
    std::unique_ptr<TSerializeList> item = std::move(m_items[static_cast<size_t>(index)]);
    m_items.erase(m_items.begin() + index);
}

void TSerializeList::Clear() {
    while (!m_items.empty()) {
        // Taken out of the list before it is destroyed.
        std::unique_ptr<TSerializeList> last = std::move(m_items.back());
        m_items.pop_back();
    }
}

TSerializeList* TSerializeList::AddNewElement(const std::string&) {
    MustNotBeUsed("AddNewElement");
}
void TSerializeList::LoadFromDB(db::Connection&) {
    MustNotBeUsed("LoadFromDB");
}
void TSerializeList::SaveIntoDB(db::Connection&) {
    MustNotBeUsed("SaveIntoDB");
}
void TSerializeList::DeleteDB(db::Connection&) {
    MustNotBeUsed("DeleteDB");
}
void TSerializeList::InsertDB(db::Connection&) {
    MustNotBeUsed("InsertDB");
}
void TSerializeList::UpdateDB(db::Connection&) {
    MustNotBeUsed("UpdateDB");
}
bool TSerializeList::ExistDB(db::Connection&) {
    MustNotBeUsed("ExistDB");
}

std::string TSerializeList::ItemClassName(int index) const {
    return Items(index)->ClassName();
}

double TSerializeList::RoundTo2(double x) {
    return std::floor((x + 0.005) * 100) * 0.01;
}

std::string TSerializeList::ObjectErrorText(const TSerializeList* object, const std::string& method,
                                            const std::string& message) {
    // GetClassInfo, not Class: composing an error text must not raise another.
    const std::string className = object ? object->GetClassInfo().Name() : "";
    return "Ошибка объекта: " + className + "\n" + "Метод: " + method + "\n" +
           "Сообщение: " + message + "\n";
}

std::string TSerializeList::ParseErrorText(const xml::ParseError& error) {
    return "Ошибка парсера " + std::to_string(error.errorCode) + "\n" + "Документ:  " + error.url +
           "\n" + "Строка " + std::to_string(error.line) + " Позиция " +
           std::to_string(error.linepos) + "\n" + "Сообщение парсера: \"" + error.reason + "\"\n" +
           "Источник: \"" + error.srcText + "\"";
}
