// Object trees to XML documents and back. Every operation wraps an Exception
// raised inside it with its own three-line header, so the message traces the
// path from the outermost object inwards.
#include "Serialaze/TSerializeList.h"

#include "platform/host/Application.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/StringList.h"
#include "platform/text/Strings.h"
#include "platform/xml/Document.h"

#include <algorithm>

using serialaze::PropertyInfo;
using serialaze::PropertyKind;

namespace {

const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";

bool IsBlank(const std::string& s) {
    return text::Trim(s).empty();
}

void ShowError(const std::string& text, const std::string& caption) {
    host::ShowMessageBox(host::CurrentApplication().MainFormHandle(), text, caption,
                         host::MbIcon::Error, host::MbButtons::Ok);
}

// Whether the zero-terminated `a` is `b`; most names differ in their first
// letters, so this rarely reads far.
bool SameName(const char* a, const std::string& b) {
    for (char c : b)
        if (*a++ != c)
            return false;
    return *a == '\0';
}

// Appends a text node holding one line feed.
void AppendLineFeed(xml::Element& element) {
    element.AppendChild(element.OwnerDocument()->CreateTextNode("\n"));
}

// The line of `offset` in the text `reread` gives; 0 when the text cannot be
// had again (the file went away): the failure is reported without its line
// rather than replaced by another.
int LineInText(const std::function<std::string()>& reread, int64_t offset) {
    try {
        return xml::LineAt(reread(), static_cast<size_t>(offset));
    } catch (const Exception&) {
        return 0;
    }
}

} // namespace

void TSerializeList::Serialize(text::StringList& lines) {
    try {
        xml::Document document;
        text::DecimalSeparatorGuard separator('.');
        lines.Clear();
        xml::Element root = document.CreateElement(ClassName());
        document.AppendChild(root);
        SerializeInternal(root);
        lines.Add(document.Xml());
        AddHeaderLines(lines);
    } catch (const Exception& e) {
        // The separator and the document are gone by now, as the box comes up.
        ShowError("Oшибка сериализации объекта", "Ошибка создания XML-документа");
        Rethrow(e, "Serialize");
    }
}

void TSerializeList::DeSerialize(const text::StringList& lines) {
    DeSerializeText(lines.Text(), [&lines] { return lines.Text(); });
}

void TSerializeList::DeSerializeText(std::string whole,
                                     const std::function<std::string()>& reread) {
    try {
        xml::Document document;
        text::DecimalSeparatorGuard separator('.');
        if (!document.LoadXMLInPlace(std::move(whole))) {
            document.PlaceParseError(reread());
            const std::string message = ParseErrorText(document.GetParseError());
            ShowError(message, "Ошибка загрузки XML-документа");
            throw Exception(message);
        }
        xml::Element root = document.DocumentElement();
        if (root.TagName() != ClassName())
            throw Exception(ObjectErrorText(this, "DeSerialize",
                                            "Тип документа не соответствует загружаемому объекту"));
        document.SetReadOnce(true);
        DeSerializeInternal(root);
    } catch (const Exception& e) {
        // Where the failure is, when an object said so: its line is found in
        // the text only now, so that reading pays nothing for it.
        if (!e.Place())
            Rethrow(e, "DeSerialize");
        ErrorPlace place = *e.Place();
        // A place is known only once an object's element was being read.
        if (place.line == 0 && place.offset >= 0)
            place.line = LineInText(reread, place.offset);
        const std::string where = PlaceText(place);
        Exception wrapped(ObjectErrorText(this, "DeSerialize", e.Message()) +
                          (where.empty() ? "" : where + "\n"));
        wrapped.SetPlace(std::move(place));
        throw wrapped;
    }
}

void TSerializeList::SerializeInternal(xml::Element element) {
    try {
        xml::Document& document = *element.OwnerDocument();
        if (!IsBlank(CommentBefore())) {
            AppendLineFeed(element);
            element.AppendChild(document.CreateComment(CommentBefore()));
        }
        SetAttributesIntoXML(element);
        // Added beside the content written so far rather than replacing it, so
        // property elements and the comment are never lost to the text.
        if (!IsBlank(m_text))
            element.AppendChild(document.CreateTextNode(m_text));
        for (int i = 0; i < Count(); ++i) {
            AppendLineFeed(element);
            xml::Element itemElement = document.CreateElement(ItemClassName(i)).AsElement();
            element.AppendChild(itemElement);
            Items(i)->SerializeInternal(itemElement);
            AppendLineFeed(element);
        }
        if (!IsBlank(CommentAfter())) {
            AppendLineFeed(element);
            element.AppendChild(document.CreateComment(CommentAfter()));
        }
    } catch (const Exception& e) {
        Rethrow(e, "SerializeInternal");
    }
}

void TSerializeList::DeSerializeInternal(xml::Element element) {
    m_sourceOffset = element.SourceOffset();
    try {
        GetAttributesFromXML(element);
        // Reading a child changes only the child's own subtree, never this
        // element's list of children, so a plain walk sees what the live list
        // would.
        const bool readOnce = element.OwnerDocument()->ReadOnce();
        for (xml::Node node = element.FirstChild(), next; node; node = next) {
            next = node.NextSibling();
            if (node.Type() == xml::NodeType::Element) {
                if (TSerializeList* child = AddNewElement(node.NodeName()))
                    child->DeSerializeInternal(node.AsElement());
                // Read once: the child's part of the document is not needed again.
                if (readOnce)
                    element.DestroyChild(node);
            } else if (node.Type() == xml::NodeType::Text) {
                m_text = node.NodeText();
            }
        }
    } catch (const Exception& e) {
        RethrowReading(e, element);
    }
}

void TSerializeList::SetAttributesIntoXML(xml::Element element) {
    try {
        for (const PropertyInfo* property : Class().Properties())
            SerializeProperty(*property, element);
    } catch (const Exception& e) {
        Rethrow(e, "SetAttributesIntoXML");
    }
}

void TSerializeList::SerializeProperty(const PropertyInfo& property, xml::Element& element) {
    if (property.kind == PropertyKind::Class) {
        TSerializeList* value = property.object(*this);
        if (!value)
            return;
        AppendLineFeed(element);
        xml::Element child = element.OwnerDocument()->CreateElement(property.name);
        element.AppendChild(child);
        value->SerializeInternal(child);
        AppendLineFeed(element);
    } else if (serialaze::IsScalar(property.kind)) {
        const std::string value = property.get(*this).AsString();
        element.SetAttributeNode(element.OwnerDocument()->CreateAttribute(property.name));
        element.SetAttribute(property.name, value);
    }
}

void TSerializeList::GetAttributesFromXML(xml::Element element) {
    try {
        const serialaze::ClassInfo& info = Class();
        const std::vector<const PropertyInfo*>& properties = info.Properties();
        // One walk over the attributes gives each property the value of the
        // first attribute of its name; the properties then take their values
        // in their own order.
        constexpr size_t kInline = 32;
        const char* inlineValues[kInline] = {};
        std::vector<const char*> moreValues;
        const char** values = inlineValues;
        if (properties.size() > kInline) {
            moreValues.assign(properties.size(), nullptr);
            values = moreValues.data();
        }
        element.ForEachAttribute([&](const char* name, const char* value) {
            const auto [begin, end] = info.ScalarsStartingWith(name[0]);
            for (const uint16_t* i = begin; i != end; ++i)
                if (!values[*i] && SameName(name, properties[*i]->name))
                    values[*i] = value;
        });
        for (size_t i = 0; i < properties.size(); ++i)
            DeSerializeProperty(*properties[i], element, values[i]);
    } catch (const Exception& e) {
        Rethrow(e, "GetAttributesFromXML");
    }
}

void TSerializeList::DeSerializeProperty(const PropertyInfo& property, xml::Element& element,
                                         const char* value) {
    if (property.kind == PropertyKind::Class) {
        TSerializeList* object = property.object(*this);
        if (!object)
            return;
        for (xml::Node node = element.FirstChild(); node; node = node.NextSibling()) {
            if (node.Type() == xml::NodeType::Element && node.NodeName() == property.name) {
                element.RemoveChild(node);
                object->DeSerializeInternal(node.AsElement());
                if (element.OwnerDocument()->ReadOnce())
                    element.OwnerDocument()->DestroyRemoved();
                break;
            }
        }
    } else if (serialaze::IsScalar(property.kind)) {
        if (!value)
            return;
        if (serialaze::IsNumeric(property.kind)) {
            // Trimmed; blank is 0. Most values are plain decimals, read without
            // measuring or trimming them first.
            double number;
            if (!text::StrToPlainDecimal(value, number)) {
                const std::string_view trimmed = text::TrimView(value);
                number = text::StrToFloat(trimmed.empty() ? "0" : trimmed);
            }
            if (property.setFloat)
                property.setFloat(*this, number);
            else
                property.set(*this, number);
            return;
        }
        const std::string_view text(value);
        if (property.kind == PropertyKind::Enumeration) {
            property.setIdentifier(*this, std::string(text));
        } else if (property.setText) {
            property.setText(*this, text);
        } else {
            property.set(*this, std::string(text));
        }
    }
}

void TSerializeList::AddHeaderLines(text::StringList& lines) const {
    lines.Insert(0, kDeclaration);
    if (!IsBlank(DTDFile()))
        lines.Insert(1, "<!DOCTYPE  " + ClassName() + "  SYSTEM \"" + DTDFile() + "\" >");
}
