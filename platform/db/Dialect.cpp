#include "platform/db/Dialect.h"

#include "platform/db/Query.h"
#include "platform/text/Exception.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace db {

const char* const kOracleNumericFormat = "ALTER SESSION SET NLS_NUMERIC_CHARACTERS=\".,\"";

namespace {

// Whether the key of one "key=value" item of a connection string is `key`,
// blanks around it and letter case aside.
bool KeyIs(std::string_view item, std::string_view key) {
    const size_t equals = item.find('=');
    std::string_view name = item.substr(0, equals == std::string_view::npos ? 0 : equals);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front())))
        name.remove_prefix(1);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.remove_suffix(1);
    if (name.size() != key.size())
        return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != key[i])
            return false;
    return true;
}

// The length of the item at the start of `rest`: up to the ';' that ends it,
// a braced value ("{...}", "}}" standing for '}') read whole.
size_t ItemLength(std::string_view rest) {
    size_t i = rest.find('=');
    if (i == std::string_view::npos)
        return rest.find(';') == std::string_view::npos ? rest.size() : rest.find(';');
    ++i;
    while (i < rest.size() && rest[i] == ' ')
        ++i;
    if (i < rest.size() && rest[i] == '{') {
        for (++i; i < rest.size(); ++i) {
            if (rest[i] != '}')
                continue;
            if (i + 1 < rest.size() && rest[i + 1] == '}')
                ++i;
            else
                break;
        }
    }
    const size_t end = rest.find(';', i);
    return end == std::string_view::npos ? rest.size() : end;
}

std::string OdbcValue(const std::string& value) {
    if (value.find_first_of(";{} \t") == std::string::npos)
        return value;
    std::string braced = "{";
    for (char c : value)
        braced += c == '}' ? std::string("}}") : std::string(1, c);
    return braced + "}";
}

} // namespace

bool IsOracle(const Connection& connection) {
    return connection.ConnectionName() == "OracleConnection";
}

bool IsInterBase(const Connection& connection) {
    return connection.ConnectionName() == "IBConnection";
}

namespace {

bool DriverIs(const Connection& connection, std::string_view name) {
    const std::string& driver = connection.DriverName();
    return driver.size() == name.size() &&
           std::equal(driver.begin(), driver.end(), name.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

bool IsFirebird(const Connection& connection) {
    return DriverIs(connection, "Firebird");
}

int RefreshIndexStatistics(Connection& connection) {
    if (!(IsFirebird(connection) || DriverIs(connection, "Interbase")) ||
        connection.InTransaction())
        return 0;
    std::vector<std::string> names;
    try {
        Query query(connection);
        query.SetSQL(
            "select trim(rdb$index_name) from rdb$indices "
            "where coalesce(rdb$system_flag, 0) = 0 and rdb$index_inactive is distinct from 1");
        query.Open();
        for (; !query.Eof(); query.Next())
            names.push_back(query.FieldAt(0).AsString());
        query.Close();
    } catch (const EDatabaseError&) {
        return 0;
    }
    int refreshed = 0;
    for (const std::string& name : names) {
        // Index names are the engine's own identifiers, quoted as such.
        std::string quoted = "\"";
        for (char c : name)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        quoted += "\"";
        try {
            connection.ExecuteDirect("SET STATISTICS INDEX " + quoted);
            ++refreshed;
        } catch (const EDatabaseError&) {
            // Left as it was; the export is slower, nothing is wrong.
        }
    }
    return refreshed;
}

const char* TwoWay(const Connection& connection, const char* oracleText, const char* ibText) {
    return IsOracle(connection) ? oracleText : ibText;
}

const char* Guarded(const Connection& connection, const char* oracleText, const char* ibText) {
    if (IsOracle(connection))
        return oracleText;
    return IsInterBase(connection) ? ibText : nullptr;
}

void SetOracleNumericFormat(Connection& connection) {
    if (IsOracle(connection))
        connection.ExecuteDirect(kOracleNumericFormat);
}

std::string OdbcConnectString(const std::string& database, const std::string& user,
                              const std::string& password) {
    const std::string whole =
        database.find('=') == std::string::npos ? "DSN=" + database : database;
    std::string out;
    std::string_view rest = whole;
    while (!rest.empty()) {
        const size_t length = ItemLength(rest);
        const std::string_view item = rest.substr(0, length);
        rest.remove_prefix(std::min(length + 1, rest.size()));
        const bool replaced = (!user.empty() && KeyIs(item, "UID")) ||
                              ((!user.empty() || !password.empty()) && KeyIs(item, "PWD"));
        if (replaced || item.empty())
            continue;
        out += (out.empty() ? "" : ";") + std::string(item);
    }
    if (!user.empty())
        out += (out.empty() ? "UID=" : ";UID=") + OdbcValue(user);
    if (!password.empty())
        out += (out.empty() ? "PWD=" : ";PWD=") + OdbcValue(password);
    return out;
}

} // namespace db
