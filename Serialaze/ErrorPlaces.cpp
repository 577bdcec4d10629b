// Where a failure is: the names objects give themselves in messages, the place
// an Exception carries out of the XML operations, and its line of text.
#include "Serialaze/TSerializeList.h"

#include "platform/text/Exception.h"
#include "platform/xml/Document.h"

std::string TSerializeList::PlaceName(const PlaceValue&) const {
    return "";
}

std::string TSerializeList::PlaceName() const {
    return PlaceName([this](const char* property) { return PropertyText(property); });
}

std::string TSerializeList::PropertyText(const char* name) const {
    const serialaze::PropertyInfo* property = GetClassInfo().FindProperty(name);
    if (!property || !serialaze::IsScalar(property->kind))
        return "";
    try {
        return property->get(*this).AsString();
    } catch (const Exception&) {
        // A value that cannot be read (a resource line of no known kind) does
        // not name the object; the rest of the place still does.
        return "";
    }
}

ErrorPlace TSerializeList::PlaceOf(const TSerializeList& object) {
    ErrorPlace place;
    for (const TSerializeList* o = &object; o; o = o->GetParent()) {
        std::string name = o->PlaceName();
        if (!name.empty())
            place.path.insert(place.path.begin(), std::move(name));
    }
    place.offset = object.SourceOffset();
    return place;
}

std::string TSerializeList::PlaceText(const ErrorPlace& place) {
    std::string path;
    for (const std::string& name : place.path)
        path += (path.empty() ? "" : " / ") + name;
    std::string line = place.line > 0 ? "строка " + std::to_string(place.line) : "";
    if (path.empty() && line.empty())
        return "";
    return "Место ошибки: " + path + (path.empty() || line.empty() ? "" : "; ") + line;
}

namespace {

// The place `inner` carries; a new one holding its message as the cause when
// it carries none (it comes from below every header).
ErrorPlace PlaceFrom(const Exception& inner) {
    if (inner.Place())
        return *inner.Place();
    ErrorPlace place;
    place.cause = inner.Message();
    return place;
}

} // namespace

void TSerializeList::Rethrow(const Exception& inner, const char* method) const {
    Exception wrapped(ObjectErrorText(this, method, inner.Message()));
    wrapped.SetPlace(PlaceFrom(inner));
    throw wrapped;
}

void TSerializeList::RethrowReading(const Exception& inner, xml::Element& element) const {
    ErrorPlace place = PlaceFrom(inner);
    // The innermost element that was being read is where the failure is.
    if (place.offset < 0)
        place.offset = element.SourceOffset();
    std::string name = PlaceName([&](const char* property) {
        if (std::optional<std::string_view> attribute = element.GetAttribute(property))
            return std::string(*attribute);
        return PropertyText(property);
    });
    if (!name.empty())
        place.path.insert(place.path.begin(), std::move(name));
    Exception wrapped(ObjectErrorText(this, "DeSerializeInternal", inner.Message()));
    wrapped.SetPlace(std::move(place));
    throw wrapped;
}
