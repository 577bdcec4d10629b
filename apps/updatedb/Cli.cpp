#include "apps/updatedb/Cli.h"

#include "platform/db/ConnectionDefinitions.h"

namespace cli {

std::unique_ptr<db::Connection> MakeConnection(const GlobalOptions& options) {
    auto connection = std::make_unique<db::Connection>();
    if (!options.database.empty() && !options.connectionsIni.empty())
        throw UsageError{"--database and --connections exclude each other"};
    if (!options.database.empty()) {
        connection->SetConnectionName("IBConnection");
        connection->SetDriverName("Firebird");
        connection->Params().Add("Database=" + options.database);
        connection->Params().Add("User_Name=" + (options.userGiven ? options.user : "SYSDBA"));
        if (options.passwordGiven)
            connection->Params().Add("Password=" + options.password);
    } else if (!options.connectionsIni.empty()) {
        if (options.connectionName.empty())
            throw UsageError{"--connections needs --connection NAME"};
        db::ConfigureFromDefinition(*connection, db::LoadConnectionDefinitions(options.connectionsIni),
                                    options.connectionName);
        if (options.userGiven)
            connection->SetParamValue("User_Name", options.user);
        if (options.passwordGiven)
            connection->SetParamValue("Password", options.password);
    } else {
        throw UsageError{"no database: give --database FILE or --connections INI --connection NAME"};
    }
    connection->SetLoginPrompt(false);
    return connection;
}

} // namespace cli
