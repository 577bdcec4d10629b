// The reader against libxml2, the parser behind xmllint: documents made by
// mutating real patches and small documents of every kind of markup must be
// taken by the reader exactly when libxml2 takes them (as `xmllint --noout`
// does: no DTD loaded, entities not substituted), apart from what the reader
// refuses for safety.
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "platform/xml/Document.h"
#include "tests/reliability/PatchGenerator.h"
#include "tests/xml/LibxmlVerdict.h"

#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds = {
        text::Cp1251ToUtf8Lines(text::ReadFileBytes(SOURCE_DIR "/tests/model/data/patch.xml")),
        text::Cp1251ToUtf8Lines(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml")),
        reliability::GeneratePatch({1, 2, 2, 2, 50}),
        reliability::GeneratePatch({2, 1, 3, 1, 60}),
        "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone='no'?>\r\n"
        "<!DOCTYPE  kod_pvr  SYSTEM \"kod_pvr.dtd\" >\r\n"
        "<kod_pvr base_name='Сборник &amp; &lt;цены&gt;' k=\"&#1025;&#x451;&#9;\">\r\n"
        "<!-- примечание --><?pi данные?>\r\n<razdels><razdel kod=\"1\"/></razdels>\r\n"
        "<kt1><![CDATA[<&>]]></kt1>]] &quot;&apos;\r\n</kod_pvr>\r\n<!-- конец -->\r\n",
        "\xEF\xBB\xBF<!DOCTYPE r PUBLIC \"-//A//B\" \"r.dtd\" [\r\n<!ELEMENT r (a|b)*>\r\n"
        "<!-- c --><?p x?>\r\n]>\r\n<r><a x='1' y=\"2\"/><b>текст</b></r>",
    };
    return seeds;
}

// clang-format off
const char* const kTokens[] = {
    "<", ">", "&", "&amp;", "&nbsp;", "&#0;", "&#x41;", "&#xFFFE;", "&#65", "]]>", "--", "<!--",
    "-->", "\"", "'", "=", " ", "/", "/>", "</a>", "<a>", "<b/>", "?>", "<?",
    "<?xml version=\"1.0\"?>", "<?pi x?>", "<![CDATA[", "<!DOCTYPE r>", "\x01", "\t", "\r\n",
    ";", "#", "é", "Щ", "x=\"1\"", "\xD0", "\xEF\xBF\xBF", ":", "1", "-", ".", "%pe;",
    "<!ENTITY e \"x\">", "[", "]", "\x7F", "\xC2\x85", "&#xD800;",
};
// clang-format on

// One random change: a deletion, an inserted token, a changed byte, a repeated
// attribute or a cut.
void Mutate(std::string& text, std::mt19937& random) {
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(random); };
    const size_t at = pick(text.size());
    switch (pick(9)) {
    case 0:
    case 1:
        text.erase(at, 1 + pick(3));
        break;
    case 2:
    case 3:
    case 4:
        text.insert(at, kTokens[pick(std::size(kTokens) - 1)]);
        break;
    case 5:
        if (at < text.size())
            text[at] = "<>&\"'=/ ;-]?!x"[pick(13)];
        break;
    case 6:
    case 7: { // repeat the attribute whose '=' follows `at`
        const size_t equals = text.find('=', at);
        const size_t nameStart = equals == std::string::npos ? equals : text.rfind(' ', equals);
        if (nameStart == std::string::npos || equals + 1 >= text.size())
            break;
        const size_t valueEnd = text.find(text[equals + 1], equals + 2);
        if (valueEnd != std::string::npos && valueEnd - nameStart < 200)
            text.insert(valueEnd + 1, text.substr(nameStart, valueEnd + 1 - nameStart));
        break;
    }
    default:
        text.resize(at);
    }
}

TEST(DifferentialTest, TheReaderTakesExactlyWhatLibxml2Takes) {
    std::mt19937 random(20260108);
    int compared = 0, acceptedByBoth = 0, refusedByBoth = 0, excused = 0, lenient = 0;
    int differing = 0;
    for (const std::string& seed : Seeds()) {
        ASSERT_TRUE(xmltest::LibxmlAccepts(seed));
        ASSERT_TRUE(xml::Document().LoadXML(seed));
        for (int i = 0; i < 4000; ++i) {
            std::string text = seed;
            const int changes = 1 + static_cast<int>(random() % 3);
            for (int k = 0; k < changes; ++k)
                Mutate(text, random);
            xml::Document document;
            const bool ours = document.LoadXML(text);
            const bool theirs = xmltest::LibxmlAccepts(text);
            ++compared;
            if (ours && theirs) {
                ++acceptedByBoth;
            } else if (!ours && !theirs) {
                ++refusedByBoth;
            } else if (!ours && xmltest::RefusedForSafety(document.GetParseError(), text)) {
                ++excused;
            } else if (!ours && xmltest::LibxmlLenient(document.GetParseError(), text)) {
                ++lenient;
            } else if (++differing <= 10) {
                const xml::ParseError& error = document.GetParseError();
                ADD_FAILURE() << (ours ? "taken by the reader, refused by libxml2"
                                       : "refused by the reader (" +
                                             std::to_string(error.errorCode) + " " +
                                             std::to_string(error.line) + ":" +
                                             std::to_string(error.linepos) + " " + error.reason +
                                             "), taken by libxml2")
                              << ":\n"
                              << text;
            }
        }
    }
    std::cout << "compared " << compared << " documents: " << acceptedByBoth << " taken by both, "
              << refusedByBoth << " refused by both, " << excused
              << " refused by the reader only for safety, " << lenient
              << " taken by libxml2 against the grammar, " << differing << " differing\n";
    EXPECT_EQ(differing, 0);
    // The mutations reach both sides of the line.
    EXPECT_GT(acceptedByBoth, compared / 20);
    EXPECT_GT(refusedByBoth, compared / 3);
}

} // namespace
