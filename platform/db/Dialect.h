// The dialect rules: a step picks its statement text by the connection's name
// (the name of the connection definition), compared whole and with letter case.
#pragma once

#include "platform/db/Connection.h"

#include <string>

namespace db {

// The statement that makes a point the decimal separator of an Oracle session.
extern const char* const kOracleNumericFormat;

// ConnectionName is exactly "OracleConnection".
bool IsOracle(const Connection& connection);
// The connection's driver is Firebird (DriverName, letter case ignored): its
// statements may use what Firebird's SQL alone has.
bool IsFirebird(const Connection& connection);
// ConnectionName is exactly "IBConnection".
bool IsInterBase(const Connection& connection);

// Two-way choice: the Oracle text on "OracleConnection", the InterBase text on
// any other name.
const char* TwoWay(const Connection& connection, const char* oracleText, const char* ibText);
// Guarded choice: the Oracle text on "OracleConnection", the InterBase text on
// "IBConnection", nullptr on any other name.
const char* Guarded(const Connection& connection, const char* oracleText, const char* ibText);

// Runs kOracleNumericFormat directly on `connection` (connecting it if need be)
// when it is named exactly "OracleConnection"; does nothing on any other name.
// Every front end calls it on the connection it works on. Throws what the
// connection throws.
void SetOracleNumericFormat(Connection& connection);

// Recomputes the selectivity of every index of the base's own tables (SET
// STATISTICS INDEX), each in a transaction of its own, on a connection whose
// driver is Firebird or Interbase; does nothing on others and inside an
// explicit transaction. The engine keeps the selectivity it computed when the
// index was made or last set, so after a table filled up its joins scan it
// whole. Best effort: answers the number of indexes refreshed; an index that
// fails (another connection holds it) is left as it was.
int RefreshIndexStatistics(Connection& connection);

// The ODBC connection string for a connection's Database, User_Name and
// Password: `database` as it stands when it holds '=' (a whole connection
// string), else "DSN=" + `database`; then "UID=" user and "PWD=" password.
// The given ones are the only ones: a given user drops the UID and PWD keys the
// string holds (in any letter case), a given password its PWD; keys with
// nothing given for them stay. Values holding ';', '{', '}' or blanks are
// braced, a '}' in them doubled.
std::string OdbcConnectString(const std::string& database, const std::string& user,
                              const std::string& password);

} // namespace db
