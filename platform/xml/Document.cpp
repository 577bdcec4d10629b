#include "platform/xml/Document.h"

#include "platform/text/Exception.h"
#include "platform/xml/WellFormed.h"

#include <algorithm>
#include <utility>

namespace xml {
namespace {

[[noreturn]] void DomFailure(const std::string& what) {
    throw Exception("Ошибка XML DOM: " + what);
}

struct StringWriter : pugi::xml_writer {
    explicit StringWriter(std::string& out) : m_out(out) {}
    void write(const void* data, size_t size) override {
        m_out.append(static_cast<const char*>(data), size);
    }
    std::string& m_out;
};

bool IsTextual(pugi::xml_node node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// pugixml's statuses in words the user reads in the parse error box.
std::string StatusReason(pugi::xml_parse_status status) {
    switch (status) {
    case pugi::status_ok:
        return "";
    case pugi::status_file_not_found:
        return "Файл не найден";
    case pugi::status_io_error:
        return "Ошибка чтения файла";
    case pugi::status_out_of_memory:
        return "Недостаточно памяти для разбора документа";
    case pugi::status_internal_error:
        return "Внутренняя ошибка разбора документа";
    case pugi::status_unrecognized_tag:
        return "Непонятная разметка после символа \"<\"";
    case pugi::status_bad_pi:
        return "Ошибка в объявлении XML или в инструкции обработки";
    case pugi::status_bad_comment:
        return "Ошибка в комментарии";
    case pugi::status_bad_cdata:
        return "Ошибка в секции CDATA";
    case pugi::status_bad_doctype:
        return "Ошибка в объявлении типа документа (DOCTYPE)";
    case pugi::status_bad_pcdata:
        return "Ошибка в тексте элемента";
    case pugi::status_bad_start_element:
        return "Ошибка в открывающем теге элемента";
    case pugi::status_bad_attribute:
        return "Ошибка в атрибуте элемента";
    case pugi::status_bad_end_element:
        return "Ошибка в закрывающем теге элемента";
    case pugi::status_end_element_mismatch:
        return "Закрывающий тег не соответствует открытому элементу";
    case pugi::status_append_invalid_root:
        return "Недопустимый корневой узел";
    case pugi::status_no_document_element:
        return "В документе нет корневого элемента";
    }
    return "Неизвестная ошибка разбора документа";
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

namespace {

// The line of `offset` (clamped to the text) and where that line starts.
std::pair<int, size_t> LineOf(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    int line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
            lineStart = i + 1;
        }
    }
    return {line, lineStart};
}

} // namespace

int LineAt(std::string_view text, size_t offset) {
    return LineOf(text, offset).first;
}

void LocateError(std::string_view text, size_t offset, ParseError& error) {
    offset = std::min(offset, text.size());
    const auto [line, lineStart] = LineOf(text, offset);
    size_t lineEnd = text.find_first_of("\r\n", lineStart);
    if (lineEnd == std::string_view::npos)
        lineEnd = text.size();
    // A whole patch may stand on one line; show a window around the fault then.
    constexpr size_t kWindow = 500;
    size_t from = lineStart;
    size_t to = lineEnd;
    if (to - from > 2 * kWindow) {
        from = std::max(lineStart, offset > kWindow ? offset - kWindow : 0);
        to = std::min(lineEnd, offset + kWindow);
        while (from < to && IsContinuationByte(text[from]))
            ++from;
        while (to > from && to < text.size() && IsContinuationByte(text[to]))
            --to;
    }
    size_t position = 1;
    for (size_t i = lineStart; i < offset; ++i)
        position += IsContinuationByte(text[i]) ? 0 : 1;
    error.line = line;
    error.linepos = static_cast<int>(position);
    error.srcText = std::string(text.substr(from, to - from));
}

// ---- Node ----

NodeType Node::Type() const {
    switch (m_node.type()) {
    case pugi::node_element:
        return NodeType::Element;
    case pugi::node_pcdata:
        return NodeType::Text;
    case pugi::node_cdata:
        return NodeType::CData;
    case pugi::node_pi:
        return NodeType::ProcessingInstruction;
    case pugi::node_comment:
        return NodeType::Comment;
    case pugi::node_document:
        return NodeType::Document;
    case pugi::node_doctype:
        return NodeType::DocumentType;
    default:
        return NodeType::Other;
    }
}

std::string Node::NodeName() const {
    switch (m_node.type()) {
    case pugi::node_pcdata:
        return "#text";
    case pugi::node_cdata:
        return "#cdata-section";
    case pugi::node_comment:
        return "#comment";
    case pugi::node_document:
        return "#document";
    default:
        return m_node.name();
    }
}

std::string Node::NodeText() const {
    if (m_node.type() != pugi::node_element && m_node.type() != pugi::node_document)
        return m_node.value();
    std::string result;
    // Iterative walk of the subtree in document order.
    pugi::xml_node node = m_node.first_child();
    while (node && node != m_node) {
        if (IsTextual(node))
            result += node.value();
        if (node.first_child() && !m_document->IsLimbo(node)) {
            node = node.first_child();
            continue;
        }
        while (node != m_node && !node.next_sibling())
            node = node.parent();
        if (node != m_node)
            node = node.next_sibling();
    }
    return result;
}

void Node::SetText(std::string_view text) {
    pugi::xml_node limbo = m_document->Limbo();
    while (pugi::xml_node child = m_node.first_child())
        limbo.append_move(child);
    if (!text.empty()) {
        pugi::xml_node textNode = m_node.append_child(pugi::node_pcdata);
        if (!textNode || !textNode.set_value(text.data(), text.size()))
            DomFailure("не удалось задать текст узла " + NodeName());
    }
    m_document->Changed(m_node);
}

Node Node::AppendChild(Node child) {
    if (!child || child.m_document != m_document)
        DomFailure("добавляемый узел не принадлежит документу");
    pugi::xml_node oldParent = child.m_node.parent();
    if (!m_node.append_move(child.m_node))
        DomFailure("узел " + child.NodeName() + " нельзя добавить в узел " + NodeName());
    m_document->Changed(oldParent);
    m_document->Changed(m_node);
    return child;
}

void Node::RequireChild(const Node& child) const {
    if (!child || child.m_document != m_document || child.m_node.parent() != m_node)
        DomFailure("удаляемый узел не является дочерним узлом " + NodeName());
}

void Node::DestroyChild(Node child) {
    RequireChild(child);
    m_node.remove_child(child.m_node);
    m_document->Changed(m_node);
}

void Document::DestroyRemoved() {
    if (!m_limbo.empty())
        while (pugi::xml_node child = m_limbo.first_child())
            m_limbo.remove_child(child);
}

Node Node::RemoveChild(Node child) {
    RequireChild(child);
    m_document->Limbo().append_move(child.m_node);
    m_document->Changed(m_node);
    return child;
}

NodeList Node::ChildNodes() const {
    return NodeList(m_document, m_node);
}

Node Node::FirstChild() const {
    pugi::xml_node child = m_node.first_child();
    if (m_document->IsLimbo(child))
        child = child.next_sibling();
    return Node(m_document, child);
}

Node Node::NextSibling() const {
    pugi::xml_node next = m_node.next_sibling();
    if (m_document->IsLimbo(next))
        next = next.next_sibling();
    return Node(m_document, next);
}

Node Node::ParentNode() const {
    pugi::xml_node parent = m_node.parent();
    if (m_document->IsLimbo(parent) || parent.type() == pugi::node_document)
        return Node();
    return Node(m_document, parent);
}

int64_t Node::SourceOffset() const {
    return static_cast<int64_t>(m_node.offset_debug());
}

Element Node::AsElement() const {
    if (m_node.type() != pugi::node_element)
        DomFailure("узел " + NodeName() + " не является элементом");
    return Element(m_document, m_node);
}

// ---- Element ----

void Element::SetAttribute(const std::string& name, std::string_view value) {
    pugi::xml_attribute attribute = m_node.attribute(name.c_str());
    if (!attribute)
        attribute = m_node.append_attribute(name.c_str());
    if (!attribute || !attribute.set_value(value.data(), value.size()))
        DomFailure("не удалось задать атрибут " + name);
}

void Element::SetAttributeNode(const Attribute& attribute) {
    SetAttribute(attribute.name, attribute.value);
}

std::optional<std::string_view> Element::GetAttribute(const std::string& name) const {
    pugi::xml_attribute attribute = m_node.attribute(name.c_str());
    if (!attribute)
        return std::nullopt;
    return std::string_view(attribute.value());
}

// ---- NodeList ----

NodeList::NodeList(Document* document, pugi::xml_node parent)
    : m_document(document), m_parent(parent) {
    m_document->m_liveLists.push_back(this);
}

NodeList::NodeList(const NodeList& other) : NodeList(other.m_document, other.m_parent) {}

NodeList::~NodeList() {
    auto& lists = m_document->m_liveLists;
    auto it = std::find(lists.rbegin(), lists.rend(), this);
    if (it != lists.rend())
        lists.erase(std::next(it).base());
}

void NodeList::Refresh() const {
    if (m_valid)
        return;
    m_length = 0;
    for (pugi::xml_node child = m_parent.first_child(); child; child = child.next_sibling())
        m_length += m_document->IsLimbo(child) ? 0 : 1;
    m_cursorIndex = 0;
    m_cursor = m_parent.first_child();
    if (m_document->IsLimbo(m_cursor))
        m_cursor = m_cursor.next_sibling();
    m_valid = true;
}

int NodeList::Length() const {
    Refresh();
    return m_length;
}

Node NodeList::Item(int index) const {
    Refresh();
    if (index < 0 || index >= m_length)
        return Node();
    if (index < m_cursorIndex / 2) {
        m_cursorIndex = 0;
        m_cursor = m_parent.first_child();
        if (m_document->IsLimbo(m_cursor))
            m_cursor = m_cursor.next_sibling();
    }
    auto step = [this](pugi::xml_node node, bool forward) {
        do
            node = forward ? node.next_sibling() : node.previous_sibling();
        while (m_document->IsLimbo(node));
        return node;
    };
    while (m_cursorIndex < index) {
        m_cursor = step(m_cursor, true);
        ++m_cursorIndex;
    }
    while (m_cursorIndex > index) {
        m_cursor = step(m_cursor, false);
        --m_cursorIndex;
    }
    return Node(m_document, m_cursor);
}

// ---- Document ----

Document::Document() = default;

pugi::xml_node Document::Limbo() {
    if (m_limbo.empty()) {
        m_limbo = m_document.append_child(pugi::node_element);
        if (!m_limbo)
            DomFailure("не удалось создать узел");
    }
    return m_limbo;
}

void Document::Changed(pugi::xml_node parent) {
    for (NodeList* list : m_liveLists)
        if (list->m_parent == parent)
            list->m_valid = false;
}

Element Document::CreateElement(const std::string& tagName) {
    pugi::xml_node node = Limbo().append_child(pugi::node_element);
    if (!node || !node.set_name(tagName.c_str()))
        DomFailure("не удалось создать элемент " + tagName);
    return Element(this, node);
}

Node Document::CreateTextNode(std::string_view text) {
    pugi::xml_node node = Limbo().append_child(pugi::node_pcdata);
    if (!node || !node.set_value(text.data(), text.size()))
        DomFailure("не удалось создать текстовый узел");
    return Node(this, node);
}

Node Document::CreateComment(std::string_view text) {
    pugi::xml_node node = Limbo().append_child(pugi::node_comment);
    if (!node || !node.set_value(text.data(), text.size()))
        DomFailure("не удалось создать комментарий");
    return Node(this, node);
}

Node Document::AppendChild(Node child) {
    return AsNode().AppendChild(child);
}

Node Document::AsNode() const {
    return Node(const_cast<Document*>(this), m_document.root());
}

Element Document::DocumentElement() const {
    for (pugi::xml_node child = m_document.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && !IsLimbo(child))
            return Element(const_cast<Document*>(this), child);
    return Element();
}

bool Document::LoadXML(std::string_view text) {
    if (Load(text, false)) {
        m_buffer = std::string();
        return true;
    }
    PlaceParseError(text);
    return false;
}

bool Document::LoadXMLInPlace(std::string text) {
    // With a terminating zero, as the copy LoadXML hands pugixml: the parse
    // then ends, and reports its errors, exactly where the copy's does.
    m_buffer = std::move(text);
    m_buffer.push_back('\0');
    return Load(std::string_view(m_buffer.data(), m_buffer.size() - 1), true);
}

void Document::PlaceParseError(std::string_view original) {
    LocateError(original, m_errorOffset, m_parseError);
}

// Checks that `text` is well-formed, then parses it (in place: m_buffer,
// `text` and its terminating zero). On failure fills the code and reason of
// the parse error and m_errorOffset, and empties the document.
bool Document::Load(std::string_view text, bool inPlace) {
    for (NodeList* list : m_liveLists)
        list->m_valid = false;
    m_limbo = pugi::xml_node();
    m_parseError = ParseError();
    m_errorOffset = 0;
    WellFormedFault fault;
    if (!CheckWellFormed(text, fault)) {
        m_parseError.errorCode = fault.code;
        m_parseError.reason = std::move(fault.reason);
        if (fault.offset >= text.size() && fault.code != kErrorNoRoot)
            m_parseError.reason += " (документ неожиданно закончился)";
        m_errorOffset = fault.offset;
    } else {
        constexpr unsigned kOptions =
            pugi::parse_default | pugi::parse_comments | pugi::parse_doctype;
        pugi::xml_parse_result result =
            inPlace ? m_document.load_buffer_inplace(m_buffer.data(), m_buffer.size(), kOptions,
                                                     pugi::encoding_utf8)
                    : m_document.load_buffer(text.data(), text.size(), kOptions,
                                             pugi::encoding_utf8);
        if (result)
            return true;
        // A well-formed document pugixml cannot take (out of memory, say).
        m_parseError.errorCode = static_cast<int>(result.status);
        m_parseError.reason = StatusReason(result.status);
        m_errorOffset = result.offset < 0 ? 0 : static_cast<size_t>(result.offset);
    }
    m_document.reset();
    m_buffer = std::string();
    return false;
}

std::string Document::Xml() const {
    std::string out;
    StringWriter writer(out);
    for (pugi::xml_node child = m_document.first_child(); child; child = child.next_sibling())
        if (!IsLimbo(child))
            child.print(writer, "", pugi::format_raw | pugi::format_no_declaration,
                        pugi::encoding_utf8);
    return out;
}

} // namespace xml
