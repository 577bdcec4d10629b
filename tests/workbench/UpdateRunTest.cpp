#include "tests/support/DemoJournal.h"
#include "tests/workbench/WorkbenchFixture.h"

#include "workbench/UpdateRun.h"

#include "platform/text/Exception.h"

using testsupport::PatchXml;
using testsupport::WorkbenchTest;
using Lines = std::vector<std::string>;

namespace {

// One norm with one entry; `entryKod`, `entryNaim` and `norm` vary per test.
std::string OneEntryPatch(const std::string& norm, const std::string& entryKod,
                          const std::string& entryNaim) {
    return PatchXml("<sbornik_pvr naim=\"Земляные работы\" kod=\"1\" vid_rab=\"СТР\">\n"
                    "<pvr kod_razd=\"101\" kod=\"" + norm + "\" naim=\"Норма\" naim_ed=\"м3\" "
                    "nom_baz=\"1\" priz_ukr=\"ПВР\" sostav_pvr=\"\" priz_stm=\"\">\n"
                    "<pvr_popr number=\"1\" kod=\"" + entryKod + "\" naim=\"" + entryNaim +
                    "\" kod_er=\"\" trud_rab=\"1.5\" trud_mash=\"0\" zarplata=\"10\" "
                    "razrad=\"3\"/>\n</pvr>\n</sbornik_pvr>\n");
}

} // namespace

TEST_F(WorkbenchTest, TheDemoPatchRunsFromCheckToClosingLine) {
    m_form->EdPatch = SOURCE_DIR "/demo/patch.xml";
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    EXPECT_EQ(Journal(), DemoJournal(true));
    // Every journal line but the closing one and the model's own also went to
    // the host log, errors marked.
    EXPECT_EQ(m_hostLog.lines.front(), "I: Измененили длину поля naim_pvr ");
    EXPECT_EQ(m_hostLog.lines.back(), "I: Пересчет зарплаты у работы 06-01-001");
    EXPECT_EQ(Scalar("select count(*) from KOD_PVR"), "6");
    EXPECT_EQ(Dump("KOD_TABL where kod_pvr = '01-03-001'"),
              "01-03-001|1|01-03-001-01|Перемещение грунта до 5 м, группа грунтов 1||01-03-001\n");
    EXPECT_EQ(Dump("NOM_MASH where kod_mash = '030201'"),
              "030201|Бульдозеры при работе на строительстве 79 кВт (108 л.с.)|888888|-1.00000|"
              "6.00000|1.00000|-1.00000|NULL\n");
    // The wage was recomputed: 4.6 hours at grade 5.5 = 4.6 x 50 x 1.45.
    EXPECT_EQ(Scalar("select zarpl from ZARP where kod_pvr = '01-01-001' and n_tabl = 1"),
              "333.5000");
}

TEST_F(WorkbenchTest, PriceLevelOneRefusesAndOtherLevelsDoNothing) {
    UsePatch(OneEntryPatch("01-09-001", "01-09-001-01", "Новая"));
    Sql("update NAME_BASE set type_code = 1");
    const std::string before = DumpAll();
    EXPECT_EQ(BitCalcClick(*m_form), 1);
    EXPECT_EQ(Journal(), Lines{"Обновление невозможно! Обновляемая база в другом уровне цен!"});
    EXPECT_TRUE(m_hostLog.lines.empty());
    Sql("update NAME_BASE set type_code = 3");
    EXPECT_EQ(BitCalcClick(*m_form), 3);
    EXPECT_EQ(Journal().size(), 1u);
    Sql("update NAME_BASE set type_code = 1");
    EXPECT_EQ(DumpAll(), before);
}

TEST_F(WorkbenchTest, AnEmptyNameBaseEndsTheRunBeforeAnyStage) {
    Sql("delete from NAME_BASE");
    UsePatch(OneEntryPatch("01-09-001", "01-09-001-01", "Новая"));
    try {
        BitCalcClick(*m_form);
        FAIL() << "the run went on";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "Уровень цен базы (NAME_BASE.type_code) не определен: "
                                         "\"\" не является целым числом");
    }
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(Scalar("select count(*) from KOD_PVR where kod_pvr = '01-09-001'"), "0");
}

TEST_F(WorkbenchTest, AFailedSaveLeavesEveryTableAsItWasAndTheRunStillCloses) {
    // The second norm's code does not fit its column: the save fails after the
    // first norm was written.
    const std::string tooLong(40, '7');
    UsePatch(PatchXml("<sbornik_pvr naim=\"Переименованный сборник\" kod=\"1\" vid_rab=\"СТР\">\n"
                      "<pvr kod_razd=\"101\" kod=\"01-01-001\" naim=\"Изменено\" naim_ed=\"м3\" "
                      "nom_baz=\"1\" priz_ukr=\"ПВР\" sostav_pvr=\"Новый состав\" priz_stm=\"\"/>\n"
                      "<pvr kod_razd=\"101\" kod=\"" + tooLong + "\" naim=\"Длинный\" naim_ed=\"м3\" "
                      "nom_baz=\"1\" priz_ukr=\"ПВР\" sostav_pvr=\"\" priz_stm=\"\"/>\n"
                      "</sbornik_pvr>\n"));
    m_form->ChProch = false;
    // The widening is outside the transaction: let it happen first.
    Sql("ALTER TABLE KOD_PVR ALTER NAIM_PVR TYPE VARCHAR(400)");
    const std::string before = DumpAll();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    Lines journal = Journal();
    ASSERT_EQ(journal.size(), 5u) << ::testing::PrintToString(journal);
    EXPECT_EQ(journal[2], "Добавление работы 01-01-001");
    EXPECT_EQ(journal[3].rfind("Ошибка сохранении в базу данных ", 0), 0u) << journal[3];
    EXPECT_NE(journal[3].find("truncation"), std::string::npos) << journal[3];
    EXPECT_EQ(journal[4], "Обновление завершенно!");
    EXPECT_EQ(DumpAll(), before);
}

TEST_F(WorkbenchTest, TheCheckReportsExactlyTheEntriesThatDiffer) {
    UsePatch(PatchXml(
        "<sbornik_pvr naim=\"Земляные работы\" kod=\"1\" vid_rab=\"СТР\">\n"
        "<pvr kod_razd=\"101\" kod=\"01-01-001\" naim=\"Н\" naim_ed=\"м3\" nom_baz=\"1\" "
        "priz_ukr=\"ПВР\" sostav_pvr=\"\" priz_stm=\"\">\n"
        "<pvr_popr number=\"1\" kod=\"01-01-001-1\" naim=\"Экскаваторы с ковшом вместимостью "
        "0,5 м3, группа грунтов 1\"/>\n"
        "<pvr_popr number=\"2\" kod=\"01-01-001-2\" naim=\"Другое имя\"/>\n"
        "<pvr_popr number=\"3\" kod=\"01-01-001-3\" naim=\"Новая\"/>\n"
        "</pvr>\n</sbornik_pvr>\n"));
    LoadAndCheckPatch(*m_form);
    EXPECT_EQ(Journal(), (Lines{
                             "Проверка на совпадение набора расценок с базой",
                             "У работы 01-01-001 набор расценок не совпадает с базой 01-01-001-2",
                             "У работы 01-01-001 набор расценок не совпадает с базой 01-01-001-3",
                         }));
    EXPECT_EQ(m_hostLog.lines.size(), 3u);
}

TEST_F(WorkbenchTest, AnUnreadableOrRejectedPatchEndsTheRunAtTheCheck) {
    m_form->EdPatch = m_db->Folder() + "/missing.xml";
    const std::string before = DumpAll();
    EXPECT_THROW(BitCalcClick(*m_form), Exception);
    EXPECT_EQ(Journal(), (Lines{"Измененили длину поля naim_pvr ",
                                "Проверка на совпадение набора расценок с базой"}));
    UsePatch("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<pvr/>\n");
    EXPECT_THROW(LoadAndCheckPatch(*m_form), Exception);
    EXPECT_EQ(DumpAll(), before);
}
