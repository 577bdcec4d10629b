// What every command of the command-line tool shares: the global options, the
// connection they describe, and the exit statuses.
#pragma once

#include "platform/db/Connection.h"

#include <memory>
#include <string>

namespace cli {

// Exit statuses: 0 the work was done with no error line; 1 an error line was
// written, the run ended early or was refused; 2 wrong usage.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// A usage error found after parsing (a missing database, say): exit status 2.
struct UsageError {
    std::string message;
};

struct GlobalOptions {
    std::string database;       // --database FILE: embedded Firebird, "IBConnection"
    std::string connectionsIni; // --connections INI
    std::string connectionName; // --connection NAME
    std::string user;           // --user NAME (default SYSDBA for --database)
    std::string password;       // --password TEXT (seen by other users in the process list)
    std::string passwordFile;   // --password-file FILE: the password is its first line
    int lockTimeout = -1;       // --lock-timeout SECONDS; -1: the definition's or the default
    bool oneByOne = false;      // --one-statement-per-round-trip: no grouping, no knowledge
    bool userGiven = false;
    bool passwordGiven = false;
};

// The environment variable that gives the password when neither --password
// nor --password-file does.
constexpr const char* PasswordVariable = "UPDATEDB_PASSWORD";

// The connection the options describe, not yet opened. The password comes from
// --password, else the first line of --password-file, else UPDATEDB_PASSWORD,
// else the INI section (none for --database). --lock-timeout sets the
// connection parameter LockTimeout. Throws UsageError when they name
// no database or two password sources, Exception when the INI file or section
// is wrong or the password file cannot be read.
std::unique_ptr<db::Connection> MakeConnection(const GlobalOptions& options);

// MakeConnection, then the session settings every front end makes: on an
// "OracleConnection" the decimal point as numeric separator (which connects).
// Throws as MakeConnection, and what the connection throws.
std::unique_ptr<db::Connection> OpenConnection(const GlobalOptions& options);

} // namespace cli
