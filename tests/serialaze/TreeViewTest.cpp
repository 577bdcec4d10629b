#include "TestClasses.h"

#include "Serialaze/TextTreeView.h"

namespace {

class t_bad : public t_line {
    SERIALIZE_CLASS(t_bad, t_line,
                    Property<t_bad>(
                        "broken", serialaze::PropertyKind::Integer,
                        [](const t_bad&) -> serialaze::Variant { throw Exception("сбой"); },
                        [](t_bad&, const serialaze::Variant&) {}))
};

TEST(TreeViewTest, ScalarPropertiesWithImagesAndTheCurrentSeparator) {
    text::DecimalSeparatorGuard separator(',');
    t_line line(3, 0.5, "x");
    serialaze::TextTreeView view(true);
    line.TreeView(view, nullptr);
    EXPECT_EQ(view.Render(true), "t_line [0/0]\n"
                                 "  num = 3 [1/1]\n"
                                 "  val = 0,5 [1/1]\n"
                                 "  name = x [1/1]");
}

TEST(TreeViewTest, ObjectPropertiesAndItemsWithoutImages) {
    t_root root;
    root.m_title = "Смета";
    root.m_dir->AddLine(new t_line(1, 2.25));
    root.AddGroup(new t_group())->m_code->SetText("01");
    serialaze::TextTreeView view;
    serialaze::TreeNode* top = view.AddChild(nullptr, "верх");
    root.TreeView(view, top);
    EXPECT_EQ(view.Render(true), "верх\n"
                                 "  t_root\n"
                                 "    title = Смета\n"
                                 "    count = 0\n"
                                 "    dir\n"
                                 "      t_dir\n"
                                 "        kod = 0\n"
                                 "        code\n"
                                 "          t_code\n"
                                 "        label = \n"
                                 "        owner = \n"
                                 "        t_line\n"
                                 "          num = 1\n"
                                 "          val = 2.25\n"
                                 "          name = \n"
                                 "    ratio = 0\n"
                                 "    t_group\n"
                                 "      kod = 0\n"
                                 "      code\n"
                                 "        t_code\n"
                                 "      label = ");
}

TEST(TreeViewTest, NullPropertyAddsNothingAndAnEmptyObjectOneNode) {
    t_root root;
    delete root.m_dir;
    root.m_dir = nullptr;
    serialaze::TextTreeView view(true);
    root.TreeView(view, nullptr);
    EXPECT_EQ(view.Render(true), "t_root [0/0]\n  title =  [1/1]\n  count = 0 [1/1]\n"
                                 "  ratio = 0 [1/1]");
    serialaze::TextTreeView single;
    t_code code;
    code.TreeView(single, nullptr);
    EXPECT_EQ(single.NodeCount(), 1);
    serialaze::TreeNode* node = single.AddChildObject(nullptr, "с объектом", &code);
    EXPECT_EQ(node->Data(), &code);
}

TEST(TreeViewTest, ErrorsAreWrappedAndNodesAddedBeforeStay) {
    t_group group;
    group.AddLine(new t_bad());
    serialaze::TextTreeView view;
    try {
        group.TreeView(view, nullptr);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), Header("t_group", "TreeView", Header("t_bad", "TreeView", "сбой")));
    }
    EXPECT_EQ(view.Render(), "t_group\n  kod = 0\n  code\n    t_code\n  label = \n  t_bad\n"
                             "    num = 0\n    val = 0\n    name = ");
}

} // namespace
