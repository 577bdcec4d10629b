// What a failed load of an XML document reports: a code (0 after a successful
// load), the document's URL, a reason, the source line and the place of the
// fault. A plain value filled by the loaders of Document and XslDocument.
#pragma once

#include <string>
#include <string_view>

namespace xml {

struct ParseError {
    int errorCode = 0;   // 0: the last load succeeded
    std::string url;     // empty for a document loaded from a string
    std::string reason;  // UTF-8, for the user
    std::string srcText; // the offending source line (a window of it when very long)
    int line = 0;        // 1-based; 0 when no place is known
    int linepos = 0;     // 1-based character position in the line; 0 when unknown
};

// Codes of the faults a document can have. Faults of the kinds pugixml names
// keep pugixml's status numbers (1 to 16); the rest are numbered from 101.
constexpr int kErrorOutOfMemory = 3;
constexpr int kErrorBadMarkup = 5;        // "<" starts nothing XML knows
constexpr int kErrorBadPi = 6;            // XML declaration or processing instruction
constexpr int kErrorBadComment = 7;
constexpr int kErrorBadCData = 8;
constexpr int kErrorBadDoctype = 9;
constexpr int kErrorBadText = 10;         // text outside the root, "]]>" in text
constexpr int kErrorBadStartTag = 11;
constexpr int kErrorBadAttribute = 12;
constexpr int kErrorBadEndTag = 13;
constexpr int kErrorTagMismatch = 14;     // an end tag of another element, or none
constexpr int kErrorNoRoot = 16;
constexpr int kErrorTooDeep = 101;
constexpr int kErrorEntityDeclaration = 102;
constexpr int kErrorSeveralRoots = 103;
constexpr int kErrorUndeclaredEntity = 104; // a reference to an entity nothing declares
constexpr int kErrorBadReference = 105;     // a bare "&", a malformed reference
constexpr int kErrorDuplicateAttribute = 106;
constexpr int kErrorBadCharacter = 107;     // a character XML does not allow, raw or referenced
constexpr int kErrorBadUtf8 = 108;
constexpr int kErrorAttributeDeclaration = 109;

// The deepest element nesting a loaded document may have. The readers walk the
// tree recursively, so the bound keeps them far from the end of the stack.
constexpr int kMaxDepth = 1000;

// Fills line, linepos and srcText of `error` for the byte `offset` of `text`
// (UTF-8). CR, LF and CR LF each end a line. An offset past the end points
// just behind the last character.
void LocateError(std::string_view text, size_t offset, ParseError& error);

// The 1-based line of `text` (UTF-8) that holds the byte `offset`, line ends
// counted as LocateError counts them. An offset past the end is on the last
// line.
int LineAt(std::string_view text, size_t offset);

} // namespace xml
