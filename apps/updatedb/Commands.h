// The commands of the command-line tool, one function each. Every command
// returns its exit status; what it cannot handle it throws (Exception for a
// failure, UsageError for wrong usage), and main turns that into a message on
// stderr.
#pragma once

#include "apps/updatedb/Cli.h"

#include <string>
#include <vector>

namespace cli {

// Creates a Firebird database file with the schema of the normative base and
// one NAME_BASE row at price level 2. Refuses to overwrite an existing file;
// on failure removes what it created.
int InitCommand(const GlobalOptions& options, const std::string& file);

// Runs an SQL script (statements ended by ';', SET TERM understood) on the
// database. For filling a base to try the tool on.
int RunSqlCommand(const GlobalOptions& options, const std::string& file);

// Prints how many rows each table of the normative base holds, and the
// collections, norms and table entries.
int SummaryCommand(const GlobalOptions& options);

// Loads the collections with these codes (with their norms, tables and the
// sections they use) and writes them as a patch document to `outFile`
// (windows-1251; written beside it and renamed into place) or, when it is
// empty, to stdout (the same bytes). A code KOD_SBOR lacks fails with
// "Ошибка загрузки параметров по сборника работ." and writes nothing.
int ExportCommand(const GlobalOptions& options, const std::vector<int>& collections,
                  const std::string& outFile);

// Prints the object tree of a patch document. A document that does not parse
// or is no kod_pvr document fails with the reader's error text.
int ShowCommand(const std::string& patchFile);

struct ApplyOptions {
    std::string command = "apply"; // "apply" or "check", as the report names it
    std::string patch;
    bool renumber = false; // "Обновлять код поправок"
    bool noOthers = false; // "Расчет прочих" not ticked
    bool dryRun = false;   // check, apply --dry-run
    bool detail = false;   // --detail: each new or changed norm and entry in the report
    bool noCounts = false; // --no-counts: the save is not watched for the report
    std::string journal;   // --journal FILE; empty: none
    std::string report;    // --report FILE.json; empty: none
};

// The update run on the patch (a dry run with `dryRun`: nothing in the base
// changes). Prints each journal line to stdout as it is written, the host-log
// copies to stderr and, when the run got to its end, the change report's
// short table to stderr; writes the journal and the JSON report when asked,
// also when the run fails. Exit 1 when an error line was written, the run
// ended early, or the price level is not 2.
int ApplyCommand(const GlobalOptions& options, const ApplyOptions& apply);

// Deletes the table entries with that code. Exit 1 when the code is unknown
// (nothing is deleted) or the delete failed.
int DeleteCodeCommand(const GlobalOptions& options, const std::string& code);

// Runs a deletion script (windows-1251, statements separated by "^"). Exit 1
// when a statement failed; the others still ran.
int RunScriptCommand(const GlobalOptions& options, const std::string& file);

} // namespace cli
