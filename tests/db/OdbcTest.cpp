// The ODBC driver against SQLite's ODBC driver (no server needed).
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "tests/support/TempDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class OdbcSqlite : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef SQLITE_ODBC_DRIVER
        GTEST_SKIP() << "SQLite's ODBC driver is not installed";
#else
        m_folder = testsupport::MakeTempFolder("updatedb-odbc");
        m_connection.SetConnectionName("OdbcConnection");
        m_connection.SetDriverName("ODBC");
        m_connection.SetParamValue("Database", std::string("DRIVER=") + SQLITE_ODBC_DRIVER +
                                                   ";Database=" + m_folder + "/base.db");
        m_connection.ExecuteDirect(
            "create table CNIR (kod_pvr varchar(20), n_tabl integer, rashod numeric(15,5))");
#endif
    }
    void TearDown() override {
        m_connection.Close();
        if (!m_folder.empty())
            std::filesystem::remove_all(m_folder);
    }
    std::string Rows() {
        db::Query query(m_connection);
        query.SetSQL("select kod_pvr, n_tabl, rashod from CNIR order by n_tabl");
        query.Open();
        std::string out;
        for (; !query.Eof(); query.Next())
            out += query.FieldByName("KOD_PVR").AsString() + "|" +
                   query.FieldByName("n_tabl").AsString() + "|" +
                   (query.FieldByName("rashod").IsNull() ? "<null>"
                                                         : query.FieldByName("rashod").AsString()) +
                   "\n";
        return out;
    }

    std::string m_folder;
    db::Connection m_connection;
};

TEST_F(OdbcSqlite, BindsFetchesAndEndsTransactions) {
    db::Query insert(m_connection);
    insert.SetSQL("insert into CNIR (kod_pvr, n_tabl, rashod) values (:KOD_PVR, :n_tabl, :rashod)");
    insert.ParamByName("kod_pvr").SetString("Кирпич");
    insert.ParamByName("n_tabl").SetInteger(1);
    insert.ParamByName("rashod").SetDecimal(text::Decimal::FromText("1.25"));
    insert.ExecSQL();
    EXPECT_EQ(insert.RowsAffected(), 1);
    insert.ParamByName("kod_pvr").SetString("b");
    insert.ParamByName("n_tabl").SetString("2");
    insert.ParamByName("rashod").SetNull();
    insert.ExecSQL();

    db::TransactionDesc desc;
    m_connection.StartTransaction(desc);
    insert.ParamByName("n_tabl").SetInteger(3);
    insert.ExecSQL();
    m_connection.Rollback(desc);
    m_connection.StartTransaction(desc);
    insert.ParamByName("n_tabl").SetInteger(4);
    insert.ParamByName("rashod").SetFixed4(12346);
    insert.ExecSQL();
    m_connection.Commit(desc);

    EXPECT_EQ(Rows(), "Кирпич|1|1.25\nb|2|<null>\nb|4|1.2346\n");
}

TEST_F(OdbcSqlite, FailuresCarryTheDriversMessage) {
    db::Query query(m_connection);
    query.SetSQL("select * from NO_SUCH_TABLE");
    try {
        query.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("no such table"), std::string::npos) << e.what();
    }
    db::Connection missing;
    missing.SetDriverName("odbc");
    missing.SetParamValue("Database", "NoSuchDataSource");
    missing.SetParamValue("User_Name", "u");
    missing.SetParamValue("Password", "secret");
    try {
        missing.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("Не удалось подключиться к источнику данных \"NoSuchDataSource\" "
                                "(драйвер odbc, пользователь u): ",
                                0),
                  0u)
            << message;
        EXPECT_EQ(message.find("secret"), std::string::npos);
    }
}

} // namespace
