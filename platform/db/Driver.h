// The interface every database driver implements, and the registry that picks a
// driver by the connection's DriverName. A Connection owns one DriverConnection
// while connected; a DriverConnection owns nothing that outlives it except the
// statements it prepared, which the Connection releases before it.
#pragma once

#include "platform/db/Value.h"
#include "platform/text/StringList.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db {

// Transaction isolation levels of the connection components.
enum class Isolation { ReadCommitted, RepeatableRead, DirtyRead };

struct TransactionDesc {
    int TransactionID = 1;
    Isolation IsolationLevel = Isolation::ReadCommitted;
    int GlobalID = 0;
};

// A statement text split for a driver: `positional` has each parameter token
// replaced by '?', `names` lists the parameters in the order of the '?' marks
// (a name may repeat), spelt as written in `original`.
struct ParsedSql {
    std::string original;
    std::string positional;
    std::vector<std::string> names;
};

// What a driver needs to connect: the connection's settings and parameters.
struct ConnectSettings {
    std::string connectionName;
    std::string driverName;
    std::string database;
    std::string userName;
    std::string password;
    text::StringList params; // all name=value lines, Database etc. included

    // The value of the first parameter line whose name matches without regard
    // to letter case; "" when there is none.
    std::string Param(const std::string& name) const;
};

// The same search over any list of name=value lines.
std::string ParamValue(const text::StringList& params, const std::string& name);

// A prepared statement. Execute runs it with one value per '?' mark; when the
// statement yields rows, they are read with Fetch and Column until CloseCursor
// or until Fetch answers false. Every failure throws EDatabaseError.
class DriverStatement {
public:
    virtual ~DriverStatement() = default;

    // Runs the statement; answers the number of rows it changed (0 when unknown).
    // REQUIRES: no cursor of this statement is open.
    virtual int64_t Execute(const std::vector<BoundValue>& params) = 0;
    // True when the last Execute left rows to read.
    virtual bool HasCursor() const = 0;
    // Column names in upper case, as the result describes them.
    virtual const std::vector<std::string>& Columns() const = 0;
    // Moves to the next row; false (and the cursor closed) at the end or when
    // the cursor was closed by the end of its transaction.
    virtual bool Fetch() = 0;
    // REQUIRES: the last Fetch answered true; 0 <= index < Columns().size().
    virtual FieldValue Column(int index) = 0;
    // Closes an open cursor; does nothing when none is open. Never throws.
    virtual void CloseCursor() = 0;
    // True for statements that change the schema; those are not kept in the
    // statement cache, and preparing one drops the cached statements.
    virtual bool IsSchemaChange() const { return false; }
};

// One open session with a database. Outside StartTransaction..Commit/Rollback
// each statement's work is committed when it completes.
class DriverConnection {
public:
    virtual ~DriverConnection() = default;

    virtual std::unique_ptr<DriverStatement> Prepare(const ParsedSql& sql) = 0;
    // Executes a statement text without parameters and without a result.
    virtual void ExecuteDirect(const std::string& sql) = 0;
    virtual void StartTransaction(const TransactionDesc& desc) = 0;
    // End the explicit transaction; cursors opened inside it are closed.
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
};

// A driver: how to connect and, where the engine can, how to create a database.
struct Driver {
    std::function<std::unique_ptr<DriverConnection>(const ConnectSettings&)> connect;
    // Empty when the driver cannot create databases.
    std::function<std::unique_ptr<DriverConnection>(const ConnectSettings&)> createDatabase;
};

// Registers (or replaces) the driver for a DriverName, compared without regard
// to letter case. Answers the driver it replaced (empty functions when none), so
// a caller can put it back.
Driver RegisterDriver(const std::string& driverName, Driver driver);
// Answers the driver registered for the name, or nothing for an unknown name.
// The built-in drivers are "Firebird", "Interbase", "Oracle" and "ODBC".
std::optional<Driver> FindDriver(const std::string& driverName);

} // namespace db
