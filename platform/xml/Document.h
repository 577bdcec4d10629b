// The XML DOM the serialization framework works on, over pugixml: a Document
// owns every node; Node, Element and NodeList are small handles into it that
// stay valid as long as the Document lives (removed nodes included). Texts are
// UTF-8. Failing calls throw Exception; nothing here shows a message.
#pragma once

#include "platform/xml/ParseError.h"

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xml {

class Document;
class Element;
class NodeList;

// Node kinds, numbered as the standard DOM numbers them.
enum class NodeType {
    Element = 1,
    Text = 3,
    CData = 4,
    ProcessingInstruction = 7,
    Comment = 8,
    Document = 9,
    DocumentType = 10,
    Other = 0
};

// A node handle. A default-constructed handle is null.
class Node {
public:
    Node() = default;

    explicit operator bool() const { return m_document != nullptr && !m_node.empty(); }
    bool operator==(const Node& other) const { return m_node == other.m_node; }
    bool operator!=(const Node& other) const { return !(*this == other); }

    NodeType Type() const;
    // Tag name of an element; "#text", "#comment", "#cdata-section",
    // "#document" for the others.
    std::string NodeName() const;
    // A text, CDATA or comment node: its value. An element or the document:
    // the text of all descendant text and CDATA nodes in document order.
    std::string NodeText() const;
    // Replaces all children by one text node holding `text` (none when empty).
    void SetText(std::string_view text);

    // Appends `child` (created by the same document, or moved from elsewhere in
    // it) as the last child and returns it. Throws Exception when `child` is
    // null, belongs to another document, or cannot be a child here.
    Node AppendChild(Node child);
    // Detaches `child` and returns it; it stays usable until the document goes.
    // Throws Exception when `child` is not a child of this node.
    Node RemoveChild(Node child);
    // Detaches `child` and frees it with its subtree: every handle to them is
    // invalid from then on. Throws as RemoveChild.
    void DestroyChild(Node child);

    // The live list of children: removals and appends are seen at once.
    NodeList ChildNodes() const;
    Node FirstChild() const;
    Node NextSibling() const;
    // Null for a detached node and for the document.
    Node ParentNode() const;

    // Where a loaded element starts in the text it was loaded from: the byte
    // offset of its name, just behind its "<" (see LineAt for its line). -1
    // for a node that was created rather than loaded, and after the node's
    // name was changed. Costs a few pointer steps; nothing is kept for it.
    int64_t SourceOffset() const;

    // REQUIRES: Type() == NodeType::Element.
    Element AsElement() const;
    Document* OwnerDocument() const { return m_document; }

protected:
    friend class Document;
    friend class NodeList;
    Node(Document* document, pugi::xml_node node) : m_document(document), m_node(node) {}
    // Throws Exception unless `child` is a child of this node.
    void RequireChild(const Node& child) const;

    Document* m_document = nullptr;
    pugi::xml_node m_node;
};

// A named attribute not yet attached; Element::SetAttributeNode attaches it.
struct Attribute {
    std::string name;
    std::string value;
};

class Element : public Node {
public:
    Element() = default;

    std::string TagName() const { return m_node.name(); }
    // Creates the attribute or replaces its value.
    void SetAttribute(const std::string& name, std::string_view value);
    void SetAttributeNode(const Attribute& attribute);
    // The attribute's text, or nothing when the element has no such attribute.
    // The view stays valid until the attribute changes or the document goes.
    std::optional<std::string_view> GetAttribute(const std::string& name) const;
    // Calls visit(name, value) for every attribute, in document order, both
    // zero-terminated UTF-8 that stays valid as GetAttribute's view does.
    template <class Visit> void ForEachAttribute(Visit&& visit) const {
        for (pugi::xml_attribute a = m_node.first_attribute(); a; a = a.next_attribute())
            visit(a.name(), a.value());
    }

private:
    friend class Node;
    friend class Document;
    Element(Document* document, pugi::xml_node node) : Node(document, node) {}
};

// The live child list of one node. Walking it by rising index costs one step
// per item; its length is counted again only after the children changed.
// REQUIRES: the document outlives the list.
class NodeList {
public:
    NodeList(const NodeList& other);
    NodeList& operator=(const NodeList&) = delete;
    ~NodeList();

    int Length() const;
    // The child at `index`, or a null node when index is outside [0, Length()).
    Node Item(int index) const;

private:
    friend class Node;
    friend class Document;
    NodeList(Document* document, pugi::xml_node parent);
    void Refresh() const;

    Document* m_document;
    pugi::xml_node m_parent;
    mutable bool m_valid = false;
    mutable int m_length = 0;
    mutable int m_cursorIndex = 0;
    mutable pugi::xml_node m_cursor;
};

class Document {
public:
    Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // The created node is detached until appended somewhere.
    Element CreateElement(const std::string& tagName);
    Node CreateTextNode(std::string_view text);
    Node CreateComment(std::string_view text);
    Attribute CreateAttribute(std::string_view name) const { return {std::string(name), {}}; }

    // Appends a top-level node (the root element) and returns it.
    Node AppendChild(Node child);
    // The root element, or a null element when there is none.
    Element DocumentElement() const;
    // The document node itself (for its child list).
    Node AsNode() const;

    // Replaces the content by the document parsed from `text`, which is UTF-8
    // whatever its declaration says. Only a well-formed XML 1.0 document is
    // taken (see CheckWellFormed): no DTD is read, no entity beyond the
    // predefined ones is known, and documents declaring entities or attribute
    // lists or nested deeper than kMaxDepth are refused. White-space-only text
    // is dropped.
    // Returns true on success; on failure the document is empty and
    // GetParseError() says why. Never throws for bad input.
    bool LoadXML(std::string_view text);
    // LoadXML without a copy: the document parses `text` where it stands and
    // keeps it. The parse overwrites the text, so a failure leaves the parse
    // error without its place (line, position and source line): give the
    // original text to PlaceParseError for those.
    bool LoadXMLInPlace(std::string text);
    // Fills the place of the last load's error from the text that was loaded.
    void PlaceParseError(std::string_view original);
    // Frees the nodes removed from the tree so far (handles to them become
    // invalid).
    void DestroyRemoved();
    // Default: false. True: the one reader of the document frees each part once
    // it has read it (see DestroyChild); nothing else may hold handles then.
    void SetReadOnce(bool readOnce) { m_readOnce = readOnce; }
    bool ReadOnce() const { return m_readOnce; }
    const ParseError& GetParseError() const { return m_parseError; }

    // The markup of the whole tree without a declaration, UTF-8, no added
    // white space; < & " are escaped in attribute values, < & > in text.
    std::string Xml() const;

private:
    friend class Node;
    friend class NodeList;
    pugi::xml_node Limbo();
    bool IsLimbo(pugi::xml_node node) const { return node == m_limbo && !node.empty(); }
    bool Load(std::string_view text, bool inPlace);
    void Changed(pugi::xml_node parent);

    std::string m_buffer; // the text parsed in place, which the nodes point into
    pugi::xml_document m_document;
    size_t m_errorOffset = 0;
    bool m_readOnce = false;
    // Holds created and removed nodes, which pugixml cannot keep detached. It is
    // a child of the document node that no reader or writer ever shows.
    pugi::xml_node m_limbo;
    ParseError m_parseError;
    std::vector<NodeList*> m_liveLists;
};

} // namespace xml
