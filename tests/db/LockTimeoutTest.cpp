// How long a statement waits for a row another connection holds (the
// connection parameter LockTimeout), what the user reads when the wait ends,
// and the checks of the driver's time parameters. Two connections of one
// process on an embedded file play the two workstations.
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempDatabase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class LockTimeoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_db.Connection().ExecuteDirect("create table T (id integer primary key, v integer)");
        m_db.Connection().ExecuteDirect("insert into T values (1, 1)");
        // The other workstation changed the row and has not ended its transaction.
        m_holder = m_db.NewConnection();
        m_holder->StartTransaction(m_transaction);
        m_holder->ExecuteDirect("update T set v = 2 where id = 1");
    }
    void TearDown() override {
        if (m_holder->InTransaction())
            m_holder->Rollback(m_transaction);
    }
    // A connection of this workstation with that LockTimeout ("": none given).
    std::unique_ptr<db::Connection> Waiter(const std::string& lockTimeout) const {
        auto connection = m_db.NewConnection();
        if (!lockTimeout.empty())
            connection->SetParamValue("LockTimeout", lockTimeout);
        return connection;
    }
    // Runs the statement in a transaction that is then rolled back; answers ""
    // or the message it failed with, and how long it took. The statement waits
    // on the connection to travel with others and is sent by the Flush.
    static std::string Failure(db::Connection& connection, const std::string& sql,
                               double* seconds = nullptr) {
        const Clock::time_point started = Clock::now();
        std::string message;
        db::TransactionDesc transaction;
        try {
            connection.StartTransaction(transaction);
            db::Query query(connection);
            query.SetSQL(sql);
            query.ExecSQL();
            connection.Flush();
        } catch (const EDatabaseError& e) {
            message = e.what();
        }
        if (seconds)
            *seconds = std::chrono::duration<double>(Clock::now() - started).count();
        if (connection.InTransaction())
            connection.Rollback(transaction);
        return message;
    }

    testsupport::TempDatabase m_db;
    std::unique_ptr<db::Connection> m_holder;
    db::TransactionDesc m_transaction;
};

TEST_F(LockTimeoutTest, AHeldRowEndsTheStatementAfterLockTimeoutWithAClearNote) {
    const std::string update = "update T set v = 3 where id = 1";
    double seconds = 0;
    auto waiter = Waiter("1");
    std::string message = Failure(*waiter, update, &seconds);
    EXPECT_EQ(message.rfind("строку одновременно изменяет другое соединение (ожидание до 1 с, "
                            "LockTimeout): deadlock\n-update conflicts with concurrent update\n",
                            0),
              0u)
        << message;
    EXPECT_NE(message.find("\nОператор: update T set v = 3 where id = 1"), std::string::npos);
    EXPECT_LT(seconds, 10); // bounded by the setting, far below the default

    message = Failure(*Waiter("0"), update, &seconds);
    EXPECT_EQ(message.rfind("строку одновременно изменяет другое соединение (без ожидания, "
                            "LockTimeout = 0): deadlock\n",
                            0),
              0u)
        << message;

    // A deletion meets the row as an update does; nothing changed meanwhile.
    message = Failure(*waiter, "delete from T where id = 1");
    EXPECT_EQ(message.rfind("строку одновременно изменяет другое соединение", 0), 0u) << message;
    m_holder->Rollback(m_transaction);
    EXPECT_EQ(testsupport::QueryText(*waiter, "select id, v from T"), "1|1\n");
}

TEST_F(LockTimeoutTest, AWaitingStatementGoesOnWhenTheHolderRollsBack) {
    auto waiter = Waiter("30");
    std::thread other([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m_holder->Rollback(m_transaction);
    });
    db::Query update(*waiter);
    update.SetSQL("update T set v = 3 where id = 1");
    update.ExecSQL();
    EXPECT_EQ(update.RowsAffected(), 1);
    other.join();
    EXPECT_EQ(testsupport::QueryText(*waiter, "select id, v from T"), "1|3\n");
}

TEST(DriverTimeParameters, AValueThatIsNoWholeNumberOfSecondsIsRefusedByName) {
    testsupport::TempDatabase base;
    struct Case {
        const char* name;
        const char* value;
        const char* least;
    };
    for (const Case& c : {Case{"LockTimeout", "abc", "0"}, Case{"LockTimeout", "-1", "0"},
                          Case{"LockTimeout", "40000", "0"}, Case{"LockTimeout", "1.5", "0"},
                          Case{"ConnectTimeout", "0", "1"}}) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        auto connection = base.NewConnection();
        connection->SetParamValue(c.name, c.value);
        try {
            connection->Open();
            ADD_FAILURE() << "opened";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Не удалось подключиться к базе данных \"" + base.Path() +
                          "\" (драйвер Firebird, пользователь SYSDBA): неверное значение "
                          "параметра " + c.name + " \"" + c.value +
                          "\": нужно целое число секунд от " + c.least + " до 32767");
        }
    }
    // Blanks around a good value, and both limits, are fine.
    for (const char* value : {" 5 ", "0", "32767"}) {
        auto connection = base.NewConnection();
        connection->SetParamValue("LockTimeout", value);
        EXPECT_NO_THROW(connection->Open()) << value;
    }
}

} // namespace
