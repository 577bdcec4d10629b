#include "tests/support/TempDatabase.h"

#include "platform/db/Script.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

#include <filesystem>
#include <vector>

namespace testsupport {

void ConfigureFirebird(db::Connection& connection, const std::string& path,
                       const std::string& name) {
    connection.SetConnectionName(name);
    connection.SetDriverName("Firebird");
    connection.SetLoginPrompt(false);
    connection.Params().Clear();
    connection.SetParamValue("Database", path);
    connection.SetParamValue("User_Name", "SYSDBA");
    connection.SetParamValue("Password", "masterkey");
}

TempDatabase::TempDatabase(const std::string& schemaScriptPath)
    : m_folder(MakeTempFolder("updatedb-test")), m_path(m_folder + "/test.fdb"),
      m_connection(std::make_unique<db::Connection>()) {
    try {
        ConfigureFirebird(*m_connection, m_path);
        m_connection->CreateDatabase();
        if (!schemaScriptPath.empty())
            db::ExecuteScript(*m_connection, text::ReadFileBytes(schemaScriptPath));
    } catch (...) {
        m_connection.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        throw;
    }
}

TempDatabase::~TempDatabase() {
    m_connection.reset();
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

std::unique_ptr<db::Connection> TempDatabase::NewConnection(const std::string& name) const {
    auto connection = std::make_unique<db::Connection>();
    ConfigureFirebird(*connection, m_path, name);
    return connection;
}

} // namespace testsupport
