// Table entries on a real base: the KOD_TABL row with its alternative code,
// TRUDOZ and ZARP rows only for nonzero figures (zero figures as NULL),
// replacement of an existing entry as a whole, a base without kod_tabl_1,
// failures, loading the details back, and the entry's tree caption.
#include "model/pvr.h"
#include "model/pvr_popr.h"

#include "tests/model/ModelTestSupport.h"

#include "Serialaze/TextTreeView.h"
#include "platform/text/Exception.h"

using modeltest::ModelTest;

namespace {

// The entries of a norm " P1 " read from a patch fragment.
class EntryTest : public ModelTest {
protected:
    EntryTest() { m_norm.set_kod(" P1 "); }
    void Read(const std::string& entries) {
        modeltest::ReadXml(m_norm, "<pvr kod=\" P1 \">" + entries + "</pvr>");
    }
    void SaveEntries() {
        for (int i = 0; i < m_norm.Count(); ++i)
            m_norm.GetItem(i)->SaveIntoDB(Db());
    }
    std::string EntryRows() {
        return Dump("KOD_TABL", "kod_pvr, n_tabl") + "--\n" + Dump("TRUDOZ", "kod_pvr, n_tabl") +
               "--\n" + Dump("ZARP", "kod_pvr, n_tabl");
    }

    pvr m_norm;
};

TEST_F(EntryTest, NewEntriesWriteTheirRowsWithTheAlternativeCodeAndNullForZeroFigures) {
    Read("<pvr_popr number=\"1\" kod=\" 01-02-003-04 \" naim=\" Кладка \" kod_er=\"E1\" "
         "trud_rab=\"1.23456\" razrad=\"3.5\"><tr r1=\"0.5\" r11s=\"2\"/></pvr_popr>"
         "<pvr_popr number=\"2\" kod=\"X-1-2\" trud_mash=\"2\" zarplata=\"7.25\">"
         "<kt1>X-1</kt1></pvr_popr>"
         "<pvr_popr number=\"3\" kod=\"ABC\"><tr r2=\"7\"/><unknown a=\"1\"/></pvr_popr>");
    SaveEntries();
    EXPECT_EQ(EntryRows(),
              "P1|1|01-02-003-04| Кладка |E1| 01-02-003\n"
              "P1|2|X-1-2|||X-1\n"
              "P1|3|ABC|||ABC\n"
              "--\n"
              "P1|1|1.2346|NULL|0.5000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|"
              "0.0000|0.0000|0.0000|2.0000\n"
              "P1|2|NULL|2.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|"
              "0.0000|0.0000|0.0000|0.0000\n"
              "--\n"
              "P1|1|NULL|3.5000\n"
              "P1|2|7.2500|NULL\n");
    EXPECT_EQ(m_journal.Text(), "Добавление поправок 01-02-003-04\n"
                                "Добавление поправок X-1-2\n"
                                "Добавление поправок ABC\n");
    EXPECT_EQ(m_norm.GetItem(0)->kt1()->Text(), " 01-02-003");
    EXPECT_EQ(m_norm.GetItem(1)->kt1()->Text(), "X-1");
}

TEST_F(EntryTest, AnExistingEntryIsReplacedWithItsOldDetailsGone) {
    Exec({"insert into KOD_TABL values ('P1', 1, 'OLD-1', 'old', 'E0', 'OLD')",
          "insert into TRUDOZ (kod_pvr, n_tabl, trud_rab) values ('P1', 1, 9)",
          "insert into ZARP values ('P1', 1, 9, 9)", "insert into CNIR values ('P1', 1, 'M0', 9)",
          "insert into CNIR values ('P1', 2, 'M0', 9)",
          "insert into NOM_MAT values ('M1', 'x', '?', '?', -1, 0)"});
    Read("<pvr_popr number=\"1\" kod=\"NEW-1\" naim=\"new\">"
         "<popr_res type=\"Материал\" kod=\"M1\" rashod=\"1.5\"/></pvr_popr>");
    SaveEntries();
    EXPECT_EQ(EntryRows(), "P1|1|NEW-1|new||NEW\n--\n--\n");
    EXPECT_EQ(Dump("CNIR", "n_tabl"), "P1|1|M1|1.50000\n"
                                      "P1|2|M0|9.00000\n");
    EXPECT_EQ(m_journal.Text(), "Добавление поправок NEW-1\n");
}

TEST_F(EntryTest, AnEntryWithoutNormWritesNothing) {
    pvr_popr entry;
    entry.set_kod("A-1");
    entry.set_trud_rab(1);
    entry.SaveIntoDB(Db());
    entry.InsertDB(Db());
    EXPECT_FALSE(entry.ExistDB(Db()));
    EXPECT_EQ(EntryRows(), "--\n--\n");
    EXPECT_EQ(m_journal.Text(), "");
}

TEST_F(EntryTest, ABaseWithoutTheAlternativeCodeColumnTakesEntriesWithoutIt) {
    Exec({"alter table KOD_TABL drop kod_tabl_1"});
    Read("<pvr_popr number=\"1\" kod=\"A-1\" trud_rab=\"1\"><kt1>Z</kt1></pvr_popr>"
         "<pvr_popr number=\"2\" kod=\"A-2\"/>");
    SaveEntries();
    m_norm.GetItem(1)->UpdateDB(Db());
    pvr_popr* third = m_norm.GetItem(m_norm.AddItem(std::make_unique<pvr_popr>()));
    third->set_number(3);
    third->set_kod("A-3");
    third->InsertDB(Db());
    EXPECT_EQ(Dump("KOD_TABL", "n_tabl"), "P1|1|A-1||\n"
                                          "P1|2|A-2||\n"
                                          "P1|3|A-3||\n");
    EXPECT_EQ(m_norm.GetItem(0)->kt1()->Text(), "Z");
    EXPECT_EQ(m_norm.GetItem(1)->kt1()->Text(), "");

    pvr loaded;
    loaded.set_kod("P1");
    loaded.LoadTables(Db(), false);
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.GetItem(0)->kt1()->Text(), "");
}

TEST_F(EntryTest, AFailingStatementEndsTheInsertThereAndReachesTheCaller) {
    Exec({"alter table TRUDOZ add constraint TRUD_NOT_NEGATIVE check (trud_rab >= 0)"});
    Read("<pvr_popr number=\"1\" kod=\"A-1\" trud_rab=\"-1\" zarplata=\"5\"/>");
    EXPECT_THROW(SaveEntries(), EDatabaseError);
    EXPECT_EQ(EntryRows(), "P1|1|A-1|||A\n--\n--\n");
    EXPECT_EQ(m_journal.Text(), "");
}

TEST_F(EntryTest, DetailsAreReadUnderTheStoredCodeAndNumber) {
    Exec(
        {"insert into ZARP values ('P1', 5, 12.5, NULL)",
         "insert into TRUDOZ values ('P1', 5, 1.5, 2.5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13)",
         "insert into NOM_MAT values ('M1', 'Цемент', 'OKP', 'kg', 10, 2.5)",
         "insert into NOM_MASH values ('C1', 'Кран', 'G', 100, 4, 1.5, 20, 1.25)",
         "insert into CNIR values ('P1', 5, 'M1', 0.123456)",
         "insert into CNIR values ('P1', 5, 'M404', 1)", // no directory row: not listed
         "insert into MASH values ('P1', 5, 'C1', 2)",
         "insert into ZARP values (' P1 ', 5, 99, 9)"});
    pvr_popr* entry = m_norm.GetItem(m_norm.AddItem(std::make_unique<pvr_popr>()));
    entry->set_number(5);
    m_norm.set_kod("P1");
    entry->LoadDetailsFromDB(Db(), false);
    entry->set_kod("K");
    EXPECT_EQ(modeltest::WriteXml(*entry),
              "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
              "<pvr_popr number=\"5\" kod=\"K\" naim=\"\" kod_er=\"\" trud_rab=\"1.5\" "
              "trud_mash=\"2.5\" zarplata=\"12.5\" razrad=\"0\">\n"
              "<kt1/>\n"
              "<tr r1=\"1\" r2=\"2\" r3=\"3\" r4=\"4\" r5=\"5\" r5s=\"6\" r6=\"7\" r6s=\"8\" "
              "r7s=\"9\" r8s=\"10\" r9s=\"11\" r10s=\"12\" r11s=\"13\"/>\n"
              "<popr_res type=\"Материал\" kod=\"M1\" kod_norvel=\"M1\" matokp_mashpred=\"OKP\" "
              "kod_ed=\"kg\" naim=\"Цемент\" rashod=\"0.12346\" k91_01=\"1\" ves=\"2.5\" "
              "trud_mash=\"0\" sr_razrad=\"0\" st_shasa=\"0\"/>\n"
              "<popr_res type=\"Машина/механизм\" kod=\"C1\" kod_norvel=\"C1\" "
              "matokp_mashpred=\"G\" kod_ed=\"?\" naim=\"Кран\" rashod=\"2\" k91_01=\"1.25\" "
              "ves=\"0\" trud_mash=\"1.5\" sr_razrad=\"4\" st_shasa=\"100\"/>\n"
              "</pvr_popr>");
    EXPECT_EQ(entry->GetItem(0)->GetParent(), entry);
}

TEST(EntryCaptionTest, TheNumberIsRightAlignedInFiveBlanksPaddedCharacters) {
    pvr norm;
    pvr_popr* entry = norm.GetItem(norm.AddItem(std::make_unique<pvr_popr>()));
    entry->set_kod("K");
    entry->set_naim("N");
    entry->AddNewElement("popr_res");
    entry->GetItem(0)->PutType("Материал");
    entry->GetItem(0)->set_kod("M");
    serialaze::TextTreeView view;
    for (int number : {7, 0, 1234567}) {
        entry->set_number(number);
        entry->TreeView(view, nullptr);
    }
    EXPECT_EQ(view.Render(), "    7 поправка: K N\n"
                             "  Материал: M  Расход ресурса: 0\n"
                             "      поправка: K N\n"
                             "  Материал: M  Расход ресурса: 0\n"
                             "1234567 поправка: K N\n"
                             "  Материал: M  Расход ресурса: 0");
    EXPECT_EQ(entry->Node()->Data(), entry);
}

TEST(EntryCodeTest, StripLastSegmentDropsWhatFollowsTheLastDash) {
    EXPECT_EQ(pvr_popr::StripLastSegment("01-01-001-01"), "01-01-001");
    EXPECT_EQ(pvr_popr::StripLastSegment("-5"), "");
    EXPECT_EQ(pvr_popr::StripLastSegment("ABC"), "ABC");
    EXPECT_EQ(pvr_popr::StripLastSegment("A-"), "A");
    EXPECT_EQ(pvr_popr::StripLastSegment(""), "");
}

} // namespace
