// The commands of the command-line tool, one function each. Every command
// returns its exit status; what it cannot handle it throws (Exception for a
// failure, UsageError for wrong usage), and main turns that into a message on
// stderr.
#pragma once

#include "apps/updatedb/Cli.h"

#include <string>

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

} // namespace cli
