// The documents of the one XSL transform, held by libxml2 (libxslt works only
// on its trees): the data document and the stylesheet. Each XslDocument owns
// its tree. Loading never reads a DTD, never loads an external entity and never
// goes to the network.
#pragma once

#include "platform/xml/ParseError.h"

#include <string>
#include <string_view>

struct _xmlDoc;

namespace xml {

class XslDocument {
public:
    XslDocument() = default;
    XslDocument(const XslDocument&) = delete;
    XslDocument& operator=(const XslDocument&) = delete;
    ~XslDocument();

    // Parses `text` as UTF-8 whatever its declaration says. Returns true on
    // success; otherwise GetParseError() says why (empty URL).
    bool LoadXML(std::string_view text);
    // Parses the file in the encoding its declaration names. Returns true on
    // success; otherwise GetParseError() says why, with the path as URL (a file
    // that cannot be opened included).
    bool Load(const std::string& path);
    const ParseError& GetParseError() const { return m_parseError; }

    bool Loaded() const { return m_doc != nullptr; }

private:
    friend std::string TransformXsl(const XslDocument& data, const XslDocument& stylesheet);
    void Reset();

    _xmlDoc* m_doc = nullptr;
    ParseError m_parseError;
};

// Applies `stylesheet` to `data` and returns the serialized result in UTF-8 (a
// declaration, when the output method writes one, names the stylesheet's output
// encoding). Writing files, creating folders and network access are forbidden
// to the stylesheet. Throws Exception with libxslt's messages when the
// stylesheet is not a valid XSLT stylesheet or the transform fails.
// REQUIRES: both documents loaded.
std::string TransformXsl(const XslDocument& data, const XslDocument& stylesheet);

} // namespace xml
