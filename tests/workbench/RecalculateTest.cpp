#include "tests/workbench/WorkbenchFixture.h"

#include "tests/support/RecordingDriver.h"
#include "workbench/Recalculate.h"
#include "workbench/UpdateRun.h"

#include "model/kod_pvr.h"
#include "platform/text/StringList.h"

using testsupport::PatchXml;
using testsupport::WorkbenchTest;
using Lines = std::vector<std::string>;

namespace {

std::string Norm(const std::string& kod, int kodRazd, const std::string& prizStm,
                 int entries = 1) {
    std::string xml = "<pvr kod_razd=\"" + std::to_string(kodRazd) + "\" kod=\"" + kod +
                      "\" naim=\"Н\" naim_ed=\"м3\" nom_baz=\"1\" priz_ukr=\"ПВР\" "
                      "sostav_pvr=\"\" priz_stm=\"" + prizStm + "\">\n";
    for (int n = 1; n <= entries; ++n) {
        xml += "<pvr_popr number=\"" + std::to_string(n) + "\" kod=\"" + kod + "-" +
               std::to_string(n) + "\" naim=\"П\">\n";
        if (n == 1)
            xml += "<popr_res type=\"Материал\" kod=\"00-00\" naim=\"Прочие материалы\" "
                   "rashod=\"5\"/>\n";
        xml += "</pvr_popr>\n";
    }
    return xml + "</pvr>\n";
}

std::string Collection(int kod, const std::string& norms) {
    return "<sbornik_pvr naim=\"С\" kod=\"" + std::to_string(kod) + "\" vid_rab=\"СТР\">\n" +
           norms + "</sbornik_pvr>\n";
}

} // namespace

class RecalculateTest : public WorkbenchTest {
protected:
    // One entry row set: labour, wage and grade (0 leaves the row out), and the
    // other-materials line at 5.
    void Entry(const std::string& kod, int n, double trud, double zarpl, double razrad) {
        const std::string key = "'" + kod + "', " + std::to_string(n);
        if (trud != 0)
            Sql("insert into TRUDOZ (kod_pvr, n_tabl, trud_rab) values (" + key + ", " +
                std::to_string(trud) + ")");
        if (zarpl != 0 || razrad != 0)
            Sql("insert into ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) values (" + key + ", " +
                std::to_string(zarpl) + ", " + std::to_string(razrad) + ")");
        if (n == 1)
            Sql("insert into CNIR (kod_pvr, n_tabl, kod_cnir, rashod) values (" + key +
                ", '00-00', 5)");
    }

    void FailMidNorm();

    std::string Others() {
        return Dump("(select kod_pvr, rashod from CNIR where kod_cnir = '00-00' and "
                    "kod_pvr not starting with '0')");
    }
};

TEST_F(RecalculateTest, WagesThroughTheProcedureAndOtherMaterialsAtTwoPercent) {
    Entry("70-01-001", 1, 2, 10, 3); // three labour rows: three wage lines
    Entry("70-01-001", 2, 1, 10, 3);
    Entry("70-01-001", 3, 1, 10, 3);
    Entry("70-02-001", 1, 1, 10, 2);   // section 86: wage yes, other materials no
    Entry("70-03-001", 1, 1, 123.45, 3); // "MM": no wage pass; 2 % of 123.45 = 2.469 -> 2.47
    Entry("70-04-001", 1, 1, 10, 1);   // "mm" is not skipped
    Entry("109-01-001", 1, 0, 0, 0);   // no wage row: other materials become 0
    Entry("69-01-001", 1, 1, 10, 1);   // collections 69 and 110 are outside the pass
    Entry("110-01-001", 1, 1, 10, 1);
    Entry("91-01-001", 1, 1, 100, 1);  // codes beginning 91 keep their wage
    UsePatch(PatchXml(Collection(70, Norm("70-01-001", 1, "", 3) + Norm("70-02-001", 86, "") +
                                         Norm("70-03-001", 1, "MM") + Norm("70-04-001", 1, "mm")) +
                      Collection(109, Norm("109-01-001", 1, "")) +
                      Collection(69, Norm("69-01-001", 1, "")) +
                      Collection(110, Norm("110-01-001", 1, "")) +
                      Collection(91, Norm("91-01-001", 1, ""))));
    LoadAndCheckPatch(*m_form);
    m_form->MemoLog.Clear();
    RecalculateOthers(*m_form);

    EXPECT_EQ(Journal(), (Lines{
                             "Запустили расчет прочих",
                             "Пересчет зарплаты у работы 70-01-001",
                             "Пересчет зарплаты у работы 70-01-001",
                             "Пересчет зарплаты у работы 70-01-001",
                             "Пересчет зарплаты у работы 70-02-001",
                             "Пересчет зарплаты у работы 70-04-001",
                             "Пересчет зарплаты у работы 69-01-001",
                             "Пересчет зарплаты у работы 110-01-001",
                             "Пересчет расхода у прочего материала 70-01-001 1",
                             "Пересчет расхода у прочего материала 70-03-001 1",
                             "Пересчет расхода у прочего материала 70-04-001 1",
                             "Пересчет расхода у прочего материала 109-01-001 1",
                             "Пересчет расхода у прочего материала 91-01-001 1",
                         }));
    // Wages: labour x 50 x (1 + 0.1 x (grade - 1)).
    EXPECT_EQ(Dump("(select kod_pvr, n_tabl, zarpl from ZARP where kod_pvr not starting with '0')"),
              "110-01-001|1|50.0000\n"
              "69-01-001|1|50.0000\n"
              "70-01-001|1|120.0000\n"
              "70-01-001|2|60.0000\n"
              "70-01-001|3|60.0000\n"
              "70-02-001|1|55.0000\n"
              "70-03-001|1|123.4500\n"
              "70-04-001|1|50.0000\n"
              "91-01-001|1|100.0000\n");
    EXPECT_EQ(Others(), "109-01-001|0.00000\n"
                        "110-01-001|5.00000\n"
                        "69-01-001|5.00000\n"
                        "70-01-001|2.40000\n"
                        "70-02-001|5.00000\n"
                        "70-03-001|2.47000\n"
                        "70-04-001|1.00000\n"
                        "91-01-001|2.00000\n");
}

// Each norm's work is committed when the norm is done: a statement that fails
// mid-norm writes its error line and is undone alone; the rows the norm
// changed before it stay changed, and the next norms go on.
TEST_F(RecalculateTest, AStatementFailingMidNormKeepsTheRowsChangedBeforeIt) {
    FailMidNorm();
}

// The same with the statements waiting and travelling together, as on a
// server: the same lines in the same order, the same rows.
TEST_F(RecalculateTest, AStatementFailingMidNormKeepsTheRowsChangedBeforeItWhenGrouped) {
    m_form->SQLConnect.Close();
    m_form->SQLConnect.SetParamValue("GroupStatements", "always");
    FailMidNorm();
    EXPECT_GT(m_form->SQLConnect.Statistics().grouped, 0);
}

void RecalculateTest::FailMidNorm() {
    Entry("70-01-001", 1, 2, 10, 3);
    Entry("70-01-001", 2, 1, 10, 3);
    Entry("70-01-001", 3, 1, 10, 3);
    Entry("70-04-001", 1, 1, 10, 1);
    Sql("alter table ZARP add constraint SECOND_BELOW_50 check (n_tabl <> 2 or zarpl < 50)");
    UsePatch(PatchXml(Collection(70, Norm("70-01-001", 1, "", 3) + Norm("70-04-001", 1, ""))));
    LoadAndCheckPatch(*m_form);
    m_form->MemoLog.Clear();
    RecalculateOthers(*m_form);
    Lines journal = Journal();
    ASSERT_EQ(journal.size(), 6u) << ::testing::PrintToString(journal);
    EXPECT_EQ(journal[1], "Пересчет зарплаты у работы 70-01-001");
    EXPECT_EQ(journal[2].rfind("Ошибка при пересчете зарплаты у работы 70-01-001 ", 0), 0u)
        << journal[2];
    EXPECT_NE(journal[2].find("SECOND_BELOW_50"), std::string::npos) << journal[2];
    EXPECT_EQ(journal[3], "Пересчет зарплаты у работы 70-04-001");
    EXPECT_FALSE(m_form->SQLConnect.InTransaction());
    EXPECT_EQ(Dump("(select kod_pvr, n_tabl, zarpl from ZARP where kod_pvr starting with '70')"),
              "70-01-001|1|120.0000\n"
              "70-01-001|2|10.0000\n"
              "70-01-001|3|10.0000\n"
              "70-04-001|1|50.0000\n");
    EXPECT_EQ(Others(), "70-01-001|2.40000\n"
                        "70-04-001|1.00000\n");
}

TEST_F(RecalculateTest, OnAnUnknownConnectionNameTheOtherMaterialsLineFailsAndNothingIsWritten) {
    Entry("70-01-001", 1, 1, 100, 1);
    UsePatch(PatchXml(Collection(70, Norm("70-01-001", 1, ""))));
    LoadAndCheckPatch(*m_form);
    m_form->MemoLog.Clear();
    m_form->SQLConnect.SetConnectionName("MyConnection");
    RecalculateOthers(*m_form);
    Lines journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1], "Ошибка при пересчете  расхода у прочего материала 70-01-001 1 "
                          "Не задано значение параметра \"rashod\"");
    EXPECT_EQ(Others(), "70-01-001|5.00000\n");
    EXPECT_EQ(m_hostLog.lines.back(), "E: " + journal[1]);
}

TEST(RoundByTextTest, CutsAtTheThirdDecimalOfTheFixedText) {
    EXPECT_DOUBLE_EQ(RoundByText(1.005, 2), 1.01);
    EXPECT_DOUBLE_EQ(RoundByText(2.344, 2), 2.34);
    EXPECT_DOUBLE_EQ(RoundByText(2.469, 2), 2.47);
    EXPECT_DOUBLE_EQ(RoundByText(2.4449999, 2), 2.45); // "%f" gives 2.445000
    EXPECT_DOUBLE_EQ(RoundByText(2.4449994, 2), 2.44);
    EXPECT_DOUBLE_EQ(RoundByText(7, 2), 7);
    EXPECT_DOUBLE_EQ(RoundByText(0.1234567, 6), 0.123457);
    EXPECT_EQ(ToCurrency(2.47), 24700);
    EXPECT_EQ(ToCurrency(0.00005), 0);
}

TEST(OracleRecalculateTest, OneSetBasedWageStatementPerNormAndCurrencyConsumption) {
    testsupport::RecordingDriver oracle;
    UpdateForm form;
    form.SQLConnect.SetConnectionName("OracleConnection");
    form.SQLConnect.SetDriverName("Oracle");
    form.Base = std::make_unique<kod_pvr>();
    text::StringList lines;
    lines.SetText(PatchXml(Collection(70, Norm("91-01-001", 1, "", 2))));
    form.Base->DeSerialize(lines);
    oracle.Answer("select zarpl from zarp where kod_pvr=:kod_pvr and n_tabl=:n_tabl",
                  {{"ZARPL"}, {{"123.45"}}});
    RecalculateOthers(form);
    EXPECT_EQ(form.MemoLog.Lines().Lines(),
              (Lines{"Запустили расчет прочих", "Пересчет зарплаты у работы 91-01-001",
                     "Пересчет расхода у прочего материала 91-01-001 1"}));
    EXPECT_EQ(oracle.Dump(),
              "exec: update ZARP set zarpl = SR_RAZRAD2ZARPL(sr_razrad,(select trud_rab from TRUDOZ where TRUDOZ.kod_pvr(+) = ZARP.kod_pvr and TRUDOZ.n_tabl(+) = ZARP.n_tabl and TRUDOZ.trud_rab is not NULL)) where sr_razrad is not NULL and kod_pvr=:kod_pvr and kod_pvr not like '91%' | kod_pvr=91-01-001 (string)\n"
              "exec: select zarpl from zarp where kod_pvr=:kod_pvr and n_tabl=:n_tabl | kod_pvr=91-01-001 (string), n_tabl=1 (string)\n"
              "exec: update cnir set rashod=:rashod where kod_pvr=:kod_pvr and n_tabl=:n_tabl and kod_cnir='00-00' | rashod=2.4700 (fixed4), kod_pvr=91-01-001 (string), n_tabl=1 (string)\n");
}
