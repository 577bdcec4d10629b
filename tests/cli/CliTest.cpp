#include "tests/cli/RunProcess.h"
#include "tests/support/TempDatabase.h"

#include "platform/db/Query.h"
#include "platform/text/StringList.h"
#include "platform/text/Strings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;
using testsupport::RunProcess;

namespace {

testsupport::ProcessResult Updatedb(const std::vector<std::string>& args) {
    return RunProcess(UPDATEDB_BIN, args);
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { m_folder = testsupport::MakeTempFolder("cli"); }
    void TearDown() override { fs::remove_all(m_folder); }
    std::string File(const std::string& name) const { return m_folder + "/" + name; }

    std::string m_folder;
};

// Every table and column the normative base is made of.
const std::map<std::string, std::set<std::string>> ExpectedColumns = {
    {"NAME_BASE", {"NAME", "BASE_GOD", "TYPE_CODE"}},
    {"KOD_SBOR", {"KOD_SB", "NAIM_SB", "VID_RAB"}},
    {"KOD_RAZD", {"KOD_RAZD", "NAIM_RAZD", "EDIN_IZM", "KOEF_NAKL", "VID_RAB"}},
    {"KOD_PVR", {"KOD_RAZD", "KOD_PVR", "NAIM_PVR", "NAIM_ED", "NOM_BAZ", "PRIZ_UKR", "KOD_SB",
                 "KOL_STB", "PRIZ_STM", "PRIZ_FOR_KOR"}},
    {"SOST_PVR", {"KOD_PVR", "SOSTAV_PVR"}},
    {"KOD_TABL", {"KOD_PVR", "N_TABL", "KOD_TABL", "NAIM_TABL", "KOD_ER", "KOD_TABL_1"}},
    {"TRUDOZ", {"KOD_PVR", "N_TABL", "TRUD_RAB", "TRUD_MASH", "R1", "R2", "R3", "R4", "R5", "R5S",
                "R6", "R6S", "R7S", "R8S", "R9S", "R10S", "R11S"}},
    {"ZARP", {"KOD_PVR", "N_TABL", "ZARPL", "SR_RAZRAD"}},
    {"CNIR", {"KOD_PVR", "N_TABL", "KOD_CNIR", "RASHOD"}},
    {"MASH", {"KOD_PVR", "N_TABL", "KOD_MASH", "RASHOD"}},
    {"NOM_MAT", {"KOD_MAT", "NAIM_MAT", "KOD_OKP", "KOD_ED", "SM_ZENA", "VES"}},
    {"NOM_MASH", {"KOD_MASH", "NAIM_MASH", "KOD_MASH_PRED", "ST_SHASA", "SR_RAZRAD", "TRUD",
                  "ZARP_MASH", "K91_01"}},
    {"KOD_OKP", {"KOD_OKP"}},
    {"N_MASHP", {"KOD_MASHP"}},
    {"N_PROC", {"KOD_PVR", "KOD_MEST", "NAKL_PZATR", "NAKL_ZARPL", "PRIB_PZATR", "PRIB_ZARPL",
                "HOLOST", "NAGRUZKA"}},
    {"PEREXOD_MAT", {"KOD", "KOD_COMPARE"}},
    {"PEREXOD_MASH", {"KOD", "KOD_COMPARE"}},
};

std::map<std::string, std::set<std::string>> ActualColumns(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL("select trim(rdb$relation_name) as t, trim(rdb$field_name) as f "
                 "from rdb$relation_fields where rdb$system_flag = 0");
    std::map<std::string, std::set<std::string>> columns;
    for (query.Open(); !query.Eof(); query.Next())
        columns[query.FieldByName("t").AsString()].insert(query.FieldByName("f").AsString());
    return columns;
}

std::string ScalarText(db::Connection& connection, const std::string& sql) {
    db::Query query(connection);
    query.SetSQL(sql);
    query.Open();
    return query.FieldAt(0).AsString();
}

} // namespace

TEST_F(CliTest, InitCreatesEveryTableColumnAndRoutineWithOneBaseRow) {
    auto result = Updatedb({"init", File("base.fdb")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");

    db::Connection connection;
    testsupport::ConfigureFirebird(connection, File("base.fdb"));
    EXPECT_EQ(ActualColumns(connection), ExpectedColumns);
    EXPECT_EQ(ScalarText(connection, "select count(*) from NAME_BASE"), "1");
    EXPECT_EQ(ScalarText(connection, "select type_code from NAME_BASE"), "2");
    // naim_pvr starts narrower than the 400 characters the update run widens it to.
    EXPECT_EQ(ScalarText(connection, "select f.rdb$character_length from rdb$relation_fields r "
                                     "join rdb$fields f on f.rdb$field_name = r.rdb$field_source "
                                     "where r.rdb$relation_name = 'KOD_PVR' and "
                                     "r.rdb$field_name = 'NAIM_PVR'"),
              "250");
    // substr takes the characters from `from` up to, not including, `to`.
    EXPECT_EQ(ScalarText(connection, "select substr('01-01-001-1', 1, len('01-01-001-1') - 1) || "
                                     "'-0' || substr('01-01-001-1', 11, 12) from rdb$database"),
              "01-01-001-01");
    EXPECT_EQ(ScalarText(connection, "select v_return from SR_RAZRAD2ZARPL(3.5, 2)"), "125.0000");
}

TEST_F(CliTest, DeletingAnEntryRemovesItsDetailRowsButNotItsNorm) {
    ASSERT_EQ(Updatedb({"init", File("base.fdb")}).status, 0);
    auto fill = Updatedb({"--database", File("base.fdb"), "run-sql", SOURCE_DIR "/demo/base.sql"});
    ASSERT_EQ(fill.status, 0) << fill.err;
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, File("base.fdb"));
    connection.ExecuteDirect("delete from KOD_TABL where kod_pvr = '06-01-001'");
    for (const char* table : {"TRUDOZ", "ZARP", "CNIR", "MASH"})
        EXPECT_EQ(ScalarText(connection, std::string("select count(*) from ") + table +
                                             " where kod_pvr = '06-01-001'"),
                  "0")
            << table;
    EXPECT_EQ(ScalarText(connection, "select count(*) from CNIR"), "3");
    EXPECT_EQ(ScalarText(connection, "select count(*) from KOD_PVR where kod_pvr = '06-01-001'"),
              "1");
    connection.ExecuteDirect("delete from KOD_PVR where kod_pvr = '01-01-001'");
    EXPECT_EQ(ScalarText(connection, "select count(*) from KOD_TABL where kod_pvr = '01-01-001'"),
              "2");
}

TEST_F(CliTest, InitRefusesToOverwriteAndLeavesNothingBehindOnFailure) {
    text::WriteFileBytes(File("taken.fdb"), "precious");
    auto refused = Updatedb({"init", File("taken.fdb")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "updatedb: Файл \"" + File("taken.fdb") +
                               "\" уже существует; init не перезаписывает базы\n");
    EXPECT_EQ(text::ReadFileBytes(File("taken.fdb")), "precious");

    auto noFolder = Updatedb({"init", File("missing/base.fdb")});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_NE(noFolder.err.find(File("missing/base.fdb")), std::string::npos) << noFolder.err;
    EXPECT_FALSE(fs::exists(File("missing/base.fdb")));
}

TEST_F(CliTest, MissingDatabaseFileIsAClearFailureWithoutThePassword) {
    auto result = Updatedb({"--database", File("none.fdb"), "--password", "s3cret", "summary"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("updatedb: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(File("none.fdb")), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("s3cret"), std::string::npos) << result.err;
    // A failed connect is one line: the engine's lines run on after one another.
    EXPECT_EQ(result.err, "updatedb: Не удалось подключиться к базе данных \"" + File("none.fdb") +
                              "\" (драйвер Firebird, пользователь SYSDBA): I/O error during "
                              "\"open\" operation for file \"" +
                              File("none.fdb") +
                              "\" -Error while trying to open file -No such file or directory\n");
    EXPECT_FALSE(fs::exists(File("none.fdb")));
}

TEST_F(CliTest, WrongUsageExitsWithTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string errContains;
    };
    const Case cases[] = {
        {{}, "A subcommand is required"},
        {{"frobnicate"}, "A subcommand is required"},
        {{"init"}, "FILE is required"},
        {{"--bogus", "summary"}, "--bogus"},
        {{"summary"}, "updatedb: no database: give --database FILE or --connections INI "
                      "--connection NAME\n"},
        {{"--connections", File("c.ini"), "summary"}, "--connections needs --connection NAME"},
        {{"--database", File("a.fdb"), "init", File("b.fdb")}, "not --database"},
    };
    for (const Case& c : cases) {
        auto result = Updatedb(c.args);
        EXPECT_EQ(result.status, 2) << c.errContains;
        EXPECT_NE(result.err.find(c.errContains), std::string::npos) << result.err;
        EXPECT_EQ(result.out.find("updatedb:"), std::string::npos);
    }
    auto help = Updatedb({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("init"), std::string::npos);
}

TEST_F(CliTest, ConnectionDefinitionsFromAnIniFile) {
    ASSERT_EQ(Updatedb({"init", File("base.fdb")}).status, 0);
    text::WriteFileBytes(File("c.ini"), "[IBConnection]\nDriverName=Firebird\nDatabase=" +
                                            File("base.fdb") + "\nUser_Name=SYSDBA\n");
    auto result =
        Updatedb({"--connections", File("c.ini"), "--connection", "IBConnection", "summary"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("NAME_BASE: 1"), std::string::npos) << result.out;

    auto noSection =
        Updatedb({"--connections", File("c.ini"), "--connection", "Other", "summary"});
    EXPECT_EQ(noSection.status, 1);
    EXPECT_NE(noSection.err.find("Other"), std::string::npos) << noSection.err;
}
