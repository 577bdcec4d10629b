// The well-formedness check the reader makes before pugixml builds the tree:
// one pass over UTF-8 text that accepts exactly the well-formed XML 1.0
// documents, less what the reader refuses for safety (entity and attribute-list
// declarations, parameter entities, nesting deeper than kMaxDepth). It reads no
// DTD and builds nothing; its memory is the stack of open element names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace xml {

struct WellFormedFault {
    int code = 0;
    std::string reason; // UTF-8, for the user
    size_t offset = 0;  // byte of the text where the fault is; text.size() at its end
};

// True when `text` is a well-formed document the reader takes. Otherwise fills
// `fault` with the first fault in document order (a code of ParseError.h) and
// answers false. Never throws for bad input.
bool CheckWellFormed(std::string_view text, WellFormedFault& fault);

} // namespace xml
