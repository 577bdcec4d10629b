// The dry run on real embedded bases: every stage of the update run up to the
// save, in one transaction that is rolled back; the rows and the columns stay
// exactly as they were, and what it writes is what the real run writes.
#include "tests/workbench/WorkbenchFixture.h"

#include "model/kod_pvr.h"
#include "model/pvr.h"
#include "model/sbornik_pvr.h"
#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "tests/support/RecordingDriver.h"
#include "workbench/Renumber.h"
#include "workbench/UpdateRun.h"

using testsupport::PatchXml;
using testsupport::WorkbenchTest;
using Lines = std::vector<std::string>;

namespace {

class DryRunTest : public WorkbenchTest {
protected:
    // The rows and the columns of the base.
    std::string State() { return DumpAll() + Schema(); }
    // The journal lines of this run beginning "Ошибка".
    Lines ErrorLines(size_t from = 0) const {
        Lines errors;
        const Lines journal = Journal();
        for (size_t i = from; i < journal.size(); ++i)
            if (journal[i].rfind("Ошибка", 0) == 0)
                errors.push_back(journal[i]);
        return errors;
    }
};

std::string NormPatch(const std::string& code, const std::string& name,
                      const std::string& unit = "м3") {
    return PatchXml("<sbornik_pvr naim=\"Земляные работы\" kod=\"1\" vid_rab=\"СТР\">\n"
                    "<pvr kod_razd=\"101\" kod=\"" +
                    code + "\" naim=\"" + name + "\" naim_ed=\"" + unit +
                    "\" nom_baz=\"1\" priz_ukr=\"ПВР\" sostav_pvr=\"\" "
                    "priz_stm=\"\">\n"
                    "<pvr_popr number=\"1\" kod=\"" +
                    code +
                    "-01\" naim=\"Новая\" kod_er=\"\" "
                    "trud_rab=\"1.5\" trud_mash=\"0\" zarplata=\"10\" razrad=\"3\"/>\n"
                    "</pvr>\n</sbornik_pvr>\n");
}

std::string Repeat(const std::string& letter, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += letter;
    return out;
}

} // namespace

// On the demo base the real run would renumber four codes and widen the name
// column: the dry run lists both, its check and save see the renumbered codes,
// and afterwards every row and every column type is as it was. The real run
// then writes the same lines but for the widening and the closing ones.
TEST_F(DryRunTest, NothingChangesNotEvenTheCodesOrTheColumnAndTheLinesAreTheRealRuns) {
    m_form->EdPatch = SOURCE_DIR "/demo/patch.xml";
    m_form->CheckBox1 = true;
    m_form->DryRun = true;
    const std::string before = State();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    EXPECT_EQ(State(), before);
    EXPECT_FALSE(m_form->SQLConnect.InTransaction());
    Lines dry = Journal();
    EXPECT_EQ(dry, (Lines{
                       "Проводится обновление поправок",
                       "Изменили поправку 01-01-001-1 на 01-01-001-01",
                       "Изменили поправку 01-01-001-2 на 01-01-001-02",
                       "Изменили поправку 01-02-057-1 на 01-02-057-01",
                       "Изменили поправку 01-02-057-2Г на 01-02-057-02Г",
                       "Длина поля naim_pvr будет изменена с 250 на 400 (пробный прогон)",
                       "Проверка на совпадение набора расценок с базой",
                       "У работы 01-01-001 набор расценок не совпадает с базой 01-01-001-1",
                       "У работы 01-01-001 набор расценок не совпадает с базой 01-01-001-2",
                       "У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01",
                       "Добавление работы 01-01-001",
                       "Добавление поправок 01-01-001-1",
                       "Добавление поправок 01-01-001-2",
                       "Добавление работы 01-03-001",
                       "Добавление поправок 01-03-001-01",
                       " Добавили машину 030201 Бульдозеры при работе на строительстве 79 кВт "
                       "(108 л.с.)",
                       "Добавление работы 06-01-001",
                       "Добавление поправок 06-01-001-01",
                       " Добавили материал 401-0067 Бетон тяжелый, класс В20 (М250)",
                       "Пробное сохранение в БД выполнено",
                       "Пробное обновление завершено, все изменения отменены!",
                   }));
    const ChangeReport& report = m_form->Report;
    EXPECT_EQ(report.Outcome(), "clean");
    ASSERT_TRUE(report.renumbering);
    EXPECT_EQ(report.renumbering->codes.size(), 4u);
    EXPECT_EQ(report.renumbering->codes[3].after, "01-02-057-02Г");
    EXPECT_EQ(report.renumbering->rows, 4);
    ASSERT_TRUE(report.widening);
    EXPECT_EQ(report.widening->widthBefore, 250);
    EXPECT_EQ(report.widening->changesWidth, true);
    ASSERT_TRUE(report.patchContents);
    EXPECT_EQ(report.patchContents->norms, 3);
    EXPECT_EQ(report.patchContents->resourceLines, 7);

    m_form->MemoLog.Clear();
    m_form->DryRun = false;
    m_form->ChProch = false;
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    dry[5] = "Измененили длину поля naim_pvr ";
    dry[dry.size() - 2] = "Сохранение в БД";
    dry.back() = "Обновление завершенно!";
    EXPECT_EQ(Journal(), dry);
    EXPECT_NE(State(), before);
}

// A name longer than the column but not than the widened one would fit after
// the real run's widening: the dry run passes it, lists the norm, and leaves
// the patch's name whole in Base. A name too long even for the widened column
// fails both runs with one and the same error line.
TEST_F(DryRunTest, ANameThatFitsOnlyAfterTheWideningIsNoFailure) {
    const std::string name300 = Repeat("Н", 300);
    UsePatch(NormPatch("01-09-001", name300));
    m_form->DryRun = true;
    m_form->ChProch = false;
    const std::string before = State();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    EXPECT_EQ(ErrorLines(), Lines{});
    EXPECT_EQ(m_form->Report.Outcome(), "clean");
    EXPECT_EQ(m_form->Report.widening->namesFittingOnlyAfter, Lines{"01-09-001"});
    EXPECT_EQ(m_form->Base->GetItem(0)->GetItem(0)->naim(), name300);
    EXPECT_EQ(State(), before);

    UsePatch(NormPatch("01-09-002", Repeat("Д", 401)));
    m_form->MemoLog.Clear();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    const Lines dryErrors = ErrorLines();
    ASSERT_EQ(dryErrors.size(), 1u);
    EXPECT_NE(dryErrors[0].find("expected length 400, actual 401"), std::string::npos)
        << dryErrors[0];
    EXPECT_EQ(m_form->Report.Outcome(), "failed");
    EXPECT_EQ(m_form->Report.error->stage, "save");
    EXPECT_EQ(State(), before);

    m_form->DryRun = false;
    m_form->MemoLog.Clear();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    EXPECT_EQ(ErrorLines(), dryErrors);
    UsePatch(NormPatch("01-09-001", name300));
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    EXPECT_EQ(Scalar("select char_length(naim_pvr) from KOD_PVR where kod_pvr = '01-09-001'"),
              "300");
}

// A save that fails on a value too long for its column (the unit of a norm):
// the dry run writes the real run's error line, and leaves the base as it was.
TEST_F(DryRunTest, AFailingSaveWritesTheRealRunsErrorLine) {
    UsePatch(NormPatch("01-09-001", "Норма", Repeat("м", 101)));
    m_form->DryRun = true;
    const std::string before = State();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    const Lines dryErrors = ErrorLines();
    ASSERT_EQ(dryErrors.size(), 1u);
    EXPECT_EQ(dryErrors[0].rfind("Ошибка сохранении в базу данных ", 0), 0u);
    EXPECT_EQ(Journal().back(), "Пробное обновление завершено, все изменения отменены!");
    EXPECT_EQ(State(), before);

    m_form->DryRun = false;
    m_form->ChProch = false;
    const size_t realFrom = Journal().size();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    EXPECT_EQ(ErrorLines(realFrom), dryErrors);
}

// A patch that fails to read ends the dry run with the reader's error, which
// names the object and its line in the report too; the renumbering done
// before it in the dry run's transaction is rolled back with it.
TEST_F(DryRunTest, AReadFailureEndsTheRunAndTheRenumberingIsRolledBack) {
    std::string demo = text::Cp1251ToUtf8(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml"));
    demo.replace(demo.find("rashod=\"24.3\""), 13, "rashod=\"10,5\"");
    UsePatch(demo);
    m_form->CheckBox1 = true;
    m_form->DryRun = true;
    const std::string before = State();
    EXPECT_THROW(BitCalcClick(*m_form), Exception);
    EXPECT_EQ(State(), before);
    EXPECT_FALSE(m_form->SQLConnect.InTransaction());
    const ChangeReport& report = m_form->Report;
    EXPECT_EQ(report.Outcome(), "failed");
    ASSERT_TRUE(report.error);
    EXPECT_EQ(report.error->stage, "read");
    EXPECT_EQ(report.error->cause, "\"10,5\" не является числом с плавающей точкой");
    EXPECT_EQ(report.error->path, (Lines{"Сборник нормативов: 1", "Норматив: 01-01-001",
                                         "поправка: 01-01-001-1", "Машина/механизм: 030101"}));
    EXPECT_EQ(report.error->line, 20);
    EXPECT_FALSE(report.patchContents);
}

// The price level is read as in the real run: level 1 refuses and no
// transaction is left behind.
TEST_F(DryRunTest, ARefusedDryRunLeavesNoTransaction) {
    UsePatch(NormPatch("01-09-001", "Норма"));
    Sql("update NAME_BASE set type_code = 1");
    m_form->DryRun = true;
    EXPECT_EQ(BitCalcClick(*m_form), 1);
    EXPECT_EQ(Journal(), Lines{"Обновление невозможно! Обновляемая база в другом уровне цен!"});
    EXPECT_FALSE(m_form->SQLConnect.InTransaction());
    EXPECT_EQ(m_form->Report.Outcome(), "refused");
}

// On Oracle a widening would commit whatever the transaction holds: the dry
// run only reads the width. Oracle's message for a name too long for the
// column then states the widened width, as in the real run; other messages
// and real runs are left as they are.
TEST(OracleDryRunTest, TheWidthIsReadAndNoColumnIsAltered) {
    testsupport::RecordingDriver oracle;
    oracle.Queue({{"WIDTH"}, {{"250"}}});
    UpdateForm form;
    form.SQLConnect.SetConnectionName("OracleConnection");
    form.SQLConnect.SetDriverName("Oracle");
    form.DryRun = true;
    WidenNormName(form);
    EXPECT_EQ(form.MemoLog.Lines().Lines(),
              Lines{"Длина поля naim_pvr будет изменена с 250 на 400 (пробный прогон)"});
    EXPECT_EQ(oracle.Dump(), "exec: select char_length as width from user_tab_columns where "
                             "table_name = 'KOD_PVR' and column_name = 'NAIM_PVR'\n");
    const std::string tooLong = "ORA-12899: value too large for column \"NORMS\".\"KOD_PVR\"."
                                "\"NAIM_PVR\" (actual: 477, maximum: 250)";
    EXPECT_EQ(AsAfterWidening(form, tooLong),
              "ORA-12899: value too large for column \"NORMS\".\"KOD_PVR\".\"NAIM_PVR\" "
              "(actual: 477, maximum: 400)");
    const std::string otherColumn = "ORA-12899: value too large for column \"NORMS\".\"KOD_PVR\"."
                                    "\"NAIM_ED\" (actual: 477, maximum: 250)";
    EXPECT_EQ(AsAfterWidening(form, otherColumn), otherColumn);
    form.DryRun = false;
    EXPECT_EQ(AsAfterWidening(form, tooLong), tooLong);
}

// A column already wider than the widening would make it: the widening fails
// in the real run, so the dry run writes an error line too.
TEST_F(DryRunTest, AColumnWiderThanTheWideningIsAnErrorLine) {
    Sql("ALTER TABLE KOD_PVR ALTER NAIM_PVR TYPE VARCHAR(500)");
    m_form->DryRun = true;
    WidenNormName(*m_form);
    EXPECT_EQ(Journal(), Lines{"Ошибка при изменении длины поля naim_pvr поле уже длиннее 400 "
                               "символов (500)"});
    EXPECT_TRUE(m_form->Report.widening->failed);
    m_form->DryRun = false;
    m_form->MemoLog.Clear();
    WidenNormName(*m_form);
    ASSERT_EQ(Journal().size(), 1u);
    EXPECT_EQ(Journal()[0].rfind("Ошибка при изменении длины поля naim_pvr ", 0), 0u);
}
