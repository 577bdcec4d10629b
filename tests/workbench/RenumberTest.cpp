#include "tests/workbench/WorkbenchFixture.h"

#include "tests/support/RecordingDriver.h"
#include "workbench/Renumber.h"

#include "platform/text/Exception.h"

using testsupport::WorkbenchTest;
using Lines = std::vector<std::string>;

TEST_F(WorkbenchTest, RenumberingListsThenChangesEveryOneDigitLastSegment) {
    Sql("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('09-01-001', 1, '09-01-001-5')");
    Sql("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('09-01-001', 2, '09-01-001-5Г')");
    Sql("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('09-01-001', 3, '09-01-001-12')");
    Sql("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('09-01-001', 4, '09-01-001-0')");
    RenumberCorrectionCodes(*m_form);
    EXPECT_EQ(Journal(), (Lines{
                             "Проводится обновление поправок",
                             "Изменили поправку 01-01-001-1 на 01-01-001-01",
                             "Изменили поправку 01-01-001-2 на 01-01-001-02",
                             "Изменили поправку 01-02-057-1 на 01-02-057-01",
                             "Изменили поправку 01-02-057-2Г на 01-02-057-02Г",
                             "Изменили поправку 09-01-001-5 на 09-01-001-05",
                             "Изменили поправку 09-01-001-5Г на 09-01-001-05Г",
                         }));
    EXPECT_EQ(Dump("(select kod_tabl from KOD_TABL)"),
              "01-01-001-01\n01-01-001-02\n01-01-002-01\n01-02-057-01\n01-02-057-02Г\n"
              "06-01-001-01\n06-02-001-01\n09-01-001-0\n09-01-001-05\n09-01-001-05Г\n"
              "09-01-001-12\n");
    // A second run finds nothing left to change.
    RenumberCorrectionCodes(*m_form);
    EXPECT_EQ(Journal().size(), 8u);
    EXPECT_EQ(Journal().back(), "Проводится обновление поправок");
}

TEST_F(WorkbenchTest, RenumberingOnAnUnknownConnectionNameHasNoListingAndEndsTheRun) {
    m_form->SQLConnect.SetConnectionName("MyConnection");
    const std::string before = Dump("KOD_TABL");
    EXPECT_THROW(RenumberCorrectionCodes(*m_form), Exception);
    EXPECT_EQ(Journal(), Lines{"Проводится обновление поправок"});
    EXPECT_EQ(Dump("KOD_TABL"), before);
}

TEST_F(WorkbenchTest, WideningWritesItsLineAndReportsItsFailure) {
    WidenNormName(*m_form);
    EXPECT_EQ(Journal(), Lines{"Измененили длину поля naim_pvr "});
    EXPECT_EQ(Scalar("select f.rdb$character_length from rdb$relation_fields r join rdb$fields f "
                     "on f.rdb$field_name = r.rdb$field_source where r.rdb$relation_name = "
                     "'KOD_PVR' and r.rdb$field_name = 'NAIM_PVR'"),
              "400");
    WidenNormName(*m_form); // already wide: succeeds again
    EXPECT_EQ(Journal().size(), 2u);

    // A base without the table: the error line, and nothing propagates.
    testsupport::TempDatabase empty;
    UpdateForm form;
    form.SQLConnect.AssignSettings(*empty.NewConnection());
    WidenNormName(form);
    ASSERT_EQ(form.MemoLog.Lines().Count(), 1);
    EXPECT_EQ(form.MemoLog.Lines()[0].rfind("Ошибка при изменении длины поля naim_pvr ", 0), 0u)
        << form.MemoLog.Lines()[0];
}

TEST(OracleRenumberTest, TheOracleTextsAreSent) {
    testsupport::RecordingDriver oracle;
    oracle.Queue({{"KOD_TABL", "KOD_TABL_NEW"}, {{"01-01-001-5", "01-01-001-05"}}});
    UpdateForm form;
    form.SQLConnect.SetConnectionName("OracleConnection");
    form.SQLConnect.SetDriverName("Oracle");
    RenumberCorrectionCodes(form);
    WidenNormName(form);
    EXPECT_EQ(form.MemoLog.Lines().Lines(),
              (Lines{"Проводится обновление поправок",
                     "Изменили поправку 01-01-001-5 на 01-01-001-05",
                     "Измененили длину поля naim_pvr "}));
    EXPECT_EQ(oracle.Dump(),
              "exec: select kod_tabl, substr(kod_tabl, 1, instr(kod_tabl,'-',-1))||'0'||substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) as kod_tabl_new from kod_tabl where substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) in ('1','2','3','4','5','6','7','8','9', '1Г','2Г','3Г','4Г','5Г','6Г','7Г','8Г','9Г')\n"
              "exec: update kod_tabl set kod_tabl = substr(kod_tabl, 1, instr(kod_tabl,'-',-1))||'0'||substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) where substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) in ('1','2','3','4','5','6','7','8','9', '1Г','2Г','3Г','4Г','5Г','6Г','7Г','8Г','9Г')\n"
              "exec: ALTER TABLE KOD_PVR MODIFY NAIM_PVR VARCHAR2(400)\n");
}
