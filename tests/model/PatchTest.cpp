// A whole patch document on real Firebird files: what saving writes into every
// table and the journal, saving over an existing base, a failing save inside a
// transaction, the XML round trip, and a loaded base exported and re-applied.
#include "model/kod_pvr.h"
#include "model/sbornik_pvr.h"

#include "tests/model/ModelTestSupport.h"

#include "Serialaze/TextTreeView.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

#include <filesystem>

using modeltest::DumpBase;
using modeltest::DumpTable;

namespace {

const std::string PatchFile = SOURCE_DIR "/tests/model/data/patch.xml";

// The directory rows and the base row the patch is applied to: one known OKP
// code and machine group, one existing material and machine.
const std::vector<std::string> Seed = {
    "insert into NAME_BASE values ('Тестовая база', '2026', 2)",
    "insert into KOD_OKP values ('574510')", "insert into N_MASHP values ('0301')",
    "insert into NOM_MAT values ('401-0067', 'Бетон тяжелый', '574510', 'м3', 850.5, 2.4)",
    "insert into NOM_MASH values ('030101', 'Экскаватор 0,5 м3', '0301', 111.99, 6, 1, 12.5, 1)"};

std::unique_ptr<kod_pvr> ReadPatch(const std::string& path = PatchFile) {
    text::StringList lines;
    lines.LoadFromFile(path);
    auto base = std::make_unique<kod_pvr>();
    base->DeSerialize(lines);
    return base;
}

// What the patch writes into a base holding only the seed rows.
const char* const ExpectedRazd = "101|Разработка грунта|1000 м3|1.07000|СТР\n"
                                 "601|Бетонные работы|100 м3|1.15000|СТР\n";
const char* const ExpectedSbor = "1|Земляные работы |СТР\n"
                                 "6|Бетонные работы|С\n";
const char* const ExpectedPvr =
    "101|01-01-001|Разработка грунта экскаваторами|1000 м3 грунта|1|ПВР|1|2||1\n"
    "101|01-01-002|Разработка грунта с погрузкой|1000 м3 грунта|2|ПВР|1|1|MM|1\n"
    "601|06-01-001|Бетонная подготовка|100 м3 бетона|1|ПВР|6|1||1\n";
const char* const ExpectedSost = "01-01-001|Разработка грунта в отвал.\n"
                                 "06-01-001|Укладка бетонной смеси.\n";
const char* const ExpectedProc = "01-01-001|1|0.0000|80.0000|0.2500|45.0000|2.0000|0.0000\n"
                                 "01-01-001|3|1.5000|95.0000|0.0000|50.0000|0.0000|1.2346\n"
                                 "06-01-001|1|0.0000|105.0000|0.0000|65.0000|0.0000|0.0000\n";
const char* const ExpectedTabl = "01-01-001|1|01-01-001-01|Группа грунтов 1|Е1|01-01-001-А\n"
                                 "01-01-001|2|01-01-001-02|Группа грунтов 2||01-01-001\n"
                                 "01-01-002|1|01-01-002-01|Погрузка||01-01-002\n"
                                 "06-01-001|1|06-01-001-01|Бетонная подготовка||06-01-001\n";
const char* const ExpectedTrudoz =
    "01-01-001|1|4.6000|24.3000|1.2346|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|"
    "0.0000|0.0000|0.0000|0.5000\n"
    "01-01-002|1|NULL|5.0400|3.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|"
    "0.0000|0.0000|0.0000|0.0000\n"
    "06-01-001|1|180.0000|18.0700|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|0.0000|"
    "0.0000|0.0000|0.0000|0.0000|0.0000\n";
const char* const ExpectedZarp = "01-01-001|1|278.4000|5.5000\n"
                                 "01-01-001|2|NULL|3.5000\n"
                                 "06-01-001|1|11700.0000|2.5000\n";
// The material given twice ends with the second consumption; the new material
// with a consumption that rounds to 0 gets no row.
const char* const ExpectedCnir = "06-01-001|1|401-0067|98.50000\n";
const char* const ExpectedMash = "01-01-001|1|030101|24.30000\n"
                                 "01-01-001|1|039999|0.12346\n"
                                 "06-01-001|1|030101|0.50000\n";
const char* const ExpectedNomMat = "401-0067|Бетон тяжелый|574510|м3|850.50000|2.40000\n"
                                   "999-0001|Новый материал|?|?|-1.00000|0.50000\n";
const char* const ExpectedNomMash =
    "030101|Экскаватор 0,5 м3|0301|111.99000|6.00000|1.00000|12.50000|1.00000\n"
    "039999|Новая машина|888888|-1.00000|0.00000|1.50000|-1.00000|NULL\n";
const char* const ExpectedJournal = "Добавление работы 01-01-001\n"
                                    "Добавление поправок 01-01-001-01\n"
                                    " Добавили машину 039999 Новая машина\n"
                                    "Добавление поправок 01-01-001-02\n"
                                    "Добавление работы 01-01-002\n"
                                    "Добавление поправок 01-01-002-01\n"
                                    "Добавление работы 06-01-001\n"
                                    "Добавление поправок 06-01-001-01\n"
                                    " Добавили материал 999-0001 Новый материал\n";

class PatchTest : public modeltest::ModelTest {
protected:
    void SetUp() override { Exec(Seed); }
};

} // namespace

TEST_F(PatchTest, SavingAPatchWritesExactlyTheseRowsAndJournalLines) {
    auto base = ReadPatch();
    base->SaveIntoDB(Db());

    EXPECT_EQ(Dump("KOD_RAZD", "kod_razd"), ExpectedRazd);
    EXPECT_EQ(Dump("KOD_SBOR", "kod_sb"), ExpectedSbor);
    EXPECT_EQ(Dump("KOD_PVR", "kod_pvr"), ExpectedPvr);
    EXPECT_EQ(Dump("SOST_PVR", "kod_pvr"), ExpectedSost);
    EXPECT_EQ(Dump("N_PROC", "kod_pvr, kod_mest"), ExpectedProc);
    EXPECT_EQ(Dump("KOD_TABL", "kod_pvr, n_tabl"), ExpectedTabl);
    EXPECT_EQ(Dump("TRUDOZ", "kod_pvr, n_tabl"), ExpectedTrudoz);
    EXPECT_EQ(Dump("ZARP", "kod_pvr, n_tabl"), ExpectedZarp);
    EXPECT_EQ(Dump("CNIR", "kod_pvr, n_tabl, kod_cnir"), ExpectedCnir);
    EXPECT_EQ(Dump("MASH", "kod_pvr, n_tabl, kod_mash"), ExpectedMash);
    EXPECT_EQ(Dump("NOM_MAT", "kod_mat"), ExpectedNomMat);
    EXPECT_EQ(Dump("NOM_MASH", "kod_mash"), ExpectedNomMash);
    EXPECT_EQ(Dump("KOD_OKP", "kod_okp") + Dump("N_MASHP", "kod_mashp"), "574510\n0301\n");
    EXPECT_EQ(m_journal.Text(), ExpectedJournal);
    EXPECT_EQ(m_hostLog.Text(), "2:Добавление работы 01-01-001\n"
                                "2:Добавление работы 01-01-002\n"
                                "2:Добавление работы 06-01-001\n");
    // The placeholders the save substituted stay in the tree.
    EXPECT_EQ(base->GetItem(1)->GetItem(0)->GetItem(0)->GetItem(1)->matokp_mashpred(), "?");
}

TEST_F(PatchTest, SavingOverAnExistingBaseReplacesNormsAndEntriesAndLeavesUnmentionedRows) {
    Exec(
        {"insert into KOD_RAZD values (101, 'Старый раздел', 'шт', 0.5, 'X')",
         "insert into KOD_RAZD values (999, 'Чужой раздел', 'шт', 1, 'С')",
         "insert into KOD_SBOR values (1, 'Старое имя', 'Y')",
         "insert into KOD_SBOR values (2, 'Чужой сборник', 'С')",
         "insert into KOD_PVR values (999, '01-01-001', 'Старая работа', 'шт', 5, 'X', 2, 7, 'Z', 0)",
         "insert into SOST_PVR values ('01-01-001', 'Старый состав')",
         "insert into KOD_PVR values (101, '01-01-002', 'Старая', 'шт', 1, '', 1, 1, '', 1)",
         "insert into SOST_PVR values ('01-01-002', 'Уйдёт: новый состав пуст')",
         "insert into KOD_PVR values (999, '02-01-001', 'Чужая работа', 'шт', 1, '', 2, 1, '', 1)",
         "insert into SOST_PVR values ('02-01-001', 'Чужой состав')",
         "insert into N_PROC values ('01-01-001', 2, 1, 1, 1, 1, 1, 1)",
         "insert into N_PROC values ('02-01-001', 1, 7, 7, 7, 7, 7, 7)",
         "insert into KOD_TABL values ('01-01-001', 1, 'старый', 'Старая', 'E', 'K')",
         "insert into TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash) values ('01-01-001', 1, 9, 9)",
         "insert into ZARP values ('01-01-001', 1, 9, 9)",
         "insert into CNIR values ('01-01-001', 1, '401-0067', 5)",
         "insert into MASH values ('01-01-001', 1, '030101', 5)",
         "insert into KOD_TABL values ('01-01-001', 3, 'третий', 'Не в патче', '', '')",
         "insert into CNIR values ('01-01-001', 3, '401-0067', 3)"});
    ReadPatch()->SaveIntoDB(Db());

    EXPECT_EQ(Dump("KOD_RAZD", "kod_razd"),
              std::string(ExpectedRazd) + "999|Чужой раздел|шт|1.00000|С\n");
    EXPECT_EQ(Dump("KOD_SBOR", "kod_sb"), "1|Земляные работы |СТР\n"
                                          "2|Чужой сборник|С\n"
                                          "6|Бетонные работы|С\n");
    EXPECT_EQ(Dump("KOD_PVR", "kod_pvr"),
              "101|01-01-001|Разработка грунта экскаваторами|1000 м3 грунта|1|ПВР|1|2||1\n"
              "101|01-01-002|Разработка грунта с погрузкой|1000 м3 грунта|2|ПВР|1|1|MM|1\n"
              "999|02-01-001|Чужая работа|шт|1||2|1||1\n"
              "601|06-01-001|Бетонная подготовка|100 м3 бетона|1|ПВР|6|1||1\n");
    EXPECT_EQ(Dump("SOST_PVR", "kod_pvr"),
              "01-01-001|Разработка грунта в отвал.\n02-01-001|Чужой состав\n"
              "06-01-001|Укладка бетонной смеси.\n");
    EXPECT_EQ(Dump("N_PROC", "kod_pvr, kod_mest"),
              "01-01-001|1|0.0000|80.0000|0.2500|45.0000|2.0000|0.0000\n"
              "01-01-001|3|1.5000|95.0000|0.0000|50.0000|0.0000|1.2346\n"
              "02-01-001|1|7.0000|7.0000|7.0000|7.0000|7.0000|7.0000\n"
              "06-01-001|1|0.0000|105.0000|0.0000|65.0000|0.0000|0.0000\n");
    EXPECT_EQ(Dump("KOD_TABL", "kod_pvr, n_tabl"),
              "01-01-001|1|01-01-001-01|Группа грунтов 1|Е1|01-01-001-А\n"
              "01-01-001|2|01-01-001-02|Группа грунтов 2||01-01-001\n"
              "01-01-001|3|третий|Не в патче||\n"
              "01-01-002|1|01-01-002-01|Погрузка||01-01-002\n"
              "06-01-001|1|06-01-001-01|Бетонная подготовка||06-01-001\n");
    EXPECT_EQ(Dump("TRUDOZ", "kod_pvr, n_tabl"), ExpectedTrudoz);
    EXPECT_EQ(Dump("ZARP", "kod_pvr, n_tabl"), ExpectedZarp);
    // The old consumption of entry 1 went with its row; entry 3 kept its own.
    EXPECT_EQ(Dump("CNIR", "kod_pvr, n_tabl, kod_cnir"),
              "01-01-001|3|401-0067|3.00000\n" + std::string(ExpectedCnir));
    EXPECT_EQ(Dump("MASH", "kod_pvr, n_tabl, kod_mash"), ExpectedMash);
    EXPECT_EQ(m_journal.Text(), ExpectedJournal);
}

TEST_F(PatchTest, AFailingStatementEndsTheSaveThereAndARollbackLeavesNothing) {
    const std::string before = DumpBase(Db());
    auto base = ReadPatch();
    // Longer than KOD_PVR.kod_pvr holds: the second collection's norm fails.
    base->GetItem(1)->GetItem(0)->set_kod(std::string(40, '9'));

    const db::TransactionDesc transaction;
    Db().StartTransaction(transaction);
    EXPECT_THROW(base->SaveIntoDB(Db()), EDatabaseError);
    Db().Rollback(transaction);
    EXPECT_EQ(DumpBase(Db()), before);

    // Without a transaction the rows written before the failure stay.
    m_journal.Clear();
    EXPECT_THROW(base->SaveIntoDB(Db()), EDatabaseError);
    EXPECT_EQ(Dump("KOD_SBOR", "kod_sb"), ExpectedSbor);
    EXPECT_EQ(Dump("KOD_PVR", "kod_pvr"),
              "101|01-01-001|Разработка грунта экскаваторами|1000 м3 грунта|1|ПВР|1|2||1\n"
              "101|01-01-002|Разработка грунта с погрузкой|1000 м3 грунта|2|ПВР|1|1|MM|1\n");
    EXPECT_EQ(m_journal.Text(), "Добавление работы 01-01-001\n"
                                "Добавление поправок 01-01-001-01\n"
                                " Добавили машину 039999 Новая машина\n"
                                "Добавление поправок 01-01-001-02\n"
                                "Добавление работы 01-01-002\n"
                                "Добавление поправок 01-01-002-01\n");
}

TEST_F(PatchTest, APatchWrittenAndReadBackGivesTheSameDocumentByteForByte) {
    const std::string folder = testsupport::MakeTempFolder("roundtrip");
    text::StringList first;
    ReadPatch()->Serialize(first);
    first.SaveToFile(folder + "/first.xml");

    auto reread = ReadPatch(folder + "/first.xml");
    EXPECT_EQ(reread->razdels()->Count(), 2);
    EXPECT_EQ(reread->Count(), 2);
    text::StringList second;
    reread->Serialize(second);
    second.SaveToFile(folder + "/second.xml");

    const std::string bytes = text::ReadFileBytes(folder + "/first.xml");
    EXPECT_EQ(text::ReadFileBytes(folder + "/second.xml"), bytes);
    EXPECT_EQ(bytes.substr(0, 47), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n");
    std::filesystem::remove_all(folder);
}

TEST_F(PatchTest, LoadedCollectionsExportedAndReappliedToAFreshBaseGiveTheSameRows) {
    ReadPatch()->SaveIntoDB(Db());

    kod_pvr loaded;
    for (int kod : {6, 1}) {
        auto collection = std::make_unique<sbornik_pvr>();
        collection->set_kod(kod);
        loaded.AddItem(std::move(collection));
    }
    loaded.LoadFromDB(Db());
    EXPECT_EQ(loaded.base_code(), "Тестовая база-2026");
    EXPECT_EQ(loaded.base_typecode(), 2);
    // Each section once, in the order the norms first use it.
    ASSERT_EQ(loaded.razdels()->Count(), 2);
    EXPECT_EQ(loaded.razdels()->GetItem(0)->kod(), 601);
    EXPECT_EQ(loaded.razdels()->GetItem(1)->kod(), 101);
    EXPECT_EQ(loaded.razdels()->GetItem(1)->name(), "Разработка грунта");

    text::StringList document;
    loaded.Serialize(document);
    kod_pvr reapplied;
    reapplied.DeSerialize(document);
    testsupport::TempDatabase fresh(SOURCE_DIR "/model/schema/firebird.sql");
    for (const std::string& sql : Seed)
        fresh.Connection().ExecuteDirect(sql);
    reapplied.SaveIntoDB(fresh.Connection());
    // A material that no consumption line uses is not part of an export.
    for (const modeltest::BaseTable& table : modeltest::BaseTables()) {
        if (std::string(table.name) != "NOM_MAT") {
            EXPECT_EQ(DumpTable(fresh.Connection(), table.name, table.orderBy),
                      Dump(table.name, table.orderBy))
                << table.name;
        }
    }
    EXPECT_EQ(DumpTable(fresh.Connection(), "NOM_MAT", "kod_mat"),
              "401-0067|Бетон тяжелый|574510|м3|850.50000|2.40000\n");
}
