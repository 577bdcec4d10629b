#include "apps/updatedb/Commands.h"

#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/text/Exception.h"

#include <ctime>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace cli {
namespace {

// model/schema/firebird.sql, built into the program so that init needs no
// installed data files.
const char* const FirebirdSchema =
#include "schema_firebird.inc"
    ;

std::string CurrentYear() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::to_string(local.tm_year + 1900);
}

void FillNewBase(db::Connection& connection) {
    db::ExecuteScript(connection, FirebirdSchema);
    db::Query query(connection);
    query.SetSQL("insert into NAME_BASE (name, base_god, type_code) values (:name, :base_god, :type_code)");
    query.ParamByName("name").SetString("Сметно-нормативная база");
    query.ParamByName("base_god").SetString(CurrentYear());
    query.ParamByName("type_code").SetInteger(2);
    query.ExecSQL();
}

} // namespace

int InitCommand(const GlobalOptions& options, const std::string& file) {
    if (!options.database.empty() || !options.connectionsIni.empty())
        throw UsageError{"init takes the database file as its argument, not --database"};
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        throw Exception("Файл \"" + file + "\" уже существует; init не перезаписывает базы");

    GlobalOptions target = options;
    target.database = file;
    auto connection = MakeConnection(target);
    try {
        connection->CreateDatabase();
        FillNewBase(*connection);
        connection->Close();
    } catch (...) {
        connection.reset();
        std::filesystem::remove(file, ec);
        throw;
    }
    std::cerr << "Создана база " << file << "\n";
    return ExitOk;
}

} // namespace cli
