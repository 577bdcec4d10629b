// Collections and norms on a real base: the collection row updated in place,
// norms rewritten with their composition, rate rows and entries, the journal
// and host-log lines, norms without a collection, failures, loading a
// collection back with its norms renumbered, and the tree.
#include "model/pvr.h"
#include "model/sbornik_pvr.h"

#include "tests/model/ModelTestSupport.h"

#include "Serialaze/TextTreeView.h"
#include "platform/text/Exception.h"

using modeltest::ModelTest;

namespace {

class NormTest : public ModelTest {
protected:
    void Read(const std::string& xml) { modeltest::ReadXml(m_collection, xml); }
    std::string NormRows() {
        return Dump("KOD_SBOR", "kod_sb") + "--\n" + Dump("KOD_PVR", "kod_pvr") + "--\n" +
               Dump("SOST_PVR", "kod_pvr") + "--\n" + Dump("N_PROC", "KOD_PVR, KOD_MEST") + "--\n" +
               Dump("KOD_TABL", "kod_pvr, n_tabl");
    }

    sbornik_pvr m_collection;
};

const char* const kPatch =
    "<sbornik_pvr naim=\" Земляные работы \" kod=\"5\" vid_rab=\" С \">"
    "<pvr kod_razd=\"12\" kod=\" P1 \" naim=\"Копка\" naim_ed=\"м3\" nom_baz=\"2\" "
    "sostav_pvr=\"Копать.\" priz_stm=\"S\">"
    "<n_procs><n_proc kod_mest=\"3\" n_p=\"1.23456\"/><n_proc/></n_procs>"
    "<pvr_popr number=\"1\" kod=\"01-01-001-01\"/><pvr_popr number=\"2\" kod=\"01-01-001-02\"/>"
    "</pvr>"
    "<pvr kod=\"P2\" naim=\"Засыпка\"/>"
    "</sbornik_pvr>";

TEST_F(NormTest, ANewCollectionWritesItsRowThenEachNormWithItsRatesAndEntries) {
    Read(kPatch);
    m_collection.SaveIntoDB(Db());
    EXPECT_EQ(NormRows(), "5| Земляные работы |С\n"
                          "--\n"
                          "12|P1|Копка|м3|2|ПВР|5|2|S|1\n"
                          "1|P2|Засыпка||1|ПВР|5|0||1\n"
                          "--\n"
                          "P1|Копать.\n"
                          "--\n"
                          " P1 |1|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000\n"
                          " P1 |3|1.2346|0.0000|0.0000|0.0000|0.0000|0.0000\n"
                          "--\n"
                          "P1|1|01-01-001-01|||01-01-001\n"
                          "P1|2|01-01-001-02|||01-01-001\n");
    EXPECT_EQ(m_journal.Text(), "Добавление работы P1\n"
                                "Добавление поправок 01-01-001-01\n"
                                "Добавление поправок 01-01-001-02\n"
                                "Добавление работы P2\n");
    EXPECT_EQ(m_hostLog.Text(), "2:Добавление работы P1\n"
                                "2:Добавление работы P2\n");
}

TEST_F(NormTest, SavingOverAnExistingBaseRewritesNormsAndLeavesTheRestAlone) {
    Exec({"insert into KOD_SBOR values (5, 'old', 'X')",
          "insert into KOD_PVR values (1, 'P1', 'old', '', 1, '', 5, 9, '', 0)",
          "insert into SOST_PVR values ('P1', 'old composition')",
          "insert into KOD_PVR values (1, 'P9', 'other', '', 1, '', 5, 1, '', 0)",
          "insert into SOST_PVR values ('P9', 'kept')",
          "insert into N_PROC values (' P1 ', 8, 1, 1, 1, 1, 1, 1)",
          "insert into KOD_TABL values ('P1', 7, 'OLD-7', '', '', 'OLD')"});
    Read("<sbornik_pvr naim=\"new\" kod=\"5\" vid_rab=\"С\">"
         "<pvr kod=\" P1 \" naim=\"Копка\" sostav_pvr=\"  \"/></sbornik_pvr>");
    m_collection.SaveIntoDB(Db());
    EXPECT_EQ(NormRows(), "5|new|С\n"
                          "--\n"
                          "1|P1|Копка||1|ПВР|5|0||1\n"
                          "1|P9|other||1||5|1||0\n"
                          "--\n"
                          "P9|kept\n"
                          "--\n"
                          "--\n"
                          "P1|7|OLD-7|||OLD\n");
    EXPECT_EQ(m_journal.Text(), "Добавление работы P1\n");
}

TEST_F(NormTest, ANormWithoutCollectionSavesOnlyItsRatesAndEntries) {
    pvr norm;
    modeltest::ReadXml(norm, "<pvr kod=\"P1\" sostav_pvr=\"x\"><n_procs><n_proc/></n_procs>"
                             "<pvr_popr number=\"1\" kod=\"A-1\"/></pvr>");
    norm.SaveIntoDB(Db());
    norm.UpdateDB(Db());
    EXPECT_EQ(NormRows(), "--\n--\n--\n"
                          "P1|1|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000\n"
                          "--\n"
                          "P1|1|A-1|||A\n");
    EXPECT_EQ(m_journal.Text(), "Добавление поправок A-1\n");
    EXPECT_EQ(m_hostLog.Text(), "");
}

TEST_F(NormTest, AFailingNormInsertSkipsItsLogLinesCompositionAndWhatFollows) {
    Read("<sbornik_pvr kod=\"5\"><pvr kod=\"P1\" naim=\"" + std::string(300, 'x') +
         "\" sostav_pvr=\"s\"><pvr_popr number=\"1\" kod=\"A-1\"/></pvr></sbornik_pvr>");
    EXPECT_THROW(m_collection.SaveIntoDB(Db()), EDatabaseError);
    EXPECT_EQ(NormRows(), "5||С\n--\n--\n--\n--\n");
    EXPECT_EQ(m_journal.Text() + m_hostLog.Text(), "");
}

TEST_F(NormTest, LoadingACollectionAppendsItsNormsAndRenumbersTheirEntries) {
    Exec({"insert into KOD_SBOR values (5, 'Сборник', 'С')",
          "insert into KOD_PVR values (3, 'P2', 'Второй', 'шт', 4, 'У', 5, 0, 'M', 1)",
          "insert into KOD_PVR values (2, 'P1', 'Первый', 'м3', 1, 'ПВР', 5, 3, '', 1)",
          "insert into KOD_PVR values (2, 'Q1', 'other', '', 1, '', 6, 0, '', 1)",
          "insert into SOST_PVR values ('P1', 'Состав')",
          "insert into KOD_TABL values ('P1', 5, 'P1-5', 'пять', 'E5', 'K5')",
          "insert into KOD_TABL values ('P1', 1, 'P1-1', 'один', '', '')",
          "insert into KOD_TABL values ('P1', 2, 'P1-2', 'два', '', NULL)",
          "insert into ZARP values ('P1', 5, 55, 5)", "insert into ZARP values ('P1', 2, 22, 2)",
          "insert into N_PROC values ('P1', 3, 3, 0, 0, 0, 0, 0)",
          "insert into N_PROC values ('P1', 1, 1, 0, 0, 0, 0, 0)"});
    m_collection.set_kod(5);
    m_collection.AddNewElement("pvr");
    m_collection.GetItem(0)->set_kod("PATCH");
    m_collection.LoadSbornik(Db(), false);

    ASSERT_EQ(m_collection.Count(), 3);
    EXPECT_EQ(m_collection.naim(), "Сборник");
    pvr* first = m_collection.GetItem(1);
    EXPECT_EQ(first->sostav_pvr(), "Состав");
    EXPECT_EQ(m_collection.GetItem(2)->sostav_pvr(), "");
    std::string entries;
    for (int i = 0; i < first->Count(); ++i) {
        const pvr_popr& e = *first->GetItem(i);
        entries += std::to_string(e.number()) + " " + e.kod() + " " + e.kt1()->Text() + " " +
                   text::FloatToStr(e.zarplata()) + "\n";
    }
    EXPECT_EQ(entries, "1 P1-1  0\n"
                       "2 P1-2  22\n"
                       "3 P1-5 K5 55\n");
    ASSERT_EQ(first->n_procs()->Count(), 2);
    EXPECT_EQ(first->n_procs()->GetItem(0)->kod_mest(), 1);

    serialaze::TextTreeView view;
    m_collection.TreeView(view, nullptr);
    EXPECT_EQ(view.Render(), "Сборник нормативов: 5 Сборник\n"
                             "  Норматив: PATCH \n"
                             "  Норматив: P1 Первый\n"
                             "        1 поправка: P1-1 один\n"
                             "        2 поправка: P1-2 два\n"
                             "        3 поправка: P1-5 пять\n"
                             "  Норматив: P2 Второй");
    EXPECT_EQ(m_collection.Node()->Data(), &m_collection);
    EXPECT_EQ(first->Node()->Data(), first);
}

TEST_F(NormTest, ACollectionMissingFromTheBaseStopsItsLoad) {
    m_collection.set_kod(42);
    try {
        m_collection.LoadSbornik(Db(), false);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Ошибка загрузки параметров по сборника работ.");
    }
}

TEST(NormListTest, DeletingAnEntryRenumbersTheFollowingOnes) {
    pvr norm;
    for (int number : {4, 8, 9})
        static_cast<pvr_popr*>(norm.AddNewElement("pvr_popr"))->set_number(number);
    EXPECT_EQ(norm.AddNewElement("PVR_POPR"), nullptr);
    norm.DeleteItem(0);
    ASSERT_EQ(norm.Count(), 2);
    EXPECT_EQ(norm.GetItem(0)->number(), 1);
    EXPECT_EQ(norm.GetItem(1)->number(), 2);
    EXPECT_EQ(norm.GetItem(1)->GetParent(), &norm);
}

TEST(NormListTest, NewObjectsCarryTheirDefaults) {
    sbornik_pvr collection;
    auto* norm = static_cast<pvr*>(collection.AddNewElement("pvr"));
    EXPECT_EQ(collection.AddNewElement("Pvr"), nullptr);
    EXPECT_EQ(modeltest::WriteXml(collection),
              "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
              "<sbornik_pvr naim=\"\" kod=\"0\" vid_rab=\"С\">\n"
              "<pvr kod_razd=\"1\" kod=\"\" naim=\"\" naim_ed=\"\" nom_baz=\"1\" priz_ukr=\"ПВР\" "
              "sostav_pvr=\"\" priz_stm=\"\">\n"
              "<n_procs/>\n"
              "</pvr>\n"
              "</sbornik_pvr>");
    EXPECT_EQ(norm->GetParent(), &collection);
}

} // namespace
