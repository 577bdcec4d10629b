// The layer against real embedded Firebird files.
#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/text/Exception.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempDatabase.h"

#include <gtest/gtest.h>

using testsupport::TempDatabase;

namespace {

const char* const kSchema = R"(
create table KOD_TABL (kod_pvr varchar(20) not null, n_tabl integer not null,
                       kod_tabl varchar(30), naim_tabl varchar(200) character set win1251,
                       primary key (kod_pvr, n_tabl));
create table TRUDOZ (kod_pvr varchar(20), n_tabl integer, trud_rab numeric(15,4),
                     trud_mash numeric(15,4) not null);
create table CNIR (kod_pvr varchar(20), rashod numeric(15,5), price numeric(9,2),
                   ves double precision, code char(5), note blob sub_type text character set win1251);
)";

// The rows of a select as "a|b" lines, NULL shown as <null>.
std::string Dump(db::Connection& connection, const std::string& sql) {
    return testsupport::QueryText(connection, sql, "<null>");
}

class FirebirdQuery : public ::testing::Test {
protected:
    void SetUp() override { db::ExecuteScript(m_db.Connection(), kSchema); }
    db::Connection& Conn() { return m_db.Connection(); }

    TempDatabase m_db;
};

TEST_F(FirebirdQuery, ParametersBindByNameWithoutLetterCase) {
    db::Query insert(Conn());
    insert.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl) "
                  "values (:KOD_PVR, :N_Tabl, :kod_pvr || '-01', ':kod_tabl is text')");
    EXPECT_EQ(insert.ParamCount(), 2); // the repeated name is one parameter, the literal none
    insert.ParamByName("kod_pvr").SetString("01-01-001");
    insert.ParamByName("n_tabl").SetString("1");
    insert.ExecSQL();
    EXPECT_EQ(insert.RowsAffected(), 1);
    EXPECT_EQ(Dump(Conn(), "select kod_pvr, n_tabl, kod_tabl, naim_tabl from KOD_TABL"),
              "01-01-001|1|01-01-001-01|:kod_tabl is text\n");
    try {
        insert.ParamByName("kod_tabl");
        FAIL() << "no such parameter";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("\"kod_tabl\""), std::string::npos) << e.what();
    }
}

TEST_F(FirebirdQuery, FixedPointAndDecimalsAreStoredExactly) {
    db::Query insert(Conn());
    insert.SetSQL("insert into TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash) "
                  "values (:kod_pvr, :n_tabl, :trud_rab, :trud_mash)");
    insert.ParamByName("kod_pvr").SetString("a");
    struct Case {
        int number;
        double value;
    } cases[] = {{1, 1.23456}, {2, 0.00005}, {3, 0.00015}, {4, -2.71828}, {5, 7}};
    for (const Case& c : cases) {
        insert.ParamByName("n_tabl").SetInteger(c.number);
        insert.ParamByName("trud_rab").SetFixed4(text::ToFixed4(c.value));
        insert.ParamByName("trud_mash").SetDecimal(c.value); // rounded half away from zero
        insert.ExecSQL();
    }
    EXPECT_EQ(Dump(Conn(), "select n_tabl, trud_rab, trud_mash from TRUDOZ order by n_tabl"),
              "1|1.2346|1.2346\n"
              "2|0.0000|0.0001\n"
              "3|0.0001|0.0002\n" // 0.00015 x 10000 is 1.49999... in binary
              "4|-2.7183|-2.7183\n"
              "5|7.0000|7.0000\n");

    db::Query read(Conn());
    read.SetSQL("select trud_rab from TRUDOZ where n_tabl = 1");
    read.Open();
    EXPECT_DOUBLE_EQ(read.FieldByName("TRUD_RAB").AsFloat(), 1.2346);
    EXPECT_EQ(read.FieldByName("trud_rab").AsInteger(), 1);
    text::DecimalSeparatorGuard comma(',');
    EXPECT_EQ(read.FieldByName("trud_rab").AsString(), "1,2346");
}

TEST_F(FirebirdQuery, TextIsConvertedToTheColumnScaleByRounding) {
    db::Query insert(Conn());
    insert.SetSQL("insert into CNIR (kod_pvr, rashod, price, ves) "
                  "values (:kod_pvr, :rashod, :price, :ves)");
    insert.ParamByName("kod_pvr").SetString("x");
    insert.ParamByName("rashod").SetString(" 0.123455 ");
    insert.ParamByName("price").SetDecimal(text::Decimal::FromText("-12.345"));
    insert.ParamByName("ves").SetString("5E-5");
    insert.ExecSQL();
    {
        text::DecimalSeparatorGuard comma(',');
        insert.ParamByName("kod_pvr").SetString("y");
        insert.ParamByName("rashod").SetString("1,000005"); // the process separator
        insert.ParamByName("price").SetInteger(42);
        insert.ParamByName("ves").SetFixed4(15000);
        insert.ExecSQL();
    }
    EXPECT_EQ(Dump(Conn(), "select kod_pvr, rashod, price, ves from CNIR order by kod_pvr"),
              "x|0.12346|-12.35|0.00005\n"
              "y|1.00001|42.00|1.5\n");

    insert.ParamByName("rashod").SetString("много");
    EXPECT_THROW(insert.ExecSQL(), EDatabaseError);
}

TEST_F(FirebirdQuery, NullIsBoundAndReadAsEmpty) {
    db::Query insert(Conn());
    insert.SetSQL("insert into TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash) "
                  "values (:kod_pvr, :n_tabl, :trud_rab, :trud_mash)");
    insert.ParamByName("kod_pvr").SetNull();
    insert.ParamByName("n_tabl").SetNull();
    insert.ParamByName("trud_rab").SetNull();
    insert.ParamByName("trud_mash").SetFixed4(0);
    insert.ExecSQL();
    // A NULL for a column declared NOT NULL reaches the server as NULL.
    insert.ParamByName("trud_mash").SetNull();
    EXPECT_THROW(insert.ExecSQL(), EDatabaseError);

    db::Query read(Conn());
    read.SetSQL("select kod_pvr, n_tabl, trud_rab, trud_mash from TRUDOZ");
    read.Open();
    ASSERT_FALSE(read.Eof());
    EXPECT_TRUE(read.FieldByName("trud_rab").IsNull());
    EXPECT_EQ(read.FieldByName("kod_pvr").AsString(), "");
    EXPECT_EQ(read.FieldByName("n_tabl").AsInteger(), 0);
    EXPECT_EQ(read.FieldByName("trud_rab").AsFloat(), 0.0);
    EXPECT_EQ(read.FieldByName("trud_mash").AsString(), "0.0000");
    read.Next();
    EXPECT_TRUE(read.Eof());
}

TEST_F(FirebirdQuery, UnboundParameterAndUnknownColumnAreClearErrors) {
    db::Query update(Conn());
    update.SetSQL("update CNIR set rashod=:rashod where kod_pvr=:kod_pvr");
    update.ParamByName("kod_pvr").SetString("a");
    try {
        update.ExecSQL();
        FAIL() << "executed with an unbound parameter";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Не задано значение параметра \"rashod\"");
    }

    db::Query read(Conn());
    read.SetSQL("select kod_pvr, n_tabl, kod_tabl from KOD_TABL");
    read.Open();
    EXPECT_TRUE(read.IsEmpty());
    EXPECT_TRUE(read.Eof());
    EXPECT_NE(read.FindField("KOD_TABL"), nullptr);
    EXPECT_NE(read.FindField("kod_tabl"), nullptr);
    EXPECT_EQ(read.FindField("kod_tabl_1"), nullptr);
    EXPECT_EQ(read.FieldByName("kod_tabl").AsString(), ""); // no row: reads as empty
    EXPECT_THROW(read.FieldByName("kod_tabl_1"), EDatabaseError);
}

TEST_F(FirebirdQuery, FailingStatementCarriesTheDatabaseMessage) {
    db::Query query(Conn());
    query.SetSQL("select nothing from NO_SUCH_TABLE");
    try {
        query.Open();
        FAIL() << "opened a missing table";
    } catch (const EDatabaseError& e) {
        std::string message = e.what();
        EXPECT_NE(message.find("Table unknown"), std::string::npos) << message;
        EXPECT_NE(message.find("NO_SUCH_TABLE"), std::string::npos) << message;
        EXPECT_NE(message.find("Оператор: select nothing from NO_SUCH_TABLE"), std::string::npos)
            << message;
    }
    db::Query insert(Conn());
    insert.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl) values (:kod_pvr, :n_tabl)");
    insert.ParamByName("kod_pvr").SetString("a");
    insert.ParamByName("n_tabl").SetInteger(1);
    insert.ExecSQL();
    try {
        insert.ExecSQL();
        FAIL() << "a duplicate key was accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("PRIMARY or UNIQUE KEY"), std::string::npos)
            << e.what();
    }
}

TEST_F(FirebirdQuery, Windows1251TextRoundTrips) {
    const std::string name = "Устройство фундаментов «ёЁ» №1";
    db::Query insert(Conn());
    insert.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl, naim_tabl) values ('a', 1, :naim)");
    insert.ParamByName("naim").SetString(name);
    insert.ExecSQL();
    insert.SetSQL("insert into CNIR (kod_pvr, code, note) values ('б', :code, :note)");
    insert.ParamByName("code").SetString("Я1");
    insert.ParamByName("note").SetString(name + " (текст)");
    insert.ExecSQL();
    EXPECT_EQ(Dump(Conn(), "select naim_tabl, octet_length(naim_tabl) from KOD_TABL"),
              name + "|" + std::to_string(30) + "\n");
    EXPECT_EQ(Dump(Conn(), "select kod_pvr, code, note from CNIR"),
              "б|Я1   |" + name + " (текст)\n");
}

TEST_F(FirebirdQuery, TextLongerThanTheColumnIsRefused) {
    db::Query insert(Conn());
    insert.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl) values (:kod_pvr, 1)");
    insert.ParamByName("kod_pvr").SetString(std::string(21, 'x'));
    try {
        insert.ExecSQL();
        FAIL() << "21 characters went into varchar(20)";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("truncation"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Dump(Conn(), "select count(*) from KOD_TABL"), "0\n");
}

TEST_F(FirebirdQuery, TransactionsCommitAndRollBack) {
    auto other = m_db.NewConnection();
    db::TransactionDesc desc;
    db::Query insert(Conn());
    insert.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl) values (:kod_pvr, 1)");

    Conn().StartTransaction(desc);
    EXPECT_TRUE(Conn().InTransaction());
    insert.ParamByName("kod_pvr").SetString("rolled back");
    insert.ExecSQL();
    EXPECT_EQ(Dump(Conn(), "select count(*) from KOD_TABL"), "1\n");
    EXPECT_EQ(Dump(*other, "select count(*) from KOD_TABL"), "0\n");
    Conn().Rollback(desc);
    EXPECT_FALSE(Conn().InTransaction());
    EXPECT_EQ(Dump(*other, "select count(*) from KOD_TABL"), "0\n");

    Conn().StartTransaction(desc);
    insert.ParamByName("kod_pvr").SetString("kept");
    insert.ExecSQL();
    Conn().Commit(desc);
    EXPECT_EQ(Dump(*other, "select kod_pvr from KOD_TABL"), "kept\n");
    EXPECT_THROW(Conn().Commit(desc), EDatabaseError);
}

TEST_F(FirebirdQuery, AutoCommitKeepsAnotherQuerysCursorOpen) {
    for (int i = 1; i <= 3; ++i)
        Conn().ExecuteDirect("insert into KOD_TABL (kod_pvr, n_tabl) values ('r', " +
                             std::to_string(i) + ")");
    auto other = m_db.NewConnection();
    db::Query cursor(Conn());
    cursor.SetSQL("select n_tabl from KOD_TABL order by n_tabl");
    cursor.Open();
    db::Query update(Conn());
    update.SetSQL("update KOD_TABL set kod_tabl = :kod where n_tabl = :n");
    std::string seen;
    for (; !cursor.Eof(); cursor.Next()) {
        seen += cursor.FieldByName("n_tabl").AsString();
        update.ParamByName("kod").SetString("t" + cursor.FieldByName("n_tabl").AsString());
        update.ParamByName("n").SetString(cursor.FieldByName("n_tabl").AsString());
        update.ExecSQL();
        EXPECT_EQ(update.RowsAffected(), 1);
        // Committed at once: another connection sees it while the cursor is open.
        EXPECT_EQ(Dump(*other, "select kod_tabl from KOD_TABL where n_tabl = " +
                                   cursor.FieldByName("n_tabl").AsString()),
                  "t" + cursor.FieldByName("n_tabl").AsString() + "\n");
    }
    EXPECT_EQ(seen, "123");
}

TEST_F(FirebirdQuery, CommitClosesCursorsOfItsTransaction) {
    Conn().ExecuteDirect("insert into KOD_TABL (kod_pvr, n_tabl) values ('a', 1)");
    Conn().ExecuteDirect("insert into KOD_TABL (kod_pvr, n_tabl) values ('a', 2)");
    db::TransactionDesc desc;
    Conn().StartTransaction(desc);
    db::Query cursor(Conn());
    cursor.SetSQL("select n_tabl from KOD_TABL order by n_tabl");
    cursor.Open();
    Conn().Commit(desc);
    EXPECT_EQ(cursor.FieldByName("n_tabl").AsInteger(), 1); // the row read stays readable
    cursor.Next();
    EXPECT_TRUE(cursor.Eof());
    cursor.First(); // runs again
    EXPECT_EQ(cursor.FieldByName("n_tabl").AsInteger(), 1);
}

TEST_F(FirebirdQuery, StatementCacheHandsFreeStatementsOnly) {
    const std::string sql = "select count(*) from KOD_TABL where kod_pvr = :kod_pvr";
    Conn().ResetStatistics();
    {
        db::Query first(Conn());
        db::Query second(Conn());
        first.SetSQL(sql);
        second.SetSQL(sql);
        first.ParamByName("kod_pvr").SetString("a");
        second.ParamByName("kod_pvr").SetString("b");
        first.Open();
        second.Open(); // the first one's statement is in use: a second prepare
        EXPECT_EQ(first.FieldAt(0).AsInteger(), 0);
        EXPECT_EQ(second.FieldAt(0).AsInteger(), 0);
        EXPECT_EQ(Conn().Statistics().prepares, 2);
    }
    for (int i = 0; i < 5; ++i) {
        db::Query again(Conn());
        again.SetSQL(sql);
        again.ParamByName("kod_pvr").SetString("c");
        again.Open();
    }
    EXPECT_EQ(Conn().Statistics().prepares, 2);
    EXPECT_EQ(Conn().Statistics().executions, 7);

    Conn().SetStatementCache(false);
    for (int i = 0; i < 3; ++i) {
        db::Query again(Conn());
        again.SetSQL(sql);
        again.ParamByName("kod_pvr").SetString("c");
        again.Open();
    }
    EXPECT_EQ(Conn().Statistics().prepares, 5);
}

TEST_F(FirebirdQuery, SchemaChangeDropsCachedStatements) {
    db::Query insert(Conn());
    insert.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('a', 1, :kod)");
    insert.ParamByName("kod").SetString("short");
    insert.ExecSQL();
    insert.ClearSQL();
    db::Query alter(Conn());
    alter.SetSQL("ALTER TABLE KOD_TABL ALTER KOD_TABL TYPE VARCHAR(400)");
    alter.ExecSQL();
    insert.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('a', 2, :kod)");
    insert.ParamByName("kod").SetString(std::string(300, 'k'));
    insert.ExecSQL();
    EXPECT_EQ(Dump(Conn(), "select char_length(kod_tabl) from KOD_TABL order by n_tabl"),
              "5\n300\n");
}

TEST_F(FirebirdQuery, ParameterValuesSurviveATextWithTheSameNames) {
    db::Query query(Conn());
    query.SetSQL("insert into KOD_TABL (kod_pvr, n_tabl) values (:kod_pvr, :n_tabl)");
    query.ParamByName("kod_pvr").SetString("a");
    query.ParamByName("n_tabl").SetInteger(4);
    query.ExecSQL();
    query.SetSQL("select n_tabl from KOD_TABL where kod_pvr = :KOD_PVR");
    query.Open();
    EXPECT_EQ(query.FieldByName("n_tabl").AsInteger(), 4);
    query.ClearSQL();
    query.SetSQL("select n_tabl from KOD_TABL where kod_pvr = :kod_pvr");
    EXPECT_THROW(query.Open(), EDatabaseError);
}

TEST_F(FirebirdQuery, ConnectionDestroyedBeforeItsQuery) {
    auto connection = m_db.NewConnection();
    db::Query query(*connection);
    query.SetSQL("select n_tabl from KOD_TABL");
    query.Open();
    connection.reset();
    EXPECT_TRUE(query.Eof());
    EXPECT_THROW(query.Open(), EDatabaseError);
}

TEST(FirebirdConnect, MissingFileIsAClearError) {
    std::string folder = testsupport::MakeTempFolder("updatedb-test");
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, folder + "/missing.fdb");
    try {
        connection.Open();
        FAIL() << "opened a missing file";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(
            std::string(e.what()),
            "Не удалось подключиться к базе данных \"" + folder +
                "/missing.fdb\" (драйвер Firebird, пользователь SYSDBA): I/O error during "
                "\"open\" operation for file \"" +
                folder +
                "/missing.fdb\" -Error while trying to open file -No such file or directory");
        EXPECT_EQ(std::string(e.what()).find("masterkey"), std::string::npos);
    }
    EXPECT_FALSE(connection.Connected());
    rmdir(folder.c_str());
}

TEST(FirebirdConnect, UnknownDriverNamesWhatWasTried) {
    db::Connection connection;
    connection.SetConnectionName("IBConnection");
    connection.SetDriverName("Paradox");
    connection.SetParamValue("Database", "base.db");
    connection.SetParamValue("Password", "secret");
    try {
        connection.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Неизвестный драйвер базы данных \"Paradox\" (соединение "
                               "\"IBConnection\", база данных \"base.db\")");
    }
}

TEST(FirebirdConnect, CreateRefusesAnExistingFileAndDriverNameIgnoresCase) {
    TempDatabase existing;
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, existing.Path());
    EXPECT_THROW(connection.CreateDatabase(), EDatabaseError);
    connection.SetDriverName("INTERBASE");
    connection.Open();
    EXPECT_TRUE(connection.Connected());
}

} // namespace

namespace {

TEST(FirebirdScript, RunsProceduresAndNamesTheFailingStatement) {
    TempDatabase base;
    int run = db::ExecuteScript(base.Connection(), R"(
        SET SQL DIALECT 3;
        create table ZARP (kod_pvr varchar(20), zarpl numeric(15,4));
        commit;
        SET TERM ^ ;
        create procedure SR_RAZRAD2ZARPL (razrad numeric(15,4), trud numeric(15,4))
            returns (v_return numeric(15,4)) as
        begin
          v_return = :razrad * :trud; -- the body's own :names are not parameters
          suspend;
        end^
        SET TERM ; ^
        insert into ZARP values ('a;b', 1.5);
    )");
    EXPECT_EQ(run, 4);
    db::Query query(base.Connection());
    query.SetSQL("select * from SR_RAZRAD2ZARPL(:Razrad,:tmpTrud)");
    query.ParamByName("razrad").SetDecimal(3.5);
    query.ParamByName("TMPTRUD").SetDecimal(2.25);
    query.Open();
    EXPECT_DOUBLE_EQ(query.FieldByName("v_return").AsFloat(), 7.875);
    query.SetSQL("execute procedure SR_RAZRAD2ZARPL(:Razrad, 2)");
    query.Open(); // a procedure's output row reads like a one-row result
    EXPECT_EQ(query.FieldByName("V_RETURN").AsString(), "7.0000");
    query.Next();
    EXPECT_TRUE(query.Eof());

    try {
        db::ExecuteScript(base.Connection(), "insert into ZARP values ('c', 2);\n"
                                             "insert into NOWHERE values (1);");
        FAIL();
    } catch (const EDatabaseError& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("Ошибка в операторе 2 (строка 2) скрипта:\n"
                                "insert into NOWHERE values (1)\n",
                                0),
                  0u)
            << message;
    }
    query.SetSQL("select count(*) from ZARP");
    query.Open();
    EXPECT_EQ(query.FieldAt(0).AsInteger(), 2); // the statement before the failure stays
}

} // namespace

// The connection reads a text once: the same text answers the same plan, whose
// mapping sends each '?' to its parameter however the name is spelt.
TEST_F(FirebirdQuery, PlanOfATextIsReadOnceAndMapsEveryMark) {
    const std::string sql = "select :kod, :Nom, ':x', :KOD from KOD_TABL -- :y";
    std::shared_ptr<const db::SqlPlan> plan = Conn().Plan(sql);
    EXPECT_EQ(Conn().Plan(sql), plan);
    EXPECT_EQ(plan->params, (std::vector<std::string>{"kod", "Nom"}));
    EXPECT_EQ(plan->positions, (std::vector<size_t>{0, 1, 0}));
    EXPECT_EQ(plan->parsed.positional, "select ?, ?, ':x', ? from KOD_TABL -- :y");
    EXPECT_FALSE(plan->blank);
    EXPECT_TRUE(Conn().Plan(" \n")->blank);

    db::Query query(Conn());
    query.SetSQL("select count(*) from KOD_TABL where kod_pvr = :K and kod_tabl = :k");
    query.ParamByName("k").SetString("a");
    query.Open();
    EXPECT_EQ(query.FieldAt(0).AsInteger(), 0);
}

// Texts that differ in anything (letter case of a name, a blank) are kept
// apart: each query runs its own text with its own parameters.
TEST_F(FirebirdQuery, DifferentTextsDoNotShareAPlan) {
    db::ExecuteScript(Conn(),
                      "insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('a', 1, 'x');"
                      "insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl) values ('b', 2, 'y');");
    const std::string byCode = "select n_tabl from KOD_TABL where kod_pvr = :kod";
    const std::string byTable = "select n_tabl from KOD_TABL where kod_tabl = :Kod";
    const std::string byCodeSpaced = "select n_tabl from KOD_TABL where kod_pvr =  :kod";
    EXPECT_NE(Conn().Plan(byCode), Conn().Plan(byTable));
    EXPECT_NE(Conn().Plan(byCode), Conn().Plan(byCodeSpaced));
    for (int i = 0; i < 3; ++i) {
        db::Query first(Conn());
        first.SetSQL(byCode);
        first.ParamByName("kod").SetString("b");
        first.Open();
        db::Query second(Conn());
        second.SetSQL(byTable);
        second.ParamByName("kod").SetString("x");
        second.Open();
        EXPECT_EQ(first.FieldAt(0).AsInteger(), 2);
        EXPECT_EQ(second.FieldAt(0).AsInteger(), 1);
        EXPECT_EQ(first.SQL(), byCode);
        EXPECT_EQ(second.SQL(), byTable);
    }
}

// Plans hold no prepared statement: after a schema change the same text is
// prepared again and sees the new column, and many texts keep the cache bounded
// without taking a plan from a query that still uses it.
TEST_F(FirebirdQuery, SchemaChangeLeavesNoStaleStatementBehindAPlan) {
    const std::string sql = "select * from KOD_TABL where kod_pvr = :kod";
    {
        db::Query query(Conn());
        query.SetSQL(sql);
        query.ParamByName("kod").SetString("a");
        query.Open();
        EXPECT_EQ(query.FieldCount(), 4);
    }
    Conn().ExecuteDirect("alter table KOD_TABL add kod_tabl_1 varchar(30)");
    db::Query query(Conn());
    query.SetSQL(sql);
    for (int i = 0; i < 600; ++i)
        Conn().Plan("select " + std::to_string(i) + " from rdb$database");
    query.ParamByName("kod").SetString("a");
    query.Open();
    EXPECT_EQ(query.FieldCount(), 5);
    EXPECT_NE(query.FindField("KOD_TABL_1"), nullptr);
    EXPECT_EQ(query.SQL(), sql);
}
