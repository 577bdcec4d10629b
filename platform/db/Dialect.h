// The dialect rules: a step picks its statement text by the connection's name
// (the name of the connection definition), compared whole and with letter case.
#pragma once

#include "platform/db/Connection.h"

namespace db {

// ConnectionName is exactly "OracleConnection".
bool IsOracle(const Connection& connection);
// ConnectionName is exactly "IBConnection".
bool IsInterBase(const Connection& connection);

// Two-way choice: the Oracle text on "OracleConnection", the InterBase text on
// any other name.
const char* TwoWay(const Connection& connection, const char* oracleText, const char* ibText);
// Guarded choice: the Oracle text on "OracleConnection", the InterBase text on
// "IBConnection", nullptr on any other name.
const char* Guarded(const Connection& connection, const char* oracleText, const char* ibText);

} // namespace db
