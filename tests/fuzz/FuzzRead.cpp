// Fuzz target: arbitrary bytes as a patch file, read into kod_pvr as the update
// run reads it, then written back. A document the reader accepts must write
// without error, and what it writes must read back and write the same again,
// line feeds aside: text that a patch puts beside child elements keeps the line
// feeds around it and gains the ones written between items on each round trip.
#include "tests/fuzz/FuzzSupport.h"

#include "model/kod_pvr.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietMessageBoxes();
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
