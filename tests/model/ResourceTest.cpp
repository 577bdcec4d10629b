// Resource lines on a real base: missing resources added to their directories
// with placeholders and a journal line, consumption rows inserted, updated or
// deleted, the binding of quantities, the kinds and the rounding of rashod.
#include "model/popr_res.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"

#include "tests/model/ModelTestSupport.h"
#include "tests/support/RecordingDriver.h"

#include "Serialaze/TextTreeView.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"

#include <cmath>

using modeltest::ModelTest;

namespace {

// A norm " P1 " with entry 1; lines are added to the entry.
class ResourceTest : public ModelTest {
protected:
    ResourceTest() {
        m_norm.set_kod(" P1 ");
        auto entry = std::make_unique<pvr_popr>();
        entry->set_number(1);
        m_entry = m_norm.GetItem(m_norm.AddItem(std::move(entry)));
    }
    popr_res* Material(const std::string& kod, double rashod) {
        return Line(popr_res::kMaterial, kod, rashod);
    }
    popr_res* Machine(const std::string& kod, double rashod) {
        return Line(popr_res::kMachine, kod, rashod);
    }
    popr_res* Line(const char* type, const std::string& kod, double rashod) {
        auto line = std::make_unique<popr_res>();
        line->PutType(type);
        line->set_kod(kod);
        line->set_rashod(rashod);
        return m_entry->GetItem(m_entry->AddItem(std::move(line)));
    }
    void SaveLines() {
        for (int i = 0; i < m_entry->Count(); ++i)
            m_entry->GetItem(i)->SaveIntoDB(Db());
    }

    pvr m_norm;
    pvr_popr* m_entry = nullptr;
};

TEST_F(ResourceTest, MissingResourcesAreAddedWithPlaceholdersBeforeTheirConsumption) {
    Exec({"insert into KOD_OKP values ('OKP1')", "insert into N_MASHP values ('G1')",
          "insert into NOM_MAT values ('M0', 'Old', 'OKP1', 'kg', 10, 1)"});
    popr_res* known = Material("M0", 2);
    popr_res* cement = Material(" M1 ", 0.123456);
    cement->set_naim(" Цемент ");
    cement->set_matokp_mashpred("NOPE");
    cement->set_ves(2.5);
    popr_res* brick = Material("M2", 1);
    brick->set_naim("Кирпич");
    brick->set_matokp_mashpred("OKP1");
    brick->set_kod_ed("шт");
    popr_res* crane = Machine("C1", 0.5);
    crane->set_naim("Кран");
    crane->set_matokp_mashpred("NOGROUP");
    crane->set_trud_mash(1.5);
    crane->set_sr_razrad(4.25);
    popr_res* lift = Machine("C2", 0.000004); // rounds to 0: directory only
    lift->set_naim("Лифт");
    lift->set_matokp_mashpred("G1");
    SaveLines();

    EXPECT_EQ(Dump("NOM_MAT", "kod_mat"), "M0|Old|OKP1|kg|10.00000|1.00000\n"
                                          "M1|Цемент|?|?|-1.00000|2.50000\n"
                                          "M2|Кирпич|OKP1|шт|-1.00000|0.00000\n");
    EXPECT_EQ(Dump("NOM_MASH", "kod_mash"),
              "C1|Кран|888888|-1.00000|4.25000|1.50000|-1.00000|NULL\n"
              "C2|Лифт|G1|-1.00000|0.00000|0.00000|-1.00000|NULL\n");
    EXPECT_EQ(Dump("CNIR", "kod_cnir"), "P1|1|M0|2.00000\n"
                                        "P1|1|M1|0.12346\n"
                                        "P1|1|M2|1.00000\n");
    EXPECT_EQ(Dump("MASH", "kod_mash"), "P1|1|C1|0.50000\n");
    EXPECT_EQ(m_journal.Text(), " Добавили материал M1 Цемент\n"
                                " Добавили материал M2 Кирпич\n"
                                " Добавили машину C1 Кран\n"
                                " Добавили машину C2 Лифт\n");
    EXPECT_EQ(cement->matokp_mashpred(), "?");
    EXPECT_EQ(crane->matokp_mashpred(), "888888");
    EXPECT_EQ(known->matokp_mashpred(), "");
}

TEST_F(ResourceTest, ZeroConsumptionDeletesTheRowAndARepeatedResourceUpdatesIt) {
    Exec({"insert into NOM_MAT values ('M1', 'x', '?', '?', -1, 0)",
          "insert into NOM_MASH values ('C1', 'x', '?', -1, 0, 0, -1, 1)",
          "insert into CNIR values ('P1', 1, 'M1', 3)",
          "insert into MASH values ('P1', 1, 'C1', 3)",
          "insert into MASH values ('P1', 2, 'C1', 3)"});
    Material("M1", 0);
    Machine("C1", 1.5);
    Machine("C1", 2.25);
    Material("M9", 0); // new: added to the directory, no consumption row
    SaveLines();
    EXPECT_EQ(Dump("CNIR", "kod_cnir"), "");
    EXPECT_EQ(Dump("MASH", "n_tabl"), "P1|1|C1|2.25000\n"
                                      "P1|2|C1|3.00000\n");
    EXPECT_EQ(Dump("NOM_MAT", "kod_mat"), "M1|x|?|?|-1.00000|0.00000\n"
                                          "M9||?|?|-1.00000|0.00000\n");
    EXPECT_EQ(m_journal.Text(), " Добавили материал M9 \n");
}

TEST_F(ResourceTest, AFailingDirectoryInsertWritesNeitherJournalLineNorConsumption) {
    popr_res* line = Material("M1", 1);
    line->set_naim(std::string(1001, 'x')); // longer than naim_mat
    EXPECT_THROW(line->SaveIntoDB(Db()), EDatabaseError);
    EXPECT_EQ(Dump("NOM_MAT", "kod_mat") + Dump("CNIR", "kod_cnir"), "");
    EXPECT_EQ(m_journal.Text(), "");
}

TEST_F(ResourceTest, ALineWithoutEntryTouchesNoConsumptionRow) {
    popr_res line;
    line.PutType(popr_res::kMaterial);
    line.set_kod("M1");
    line.set_rashod(1);
    EXPECT_FALSE(line.ExistDB(Db()));
    line.InsertDB(Db());
    line.UpdateDB(Db());
    line.DeleteDB(Db());
    EXPECT_EQ(Dump("CNIR", "kod_cnir"), "");
}

// The whole conversation of saving new lines, where the binding kinds show.
TEST(ResourceBindingTest, QuantitiesAreDecimalsFromOneTenThousandthAndTextBelow) {
    testsupport::RecordingDriver recorder;
    db::Connection connection;
    connection.SetConnectionName("OracleConnection");
    connection.SetDriverName("Oracle");
    pvr norm;
    norm.set_kod(" P1 ");
    pvr_popr* entry = norm.GetItem(norm.AddItem(std::make_unique<pvr_popr>()));
    entry->set_number(3);
    auto machine = std::make_unique<popr_res>();
    machine->PutType(popr_res::kMachine);
    machine->set_kod(" C1 ");
    machine->set_naim("Кран ");
    machine->set_trud_mash(0.00005);
    machine->set_rashod(0.0001);
    popr_res* line = entry->GetItem(entry->AddItem(std::move(machine)));
    line->SaveIntoDB(connection);
    EXPECT_EQ(recorder.Dump(),
              "exec: select * from NOM_MASH where kod_mash = :resource | resource=C1 (string)\n"
              "exec: select * from n_mashp where kod_mashp=:kod_mashp | kod_mashp= (string)\n"
              "exec: insert into NOM_MASH (kod_mash, naim_mash, kod_mash_pred, st_shasa, "
              "sr_razrad, trud, zarp_mash) values ( :resource, :naim , :matokp_mashpred, "
              ":st_shasa, :sr_razrad, :trud, :zarp_mash) | resource=C1 (string), naim=Кран "
              "(string), matokp_mashpred=888888 (string), st_shasa=-1.0000 (fixed4), sr_razrad=0 "
              "(string), trud=0.00005 (string), zarp_mash=-1.0000 (fixed4)\n"
              "exec: select * from MASH where kod_pvr = :kod_pvr and n_tabl = :n_tabl and "
              "kod_mash = :resource | kod_pvr=P1 (string), n_tabl=3 (string), resource=C1 "
              "(string)\n"
              "exec: insert into MASH (kod_pvr,n_tabl,kod_mash,rashod) values ( :kod_pvr, "
              ":n_tabl, :resource, :rashod) | kod_pvr=P1 (string), n_tabl=3 (string), "
              "resource=C1 (string), rashod=0.0001 (decimal)\n");
}

// A user whose separator is a comma: quantities below 0.0001 still travel
// as text with '.', which an Oracle session (NLS ".,") and the Firebird layer
// both read; "0,00005" would be refused by Oracle.
TEST(ResourceBindingTest, SmallQuantitiesAreSentWithAPointWhateverTheUsersSeparator) {
    text::DecimalSeparatorGuard comma(',');
    testsupport::RecordingDriver recorder;
    db::Connection connection;
    connection.SetConnectionName("OracleConnection");
    connection.SetDriverName("Oracle");
    pvr norm;
    norm.set_kod("P1");
    pvr_popr* entry = norm.GetItem(norm.AddItem(std::make_unique<pvr_popr>()));
    entry->set_number(1);
    auto material = std::make_unique<popr_res>();
    material->PutType(popr_res::kMaterial);
    material->set_kod("M1");
    material->set_rashod(0.00005);
    entry->GetItem(entry->AddItem(std::move(material)))->InsertDB(connection);
    EXPECT_NE(recorder.Dump().find("rashod=0.00005 (string)"), std::string::npos)
        << recorder.Dump();
    EXPECT_EQ(recorder.Dump().find("0,00005"), std::string::npos) << recorder.Dump();
    // Shown to the user with the user's separator all the same.
    EXPECT_EQ(text::FloatToStr(0.00005), "0,00005");
}

TEST_F(ResourceTest, ASmallQuantityFromACommaLocaleIsStoredExactly) {
    Exec({"insert into NOM_MAT values ('M1', 'x', '?', '?', -1, 0)"});
    Material("M1", 0.00005);
    {
        text::DecimalSeparatorGuard comma(',');
        SaveLines();
    }
    EXPECT_EQ(Dump("CNIR", "kod_cnir"), "P1|1|M1|0.00005\n");
}

TEST(ResourceKindTest, AnUnknownKindIsReadWrittenAndShownButSendsNothing) {
    testsupport::RecordingDriver recorder;
    db::Connection connection;
    connection.SetDriverName("Oracle");
    pvr norm;
    pvr_popr* entry = norm.GetItem(norm.AddItem(std::make_unique<pvr_popr>()));
    entry->AddNewElement("popr_res");
    popr_res* line = entry->GetItem(0);
    modeltest::ReadXml(*line,
                       "<popr_res type=\"Неизвестный тип ресурса\" kod=\"Z\" rashod=\"2\"/>");
    line->SaveIntoDB(connection);
    line->InsertResourceDB(connection);
    EXPECT_FALSE(line->ExistDB(connection));
    line->DeleteDB(connection);
    EXPECT_EQ(recorder.Dump(), "");
    serialaze::TextTreeView view;
    line->TreeView(view, nullptr);
    EXPECT_EQ(view.Render(), "Неизвестный тип ресурса: Z  Расход ресурса: 2");
    EXPECT_NE(modeltest::WriteXml(*line).find("type=\"Неизвестный тип ресурса\""),
              std::string::npos);
}

TEST(ResourceKindTest, TypeAcceptsTheThreeKindsWithBlanksAndRejectsTheRest) {
    popr_res line;
    EXPECT_EQ(line.kod_ed(), "?");
    EXPECT_EQ(line.k91_01(), 1);
    try {
        line.GetType();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "POPR_RES::GetType() - Неизвестный тип ресурса");
    }
    line.PutType(" Машина/механизм ");
    EXPECT_EQ(line.GetType(), " Машина/механизм ");
    for (const char* bad : {"", "материал", "Материалы", "Machine"}) {
        try {
            line.PutType(bad);
            FAIL() << bad;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "POPR_RES::PutType() - Неизвестный тип ресурса");
        }
    }
    EXPECT_EQ(line.GetType(), " Машина/механизм ");
}

TEST(ResourceKindTest, ConsumptionKeepsFiveDecimalsOnEveryAssignment) {
    popr_res line;
    const std::pair<double, double> cases[] = {{0.123456, 0.12346}, {0.000004, 0},
                                               {0.000005, 0.00001}, {2, 2},
                                               {1.234565, 1.23457}, {-0.000004, 0}};
    for (const auto& [given, kept] : cases) {
        line.set_rashod(given);
        EXPECT_NEAR(line.rashod(), kept, 1e-12) << given;
    }
    modeltest::ReadXml(line, "<popr_res type=\"Материал\" rashod=\"0.123456\"/>");
    EXPECT_NEAR(line.rashod(), 0.12346, 1e-12);
}

TEST(ResourceKindTest, TheTreeNodeShowsKindCodeNameAndConsumption) {
    text::DecimalSeparatorGuard separator(',');
    popr_res line;
    line.PutType(popr_res::kMaterial);
    line.set_kod(" M1");
    line.set_naim("Цемент");
    line.set_rashod(0.5);
    serialaze::TextTreeView view;
    line.TreeView(view, nullptr);
    EXPECT_EQ(view.Render(), "Материал:  M1 Цемент Расход ресурса: 0,5");
    EXPECT_EQ(view.Roots().front()->Data(), &line);
}

} // namespace
