#include "apps/updatedb/Cli.h"

#include "platform/db/ConnectionDefinitions.h"
#include "platform/db/Dialect.h"
#include "platform/text/StringList.h"

#include <cstdlib>
#include <optional>

namespace cli {
namespace {

// The password the options give, if any: the file's first line without its
// line end, or the environment variable. The text itself never goes into a
// message.
std::optional<std::string> GivenPassword(const GlobalOptions& options) {
    if (options.passwordGiven && !options.passwordFile.empty())
        throw UsageError{"--password and --password-file exclude each other"};
    if (options.passwordGiven)
        return options.password;
    if (!options.passwordFile.empty()) {
        std::string text = text::ReadFileBytes(options.passwordFile);
        std::string::size_type end = text.find_first_of("\r\n");
        return end == std::string::npos ? text : text.substr(0, end);
    }
    if (const char* variable = std::getenv(PasswordVariable))
        return std::string(variable);
    return std::nullopt;
}

} // namespace

std::unique_ptr<db::Connection> MakeConnection(const GlobalOptions& options) {
    auto connection = std::make_unique<db::Connection>();
    if (!options.database.empty() && !options.connectionsIni.empty())
        throw UsageError{"--database and --connections exclude each other"};
    const std::optional<std::string> password = GivenPassword(options);
    if (!options.database.empty()) {
        connection->SetConnectionName("IBConnection");
        connection->SetDriverName("Firebird");
        connection->Params().Add("Database=" + options.database);
        connection->Params().Add("User_Name=" + (options.userGiven ? options.user : "SYSDBA"));
        if (password)
            connection->Params().Add("Password=" + *password);
    } else if (!options.connectionsIni.empty()) {
        if (options.connectionName.empty())
            throw UsageError{"--connections needs --connection NAME"};
        db::ConfigureFromDefinition(*connection,
                                    db::LoadConnectionDefinitions(options.connectionsIni),
                                    options.connectionName);
        if (options.userGiven)
            connection->SetParamValue("User_Name", options.user);
        if (password)
            connection->SetParamValue("Password", *password);
    } else {
        throw UsageError{
            "no database: give --database FILE or --connections INI --connection NAME"};
    }
    if (options.lockTimeout >= 0)
        connection->SetParamValue("LockTimeout", std::to_string(options.lockTimeout));
    connection->SetLoginPrompt(false);
    if (options.oneByOne)
        connection->SetGrouping(false);
    return connection;
}

std::unique_ptr<db::Connection> OpenConnection(const GlobalOptions& options) {
    std::unique_ptr<db::Connection> connection = MakeConnection(options);
    db::SetOracleNumericFormat(*connection);
    return connection;
}

} // namespace cli
