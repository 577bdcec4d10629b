#include "platform/xml/Document.h"
#include "platform/text/Exception.h"
#include "platform/xml/XslDocument.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace xml;

namespace {

// "code line:pos reason | source" of the last failed load.
std::string Describe(const ParseError& e) {
    return std::to_string(e.errorCode) + " " + std::to_string(e.line) + ":" +
           std::to_string(e.linepos) + " " + e.reason + " | " + e.srcText;
}

TEST(DocumentTest, BuildsMarkupWithoutDeclarationAndEscapes) {
    Document document;
    Element root = document.CreateElement("r");
    document.AppendChild(root);
    root.SetAttributeNode(document.CreateAttribute("b"));
    root.SetAttribute("a", "<&\">'");
    root.SetAttribute("b", "строка\nвторая\t");
    root.SetAttribute("a", "замена <&\">");
    root.AppendChild(document.CreateTextNode("\n"));
    root.AppendChild(document.CreateComment("примечание"));
    Element child = root.AppendChild(document.CreateElement("c")).AsElement();
    child.AppendChild(document.CreateTextNode("<&\">"));
    root.AppendChild(document.CreateElement("empty"));
    EXPECT_EQ(document.Xml(), "<r b=\"строка&#10;вторая&#09;\" a=\"замена &lt;&amp;&quot;>\">\n"
                              "<!--примечание--><c>&lt;&amp;\"&gt;</c><empty/></r>");
    EXPECT_EQ(document.DocumentElement().TagName(), "r");

    // What was written reads back the same, line feed in the attribute included.
    Document copy;
    ASSERT_TRUE(copy.LoadXML(document.Xml()));
    EXPECT_EQ(*copy.DocumentElement().GetAttribute("b"), "строка\nвторая\t");
    EXPECT_EQ(*copy.DocumentElement().GetAttribute("a"), "замена <&\">");
    EXPECT_FALSE(copy.DocumentElement().GetAttribute("absent"));
    EXPECT_EQ(copy.DocumentElement().NodeText(), "<&\">");
}

TEST(DocumentTest, AppendingAcrossDocumentsOrIntoItselfIsRefused) {
    Document a, b;
    Element ea = a.CreateElement("a");
    a.AppendChild(ea);
    Element inner = ea.AppendChild(a.CreateElement("inner")).AsElement();
    EXPECT_THROW(b.AppendChild(ea), Exception);
    EXPECT_THROW(inner.AppendChild(ea), Exception);
    EXPECT_THROW(inner.RemoveChild(ea), Exception);
    EXPECT_THROW(a.CreateTextNode("t").AsElement(), Exception);
}

TEST(DocumentTest, LiveChildListSeesRemovalsAndRemovedNodesStayUsable) {
    Document document;
    ASSERT_TRUE(document.LoadXML("<r><a n=\"1\"><x/></a>text<b/><!--c--><a n=\"2\"/></r>"));
    Element root = document.DocumentElement();
    NodeList children = root.ChildNodes();
    ASSERT_EQ(children.Length(), 5);
    EXPECT_EQ(children.Item(1).Type(), NodeType::Text);
    EXPECT_EQ(children.Item(1).NodeText(), "text");
    EXPECT_EQ(children.Item(3).Type(), NodeType::Comment);
    EXPECT_EQ(children.Item(3).NodeName(), "#comment");
    EXPECT_FALSE(children.Item(5));

    Node first = children.Item(0);
    Node removed = root.RemoveChild(first);
    EXPECT_EQ(children.Length(), 4);
    EXPECT_EQ(children.Item(0).NodeText(), "text");
    EXPECT_EQ(*removed.AsElement().GetAttribute("n"), "1");
    EXPECT_EQ(removed.ChildNodes().Length(), 1);
    EXPECT_FALSE(removed.ParentNode());
    EXPECT_EQ(document.Xml(), "<r>text<b/><!--c--><a n=\"2\"/></r>");

    // Walking backwards and forwards, and an element's set-text.
    EXPECT_EQ(children.Item(3).NodeName(), "a");
    EXPECT_EQ(children.Item(1).NodeName(), "b");
    root.SetText("новый");
    EXPECT_EQ(children.Length(), 1);
    EXPECT_EQ(document.Xml(), "<r>новый</r>");
}

TEST(DocumentTest, LoadingDropsBlankTextAndIgnoresTheDeclaredEncoding) {
    Document document;
    ASSERT_TRUE(document.LoadXML("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
                                 "<r>\r\n  <a>Щебень</a>\r\n  \t\r\n<b> x </b></r>"));
    NodeList children = document.DocumentElement().ChildNodes();
    ASSERT_EQ(children.Length(), 2);
    EXPECT_EQ(children.Item(0).NodeText(), "Щебень");
    EXPECT_EQ(children.Item(1).NodeText(), " x ");
}

TEST(DocumentTest, ParseErrorsGiveLinePositionReasonAndSource) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"<r>\r\n<a x=\"1\"></b></r>",
         "14 2:12 Закрывающий тег \"b\" не соответствует открытому элементу \"a\" | "
         "<a x=\"1\"></b></r>"},
        {"<r>\n  <щ a=\"ё\" b></r>",
         "12 2:13 После имени атрибута \"b\" ожидается \"=\" |   <щ a=\"ё\" b></r>"},
        {"<r>\n<a>", "14 2:4 Элемент \"a\" не закрыт (документ неожиданно закончился) | <a>"},
        {"", "16 1:1 В документе нет корневого элемента | "},
        {"<a/><b/>", "103 1:6 В документе может быть только один корневой элемент | <a/><b/>"},
    };
    for (const Case& c : cases) {
        Document document;
        EXPECT_FALSE(document.LoadXML(c.text));
        EXPECT_EQ(Describe(document.GetParseError()), c.expected) << c.text;
        EXPECT_EQ(document.GetParseError().url, "");
        EXPECT_FALSE(document.DocumentElement());
    }
}

TEST(DocumentTest, VeryLongLinesShowAWindowAroundTheFault) {
    std::string text = "<r>" + std::string(5000, 'x') + "<a b=></r>";
    Document document;
    ASSERT_FALSE(document.LoadXML(text));
    const ParseError& error = document.GetParseError();
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.linepos, 5009);
    EXPECT_LE(error.srcText.size(), 1000u);
    EXPECT_NE(error.srcText.find("<a b=></r>"), std::string::npos);
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = testsupport::MakeTempFolder("ud_xml_document");
        std::ofstream(m_folder / "secret.txt") << "SECRET";
        std::ofstream(m_folder / "local.dtd")
            << "<!ENTITY secret SYSTEM \"secret.txt\">\n<!ATTLIST r added CDATA \"FROM-DTD\">\n";
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }
    std::string Path(const char* name) const { return (m_folder / name).string(); }
    std::filesystem::path m_folder;
};

// The DTD is never read: its default attribute does not appear, and a
// reference to an entity only it declares is refused, not kept as text.
TEST_F(FileTest, ADoctypeNamingALocalFileDoesNotReadIt) {
    const std::string doctype = "<!DOCTYPE  r  SYSTEM \"" + Path("local.dtd") + "\" >\n";
    Document document;
    ASSERT_TRUE(document.LoadXML(doctype + "<r>x</r>"));
    EXPECT_EQ(document.DocumentElement().NodeText(), "x");
    EXPECT_FALSE(document.DocumentElement().GetAttribute("added"));
    EXPECT_FALSE(document.LoadXML(doctype + "<r>[&secret;]</r>"));
    EXPECT_EQ(Describe(document.GetParseError()),
              "104 2:5 Ссылка на необъявленную сущность &secret; | <r>[&secret;]</r>");
}

TEST_F(FileTest, EntityDeclarationsAreRefused) {
    const std::string external = "<!DOCTYPE r [<!ENTITY secret SYSTEM \"file://" +
                                 Path("secret.txt") + "\">]>\n<r>&secret;</r>";
    std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i)
        bomb += "<!ENTITY lol" + std::to_string(i) + " \"" + [&] {
            std::string refs;
            for (int k = 0; k < 10; ++k)
                refs += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
            return refs;
        }() + "\">\n";
    bomb += "]>\n<lolz>&lol9;</lolz>";
    for (const std::string& text : {external, bomb}) {
        auto start = std::chrono::steady_clock::now();
        Document document;
        EXPECT_FALSE(document.LoadXML(text));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(document.GetParseError().errorCode, kErrorEntityDeclaration);
        EXPECT_EQ(document.GetParseError().reason,
                  "Объявления сущностей (<!ENTITY) в документе не допускаются");
        EXPECT_GE(document.GetParseError().line, 1);
    }
}

TEST(DocumentDepthTest, DeepDocumentsAreRefusedInBoundedTime) {
    auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "<a>";
        for (int i = 0; i < depth; ++i)
            text += "</a>";
        return text;
    };
    Document document;
    EXPECT_TRUE(document.LoadXML(nested(kMaxDepth)));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(document.LoadXML(nested(100000)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    const ParseError& error = document.GetParseError();
    EXPECT_EQ(error.errorCode, kErrorTooDeep);
    EXPECT_EQ(error.reason, "Превышена допустимая глубина вложенности элементов (1000)");
    EXPECT_EQ(error.linepos, 3 * kMaxDepth + 2);
}

TEST_F(FileTest, XslDocumentsReportFailuresWithPlaceAndUrl) {
    XslDocument data;
    EXPECT_TRUE(data.LoadXML("<?xml version=\"1.0\" encoding=\"windows-1251\"?><r>Щ</r>"));
    EXPECT_FALSE(data.LoadXML("<r>\n<a></r>"));
    EXPECT_EQ(data.GetParseError().line, 2);
    EXPECT_EQ(data.GetParseError().srcText, "<a></r>");
    EXPECT_EQ(data.GetParseError().url, "");
    EXPECT_NE(data.GetParseError().errorCode, 0);

    XslDocument missing;
    EXPECT_FALSE(missing.Load(Path("absent.xsl")));
    EXPECT_EQ(missing.GetParseError().url, Path("absent.xsl"));
    EXPECT_NE(missing.GetParseError().errorCode, 0);
    EXPECT_FALSE(missing.GetParseError().reason.empty());
}

} // namespace

// Parsing in place gives the tree and every parse error (code, reason, place)
// that the copying parse gives.
TEST(DocumentTest, InPlaceParseMatchesTheCopyingParse) {
    const std::vector<std::string> texts = {"<a x=\"1\">t<b/></a>",
                                            "<a>\r\n<b>\r\n</a>",
                                            "",
                                            "   ",
                                            "<a",
                                            "<a>",
                                            "<a></b>",
                                            "<a x=\"1\r\n2\">\r\n</a><",
                                            "<a/><b/>",
                                            "<!DOCTYPE a [<!ENTITY e \"x\">]><a/>",
                                            "<?xml version=\"1.0\"?>\r\n<!-- c -->",
                                            "<a>&bad;</a>",
                                            "<a>\xD0\x96</a>\r\n<"};
    for (const std::string& text : texts) {
        xml::Document copied;
        xml::Document inPlace;
        const bool copiedOk = copied.LoadXML(text);
        const bool inPlaceOk = inPlace.LoadXMLInPlace(text);
        ASSERT_EQ(inPlaceOk, copiedOk) << text;
        if (copiedOk) {
            EXPECT_EQ(inPlace.Xml(), copied.Xml()) << text;
            continue;
        }
        inPlace.PlaceParseError(text);
        const xml::ParseError& a = copied.GetParseError();
        const xml::ParseError& b = inPlace.GetParseError();
        EXPECT_EQ(b.errorCode, a.errorCode) << text;
        EXPECT_EQ(b.reason, a.reason) << text;
        EXPECT_EQ(b.line, a.line) << text;
        EXPECT_EQ(b.linepos, a.linepos) << text;
        EXPECT_EQ(b.srcText, a.srcText) << text;
    }
}

// A read-once reader frees what it has read; the rest of the tree stays.
TEST(DocumentTest, DestroyChildFreesTheSubtree) {
    xml::Document document;
    ASSERT_TRUE(document.LoadXMLInPlace("<a><b><c/></b><d/></a>"));
    xml::Element root = document.DocumentElement();
    root.DestroyChild(root.FirstChild());
    EXPECT_EQ(document.Xml(), "<a><d/></a>");
    EXPECT_THROW(root.DestroyChild(root), Exception);
}

// Every element's line, found from its offset in the text it was read from,
// whichever way the lines end and whether the text was parsed in place or
// copied; attribute values with line breaks and comments do not shift it.
TEST(DocumentTest, LoadedElementsKnowWhereTheyStart) {
    const std::string text = "<?xml version=\"1.0\"?>\r\n<root>\r\n  <a x=\"1\r\n2\"/>\n"
                             "<!-- a\rcomment -->\r<b>text\r\nmore</b>\r\n\r\n<c\r\n y=\"z\">"
                             "<d/></c></root>";
    auto lines = [&](Document& document) {
        std::string out;
        for (Node n = document.DocumentElement().FirstChild(); n; n = n.NextSibling()) {
            if (n.Type() != NodeType::Element)
                continue;
            out += n.NodeName() + ":" +
                   std::to_string(LineAt(text, static_cast<size_t>(n.SourceOffset()))) + " ";
            for (Node inner = n.FirstChild(); inner; inner = inner.NextSibling())
                if (inner.Type() == NodeType::Element)
                    out += inner.NodeName() + ":" +
                           std::to_string(LineAt(text, static_cast<size_t>(inner.SourceOffset()))) +
                           " ";
        }
        return out;
    };
    Document copied;
    ASSERT_TRUE(copied.LoadXML(text));
    EXPECT_EQ(lines(copied), "a:3 b:7 c:10 d:11 ");
    EXPECT_EQ(LineAt(text, static_cast<size_t>(copied.DocumentElement().SourceOffset())), 2);
    Document inPlace;
    ASSERT_TRUE(inPlace.LoadXMLInPlace(text));
    EXPECT_EQ(lines(inPlace), "a:3 b:7 c:10 d:11 ");
    // Nodes made rather than read have no place; an offset past the end is on
    // the last line.
    EXPECT_EQ(copied.CreateElement("new").SourceOffset(), -1);
    EXPECT_EQ(LineAt(text, text.size() + 10), 11);
    EXPECT_EQ(LineAt("", 0), 1);
}
