#include "platform/db/Dialect.h"

namespace db {

bool IsOracle(const Connection& connection) {
    return connection.ConnectionName() == "OracleConnection";
}

bool IsInterBase(const Connection& connection) {
    return connection.ConnectionName() == "IBConnection";
}

const char* TwoWay(const Connection& connection, const char* oracleText, const char* ibText) {
    return IsOracle(connection) ? oracleText : ibText;
}

const char* Guarded(const Connection& connection, const char* oracleText, const char* ibText) {
    if (IsOracle(connection))
        return oracleText;
    return IsInterBase(connection) ? ibText : nullptr;
}

} // namespace db
