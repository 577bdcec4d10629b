// The bulk-load baseline: what the engine does at best with the rows a save
// wrote. It reads those rows from the base after the save (untimed), then
// inserts them into a copy of the base as it was before the save with one
// prepared INSERT per table inside one transaction, calling libfbclient's
// object API directly; the select's own message buffers are the insert's input.
//
//   bench_bulk_load AFTER.fdb BEFORE.fdb
// Prints "figure bulk.seconds S" and "figure bulk.rows.TABLE N".
#include "platform/db/FirebirdEnvironment.h"

#include <firebird/Interface.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace Firebird;

namespace {

// The tables a save writes, with the columns it writes and which rows are its
// own: the directories keep the rows the benchmark filled in before (their
// prices are not -1; the save adds resources with the price -1).
struct Table {
    const char* name;
    const char* columns;
    const char* where;
};

const Table kTables[] = {
    {"KOD_RAZD", "kod_razd, naim_razd, edin_izm, koef_nakl, vid_rab", ""},
    {"KOD_SBOR", "kod_sb, naim_sb, vid_rab", ""},
    {"NOM_MAT", "kod_mat, naim_mat, kod_okp, kod_ed, sm_zena, ves", " where sm_zena = -1"},
    {"NOM_MASH", "kod_mash, naim_mash, kod_mash_pred, st_shasa, sr_razrad, trud, zarp_mash",
     " where zarp_mash = -1"},
    {"KOD_PVR",
     "kod_razd, kod_pvr, naim_pvr, naim_ed, nom_baz, priz_ukr, kod_sb, kol_stb, priz_stm, priz_for_kor",
     ""},
    {"SOST_PVR", "kod_pvr, sostav_pvr", ""},
    {"N_PROC",
     "KOD_PVR, NAKL_PZATR, NAKL_ZARPL, KOD_MEST, PRIB_PZATR, PRIB_ZARPL, HOLOST, NAGRUZKA", ""},
    {"KOD_TABL", "kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1", ""},
    {"TRUDOZ",
     "kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s",
     ""},
    {"ZARP", "kod_pvr, n_tabl, zarpl, sr_razrad", ""},
    {"CNIR", "kod_pvr, n_tabl, kod_cnir, rashod", ""},
    {"MASH", "kod_pvr, n_tabl, kod_mash, rashod", ""},
};

struct Rows {
    IMessageMetadata* metadata = nullptr;
    unsigned length = 0;
    std::vector<unsigned char> data; // one message after the other
    size_t Count() const { return length ? data.size() / length : 0; }
};

// Through the private server when BENCH_SERVER holds its address (the
// password in UPDATEDB_PASSWORD), else the embedded engine.
IAttachment* Attach(IMaster* master, ThrowStatusWrapper& status, std::string path) {
    const char* server = std::getenv("BENCH_SERVER");
    const char* password = std::getenv("UPDATEDB_PASSWORD");
    if (server)
        path = std::string(server) + ":" + path;
    IXpbBuilder* dpb =
        master->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&status, isc_dpb_user_name, "SYSDBA");
    dpb->insertString(&status, isc_dpb_password, server && password ? password : "masterkey");
    dpb->insertString(&status, isc_dpb_lc_ctype, "UTF8");
    IAttachment* attachment = master->getDispatcher()->attachDatabase(
        &status, path.c_str(), dpb->getBufferLength(&status), dpb->getBuffer(&status));
    dpb->dispose();
    return attachment;
}

Rows ReadRows(ThrowStatusWrapper& status, IAttachment* attachment, ITransaction* transaction,
              const Table& table) {
    std::string sql = std::string("select ") + table.columns + " from " + table.name + table.where;
    IStatement* statement = attachment->prepare(&status, transaction, 0, sql.c_str(), 3,
                                                IStatement::PREPARE_PREFETCH_METADATA);
    Rows rows;
    rows.metadata = statement->getOutputMetadata(&status);
    rows.length = rows.metadata->getMessageLength(&status);
    IResultSet* cursor =
        statement->openCursor(&status, transaction, nullptr, nullptr, rows.metadata, 0);
    std::vector<unsigned char> buffer(rows.length);
    while (cursor->fetchNext(&status, buffer.data()) == IStatus::RESULT_OK)
        rows.data.insert(rows.data.end(), buffer.begin(), buffer.end());
    cursor->close(&status);
    statement->free(&status);
    return rows;
}

std::string Placeholders(const char* columns) {
    std::string marks = "?";
    for (const char* c = columns; *c; ++c)
        if (*c == ',')
            marks += ", ?";
    return marks;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: bench_bulk_load AFTER.fdb BEFORE.fdb\n";
        return 2;
    }
    db::PrepareFirebirdEnvironment();
    IMaster* master = fb_get_master_interface();
    ThrowStatusWrapper status(master->getStatus());
    try {
        IAttachment* source = Attach(master, status, argv[1]);
        ITransaction* reading = source->startTransaction(&status, 0, nullptr);
        std::vector<Rows> all;
        for (const Table& table : kTables)
            all.push_back(ReadRows(status, source, reading, table));
        reading->commit(&status);
        source->detach(&status);

        IAttachment* target = Attach(master, status, argv[2]);
        auto start = std::chrono::steady_clock::now();
        ITransaction* writing = target->startTransaction(&status, 0, nullptr);
        int64_t roundTrips = 2; // the start and the commit
        for (size_t t = 0; t < all.size(); ++t) {
            const Table& table = kTables[t];
            std::string sql = std::string("insert into ") + table.name + " (" + table.columns +
                              ") values (" + Placeholders(table.columns) + ")";
            IStatement* insert = target->prepare(&status, writing, 0, sql.c_str(), 3, 0);
            Rows& rows = all[t];
            ++roundTrips; // the prepare
            for (size_t r = 0; r < rows.Count(); ++r)
                insert->execute(&status, writing, rows.metadata, rows.data.data() + r * rows.length,
                                nullptr, nullptr);
            roundTrips += static_cast<int64_t>(rows.Count());
            insert->free(&status);
        }
        writing->commit(&status);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        target->detach(&status);
        std::printf("figure bulk.seconds %.4f\n", seconds);
        std::printf("figure bulk.round_trips %lld\n", static_cast<long long>(roundTrips));
        size_t total = 0;
        for (size_t t = 0; t < all.size(); ++t) {
            std::printf("figure bulk.rows.%s %zu\n", kTables[t].name, all[t].Count());
            total += all[t].Count();
            all[t].metadata->release();
        }
        std::printf("figure bulk.rows.total %zu\n", total);
    } catch (const FbException& e) {
        char message[1024];
        master->getUtilInterface()->formatStatus(message, sizeof message, e.getStatus());
        std::cerr << "bench_bulk_load: " << message << "\n";
        return 1;
    }
    return 0;
}
