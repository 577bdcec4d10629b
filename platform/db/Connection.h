// A database connection as the program's connection component offers it: named
// settings, a parameter list, connect on first use, direct execution,
// transactions and the cache of prepared statements. The Connection owns its
// driver session and every prepared statement; Queries borrow statements from
// it and must not outlive it (a Connection destroyed first detaches them: they
// then raise EDatabaseError on use).
//
// Grouping. Each statement sent to a server costs a network round trip. Where
// the driver can, statements that change rows and return nothing, run inside
// an explicit transaction, wait on the connection and travel together: they
// are sent before the next statement that reads or that cannot wait, at the
// commit, and whenever many wait. Each has the effect it has on its own, in
// the order run; a failing one fails with its own message (EStatementFailed).
// The connection counts what it sends.
#pragma once

#include "platform/db/Driver.h"
#include "platform/db/SqlText.h"
#include "platform/text/StringList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace db {

class Query;

// Counters of the driver work a connection did; for benchmarks and tests.
struct ConnectionStatistics {
    int64_t prepares = 0;   // statements prepared by the driver
    int64_t executions = 0; // statements run (ExecuteDirect, each set of a grouped
                            // select and each waiting statement included)
    int64_t cacheHits = 0;  // prepared statements handed out again
    int64_t grouped = 0;    // of the executions, the statements that travelled together
    int64_t roundTrips = 0; // calls that cost a network round trip (see the driver)
};

// A statement that waited on the connection and failed when it was sent (or,
// sent on its own, failed as it ran). The message is the one the statement
// gives when run on its own. The statements run before it took effect; it and
// the ones that waited after it did not and are dropped. Serial() is the
// statement's number among the statements run on the connection
// (Connection::LastSerial when it was run). Origin() is what the Query that
// ran it said the statement came from (Query::SetOrigin; nullptr when it said
// nothing): the object of the caller that wrote it, opaque to this layer.
class EStatementFailed : public EDatabaseError {
public:
    EStatementFailed(const std::string& message, int64_t serial, const void* origin = nullptr)
        : EDatabaseError(message), m_serial(serial), m_origin(origin) {}
    int64_t Serial() const { return m_serial; }
    const void* Origin() const { return m_origin; }

private:
    int64_t m_serial;
    const void* m_origin;
};

// A prepared statement kept by the connection, and whether a Query holds it.
struct CachedStatement {
    std::string sql;
    std::unique_ptr<DriverStatement> statement;
    bool inUse = false;
    bool cached = false; // kept for reuse when released
};

class Connection {
public:
    Connection();
    // Closes the session; Queries still alive are detached (see above).
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The settings, kept as given: the name of the connection definition, the
    // driver name that selects the driver (Firebird, Interbase, Oracle, ODBC),
    // and the driver entry, library and vendor library names (informational).
    const std::string& ConnectionName() const { return m_connectionName; }
    void SetConnectionName(std::string name) { m_connectionName = std::move(name); }
    const std::string& DriverName() const { return m_driverName; }
    void SetDriverName(std::string name) { m_driverName = std::move(name); }
    const std::string& GetDriverFunc() const { return m_getDriverFunc; }
    void SetGetDriverFunc(std::string name) { m_getDriverFunc = std::move(name); }
    const std::string& LibraryName() const { return m_libraryName; }
    void SetLibraryName(std::string name) { m_libraryName = std::move(name); }
    const std::string& VendorLib() const { return m_vendorLib; }
    void SetVendorLib(std::string name) { m_vendorLib = std::move(name); }
    // Default: true. Nothing here prompts; the flag is kept and copied.
    bool LoginPrompt() const { return m_loginPrompt; }
    void SetLoginPrompt(bool prompt) { m_loginPrompt = prompt; }

    // name=value lines: Database, User_Name, Password, RowsetSize, and for the
    // Firebird driver LockTimeout and ConnectTimeout (see FirebirdDriver.cpp)
    text::StringList& Params() { return m_params; }
    const text::StringList& Params() const { return m_params; }
    // The value of the first line whose name matches without regard to letter
    // case; "" when there is none.
    std::string ParamValue(const std::string& name) const;
    // Replaces the value of that line, or adds a line.
    void SetParamValue(const std::string& name, const std::string& value);
    // Copies every setting and parameter of `other` (not its session).
    void AssignSettings(const Connection& other);

    // Connects with the driver named by DriverName. Does nothing when connected.
    // Throws EDatabaseError naming the driver, database and user (never the
    // password) and the reason when the driver is unknown or the connect fails.
    void Open();
    // Ends the session: an open explicit transaction is rolled back, Queries keep
    // their texts and parameters but lose their statements. Never throws.
    void Close();
    bool Connected() const { return m_session != nullptr; }
    // Creates the database named by Database (Firebird: a new file, character
    // set WIN1251) and leaves the connection open on it. Throws EDatabaseError
    // when connected already, the driver cannot create databases, or it fails.
    void CreateDatabase();

    // Executes a statement without parameters and without a result; connects
    // first when needed.
    void ExecuteDirect(const std::string& sql);

    // An explicit transaction: every statement until Commit/Rollback runs in it.
    // Outside one, each statement's work is committed when it completes.
    // StartTransaction throws EDatabaseError when one is active already;
    // Commit/Rollback throw when none is.
    void StartTransaction(const TransactionDesc& desc);
    void Commit(const TransactionDesc& desc);
    void Rollback(const TransactionDesc& desc);
    bool InTransaction() const { return m_inTransaction; }

    // The plan of a statement text (see SqlPlan), read once per text and kept
    // for the texts seen last; the same text answers the same plan. Never throws
    // for a text it can read (every text).
    std::shared_ptr<const SqlPlan> Plan(const std::string& sql);

    // Default: on. Off: every Query prepares its own statement and frees it.
    void SetStatementCache(bool on);
    bool StatementCache() const { return m_cacheOn; }
    ConnectionStatistics Statistics() const;
    void ResetStatistics();

    // Default: on. Off: every statement is sent on its own as it runs (one
    // statement per row, for comparison), and a save asks the base about each
    // row it writes.
    void SetGrouping(bool on);
    bool Grouping() const { return m_grouping; }
    // Grouping is on and the open session's driver sends statements together.
    bool Groups() const;
    // Sends the statements that wait. Throws EStatementFailed when one fails
    // (see there); throws what the driver throws when the connection fails.
    void Flush();
    // Runs `action` once every statement waiting now has been sent and has
    // taken effect; at once when none waits. Dropped, never run, when one of
    // them fails or the transaction ends without them (rollback, close).
    void WhenSent(std::function<void()> action);
    // The serial of the statement run last (0 before any); see EStatementFailed.
    int64_t LastSerial() const { return m_serial; }

private:
    friend class Query;
    friend class SelectGroup;
    // A statement waiting to be sent, and an action waiting for the statements
    // queued before it.
    struct Waiting {
        std::shared_ptr<const SqlPlan> plan;
        std::vector<BoundValue> values;
        int64_t serial = 0;
        const void* origin = nullptr;
    };
    struct WaitingAction {
        size_t after = 0; // the number of statements that must be sent first
        std::function<void()> action;
    };

    // A prepared statement for the text, not in use by anyone else; connects
    // first when needed. Throws EDatabaseError when the prepare fails.
    CachedStatement* AcquireStatement(const ParsedSql& sql);
    // Gives the statement back (cursor closed); it is kept or freed.
    void ReleaseStatement(CachedStatement* statement);
    // A new statement runs: counts it and answers its serial.
    int64_t CountExecution() {
        ++m_statistics.executions;
        return ++m_serial;
    }
    // Keeps the statement to be sent later when grouping allows it (answers
    // true); false when it must run now. May send the waiting ones (throws as
    // Flush).
    bool Enqueue(const std::shared_ptr<const SqlPlan>& plan, std::vector<BoundValue> values,
                 const void* origin);
    // Runs one waiting statement on its own; throws what it throws.
    void ExecuteWaiting(const Waiting& statement);
    // Statement `failed` of `sent` failed with `message`: runs the actions that
    // follow only statements before it, drops the rest, and throws.
    [[noreturn]] void FailSent(std::vector<Waiting>& sent, std::vector<WaitingAction>& actions,
                               size_t failed, const std::string& message);
    // Drops what waits (the transaction ends without it).
    void DiscardWaiting();
    // The rows of a select for each set of values (see SelectGroup).
    void RunSelectGroup(const SqlPlan& plan, const std::vector<std::vector<BoundValue>>& sets,
                        GroupedRows& rows, std::vector<std::string>& errors);
    void DropFreeStatements();
    void Attach(Query* query) { m_queries.push_back(query); }
    void Detach(Query* query);
    ConnectSettings Settings() const;

    std::string m_connectionName;
    std::string m_driverName;
    std::string m_getDriverFunc;
    std::string m_libraryName;
    std::string m_vendorLib;
    bool m_loginPrompt = true;
    text::StringList m_params;

    std::unique_ptr<DriverConnection> m_session;
    bool m_inTransaction = false;
    bool m_cacheOn = true;
    bool m_grouping = true;
    ConnectionStatistics m_statistics;
    int64_t m_roundTripsBefore = 0;  // of sessions closed since the last reset
    int64_t m_roundTripsAtReset = 0; // the open session's count at the last reset
    int64_t m_serial = 0;
    std::vector<Waiting> m_waiting;
    std::vector<WaitingAction> m_actions;
    // Whether the open session may group a text, by text.
    std::unordered_map<std::string, bool> m_groupable;
    // Prepared statements by text; each entry in use by at most one Query.
    std::unordered_map<std::string, std::vector<std::unique_ptr<CachedStatement>>> m_statements;
    // Plans by text; a Query keeps its own share, so dropping them is safe.
    std::unordered_map<std::string, std::shared_ptr<const SqlPlan>> m_plans;
    std::vector<Query*> m_queries; // in the order attached; the newest mostly goes first
};

} // namespace db
