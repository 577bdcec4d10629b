// Statements that wait on the connection and travel together, against real
// embedded Firebird files told to group as a server connection does
// (GroupStatements=always): the rows are those of one statement per round
// trip, a failing statement is named with its own message and origin, and
// nothing it follows is lost or reported done.
#include "platform/db/Dialect.h"
#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/db/SelectGroup.h"
#include "platform/text/Exception.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempDatabase.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using testsupport::TempDatabase;

namespace {

const char* const kSchema = R"(
create table NORM (kod varchar(20) not null primary key, naim varchar(60) character set win1251,
                   cnt integer);
create table LINE (kod varchar(20) not null, n integer not null, rashod numeric(15,5),
                   note varchar(10), primary key (kod, n));
)";

std::string Dump(db::Connection& connection, const std::string& sql) {
    return testsupport::QueryText(connection, sql, "<null>");
}

std::string DumpAll(db::Connection& connection) {
    return Dump(connection, "select * from NORM order by kod") +
           Dump(connection, "select * from LINE order by kod, n");
}

// The writes of a small save: norms replaced by delete and insert, lines
// inserted and updated, texts interleaved as the model interleaves them.
void WriteSave(db::Connection& connection, int norms) {
    db::Query del(connection), lines(connection), norm(connection), line(connection),
        update(connection);
    del.SetSQL("delete from NORM where kod = :kod");
    lines.SetSQL("delete from LINE where kod = :kod");
    norm.SetSQL("insert into NORM (kod, naim, cnt) values (:kod, :naim, :cnt)");
    line.SetSQL("insert into LINE (kod, n, rashod, note) values (:kod, :n, :rashod, 'x')");
    update.SetSQL("update LINE set rashod = rashod * 2, note = :note where kod = :kod and n = :n");
    for (int i = 0; i < norms; ++i) {
        const std::string kod = "01-" + std::to_string(1000 + i);
        del.ParamByName("kod").SetString(kod);
        del.ExecSQL();
        lines.ParamByName("kod").SetString(kod);
        lines.ExecSQL();
        norm.ParamByName("kod").SetString(kod);
        norm.ParamByName("naim").SetString("Работа " + std::to_string(i));
        norm.ParamByName("cnt").SetInteger(i % 7);
        norm.ExecSQL();
        for (int n = 1; n <= 3; ++n) {
            line.ParamByName("kod").SetString(kod);
            line.ParamByName("n").SetInteger(n);
            line.ParamByName("rashod").SetDecimal(0.00015 * (i + n));
            line.ExecSQL();
        }
        update.ParamByName("kod").SetString(kod);
        update.ParamByName("n").SetInteger(2);
        update.ParamByName("note").SetString(i % 2 ? "odd" : "even");
        update.ExecSQL();
    }
}

class GroupTest : public ::testing::Test {
protected:
    GroupTest() : m_grouped(Make(m_first)), m_single(Make(m_second)) {
        m_single.SetGrouping(false);
    }
    static db::Connection& Make(TempDatabase& database) {
        db::ExecuteScript(database.Connection(), kSchema);
        database.Connection().Close();
        database.Connection().SetParamValue("GroupStatements", "always");
        database.Connection().Open();
        return database.Connection();
    }

    TempDatabase m_first;
    TempDatabase m_second;
    db::Connection& m_grouped;
    db::Connection& m_single;
    db::TransactionDesc m_transaction;
};

TEST_F(GroupTest, GroupedWritesLeaveTheRowsOfOneStatementPerRoundTripInFarFewerRoundTrips) {
    for (db::Connection* connection : {&m_grouped, &m_single}) {
        connection->StartTransaction(m_transaction);
        WriteSave(*connection, 5); // the first time inserts only
        connection->Commit(m_transaction);
        connection->ResetStatistics();
        connection->StartTransaction(m_transaction);
        WriteSave(*connection, 150); // replaces those and adds more: 1050 statements
        connection->Commit(m_transaction);
    }
    const db::ConnectionStatistics grouped = m_grouped.Statistics();
    const db::ConnectionStatistics single = m_single.Statistics();
    EXPECT_EQ(grouped.executions, 1050);
    EXPECT_EQ(single.executions, 1050);
    EXPECT_EQ(grouped.grouped, 1050);
    EXPECT_EQ(single.grouped, 0);
    EXPECT_GE(single.roundTrips, 1050);
    // Preparing the blocks and the texts, the start and the commit included.
    EXPECT_LT(grouped.roundTrips * 20, single.roundTrips)
        << grouped.roundTrips << " against " << single.roundTrips;
    EXPECT_EQ(DumpAll(m_grouped), DumpAll(m_single));
    EXPECT_NE(DumpAll(m_grouped).find("01-1149|Работа 149|2\n"), std::string::npos);
    EXPECT_NE(DumpAll(m_grouped).find("01-1003|2|0.00150|odd\n"), std::string::npos);
}

TEST_F(GroupTest, AReadSeesTheWritesThatWaitedBeforeIt) {
    m_grouped.StartTransaction(m_transaction);
    WriteSave(m_grouped, 2);
    EXPECT_EQ(Dump(m_grouped, "select count(*) from LINE"), "6\n");
    m_grouped.Rollback(m_transaction);
    EXPECT_EQ(DumpAll(m_grouped), "");
}

// Five inserts of which the third repeats the first's key: sent together or
// one by one, the third fails with the same message, naming its statement and
// its origin; the two before it took effect, the ones after it did not, and
// what waited for the third is never done.
TEST_F(GroupTest, TheThirdOfFiveFailingNamesItsOwnStatementMessageAndOrigin) {
    const int origins[5] = {};
    std::string messages[2];
    for (db::Connection* connection : {&m_grouped, &m_single}) {
        const bool grouped = connection == &m_grouped;
        SCOPED_TRACE(grouped ? "grouped" : "one by one");
        std::vector<int> done;
        connection->StartTransaction(m_transaction);
        db::Query insert(*connection);
        insert.SetSQL("insert into LINE (kod, n, rashod) values (:kod, :n, :rashod)");
        const int keys[5] = {1, 2, 1, 3, 4};
        try {
            for (int i = 0; i < 5; ++i) {
                insert.SetOrigin(&origins[i]);
                insert.ParamByName("kod").SetString("k");
                insert.ParamByName("n").SetInteger(keys[i]);
                insert.ParamByName("rashod").SetDecimal(i + 0.5);
                insert.ExecSQL();
                connection->WhenSent([&done, i] { done.push_back(i); });
            }
            connection->Flush();
            FAIL() << "the repeated key went through";
        } catch (const db::EStatementFailed& e) {
            EXPECT_EQ(e.Origin(), &origins[2]);
            EXPECT_NE(e.Message().find("violation of PRIMARY or UNIQUE KEY"), std::string::npos)
                << e.Message();
            EXPECT_NE(e.Message().find("\nОператор: insert into LINE (kod, n, rashod) values"),
                      std::string::npos)
                << e.Message();
            EXPECT_EQ(e.Message().find("EXECUTE BLOCK"), std::string::npos) << e.Message();
            EXPECT_EQ(e.Message().find("At block"), std::string::npos) << e.Message();
            messages[grouped ? 0 : 1] = e.Message();
        }
        EXPECT_EQ(done, (std::vector<int>{0, 1}));
        EXPECT_EQ(Dump(*connection, "select n, rashod from LINE order by n"),
                  "1|0.50000\n2|1.50000\n");
        EXPECT_TRUE(connection->InTransaction());
        connection->Rollback(m_transaction);
        EXPECT_EQ(DumpAll(*connection), "");
        EXPECT_EQ(done, (std::vector<int>{0, 1}));
    }
    EXPECT_EQ(messages[0], messages[1]);
}

// A failure that only the commit sends: the commit throws, the transaction
// stays for the caller to roll back, and nothing of it stays.
TEST_F(GroupTest, AWriteFailingAtTheCommitLeavesTheTransactionToRollBack) {
    m_grouped.StartTransaction(m_transaction);
    WriteSave(m_grouped, 3);
    db::Query line(m_grouped);
    line.SetSQL("insert into LINE (kod, n, note) values ('z', 1, :note)");
    line.ParamByName("note").SetString("much too long for it");
    line.SetOrigin(&line);
    line.ExecSQL(); // waits
    try {
        m_grouped.Commit(m_transaction);
        FAIL() << "the long note went through";
    } catch (const db::EStatementFailed& e) {
        EXPECT_EQ(e.Origin(), &line);
        EXPECT_NE(e.Message().find("truncation"), std::string::npos) << e.Message();
    }
    ASSERT_TRUE(m_grouped.InTransaction());
    m_grouped.Rollback(m_transaction);
    EXPECT_EQ(DumpAll(m_grouped), "");
}

// Outside a transaction nothing waits: each statement is committed as it runs
// and fails where it runs.
TEST_F(GroupTest, OutsideATransactionStatementsRunAtOnce) {
    db::Query insert(m_grouped);
    insert.SetSQL("insert into NORM (kod) values (:kod)");
    insert.ParamByName("kod").SetString("a");
    insert.ExecSQL();
    EXPECT_EQ(insert.RowsAffected(), 1);
    EXPECT_EQ(Dump(*m_first.NewConnection(), "select kod from NORM"), "a\n");
    insert.SetOrigin(&insert);
    try {
        insert.ExecSQL();
        FAIL() << "the repeated key went through";
    } catch (const db::EStatementFailed& e) {
        EXPECT_EQ(e.Origin(), &insert);
    }
}

} // namespace

namespace {

// The selectivity the engine keeps is the one computed on the empty table
// until it is refreshed; inside a transaction nothing is done.
TEST_F(GroupTest, IndexStatisticsAreRefreshedOutsideTheTransaction) {
    const std::string selectivity =
        "select cast(rdb$statistics * 1000 as integer) from rdb$indices "
        "where rdb$relation_name = 'NORM'";
    EXPECT_EQ(Dump(m_grouped, selectivity), "0\n");
    m_grouped.StartTransaction(m_transaction);
    WriteSave(m_grouped, 500);
    EXPECT_EQ(db::RefreshIndexStatistics(m_grouped), 0);
    m_grouped.Commit(m_transaction);
    EXPECT_EQ(Dump(m_grouped, selectivity), "0\n");
    EXPECT_EQ(db::RefreshIndexStatistics(m_grouped), 2); // the two primary keys
    EXPECT_EQ(Dump(m_grouped, selectivity), "2\n");      // 1 / 500 rows
}

} // namespace

namespace {

// One select for many sets of values: each set gets the rows it would get on
// its own, in one round trip where the driver can; a set the base refuses (a
// value too long for its column) or with a parameter unbound fails alone with
// its own message, and the others keep their rows.
TEST_F(GroupTest, ASelectRunForManySetsAnswersEachSetAsOnItsOwn) {
    m_grouped.StartTransaction(m_transaction);
    WriteSave(m_grouped, 4);
    const std::string sql = "select n, rashod from LINE where kod = :kod and n >= :n order by n";
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "with sets that fail" : "every set runs");
        db::SelectGroup group(m_grouped, sql);
        const char* const kods[4] = {"01-1000", "01-1003", "none", "01-1001"};
        for (int i = 0; i < 4; ++i) {
            db::ParamList& params = group.Add();
            params.ByName("kod", sql).SetString(refused && i == 1 ? std::string(40, 'x') : kods[i]);
            if (!(refused && i == 2))
                params.ByName("n", sql).SetInteger(i == 3 ? 3 : 2);
        }
        group.Run();
        ASSERT_EQ(group.Count(), 4u);
        EXPECT_FALSE(group.Failed(0));
        ASSERT_EQ(group.RowCount(0), 2u);
        EXPECT_EQ(group.Value(0, 0, "N").AsString(), "2");
        EXPECT_EQ(group.Value(0, 0, "rashod").AsString(), "0.00060"); // doubled by the update
        EXPECT_EQ(group.Value(0, 1, "rashod").AsString(), "0.00045");
        EXPECT_EQ(group.Failed(1), refused);
        if (refused) {
            EXPECT_NE(group.Error(1).find("truncation"), std::string::npos) << group.Error(1);
        } else {
            EXPECT_EQ(group.RowCount(1), 2u);
        }
        EXPECT_EQ(group.Failed(2), refused);
        if (refused) {
            EXPECT_NE(group.Error(2).find("\"n\""), std::string::npos) << group.Error(2);
        } else {
            EXPECT_EQ(group.RowCount(2), 0u);
        }
        ASSERT_EQ(group.RowCount(3), 1u);
        EXPECT_EQ(group.Value(3, 0, "n").AsString(), "3");
    }
    m_grouped.Rollback(m_transaction);
}

} // namespace

namespace {

// Values travel in the block as the statement's own parameters: every type
// the save binds converts exactly as it does on its own, NULLs stay NULL, and
// literals of the text (a colon, a question mark, a quote) stay literals.
TEST_F(GroupTest, EveryKindOfValueIsStoredAsOneStatementStoresIt) {
    const char* const kTypes =
        "create table V (id integer not null primary key, s varchar(30) character set win1251, "
        "c char(5), num numeric(15,5), cur numeric(15,4), d double precision, big bigint, "
        "note blob sub_type text character set win1251, lit varchar(20));";
    for (db::Connection* connection : {&m_grouped, &m_single}) {
        db::ExecuteScript(*connection, kTypes);
        connection->StartTransaction(m_transaction);
        db::Query insert(*connection);
        insert.SetSQL("insert into V (id, s, c, num, cur, d, big, note, lit) values "
                      "(:id, :s, :c, :num, :cur, :d, :big, :note, 'a:b ? ''q''')");
        const std::string texts[] = {"Ёлка «ель»", "", "  blanks  ", "x'y\"z"};
        for (int i = 0; i < 12; ++i) {
            insert.ParamByName("id").SetInteger(i);
            if (i % 4 == 3)
                insert.ParamByName("s").SetNull();
            else
                insert.ParamByName("s").SetString(texts[i % 4]);
            insert.ParamByName("c").SetString(i % 2 ? "ab" : "abcde");
            insert.ParamByName("num").SetDecimal(i % 3 ? 0.000015 * i : -12345.678905);
            insert.ParamByName("cur").SetFixed4(text::ToFixed4(i * 1.23456));
            insert.ParamByName("d").SetDecimal(i / 7.0);
            insert.ParamByName("big").SetString(std::to_string(9000000000000000000LL + i));
            if (i % 5 == 4)
                insert.ParamByName("note").SetNull();
            else
                insert.ParamByName("note").SetString(std::string(100 * i, 'n') + "Примечание");
            insert.ExecSQL();
        }
        connection->Commit(m_transaction);
    }
    const std::string all = "select * from V order by id";
    EXPECT_EQ(Dump(m_grouped, all), Dump(m_single, all));
    EXPECT_GT(m_grouped.Statistics().grouped, 0);
    EXPECT_EQ(Dump(m_grouped, "select s, c, num, lit from V where id = 0"),
              "Ёлка «ель»|abcde|-12345.67891|a:b ? 'q'\n");
    EXPECT_EQ(Dump(m_grouped, "select count(*) from V where s is null or note is null"), "5\n");
}

} // namespace
