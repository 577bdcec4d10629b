// The rate rows of a norm: saved as a whole set per code, bound as four-decimal
// currency values by lower-case names, loaded back in place-code order.
#include "model/n_proc.h"

#include "tests/model/ModelTestSupport.h"
#include "tests/support/RecordingDriver.h"

#include "platform/text/Exception.h"

using modeltest::ModelTest;

namespace {

class RateTest : public ModelTest {};

void AddTwoRows(n_proc_list& rows) {
    rows.AddItem(std::make_unique<n_proc>(3, 1.23456, 2, 3, 4, 5, 6));
    rows.AddItem(std::make_unique<n_proc>(1, 0.5, 0, 0, 0, 0.00004, 100));
}

std::string Describe(const n_proc_list& rows) {
    std::string out;
    for (int i = 0; i < rows.Count(); ++i) {
        const n_proc& r = *rows.GetItem(i);
        out += std::to_string(r.kod_mest()) + ":" + text::FloatToStr(r.n_p()) + "," +
               text::FloatToStr(r.n_z()) + "," + text::FloatToStr(r.p_p()) + "," +
               text::FloatToStr(r.p_z()) + "," + text::FloatToStr(r.holost()) + "," +
               text::FloatToStr(r.nagr()) + "\n";
    }
    return out;
}

TEST_F(RateTest, SavedRowsReplaceTheOldOnesAndLoadBackInPlaceCodeOrder) {
    Exec({"insert into N_PROC values ('P1', 9, 9, 9, 9, 9, 9, 9)",
          "insert into N_PROC values ('P2', 1, 8, 8, 8, 8, 8, 8)"});
    n_proc_list rows;
    AddTwoRows(rows);
    rows.SaveRates(Db(), "P1");
    EXPECT_EQ(Dump("N_PROC", "KOD_PVR, KOD_MEST"),
              "P1|1|0.5000|0.0000|0.0000|0.0000|0.0000|100.0000\n"
              "P1|3|1.2346|2.0000|3.0000|4.0000|5.0000|6.0000\n"
              "P2|1|8.0000|8.0000|8.0000|8.0000|8.0000|8.0000\n");

    n_proc_list loaded;
    loaded.AddItem(std::make_unique<n_proc>(5, 0, 0, 0, 0, 0, 0));
    loaded.LoadRates(Db(), "P1");
    EXPECT_EQ(Describe(loaded), "1:0.5,0,0,0,0,100\n"
                                "3:1.2346,2,3,4,5,6\n");
}

TEST_F(RateTest, AnEmptyListLeavesNoRowsOfTheCode) {
    Exec({"insert into N_PROC values ('P1', 9, 9, 9, 9, 9, 9, 9)"});
    n_proc_list().SaveRates(Db(), "P1");
    EXPECT_EQ(Dump("N_PROC", "KOD_PVR"), "");
}

TEST_F(RateTest, AFailingRowLeavesTheRowsBeforeItAndReachesTheCaller) {
    Exec({"alter table N_PROC add constraint HOLOST_NOT_NEGATIVE check (HOLOST >= 0)"});
    n_proc_list rows;
    AddTwoRows(rows);
    rows.AddItem(std::make_unique<n_proc>(2, 0, 0, 0, 0, -1, 0));
    rows.AddItem(std::make_unique<n_proc>(4, 1, 0, 0, 0, 0, 0));
    EXPECT_THROW(rows.SaveRates(Db(), "P1"), EDatabaseError);
    EXPECT_EQ(Dump("N_PROC", "KOD_MEST"), "P1|1|0.5000|0.0000|0.0000|0.0000|0.0000|100.0000\n"
                                          "P1|3|1.2346|2.0000|3.0000|4.0000|5.0000|6.0000\n");
}

TEST(RateBindingTest, EveryValueIsFourDecimalFixedPointUnderTheTextsCapitalNames) {
    testsupport::RecordingDriver recorder;
    db::Connection connection;
    connection.SetConnectionName("OracleConnection");
    connection.SetDriverName("Oracle");
    n_proc_list rows;
    rows.AddItem(std::make_unique<n_proc>(7, 1.23456, 0.00005, 0.00016, -2, 0, 3));
    rows.SaveRates(connection, " P1 ");
    EXPECT_EQ(recorder.Dump(),
              "exec: delete from N_PROC where kod_pvr = :kod_pvr | kod_pvr= P1  (string)\n"
              "exec: insert into N_PROC (KOD_PVR, NAKL_PZATR, NAKL_ZARPL,KOD_MEST, PRIB_PZATR, "
              "PRIB_ZARPL, HOLOST, NAGRUZKA) VALUES (:KOD_PVR, :NAKL_PZATR, :NAKL_ZARPL,:KOD_MEST, "
              ":PRIB_PZATR, :PRIB_ZARPL, :HOLOST, :NAGRUZKA) | KOD_PVR= P1  (string), "
              "NAKL_PZATR=1.2346 (fixed4), NAKL_ZARPL=0.0000 (fixed4), KOD_MEST=7.0000 (fixed4), "
              "PRIB_PZATR=0.0002 (fixed4), PRIB_ZARPL=-2.0000 (fixed4), HOLOST=0.0000 (fixed4), "
              "NAGRUZKA=3.0000 (fixed4)\n");
}

TEST(RateListTest, PatchElementsGiveDefaultRowsWithoutParent) {
    n_proc_list rows;
    EXPECT_EQ(rows.AddNewElement("N_PROC"), nullptr);
    TSerializeList* row = rows.AddNewElement("n_proc");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetParent(), nullptr);
    EXPECT_EQ(Describe(rows), "1:0,0,0,0,0,0\n");
}

} // namespace
