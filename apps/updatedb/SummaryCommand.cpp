#include "apps/updatedb/Commands.h"

#include "platform/db/Query.h"

#include <iostream>

namespace cli {
namespace {

const char* const Tables[] = {"NAME_BASE", "KOD_SBOR", "KOD_RAZD", "KOD_PVR", "SOST_PVR",
                              "KOD_TABL",  "TRUDOZ",   "ZARP",     "CNIR",    "MASH",
                              "NOM_MAT",   "NOM_MASH", "KOD_OKP",  "N_MASHP", "N_PROC"};

void PrintCounts(db::Connection& connection) {
    std::cout << "Строк в таблицах:\n";
    for (const char* table : Tables) {
        db::Query query(connection);
        query.SetSQL(std::string("select count(*) as n from ") + table);
        query.Open();
        std::cout << "  " << table << ": " << query.FieldByName("n").AsString() << "\n";
    }
}

void PrintNorms(db::Connection& connection) {
    db::Query norms(connection);
    norms.SetSQL("select S.kod_sb, S.naim_sb, P.kod_pvr, P.naim_pvr from KOD_SBOR S, KOD_PVR P "
                 "where P.kod_sb = S.kod_sb order by S.kod_sb, P.kod_pvr");
    db::Query entries(connection);
    entries.SetSQL("select n_tabl, kod_tabl, naim_tabl from KOD_TABL where kod_pvr = :kod_pvr "
                   "order by n_tabl");
    std::string collection;
    for (norms.Open(); !norms.Eof(); norms.Next()) {
        if (norms.FieldByName("kod_sb").AsString() != collection) {
            collection = norms.FieldByName("kod_sb").AsString();
            std::cout << "Сборник " << collection << " " << norms.FieldByName("naim_sb").AsString()
                      << "\n";
        }
        std::cout << "  " << norms.FieldByName("kod_pvr").AsString() << " "
                  << norms.FieldByName("naim_pvr").AsString() << "\n";
        entries.Close();
        entries.ParamByName("kod_pvr").SetString(norms.FieldByName("kod_pvr").AsString());
        for (entries.Open(); !entries.Eof(); entries.Next())
            std::cout << "    " << entries.FieldByName("n_tabl").AsString() << " "
                      << entries.FieldByName("kod_tabl").AsString() << " "
                      << entries.FieldByName("naim_tabl").AsString() << "\n";
    }
}

} // namespace

int SummaryCommand(const GlobalOptions& options) {
    auto connection = OpenConnection(options);
    connection->Open();
    PrintCounts(*connection);
    PrintNorms(*connection);
    return ExitOk;
}

} // namespace cli
