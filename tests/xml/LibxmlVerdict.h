// libxml2 (the parser behind xmllint) as the judge of well-formedness, for the
// differential test and the fuzz target that compare the reader with it.
#pragma once

#include "platform/xml/ParseError.h"

#include <string>

namespace xmltest {

// Whether libxml2 takes the UTF-8 text, whatever its declaration says, as
// `xmllint --noout` does: no DTD loaded, no network, entities not substituted.
// Its nesting limit (256 levels unless asked for more) is raised above the
// reader's, so that the reader's own limit is the one that counts.
bool LibxmlAccepts(const std::string& text);

// Whether the reader's refusal is one libxml2 does not share because the reader
// refuses it for safety: entity and attribute-list declarations, nesting
// deeper than kMaxDepth, references to entities a DTD might declare.
bool RefusedForSafety(const xml::ParseError& error, const std::string& text);

// Whether the reader's refusal is of a document libxml2 takes against the
// XML grammar (see the cases in the source).
bool LibxmlLenient(const xml::ParseError& error, const std::string& text);

} // namespace xmltest
