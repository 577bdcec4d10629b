// Connection definitions, dialect choice and the recording driver.
#include "platform/db/ConnectionDefinitions.h"
#include "platform/db/Dialect.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "tests/support/RecordingDriver.h"
#include "tests/support/TempDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class DbDefinitions : public ::testing::Test {
protected:
    void SetUp() override { m_folder = testsupport::MakeTempFolder("updatedb-ini"); }
    void TearDown() override { std::filesystem::remove_all(m_folder); }
    std::string Write(const std::string& content) {
        std::string path = m_folder + "/connections.ini";
        text::WriteFileBytes(path, content);
        return path;
    }
    std::string m_folder;
};

TEST_F(DbDefinitions, SectionBecomesTheConnection) {
    db::ConnectionDefinitions definitions = db::LoadConnectionDefinitions(
        Write("; definitions\n[IBConnection]\nDriverName = Interbase\nDatabase=base.fdb\n"
              "User_Name=SYSDBA\nPassword=masterkey\n\n[OracleConnection]\r\nDriverName=Oracle\r\n"
              "Database=ORCL\r\nUser_Name=V31\r\nRowsetSize=0\r\n"));
    db::Connection connection;
    db::ConfigureFromDefinition(connection, definitions, "OracleConnection");
    EXPECT_EQ(connection.ConnectionName(), "OracleConnection");
    EXPECT_EQ(connection.DriverName(), "Oracle");
    EXPECT_EQ(connection.Params().Text(), "Database=ORCL\r\nUser_Name=V31\r\nRowsetSize=0");
    EXPECT_EQ(connection.ParamValue("rowsetsize"), "0");

    db::ConfigureFromDefinition(connection, definitions, "IBConnection");
    EXPECT_EQ(connection.DriverName(), "Interbase");
    EXPECT_EQ(connection.ParamValue("Database"), "base.fdb");
    EXPECT_EQ(connection.ParamValue("Password"), "masterkey");
    EXPECT_EQ(connection.ParamValue("RowsetSize"), "");
}

TEST_F(DbDefinitions, MissingFileSectionOrDriverAreErrors) {
    try {
        db::LoadConnectionDefinitions(m_folder + "/none.ini");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("none.ini"), std::string::npos) << e.what();
    }
    std::string path = Write("[Broken]\nDatabase=x\n");
    db::ConnectionDefinitions definitions = db::LoadConnectionDefinitions(path);
    db::Connection connection;
    try {
        db::ConfigureFromDefinition(connection, definitions, "Other");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Соединение \"Other\" не описано в файле \"" + path + "\"");
    }
    EXPECT_THROW(db::ConfigureFromDefinition(connection, definitions, "Broken"), EDatabaseError);
}

TEST(DbDialect, NamesAreComparedWholeAndWithCase) {
    db::Connection connection;
    struct Case {
        const char* name;
        const char* twoWay;
        const char* guarded;
    } cases[] = {{"OracleConnection", "ora", "ora"},
                 {"IBConnection", "ib", "ib"},
                 {"oracleconnection", "ib", nullptr},
                 {"IBConnection ", "ib", nullptr},
                 {"", "ib", nullptr}};
    for (const Case& c : cases) {
        connection.SetConnectionName(c.name);
        EXPECT_STREQ(db::TwoWay(connection, "ora", "ib"), c.twoWay) << c.name;
        const char* guarded = db::Guarded(connection, "ora", "ib");
        EXPECT_EQ(guarded ? std::string(guarded) : "<none>",
                  c.guarded ? std::string(c.guarded) : "<none>")
            << c.name;
    }
}

TEST(DbRecording, RecordsStatementsAndAnswersRows) {
    testsupport::RecordingDriver oracle;
    db::Connection connection;
    connection.SetConnectionName("OracleConnection");
    connection.SetDriverName("Oracle");
    connection.SetParamValue("Database", "ORCL");
    connection.ExecuteDirect("ALTER SESSION SET NLS_NUMERIC_CHARACTERS=\".,\"");
    oracle.Answer("select kod_compare from perexod_mat where kod=:kod",
                  {{"kod_compare"}, {{"  M-2 "}, {std::nullopt}}});
    db::Query query(connection);
    query.SetSQL("select kod_compare from perexod_mat where kod=:kod");
    query.ParamByName("KOD").SetString("M-1");
    query.Open();
    EXPECT_EQ(query.FieldByName("KOD_COMPARE").AsString(), "  M-2 ");
    query.Next();
    EXPECT_TRUE(query.FieldByName("kod_compare").IsNull());
    query.SetSQL("update cnir set rashod=:rashod where kod_pvr=:kod_pvr");
    query.ParamByName("rashod").SetFixed4(24700);
    query.ParamByName("kod_pvr").SetNull();
    query.ExecSQL();
    EXPECT_EQ(oracle.Dump(),
              "direct: ALTER SESSION SET NLS_NUMERIC_CHARACTERS=\".,\"\n"
              "exec: select kod_compare from perexod_mat where kod=:kod | kod=M-1 (string)\n"
              "exec: update cnir set rashod=:rashod where kod_pvr=:kod_pvr | rashod=2.4700 "
              "(fixed4), kod_pvr= (null)\n");
}

} // namespace
