// The database layer itself on the private server: a schema change that meets
// another connection's, and a connection whose server dies mid-transaction.
#include "tests/server/ServerFixture.h"

#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace servertest {
namespace {

using Clock = std::chrono::steady_clock;

// A fresh database of the server with one table; removed with the test.
class ServerDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        Server().Start();
        const std::string folder = testsupport::MakeTempFolder("server-driver");
        m_path = Server().DataFolder() + "/" + std::filesystem::path(folder).filename().string() +
                 ".fdb";
        std::filesystem::remove(folder);
        db::Connection creator;
        Server().Configure(creator, m_path);
        creator.CreateDatabase();
        creator.ExecuteDirect("create table T (id integer primary key, v integer)");
    }
    void TearDown() override { std::filesystem::remove(m_path); }
    std::unique_ptr<db::Connection> Connect(const std::string& lockTimeout = "") const {
        auto connection = std::make_unique<db::Connection>();
        Server().Configure(*connection, m_path);
        if (!lockTimeout.empty())
            connection->SetParamValue("LockTimeout", lockTimeout);
        return connection;
    }
    static void Exec(db::Connection& connection, const std::string& sql) {
        db::Query query(connection);
        query.SetSQL(sql);
        query.ExecSQL();
    }

    std::string m_path;
};

} // namespace

// Two runs widen one column at once: the second meets the first's change of
// the same system rows and, on the server, fails at once with an update
// conflict instead of waiting as a row would. It is tried again until
// LockTimeout has passed.
TEST_F(ServerDriverTest, ASchemaChangeMeetingAnotherConnectionsIsTriedAgainWithinLockTimeout) {
    const std::string widen = "alter table T alter v type bigint";
    auto holder = Connect();
    db::TransactionDesc transaction;
    holder->StartTransaction(transaction);
    holder->ExecuteDirect(widen);
    auto waiter = Connect("20");
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        holder->Commit(transaction);
    });
    EXPECT_NO_THROW(Exec(*waiter, widen));
    other.join();

    // The other change stays open past LockTimeout: the clear conflict line.
    holder->StartTransaction(transaction);
    holder->ExecuteDirect(widen);
    const Clock::time_point started = Clock::now();
    try {
        Exec(*Connect("1"), widen);
        ADD_FAILURE() << "no conflict";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("строку одновременно изменяет другое соединение "
                                              "(ожидание до 1 с, LockTimeout): ",
                                              0),
                  0u)
            << e.what();
    }
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 10);
    holder->Rollback(transaction);
}

// What the save of a killed server meets: the next statement sent fails at
// once with the client library's words, the rollback that follows is quiet
// (the server drops the transaction with the connection), and nothing of the
// transaction is there when the server is back. (Inside a transaction the
// inserts wait to travel together; Flush sends them.)
TEST_F(ServerDriverTest, AServerKilledMidTransactionFailsTheNextStatementAndLosesTheTransaction) {
    auto connection = Connect();
    db::TransactionDesc transaction;
    connection->StartTransaction(transaction);
    Exec(*connection, "insert into T values (1, 1)");
    connection->Flush();
    Server().Kill();
    try {
        Exec(*connection, "insert into T values (2, 2)");
        connection->Flush();
        ADD_FAILURE() << "the statement went through";
    } catch (const EDatabaseError& e) {
        // Reading the answer fails, or writing the request when the kernel
        // already knows the other end is gone.
        const std::string message = e.what();
        const std::string statement = "\nОператор: insert into T values (2, 2)";
        EXPECT_TRUE(message == "Error reading data from the connection." + statement ||
                    message == "Error writing data to the connection." + statement)
            << message;
    }
    EXPECT_NO_THROW(connection->Rollback(transaction));
    EXPECT_FALSE(connection->InTransaction());
    EXPECT_THROW(Exec(*connection, "insert into T values (3, 3)"), EDatabaseError);
    connection->Close();
    Server().Start();
    EXPECT_EQ(testsupport::QueryText(*Connect(), "select count(*) from T"), "0\n");
}

} // namespace servertest

namespace servertest {

// Through the server the writes of a transaction travel together: far fewer
// round trips than statements, the same rows as one statement per round trip,
// and the one that fails named with its own message and origin, the ones
// before it kept until the rollback.
TEST_F(ServerDriverTest, GroupedWritesThroughTheServerCostFewRoundTripsAndNameTheFailingOne) {
    auto grouped = Connect();
    auto single = Connect();
    single->SetGrouping(false);
    db::TransactionDesc transaction;
    int64_t trips[2] = {};
    int index = 0;
    for (db::Connection* connection : {grouped.get(), single.get()}) {
        connection->Open();
        connection->ResetStatistics();
        connection->StartTransaction(transaction);
        db::Query insert(*connection);
        insert.SetSQL("insert into T (id, v) values (:id, :v)");
        for (int i = 0; i < 600; ++i) {
            insert.ParamByName("id").SetInteger(index * 1000 + i);
            insert.ParamByName("v").SetInteger(i * 7);
            insert.ExecSQL();
        }
        connection->Commit(transaction);
        trips[index++] = connection->Statistics().roundTrips;
    }
    EXPECT_GE(trips[1], 600);
    EXPECT_LT(trips[0], 20) << "600 inserts in blocks of up to 256";
    EXPECT_EQ(testsupport::QueryText(*grouped, "select count(*), sum(v) from T where id < 1000"),
              testsupport::QueryText(*grouped, "select count(*), sum(v) from T where id >= 1000"));

    const int origins[5] = {};
    grouped->StartTransaction(transaction);
    db::Query insert(*grouped);
    insert.SetSQL("insert into T (id, v) values (:id, :v)");
    const int ids[5] = {5001, 5002, 5001, 5003, 5004};
    try {
        for (int i = 0; i < 5; ++i) {
            insert.SetOrigin(&origins[i]);
            insert.ParamByName("id").SetInteger(ids[i]);
            insert.ParamByName("v").SetInteger(i);
            insert.ExecSQL();
        }
        grouped->Flush();
        ADD_FAILURE() << "the repeated key went through";
    } catch (const db::EStatementFailed& e) {
        EXPECT_EQ(e.Origin(), &origins[2]);
        EXPECT_NE(e.Message().find("violation of PRIMARY or UNIQUE KEY"), std::string::npos)
            << e.Message();
        EXPECT_NE(e.Message().find("Оператор: insert into T (id, v) values (:id, :v)"),
                  std::string::npos)
            << e.Message();
    }
    EXPECT_EQ(testsupport::QueryText(*grouped, "select count(*) from T where id > 5000"), "2\n");
    grouped->Rollback(transaction);
    EXPECT_EQ(testsupport::QueryText(*grouped, "select count(*) from T where id > 5000"), "0\n");
}

} // namespace servertest
