// The interface every database driver implements, and the registry that picks a
// driver by the connection's DriverName. A Connection owns one DriverConnection
// while connected; a DriverConnection owns nothing that outlives it except the
// statements it prepared, which the Connection releases before it.
#pragma once

#include "platform/db/Value.h"
#include "platform/text/Exception.h"
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

    // Runs the statement. Answers the rows it changed when the driver knows that
    // without asking the server again, else -1 (RowsAffected asks).
    // REQUIRES: no cursor of this statement is open.
    virtual int64_t Execute(const std::vector<BoundValue>& params) = 0;
    // The rows the last Execute changed; may cost a round trip. Default: -1
    // (unknown).
    virtual int64_t RowsAffected() { return -1; }
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

// A statement waiting to be sent together with others: its text and values.
struct GroupedStatement {
    const ParsedSql* sql = nullptr;
    const std::vector<BoundValue>* values = nullptr;
};

// A group of statements that failed part-way, thrown by
// DriverConnection::ExecuteGroup: statements [0, Done()) took effect; the ones
// from Done() to End() were sent together and undone with the one that failed;
// the ones from End() on were not sent. When Failed() holds an index, the
// statement there is the one that failed, with this message, and the ones
// before it in the undone part had not failed.
class EGroupFailed : public EDatabaseError {
public:
    EGroupFailed(const std::string& message, size_t done, size_t end,
                 std::optional<size_t> failed = std::nullopt)
        : EDatabaseError(message), m_done(done), m_end(end), m_failed(failed) {}
    size_t Done() const { return m_done; }
    size_t End() const { return m_end; }
    std::optional<size_t> Failed() const { return m_failed; }

private:
    size_t m_done;
    size_t m_end;
    std::optional<size_t> m_failed;
};

// The rows of one select run for several sets of values: the columns (upper
// case, as the result describes them) and, per set in order, its rows.
struct GroupedRows {
    std::vector<std::string> columns;
    std::vector<std::vector<std::vector<FieldValue>>> sets;
};

// One open session with a database. Outside StartTransaction..Commit/Rollback
// each statement's work is committed when it completes.
class DriverConnection {
public:
    virtual ~DriverConnection() = default;

    // Whether the driver sends statements together at all (ExecuteGroup,
    // SelectGroup). Default: no.
    virtual bool Groups() const { return false; }
    // Whether statements of this text may wait and travel with others: they
    // change rows and return nothing. Default: no. May prepare the text.
    virtual bool CanGroup(const ParsedSql&) { return false; }
    // Runs the statements in order in the explicit transaction, in as few
    // round trips as the driver can, each with the effect it has on its own.
    // Throws EGroupFailed when one fails. REQUIRES: CanGroup of every text, an
    // explicit transaction.
    virtual void ExecuteGroup(const std::vector<GroupedStatement>& statements) {
        throw EGroupFailed("группы операторов не поддерживаются", 0, statements.size());
    }
    // Runs the select once for every set of values, in as few round trips as
    // the driver can, and answers the rows of each set. Answers false when the
    // driver does not offer it (the caller runs the sets one by one). Throws
    // EDatabaseError when the sets could not be run together (the caller then
    // runs them one by one and learns which set fails).
    virtual bool SelectGroup(const ParsedSql&, const std::vector<std::vector<BoundValue>>&,
                             GroupedRows&) {
        return false;
    }
    // The calls so far that each cost one network round trip (counted from the
    // calls made, as the server would answer them). Default: 0 (not counted).
    virtual int64_t RoundTrips() const { return 0; }

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
