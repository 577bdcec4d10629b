// The reader takes exactly the well-formed documents: a table of malformed
// ones, each with the code and place of its refusal, and a list of unusual but
// well-formed ones that must be read as they stand.
#include "platform/xml/Document.h"

#include <gtest/gtest.h>

#include <string>

using namespace xml;

namespace {

struct Malformed {
    const char* what;
    std::string text;
    int code;
    int line;
    int position;
};

const std::string kHead = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";

// Each document differs from a well-formed one by the fault its name says.
const Malformed kMalformed[] = {
    {"undeclared entity in an attribute", kHead + "<r>\r\n<a n=\"x&nbsp;y\"/></r>", 104, 3, 8},
    {"undeclared entity in text", "<r>a&nbsp;b</r>", 104, 1, 5},
    {"entity only an external DTD declares", "<!DOCTYPE r SYSTEM \"r.dtd\">\n<r>&secret;</r>", 104,
     2, 4},
    {"bare & in an attribute", "<r a=\"1 & 2\"/>", 105, 1, 9},
    {"bare < in an attribute", "<r a=\"1 < 2\"/>", 12, 1, 9},
    {"bare & in text", "<r>Tom & Jerry</r>", 105, 1, 8},
    {"reference without its ';'", "<r>&amp</r>", 105, 1, 4},
    {"same attribute twice", "<r>\n  <a n=\"1\" m=\"2\" n=\"3\"/></r>", 106, 2, 18},
    {"text after the root", "<r/>\r\ntail", 10, 2, 1},
    {"text before the root", "x<r/>", 10, 1, 1},
    {"XML declaration not at the start", "\n<?xml version=\"1.0\"?><r/>", 6, 2, 1},
    {"XML declaration inside the root", "<r><?xml version=\"1.0\"?></r>", 6, 1, 4},
    {"reserved processing-instruction target", "<r><?XmL x?></r>", 6, 1, 6},
    {"&#0;", "<r>&#0;</r>", 107, 1, 4},
    {"&#x1; in an attribute", "<r a=\"&#x1;\"/>", 107, 1, 7},
    {"reference to the non-character U+FFFE", "<r>&#xFFFE;</r>", 107, 1, 4},
    {"reference to a surrogate", "<r>&#xD800;</r>", 107, 1, 4},
    {"reference beyond U+10FFFF", "<r>&#x110000;</r>", 107, 1, 4},
    {"raw control character in text", "<r>a\x01z</r>", 107, 1, 5},
    {"raw control character in an attribute", "<r a=\"\x1f\"/>", 107, 1, 7},
    {"raw NUL", std::string("<r>a\0b</r>", 10), 107, 1, 5},
    {"raw U+FFFF", "<r>\xEF\xBF\xBF</r>", 107, 1, 4},
    {"bytes that are not UTF-8", "<r>\xD0</r>", 108, 1, 4},
    {"UTF-8 of a surrogate", "<r>\xED\xA0\x80</r>", 108, 1, 4},
    {"-- inside a comment", "<r><!-- a -- b --></r>", 7, 1, 11},
    {"comment ending in --->", "<r><!-- a ---></r>", 7, 1, 11},
    {"unterminated comment", "<r><!-- a", 7, 1, 10},
    {"element name starting with a digit", "<r><1a/></r>", 11, 1, 5},
    {"element name starting with '-'", "<-r/>", 11, 1, 2},
    {"attribute name starting with '.'", "<r .a=\"1\"/>", 11, 1, 4},
    {"end tag of another element", "<r>\r\n<a x=\"1\"></b></r>", 14, 2, 12},
    {"end tag in other letter case", "<r></R>", 14, 1, 6},
    {"element left open", "<r>\n<a>", 14, 2, 4},
    {"end tag with an attribute", "<r></r a=\"1\">", 13, 1, 8},
    {"unterminated start tag", "<r><a b=\"1\"", 11, 1, 12},
    {"unterminated attribute value", "<r a=\"1/>", 12, 1, 10},
    {"attribute without quotes", "<r a=1/>", 12, 1, 6},
    {"attribute without a value", "<r>\n  <щ a=\"ё\" b></r>", 12, 2, 13},
    {"attributes not separated", "<r a=\"1\"b=\"2\"/>", 12, 1, 9},
    {"unterminated CDATA section", "<r><![CDATA[x</r>", 8, 1, 18},
    {"]]> in text", "<r>a]]>b</r>", 10, 1, 5},
    {"unterminated processing instruction", "<r><?pi x</r>", 6, 1, 14},
    {"markup '<!' of nothing", "<r><!foo></r>", 5, 1, 4},
    {"missing root (empty)", "", 16, 1, 1},
    {"missing root (only a comment)", kHead + "<!-- c -->\r\n", 16, 3, 1},
    {"second root element", "<a/><b/>", 103, 1, 6},
    {"DOCTYPE after the root", "<r/><!DOCTYPE r>", 5, 1, 5},
    {"two DOCTYPEs", "<!DOCTYPE r><!DOCTYPE r><r/>", 9, 1, 13},
    {"XML declaration without a version", "<?xml encoding=\"UTF-8\"?><r/>", 6, 1, 7},
    {"XML declaration without anything", "<?xml?><r/>", 6, 1, 6},
    {"XML version 2.0", "<?xml version=\"2.0\"?><r/>", 6, 1, 16},
    {"standalone other than yes or no", "<?xml version=\"1.0\" standalone=\"maybe\"?><r/>", 6, 1,
     33},
    {"character reference in hexadecimal with X", "<r>&#X41;</r>", 105, 1, 4},
    // Refused for safety although well-formed.
    {"entity declaration", "<!DOCTYPE r [\n<!ENTITY e \"x\">\n]>\n<r>&e;</r>", 102, 2, 1},
    {"attribute-list declaration", "<!DOCTYPE r [<!ATTLIST r a CDATA \"1\">]><r/>", 109, 1, 14},
    {"parameter-entity reference", "<!DOCTYPE r [%pe;]><r/>", 104, 1, 14},
};

TEST(WellFormedTest, MalformedDocumentsAreRefusedWithCodeAndPlace) {
    for (const Malformed& c : kMalformed) {
        Document document;
        EXPECT_FALSE(document.LoadXML(c.text)) << c.what;
        const ParseError& error = document.GetParseError();
        EXPECT_EQ(error.errorCode, c.code) << c.what << ": " << error.reason;
        EXPECT_EQ(error.line, c.line) << c.what << ": " << error.reason;
        EXPECT_EQ(error.linepos, c.position) << c.what << ": " << error.reason;
        EXPECT_FALSE(error.reason.empty()) << c.what;
        EXPECT_FALSE(document.DocumentElement()) << c.what;
        // Reading in place refuses it the same way.
        Document inPlace;
        EXPECT_FALSE(inPlace.LoadXMLInPlace(c.text)) << c.what;
        inPlace.PlaceParseError(c.text);
        EXPECT_EQ(inPlace.GetParseError().errorCode, c.code) << c.what;
        EXPECT_EQ(inPlace.GetParseError().linepos, c.position) << c.what;
    }
}

TEST(WellFormedTest, ReasonsNameTheFault) {
    auto reason = [](const std::string& text) {
        Document document;
        document.LoadXML(text);
        return document.GetParseError().reason + " | " + document.GetParseError().srcText;
    };
    EXPECT_EQ(reason("<r>\n<a n=\"x&nbsp;\"/></r>"),
              "Ссылка на необъявленную сущность &nbsp; | <a n=\"x&nbsp;\"/></r>");
    EXPECT_EQ(reason("<r a=\"1\" a=\"2\"/>"), "Атрибут \"a\" повторяется | <r a=\"1\" a=\"2\"/>");
    EXPECT_EQ(reason("<r>&#0;</r>"), "Ссылка на недопустимый в XML символ &#0; | <r>&#0;</r>");
    EXPECT_EQ(reason("<r>\x02</r>"), "Недопустимый в XML символ U+0002 | <r>\x02</r>");
    EXPECT_EQ(reason("<r></a>"),
              "Закрывающий тег \"a\" не соответствует открытому элементу \"r\" | <r></a>");
    EXPECT_EQ(reason("<r><a>"),
              "Элемент \"a\" не закрыт (документ неожиданно закончился) | <r><a>");
}

// Unusual documents that are well-formed, and what the reader makes of them.
TEST(WellFormedTest, WellFormedDocumentsAreReadAsTheyStand) {
    struct Case {
        std::string text;
        std::string xml; // the tree written back
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF<r/>", "<r/>"},
        {"<?xml version='1.1' encoding='UTF-8' standalone='yes' ?><r/>", "<r/>"},
        {"<?xml-stylesheet href=\"a.xsl\"?><r/><?pi?>", "<r/>"},
        {"<!DOCTYPE r SYSTEM \"r.dtd\"><r/>", "<!DOCTYPE r SYSTEM \"r.dtd\"><r/>"},
        {"<!DOCTYPE r PUBLIC \"-//X//Y\" 'r.dtd' [\n<!ELEMENT r (a|b)*>\n<!-- ] > -->"
         "<!NOTATION n PUBLIC \"p\">\n]><r/>",
         ""},
        {"<r a='\"' b=\"'\" c=\"&gt;&#x10FFFF;&#9;\" d=\">\"/>", ""},
        {"<r>]] ]> &lt;&amp;&apos;&quot;&#1025;&#xe9;</r>", ""},
        {"<r><![CDATA[<&]]]]><!-- c --></r>", ""},
        {"<Сборник номер=\"1\"\t\r\n/>", "<Сборник номер=\"1\"/>"},
        {"<r:x _a.b-c=\"1\"></r:x   >", "<r:x _a.b-c=\"1\"/>"},
        {"<r><!----></r><!-- after -->\n<?after?>\n", "<r><!----></r><!-- after -->"},
    };
    for (const Case& c : cases) {
        Document document;
        EXPECT_TRUE(document.LoadXML(c.text)) << c.text << ": " << document.GetParseError().reason
                                              << " at " << document.GetParseError().linepos;
        if (!c.xml.empty()) {
            EXPECT_EQ(document.Xml(), c.xml);
        }
    }
    Document document;
    ASSERT_TRUE(document.LoadXML("<r a=\"&#x10FFFF;&#9;&lt;\">&#1025;&#xe9;]]&apos;</r>"));
    EXPECT_EQ(*document.DocumentElement().GetAttribute("a"), "\xF4\x8F\xBF\xBF\t<");
    EXPECT_EQ(document.DocumentElement().NodeText(), "Ёé]]'");
}

} // namespace
