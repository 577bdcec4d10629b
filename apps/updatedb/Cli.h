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
    std::string database;        // --database FILE: embedded Firebird, "IBConnection"
    std::string connectionsIni;  // --connections INI
    std::string connectionName;  // --connection NAME
    std::string user;            // --user NAME (default SYSDBA for --database)
    std::string password;        // --password TEXT
    bool userGiven = false;
    bool passwordGiven = false;
};

// The connection the options describe, not yet opened. Throws UsageError when
// they name no database, Exception when the INI file or section is wrong.
std::unique_ptr<db::Connection> MakeConnection(const GlobalOptions& options);

} // namespace cli
