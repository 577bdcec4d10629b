// Inserts 100 000 rows through db::Query into a fresh embedded database, in one
// transaction, once with the connection's statement cache and once without, and
// prints both rates and their ratio. Each row is what a model operation does:
// create a query, set its text, bind by name, execute, free the query.
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "tests/support/TempDatabase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const kInsert = "insert into TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1) "
                            "values (:kod_pvr, :n_tabl, :trud_rab, :trud_mash, :r1)";

struct Run {
    double seconds = 0;
    int64_t prepares = 0;
};

Run Insert(int rows, bool cache) {
    testsupport::TempDatabase base;
    db::Connection& connection = base.Connection();
    connection.ExecuteDirect("create table TRUDOZ (kod_pvr varchar(20), n_tabl integer, "
                             "trud_rab numeric(15,4), trud_mash numeric(15,4), r1 numeric(15,4))");
    connection.SetStatementCache(cache);
    connection.ResetStatistics();
    db::TransactionDesc desc;
    auto start = std::chrono::steady_clock::now();
    connection.StartTransaction(desc);
    for (int i = 0; i < rows; ++i) {
        db::Query query(connection);
        query.SetSQL(kInsert);
        query.ParamByName("kod_pvr").SetString("01-01-" + std::to_string(i / 100));
        query.ParamByName("n_tabl").SetString(std::to_string(i % 100 + 1));
        query.ParamByName("trud_rab").SetFixed4(text::ToFixed4(i * 0.01));
        query.ParamByName("trud_mash").SetFixed4(text::ToFixed4(1.23456));
        query.ParamByName("r1").SetDecimal(0.5);
        query.ExecSQL();
    }
    connection.Commit(desc);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.prepares = connection.Statistics().prepares;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    try {
        Run cached = Insert(rows, true);
        Run uncached = Insert(rows, false);
        double cachedRate = rows / cached.seconds;
        double uncachedRate = rows / uncached.seconds;
        std::printf("rows inserted per run:   %d (one transaction, embedded Firebird)\n", rows);
        std::printf("statement cache on:      %10.0f rows/s  (%.2f s, %lld prepares)\n", cachedRate,
                    cached.seconds, static_cast<long long>(cached.prepares));
        std::printf("statement cache off:     %10.0f rows/s  (%.2f s, %lld prepares)\n",
                    uncachedRate, uncached.seconds, static_cast<long long>(uncached.prepares));
        std::printf("ratio (on / off):        %10.2f\n", cachedRate / uncachedRate);
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
