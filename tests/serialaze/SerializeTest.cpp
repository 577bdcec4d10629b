#include "TestClasses.h"

#include "platform/text/StringList.h"
#include "tests/support/TempFolder.h"

#include <cstdio>
#include <filesystem>

namespace {

std::unique_ptr<t_root> SampleTree() {
    auto root = std::make_unique<t_root>();
    root->m_title = "Смета <&\"> №1";
    root->m_count = 3;
    root->m_ratio = 0.1;
    root->m_dir->m_owner = "отдел";
    root->m_dir->AddLine(new t_line(1, 0.5, "дир"));
    t_group* group = root->AddGroup(new t_group());
    group->m_kod = 7;
    group->m_label = "Работы";
    group->m_code->SetText("01-02");
    group->AddLine(new t_line(-2, 1e-7, "a"));
    group->AddLine(new t_line(2147483647, 123456789.123, ""));
    root->AddGroup(new t_group());
    return root;
}

const char* const kSampleMarkup =
    "<t_root title=\"Смета &lt;&amp;&quot;> №1\" count=\"3\" ratio=\"0.1\">\n"
    "<dir kod=\"0\" label=\"\" owner=\"отдел\">\n<code/>\n\n"
    "<t_line num=\"1\" val=\"0.5\" name=\"дир\"/>\n</dir>\n\n"
    "<t_group kod=\"7\" label=\"Работы\">\n<code>01-02</code>\n\n"
    "<t_line num=\"-2\" val=\"1E-7\" name=\"a\"/>\n\n"
    "<t_line num=\"2147483647\" val=\"123456789.123\" name=\"\"/>\n</t_group>\n\n"
    "<t_group kod=\"0\" label=\"\">\n<code/>\n</t_group>\n</t_root>";

text::StringList Lines(std::initializer_list<const char*> lines) {
    text::StringList list;
    for (const char* line : lines)
        list.Add(line);
    return list;
}

using SerializeTest = BoxTest;

TEST_F(SerializeTest, WritesTheExpectedDocumentWithPointWhateverTheSeparator) {
    text::SetDecimalSeparator(',');
    text::StringList lines;
    SampleTree()->Serialize(lines);
    ASSERT_EQ(lines.Count(), 2);
    EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
    EXPECT_EQ(lines[0].size(), 45u);
    EXPECT_EQ(lines[1], kSampleMarkup);
    EXPECT_EQ(text::DecimalSeparator(), ',');
    EXPECT_TRUE(m_presenter.shown.empty());
}

TEST_F(SerializeTest, DoctypeLineAndCommentsAroundText) {
    t_code code;
    code.SetDTDFile(" patch.dtd");
    code.SetCommentBefore("до");
    code.SetText("X");
    code.SetCommentAfter("после");
    text::StringList lines;
    code.Serialize(lines);
    ASSERT_EQ(lines.Count(), 3);
    EXPECT_EQ(lines[1], "<!DOCTYPE  t_code  SYSTEM \" patch.dtd\" >");
    // The text goes beside the comment instead of replacing it.
    EXPECT_EQ(lines[2], "<t_code>\n<!--до-->X\n<!--после--></t_code>");

    t_code blank;
    blank.SetCommentBefore("  ");
    blank.SetText(" \t");
    blank.Serialize(lines);
    EXPECT_EQ(lines.Text(), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<t_code/>");
}

TEST_F(SerializeTest, RoundTripThroughAWindows1251File) {
    testsupport::TempFolder folder("ud_serialize");
    const std::filesystem::path path = folder.File("roundtrip.xml");
    auto original = SampleTree();
    original->SetCommentBefore("не читается");
    text::StringList written;
    original->Serialize(written);
    written.SaveToFile(path.string());

    std::string bytes = text::ReadFileBytes(path.string());
    EXPECT_NE(bytes.find("\xD1\xEC\xE5\xF2\xE0"), std::string::npos); // "Смета" in windows-1251
    EXPECT_EQ(bytes.find("\xD0\xA1"), std::string::npos);             // no UTF-8 "С"

    text::StringList read;
    read.LoadFromFile(path.string());
    text::SetDecimalSeparator(',');
    t_root copy;
    copy.DeSerialize(read);
    EXPECT_EQ(text::DecimalSeparator(), ',');
    EXPECT_EQ(Dump(copy), Dump(*original));
    EXPECT_EQ(copy.CommentBefore(), "");
    EXPECT_EQ(copy.ItemAs<t_group>(0)->ItemAs<t_line>(0)->m_val, 1e-7);
    EXPECT_EQ(copy.ItemAs<t_group>(0)->ItemAs<t_line>(1)->m_val, 123456789.123);
    EXPECT_EQ(copy.m_ratio, 0.1);
    EXPECT_EQ(copy.ItemAs<t_group>(0)->GetParent(), &copy);
}

TEST_F(SerializeTest, ReadingAppendsAndChangesOnlyPresentAttributes) {
    t_root root;
    root.m_title = "старое";
    root.m_count = 5;
    root.m_ratio = 2.5;
    root.AddGroup(new t_group())->m_kod = 1;
    root.DeSerialize(Lines({"<?xml version=\"1.0\" encoding=\"windows-1251\"?>",
                            "<t_root count=\" \" ratio=\" 1e3 \">",
                            "  <t_group kod=\"2.5\"/><t_group kod=\"3.5\"/>",
                            "  <t_group kod=\"-0.6\"> текст </t_group>", "</t_root>"}));
    EXPECT_EQ(Dump(root),
              "t_root{title='старое' count='0' dir=t_dir{kod='0' code=t_code{} label='' owner=''} "
              "ratio='1000'}[t_group{kod='1' code=t_code{} label=''}, "
              "t_group{kod='2' code=t_code{} label=''}, t_group{kod='4' code=t_code{} label=''}, "
              "t_group{kod='-1' code=t_code{} label=''}' текст ']");
}

TEST_F(SerializeTest, UnknownTagsAreSkippedWithTheirContent) {
    t_root root;
    root.DeSerialize(Lines({"<t_root><unknown><t_group/></unknown><T_GROUP/>",
                            "<t_group kod=\"1\"><t_line num=\"1\"/><bad><x/></bad></t_group>",
                            "<!-- a comment --><?pi x?></t_root>"}));
    EXPECT_EQ(root.m_offered, (std::vector<std::string>{"unknown", "T_GROUP", "t_group"}));
    ASSERT_EQ(root.Count(), 1);
    EXPECT_EQ(root.ItemAs<t_group>(0)->Count(), 1);
}

TEST_F(SerializeTest, FirstElementNamedLikeAPropertyFillsItTheSecondIsAnItemCandidate) {
    t_root root;
    root.DeSerialize(Lines({"<t_root><t_group kod=\"1\"/><dir owner=\"первый\"><t_line/></dir>",
                            "<dir owner=\"второй\"/><t_group kod=\"2\"/></t_root>"}));
    EXPECT_EQ(root.m_dir->m_owner, "первый");
    EXPECT_EQ(root.m_dir->Count(), 1);
    EXPECT_EQ(root.m_offered, (std::vector<std::string>{"t_group", "dir", "t_group"}));
    EXPECT_EQ(root.Count(), 2);
}

TEST_F(SerializeTest, EnumerationsTravelByIdentifier) {
    enum class Kind { Material, Machine };
    class t_kind : public TSerializeList {
        SERIALIZE_CLASS(t_kind, TSerializeList,
                        EnumProperty("kind", &t_kind::m_kind, {"Material", "Machine"}))
    public:
        Kind m_kind = Kind::Material;
    };
    t_kind object;
    object.DeSerialize(Lines({"<t_kind kind=\"Machine\"/>"}));
    EXPECT_EQ(object.m_kind, Kind::Machine);
    text::StringList lines;
    object.Serialize(lines);
    EXPECT_EQ(lines[1], "<t_kind kind=\"Machine\"/>");
    EXPECT_THROW(object.DeSerialize(Lines({"<t_kind kind=\"machine\"/>"})), Exception);
}

TEST(SerializeListTest, ListOperationsAndRounding) {
    t_group group;
    group.AddLine(new t_line(1));
    group.AddLine(new t_line(2));
    group.AddLine(new t_line(3));
    EXPECT_EQ(group.ItemClassName(0), "t_line");
    group.Delete(1);
    EXPECT_EQ(group.ItemAs<t_line>(1)->m_num, 3);
    EXPECT_THROW(group.Items(2), Exception);
    EXPECT_THROW(group.Delete(-1), Exception);
    group.Clear();
    EXPECT_EQ(group.Count(), 0);

    EXPECT_DOUBLE_EQ(TSerializeList::RoundTo2(1.234), 1.23);
    EXPECT_DOUBLE_EQ(TSerializeList::RoundTo2(0.126), 0.13);
    EXPECT_EQ(TSerializeList::RoundTo2(-0.001), 0);
}

TEST(SerializeListTest, PropertiesComeBaseFirstInDeclarationOrder) {
    std::vector<std::string> names;
    for (const serialaze::PropertyInfo* property : t_dir::StaticClassInfo().Properties())
        names.push_back(property->name);
    EXPECT_EQ(names, (std::vector<std::string>{"kod", "code", "label", "owner"}));
    EXPECT_EQ(TSerializeList::StaticClassInfo().Properties().size(), 0u);
}

} // namespace
