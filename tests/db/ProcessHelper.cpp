// One of two processes sharing a database file: inserts its own row, then waits
// until it sees the other's. Usage: db_process_helper FILE MY_NUMBER OTHER_NUMBER.
// Exit status 0 when the other row was seen, 1 on a timeout, 2 on an error.
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "tests/support/TempDatabase.h"

#include <chrono>
#include <iostream>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    try {
        db::Connection connection;
        testsupport::ConfigureFirebird(connection, argv[1]);
        db::Query query(connection);
        query.SetSQL("insert into SEEN (n) values (:n)");
        query.ParamByName("n").SetString(argv[2]);
        query.ExecSQL();
        query.SetSQL("select count(*) as c from SEEN where n = :other");
        query.ParamByName("other").SetString(argv[3]);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            query.Open();
            if (query.FieldByName("c").AsInteger() == 1)
                return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 1;
    } catch (const Exception& e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
}
