// Fuzz target: small patches saved into an embedded base made once per process
// (the schema and the demo base), each save inside a transaction that is then
// rolled back. A save may fail with an Exception (a value too long, say); it
// must not crash, and the rollback must leave the row counts as they were.
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/TempDatabase.h"

#include "model/kod_pvr.h"
#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

#include <cstdio>
#include <cstdlib>

namespace {

testsupport::TempDatabase& Base() {
    static testsupport::TempDatabase* base = [] {
        auto* made = new testsupport::TempDatabase(SOURCE_DIR "/model/schema/firebird.sql");
        db::ExecuteScript(made->Connection(), "insert into NAME_BASE (name, base_god, type_code) "
                                              "values ('База', '2026', 2);");
        db::ExecuteScript(made->Connection(), text::ReadFileBytes(SOURCE_DIR "/demo/base.sql"));
        std::atexit([] { delete base; });
        return made;
    }();
    return *base;
}

std::string RowCounts(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL("select (select count(*) from KOD_SBOR) || ',' || (select count(*) from KOD_PVR)"
                 " || ',' || (select count(*) from KOD_TABL) || ',' || (select count(*) from CNIR)"
                 " || ',' || (select count(*) from NOM_MAT) || ',' || (select count(*) from N_PROC)"
                 " from rdb$database");
    query.Open();
    return query.FieldAt(0).AsString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192)
        return 0;
    fuzz::QuietMessageBoxes();
    db::Connection& connection = Base().Connection();
    static const std::string counts = RowCounts(connection);
    std::unique_ptr<kod_pvr> patch = fuzz::ReadPatch(data, size);
    if (!patch)
        return 0;
    connection.StartTransaction(db::TransactionDesc{});
    try {
        patch->SaveIntoDB(connection);
    } catch (const Exception&) {
    }
    connection.Rollback(db::TransactionDesc{});
    if (RowCounts(connection) != counts) {
        std::fprintf(stderr, "rows left after a rolled-back save: %s, were %s\n",
                     RowCounts(connection).c_str(), counts.c_str());
        std::abort();
    }
    return 0;
}
