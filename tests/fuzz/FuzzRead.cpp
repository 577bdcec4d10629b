// Fuzz target: arbitrary bytes as a patch file, read into kod_pvr as the update
// run reads it, then written back. The reader's well-formedness check must agree
// with libxml2's (apart from what the reader refuses for safety), on the text
// as the update run decodes it and on the bytes taken as UTF-8 as they are. A document the reader accepts must write
// without error, and what it writes must read back and write the same again,
// line feeds aside: text that a patch puts beside child elements keeps the line
// feeds around it and gains the ones written between items on each round trip.
#include "tests/fuzz/FuzzSupport.h"

#include "model/kod_pvr.h"
#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "platform/xml/Document.h"
#include "tests/xml/LibxmlVerdict.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string WithoutLineFeeds(std::string text) {
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }),
        text.end());
    return text;
}

void CompareWithLibxml(const std::string& text) {
    xml::Document document;
    const bool ours = document.LoadXML(text);
    if (ours == xmltest::LibxmlAccepts(text))
        return;
    const xml::ParseError& error = document.GetParseError();
    if (!ours && (xmltest::RefusedForSafety(error, text) || xmltest::LibxmlLenient(error, text)))
        return;
    std::fprintf(stderr, "the reader %s what libxml2 %s (%d %d:%d %s):\n%s\n",
                 ours ? "takes" : "refuses", ours ? "refuses" : "takes", error.errorCode,
                 error.line, error.linepos, error.reason.c_str(), text.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietMessageBoxes();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CompareWithLibxml(text::Cp1251ToUtf8Lines(bytes));
    CompareWithLibxml(bytes);
    std::unique_ptr<kod_pvr> base = fuzz::ReadPatch(data, size);
    if (!base)
        return 0;
    text::StringList written;
    try {
        base->Serialize(written);
    } catch (const Exception& e) {
        // A resource line without a type is read but cannot be written: its
        // type is asked for, and answers with this error, on every use.
        if (std::string(e.what()).find("POPR_RES::GetType() - Неизвестный тип ресурса") !=
            std::string::npos)
            return 0;
        std::fprintf(stderr, "an accepted patch does not write back: %s\n", e.what());
        std::abort();
    }

    kod_pvr again;
    again.DeSerialize(written);
    text::StringList rewritten;
    again.Serialize(rewritten);
    if (WithoutLineFeeds(rewritten.Text()) != WithoutLineFeeds(written.Text())) {
        std::fprintf(stderr, "written and re-read patch differs:\n%s\n--- rewritten:\n%s\n",
                     written.Text().c_str(), rewritten.Text().c_str());
        std::abort();
    }
    return 0;
}
