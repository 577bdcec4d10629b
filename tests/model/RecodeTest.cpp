// The Oracle recoding through the recording driver: the dedicated connection's
// settings, kod_compare taken trimmed, and the code kept whenever the lookup
// gives nothing usable or fails; loading an entry's lines with recoding.
#include "model/Recode.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"

#include "tests/model/ModelTestSupport.h"
#include "tests/support/RecordingDriver.h"

#include "platform/db/Connection.h"

using modeltest::ModelTest;
using testsupport::RecordingDriver;
using testsupport::ScriptedResult;

namespace {

const char* const kMaterialLookup = "select kod_compare from perexod_mat where kod=:kod";
const char* const kMachineLookup = "select kod_compare from perexod_mash where kod=:kod";

ScriptedResult Compare(std::optional<std::string> value) {
    return ScriptedResult{{"KOD_COMPARE"}, {{std::move(value)}}};
}

std::string Settings(const db::Connection& c) {
    return c.ConnectionName() + "|" + c.DriverName() + "|" + c.GetDriverFunc() + "|" +
           c.LibraryName() + "|" + c.VendorLib() + "|" + (c.LoginPrompt() ? "prompt" : "silent") +
           "|" + c.Params().Text();
}

TEST(RecodeConnectionTest, TheDedicatedConnectionTakesOnlyTheHostsDatabase) {
    db::Connection host;
    host.SetConnectionName("OracleConnection");
    host.SetParamValue("Database", "orcl");
    host.SetParamValue("User_Name", "HOST");
    host.SetParamValue("Password", "secret");
    auto recode = MakeRecodeConnection(host);
    EXPECT_FALSE(recode->Connected());
    EXPECT_EQ(Settings(*recode), "OracleConnection|Oracle|getSQLDriverORACLE|dbexpora.dll|oci.dll|"
                                 "silent|Database=orcl\r\nUser_Name=V31_MERIDAN_2002\r\n"
                                 "Password=" +
                                     std::string(kRecodePassword) + "\r\nRowsetSize=0");
    EXPECT_EQ(std::string(kRecodePassword).size(), 1u);

    host.SetParamValue("Recode_User_Name", "SITE_USER");
    host.SetParamValue("Recode_Password", "x2");
    recode = MakeRecodeConnection(host);
    EXPECT_EQ(recode->ParamValue("User_Name") + "/" + recode->ParamValue("Password"),
              "SITE_USER/x2");
}

TEST(RecodeConnectionTest, AFailedConnectIsSwallowedAndEveryCodeStays) {
    RecordingDriver recorder;
    recorder.FailConnect("ORA-01017");
    db::Connection host;
    auto recode = OpenRecodeConnection(host);
    ASSERT_NE(recode, nullptr);
    EXPECT_FALSE(recode->Connected());
    EXPECT_EQ(RecodeResource(recode.get(), ResourceTable::Material, "M1"), "M1");
    EXPECT_EQ(RecodeResource(nullptr, ResourceTable::Machine, "C1"), "C1");
    EXPECT_EQ(recorder.Dump(), "");
}

TEST(RecodeLookupTest, KodCompareIsTakenTrimmedAndAnythingElseKeepsTheCode) {
    RecordingDriver recorder;
    auto recode = OpenRecodeConnection(db::Connection());
    ASSERT_TRUE(recode->Connected());
    recorder.Queue(Compare(" R1 "));
    recorder.Queue(Compare("   "));
    recorder.Queue(Compare(std::nullopt));
    recorder.Queue(ScriptedResult{{"KOD_COMPARE"}, {}});
    recorder.Fail(kMachineLookup, "ORA-00942: table or view does not exist");
    std::string answers;
    for (const char* code : {"M1", "M2", "M3", "M4"})
        answers += RecodeResource(recode.get(), ResourceTable::Material, code) + ",";
    answers += RecodeResource(recode.get(), ResourceTable::Machine, "C1");
    EXPECT_EQ(answers, "R1,M2,M3,M4,C1");
    EXPECT_EQ(recorder.Dump(), std::string("exec: ") + kMaterialLookup + " | kod=M1 (string)\n" +
                                   "exec: " + kMaterialLookup + " | kod=M2 (string)\n" +
                                   "exec: " + kMaterialLookup + " | kod=M3 (string)\n" +
                                   "exec: " + kMaterialLookup + " | kod=M4 (string)\n" +
                                   "exec: " + kMachineLookup + " | kod=C1 (string)\n");
}

class RecodeLoadTest : public ModelTest {};

TEST_F(RecodeLoadTest, LinesOfAnEntryTakeTheirSecondCodesThroughOneConnectionPerEntry) {
    RecordingDriver recorder;
    Exec({"insert into NOM_MAT values ('M1', 'a', '', '', 0, 0)",
          "insert into NOM_MAT values ('M2', 'b', '', '', 0, 0)",
          "insert into NOM_MASH values ('C1', 'c', '', 0, 0, 0, 0, 1)",
          "insert into CNIR values ('P1', 1, 'M1', 1)",
          "insert into CNIR values ('P1', 1, 'M2', 1)",
          "insert into MASH values ('P1', 1, 'C1', 1)"});
    recorder.Queue(Compare("N-M1"));
    recorder.Queue(Compare(""));
    recorder.Queue(Compare("N-C1"));
    pvr norm;
    norm.set_kod("P1");
    pvr_popr* entry = norm.GetItem(norm.AddItem(std::make_unique<pvr_popr>()));
    entry->set_number(1);
    entry->LoadDetailsFromDB(Db(), true);
    std::string codes;
    for (int i = 0; i < entry->Count(); ++i)
        codes += entry->GetItem(i)->kod() + "=" + entry->GetItem(i)->kod_norvel() + " ";
    EXPECT_EQ(codes, "M1=N-M1 M2=M2 C1=N-C1 ");
    EXPECT_EQ(recorder.Connects(), 1);

    pvr_popr* plain = norm.GetItem(norm.AddItem(std::make_unique<pvr_popr>()));
    plain->set_number(1);
    plain->LoadDetailsFromDB(Db(), false);
    EXPECT_EQ(plain->GetItem(0)->kod_norvel(), "M1");
    EXPECT_EQ(recorder.Connects(), 1);
}

} // namespace
