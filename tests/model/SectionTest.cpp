// The section directory on a real Firebird file: saving inserts or updates
// with trimmed texts and the exact coefficient, loading by code, the tree.
#include "model/razdel.h"
#include "tests/support/QueryText.h"

#include "tests/support/TempDatabase.h"

#include "Serialaze/TextTreeView.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"

#include <gtest/gtest.h>

namespace {

std::string DumpRazdels(db::Connection& connection) {
    return testsupport::QueryText(connection, "select kod_razd, naim_razd, edin_izm, koef_nakl, "
                                              "vid_rab from KOD_RAZD order by kod_razd");
}

std::unique_ptr<razdel> Section(int kod, std::string name, std::string ei, double k,
                                std::string vid) {
    auto section = std::make_unique<razdel>();
    section->set_kod(kod);
    section->set_name(std::move(name));
    section->set_ei(std::move(ei));
    section->set_k_nakl(k);
    section->set_vid_rab(std::move(vid));
    return section;
}

class SectionTest : public ::testing::Test {
protected:
    testsupport::TempDatabase m_base{SOURCE_DIR "/model/schema/firebird.sql"};
    db::Connection& Db() { return m_base.Connection(); }
};

} // namespace

TEST_F(SectionTest, SaveInsertsNewAndUpdatesExistingSectionsWithTrimmedTextsLeavingOthers) {
    Db().ExecuteDirect("insert into KOD_RAZD values (7, 'старое', 'шт', 1.5, 'С')");
    Db().ExecuteDirect("insert into KOD_RAZD values (9, 'чужой', 'м', 2, 'С')");
    razdel_list list;
    list.AddItem(Section(7, "  Новое имя\t", " 100 м3 ", 1.07, " СТР "));
    list.AddItem(Section(101, "Разработка", "1000 м3", 0.5, "СТР"));
    list.SaveIntoDB(Db());
    const std::string expected = "7|Новое имя|100 м3|1.07000|СТР\n"
                                 "9|чужой|м|2.00000|С\n"
                                 "101|Разработка|1000 м3|0.50000|СТР\n";
    EXPECT_EQ(DumpRazdels(Db()), expected);
    // Saving again changes nothing and adds no row.
    list.SaveIntoDB(Db());
    EXPECT_EQ(DumpRazdels(Db()), expected);
}

TEST_F(SectionTest, CoefficientIsBoundFromItsGeneralTextWhateverTheSeparator) {
    text::DecimalSeparatorGuard comma(',');
    auto section = Section(3, "n", "e", 1.23456, "v");
    section->SaveIntoDB(Db());
    auto tiny = Section(4, "n", "e", 0.00001, "v");
    tiny->SaveIntoDB(Db());
    EXPECT_EQ(DumpRazdels(Db()), "3|n|e|1,23456|v\n4|n|e|0,00001|v\n");
}

TEST_F(SectionTest, DeleteRemovesOnlyItsRow) {
    Db().ExecuteDirect("insert into KOD_RAZD values (1, 'a', 'b', 1, 'c')");
    Db().ExecuteDirect("insert into KOD_RAZD values (2, 'a', 'b', 1, 'c')");
    Section(1, "", "", 0, "")->DeleteDB(Db());
    EXPECT_EQ(DumpRazdels(Db()), "2|a|b|1.00000|c\n");
}

TEST_F(SectionTest, LoadByCodeReadsTheRowOrFailsNamingTheCode) {
    Db().ExecuteDirect("insert into KOD_RAZD values (12, 'Имя', 'т', 1.25, 'СТР')");
    razdel section;
    section.LoadByCode(Db(), 12);
    EXPECT_EQ(section.kod(), 12);
    EXPECT_EQ(section.name(), "Имя");
    EXPECT_EQ(section.ei(), "т");
    EXPECT_DOUBLE_EQ(section.k_nakl(), 1.25);
    EXPECT_EQ(section.vid_rab(), "СТР");

    razdel missing;
    try {
        missing.LoadByCode(Db(), 13);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Раздел с кодом 13 не найден в базе.");
    }
    EXPECT_EQ(missing.kod(), 0);
}

TEST(SectionListTest, FindAddNewElementAndTree) {
    razdel_list list;
    EXPECT_EQ(list.AddNewElement("Razdel"), nullptr);
    EXPECT_EQ(list.AddNewElement("razdel "), nullptr);
    auto* first = static_cast<razdel*>(list.AddNewElement("razdel"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetParent(), &list);
    first->set_kod(5);
    first->set_name("Пять");
    list.AddItem(Section(6, "Шесть", "", 0, ""));
    list.AddItem(Section(5, "Другой", "", 0, ""));
    EXPECT_EQ(list.FindRazdel(5), 0);
    EXPECT_EQ(list.FindRazdel(6), 1);
    EXPECT_EQ(list.FindRazdel(7), -1);

    serialaze::TextTreeView view;
    list.TreeView(view, nullptr);
    EXPECT_EQ(view.Render(), "Справочник разделов\n"
                             "  Раздел 5  Пять\n"
                             "  Раздел 6  Шесть\n"
                             "  Раздел 5  Другой");
    EXPECT_EQ(view.Roots()[0]->Data(), &list);
    EXPECT_EQ(view.Roots()[0]->Children()[1]->Data(), list.GetItem(1));
    EXPECT_EQ(list.GetItem(1)->Node(), view.Roots()[0]->Children()[1].get());

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}
