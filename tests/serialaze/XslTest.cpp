#include "TestClasses.h"

#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "tests/support/TempFolder.h"

#include <filesystem>

namespace {

const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";

class XslTest : public BoxTest {
protected:
    void SetUp() override {
        BoxTest::SetUp();
        m_folder = testsupport::MakeTempFolder("ud_xsl");
        m_root.m_title = "Смета <&\">";
        t_group* group = m_root.AddGroup(new t_group());
        group->m_kod = 7;
        group->AddLine(new t_line(1, 0.5));
        group->AddLine(new t_line(2, 0.25));
        m_root.AddGroup(new t_group());
    }
    void TearDown() override {
        std::filesystem::remove_all(m_folder);
        BoxTest::TearDown();
    }
    // Writes `utf8` as windows-1251 into the folder and returns the path.
    std::string WriteFile(const std::string& name, const std::string& utf8) {
        std::string path = (m_folder / name).string();
        text::WriteFileBytes(path, text::Utf8ToCp1251(utf8));
        return path;
    }
    std::string Translate(text::StringList& lines) {
        try {
            m_root.TranslateXSL(lines);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }

    std::filesystem::path m_folder;
    t_root m_root;
};

TEST_F(XslTest, GenerateDTDLeavesTheListEmpty) {
    text::StringList lines;
    lines.Add("старое");
    m_root.GenerateDTD(lines);
    EXPECT_EQ(lines.Count(), 0);
    EXPECT_TRUE(m_presenter.shown.empty());
}

TEST_F(XslTest, BlankStylesheetLeavesTheLinesUntouched) {
    text::StringList lines;
    lines.Add("первая");
    lines.Add("вторая");
    m_root.SetXSLFile(" \t ");
    EXPECT_EQ(Translate(lines), "");
    EXPECT_EQ(lines.Text(), "первая\r\nвторая");
    EXPECT_TRUE(m_presenter.shown.empty());
}

TEST_F(XslTest, ARealStylesheetTransformsTheSerializedDocument) {
    m_root.SetXSLFile(WriteFile(
        "report.xsl",
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
        "<xsl:output method=\"text\"/>\n"
        "<xsl:template match=\"/t_root\">Смета: <xsl:value-of select=\"@title\"/>\n"
        "  <xsl:for-each select=\"t_group\"><xsl:text>&#10;</xsl:text>группа "
        "<xsl:value-of select=\"@kod\"/>; строк <xsl:value-of select=\"count(t_line)\"/>; "
        "сумма <xsl:value-of select=\"sum(t_line/@val)\"/>\n"
        "  </xsl:for-each>\n"
        "</xsl:template>\n"
        "</xsl:stylesheet>\n"));
    text::StringList lines;
    lines.Add("будет заменено");
    EXPECT_EQ(Translate(lines), "");
    EXPECT_EQ(lines.Text(), "Смета: Смета <&\">\r\nгруппа 7; строк 2; сумма 0.75\r\n"
                            "группа 0; строк 0; сумма 0");
    EXPECT_TRUE(m_presenter.shown.empty());
}

TEST_F(XslTest, MissingStylesheetShowsTheLoadBoxThenTheTranslateBox) {
    const std::string path = (m_folder / "нет.xsl").string();
    m_root.SetXSLFile(path);
    text::StringList lines;
    std::string message = Translate(lines);
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    const std::string caption = "Ошибка загрузки XSL|";
    ASSERT_EQ(boxes[0].rfind(caption, 0), 0u) << boxes[0];
    const std::string parseText =
        boxes[0].substr(caption.size(), boxes[0].size() - caption.size() - 6); // "|error"
    EXPECT_EQ(
        parseText.rfind("Ошибка парсера 1549\nДокумент:  " + path + "\nСтрока 0 Позиция 0\n", 0),
        0u)
        << parseText;
    EXPECT_EQ(boxes[1], "Ошибка создания XML-документа|Oшибка преобразования XSL|error");
    EXPECT_EQ(message, Header("t_root", "TranslateXSL", parseText));
    // The failing step left the serialized document in the lines.
    ASSERT_EQ(lines.Count(), 2);
    EXPECT_EQ(lines[0], kDeclaration);
}

TEST_F(XslTest, BrokenAndInvalidStylesheets) {
    m_root.SetXSLFile(WriteFile("broken.xsl", "<xsl:stylesheet>\n<oops a=></xsl:stylesheet>\n"));
    text::StringList lines;
    std::string message = Translate(lines);
    std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].find("Строка 2 Позиция"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("Источник: \"<oops a=></xsl:stylesheet>\""), std::string::npos);

    // Well-formed but not a stylesheet: only the translation box.
    m_presenter.shown.clear();
    m_root.SetXSLFile(WriteFile("plain.xsl", "<a/>"));
    message = Translate(lines);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "Ошибка создания XML-документа|Oшибка преобразования XSL|error"}));
    EXPECT_EQ(
        message.rfind("Ошибка объекта: t_root\nМетод: TranslateXSL\nСообщение: Ошибка XSL: ", 0),
        0u)
        << message;
}

TEST_F(XslTest, TheStylesheetCannotReadFilesThroughEntitiesNorWriteFiles) {
    WriteFile("secret.txt", "СЕКРЕТ");
    const std::string head =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE xsl:stylesheet [<!ENTITY secret SYSTEM \"secret.txt\">]>\n"
        "<xsl:stylesheet version=\"1.1\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
        "<xsl:output method=\"text\"/>\n<xsl:template match=\"/\">";
    const std::string tail = "</xsl:template>\n</xsl:stylesheet>\n";
    m_root.SetXSLFile(WriteFile("entity.xsl", head + "[&secret;]" + tail));
    text::StringList lines;
    EXPECT_EQ(Translate(lines), "");
    EXPECT_EQ(lines.Text(), "[]");

    const std::string written = (m_folder / "written.txt").string();
    m_root.SetXSLFile(WriteFile("write.xsl", head + "<xsl:document href=\"" + written +
                                                 "\" method=\"text\">x</xsl:document>" + tail));
    std::string message = Translate(lines);
    EXPECT_NE(message.find("refused"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(written));
}

} // namespace
