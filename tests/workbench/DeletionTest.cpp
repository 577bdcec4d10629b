#include "tests/workbench/WorkbenchFixture.h"

#include "workbench/Deletion.h"

#include "platform/host/Application.h"

using testsupport::WorkbenchTest;
using Lines = std::vector<std::string>;

TEST_F(WorkbenchTest, ACodeSharedByTwoNormsIsDeletedFromBothWithItsDetailRows) {
    Sql("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('06-02-001', 2, '06-01-001-01')");
    Sql("insert into CNIR (kod_pvr, n_tabl, kod_cnir, rashod) values ('06-02-001', 2, '00-00', 1)");
    m_form->EdKodPopr = "06-01-001-01";
    EXPECT_TRUE(DeleteCorrection(*m_form));
    EXPECT_EQ(Journal(), Lines{"Удалили поправку из базы 06-01-001-01"});
    EXPECT_EQ(m_hostLog.lines, Lines{"I: Удалили поправку из базы 06-01-001-01"});
    EXPECT_EQ(Scalar("select count(*) from KOD_TABL where kod_tabl = '06-01-001-01'"), "0");
    EXPECT_EQ(Dump("(select kod_pvr, n_tabl, kod_cnir from CNIR)"),
              "06-02-001|1|00-00\n06-02-001|1|401-0066\n06-02-001|1|411-0001\n");
    EXPECT_EQ(Scalar("select count(*) from TRUDOZ where kod_pvr = '06-01-001'"), "0");
    EXPECT_EQ(Scalar("select count(*) from KOD_TABL"), "6");
}

TEST_F(WorkbenchTest, AMissingCodeShowsTheBoxFocusesTheEditAndDeletesNothing) {
    host::RecordingMessageBoxPresenter boxes;
    host::Application app(0x42, &boxes);
    host::Application* previous = host::SetCurrentApplication(&app);
    bool focused = false;
    m_form->FocusEdKodPopr = [&] { focused = true; };
    m_form->EdKodPopr = "99-99-999-99";
    const std::string before = DumpAll();
    EXPECT_FALSE(DeleteCorrection(*m_form));
    host::SetCurrentApplication(previous);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], (host::MessageBoxRequest{0x42, "Данной расценки не существует в базе",
                                                       "Внимание!", host::MbIcon::Error,
                                                       host::MbButtons::Ok}));
    EXPECT_TRUE(focused);
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(DumpAll(), before);
}

TEST_F(WorkbenchTest, BeforeAnyScriptIsLoadedNothingRuns) {
    ASSERT_EQ(m_form->Memo1.Text(), "Memo1");
    const std::string before = DumpAll();
    RunDeletionScript(*m_form);
    EXPECT_EQ(DeleteJournal(), Lines{"Удаление завершенно!!!! "});
    EXPECT_EQ(DumpAll(), before);
}

TEST_F(WorkbenchTest, AScriptRunsEveryPieceEndedByACaretAndReportsEach) {
    text::StringList script;
    script.Add("delete from KOD_TABL where kod_pvr='01-01-001'^");
    script.Add("^");
    script.Add("delete from KOD_TABL where kod_pvr='01-02-057' ^");
    script.Add("delete from KOD_TABL where kod_pvr='06-01-001'");
    m_form->Memo1.SetLines(script);
    RunDeletionScript(*m_form);
    EXPECT_EQ(DeleteJournal(), (Lines{
                                   "Удалили расценку '01-01-001'",
                                   "Ошибка при удалиление расценки  Текст запроса пуст",
                                   "Удалили расценку '01-02-057'",
                                   "Удаление завершенно!!!! ",
                               }));
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(m_hostLog.lines[1], "E: Ошибка при удалиление расценки  Текст запроса пуст");
    EXPECT_EQ(Dump("(select distinct kod_pvr from KOD_TABL)"),
              "01-01-002\n06-01-001\n06-02-001\n");
    // Running it again runs it again.
    RunDeletionScript(*m_form);
    EXPECT_EQ(DeleteJournal().size(), 8u);
}

TEST(DeletionNameTest, TheTextAfterThePhraseAtMostItsPositionLong) {
    EXPECT_EQ(DeletionStatementName("delete from KOD_TABL where kod_pvr='01-01-001'"),
              "'01-01-001'");
    EXPECT_EQ(DeletionStatementName("delete from KOD_PVR"), "");
    // The phrase at position 1: at most one character follows.
    EXPECT_EQ(DeletionStatementName("where kod_pvr='01'"), "'");
    EXPECT_EQ(DeletionStatementName("delete from T where kod_pvr='Ж-01-001-ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ'"),
              "'Ж-01-001-ЖЖЖЖЖ");
}
