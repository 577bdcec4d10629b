// The Firebird driver, over the client library's object API. Outside an
// explicit transaction every statement that changes data runs in a transaction
// of its own that is committed as soon as the statement completes. Selects
// there share one read-only read-committed transaction that stays open: it
// sees every committed change as a transaction of its own would, and saves a
// transaction start (a header-page write) per select. A cursor keeps the
// transaction it was opened in until it is closed, so committing other
// statements never closes an open cursor. Inside an explicit
// transaction everything runs in it, and its end closes the cursors opened in it.
//
// Beside Database, User_Name and Password the driver reads two connection
// parameters, each in whole seconds:
//   LockTimeout     how long a statement waits for a row that another
//                   connection has changed and not yet committed or rolled back,
//                   before it fails with a lock conflict; 0 does not wait.
//                   Default 60.
//   ConnectTimeout  how long connecting to a server may take before it fails
//                   (a host that does not answer). Default 15.
// and one more:
//   GroupStatements where statements travel together (see Connection): "auto"
//                   on a server only, where each one saved is a network round
//                   trip (an embedded file runs each at once, which is as
//                   fast there); "always" on an embedded file too (tests of
//                   grouping use it). Default auto.
#include "platform/db/BuiltinDrivers.h"
#include "platform/db/FirebirdGroups.h"
#include "platform/db/FirebirdSupport.h"
#include "platform/db/FirebirdValues.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <thread>

using namespace Firebird;

namespace db {
namespace {

IMaster* Master() {
    return FirebirdMaster();
}

using Status = FirebirdStatus;

std::string Describe(const FbException& e) {
    return DescribeStatus(e.getStatus());
}

constexpr int DefaultLockTimeout = 60;
constexpr int DefaultConnectTimeout = 15;
constexpr int MaxSeconds = 32767; // the engine keeps a lock timeout in 16 bits
// Round trips of an attach to a server: the login exchange and the wire
// encryption's keys.
constexpr int AttachRoundTrips = 4;

// lockTimeout: the waiting time of the failed statement's transaction, for
// the note on lock conflicts.
[[noreturn]] void Raise(const FbException& e, const std::string& sql, int lockTimeout) {
    throw EDatabaseError(StatementError(e.getStatus(), sql, lockTimeout));
}

// The whole seconds a parameter gives; `fallback` when it is absent or empty.
// Throws EDatabaseError naming the parameter when it is no whole number from
// `least` to MaxSeconds.
int SecondsParam(const ConnectSettings& settings, const char* name, int fallback, int least) {
    const std::string value = text::Trim(settings.Param(name));
    if (value.empty())
        return fallback;
    int seconds = 0;
    const char* end = value.data() + value.size();
    auto [stop, error] = std::from_chars(value.data(), end, seconds);
    if (error != std::errc() || stop != end || seconds < least || seconds > MaxSeconds)
        throw EDatabaseError(std::string("неверное значение параметра ") + name + " \"" + value +
                             "\": нужно целое число секунд от " + std::to_string(least) +
                             " до " + std::to_string(MaxSeconds));
    return seconds;
}

// Ends a transaction the program no longer needs, ignoring failures; counts
// the call in `roundTrips`.
void Discard(ITransaction*& transaction, int64_t& roundTrips) {
    if (!transaction)
        return;
    ++roundTrips;
    try {
        Status status;
        transaction->rollback(status.get());
    } catch (const FbException&) {
        transaction->release();
    }
    transaction = nullptr;
}

class FirebirdStatement;

class FirebirdSession : public DriverConnection {
public:
    // `together`: whether statements travel together (GroupStatements).
    FirebirdSession(IAttachment* attachment, int lockTimeout, bool together)
        : m_attachment(attachment), m_lockTimeout(lockTimeout), m_together(together),
          m_groups(attachment, &m_roundTrips, lockTimeout) {
        m_roundTrips = AttachRoundTrips;
    }
    ~FirebirdSession() override;

    std::unique_ptr<DriverStatement> Prepare(const ParsedSql& sql) override;
    void ExecuteDirect(const std::string& sql) override;
    void StartTransaction(const TransactionDesc& desc) override;
    void Commit() override;
    void Rollback() override;
    bool Groups() const override { return true; }
    bool CanGroup(const ParsedSql& sql) override;
    void ExecuteGroup(const std::vector<GroupedStatement>& statements) override;
    bool SelectGroup(const ParsedSql& sql, const std::vector<std::vector<BoundValue>>& sets,
                     GroupedRows& rows) override;
    int64_t RoundTrips() const override { return m_roundTrips; }

    // Counts calls that cost a round trip (see firebird-round-trips notes:
    // attach 4; prepare, execute, an open cursor with its first rows, start,
    // commit, rollback, a direct statement, an info request 1 each; a further
    // batch of rows 1; freeing and closing 0).
    void Trip(int calls = 1) { m_roundTrips += calls; }
    int64_t& TripCounter() { return m_roundTrips; }
    // Prepared statements may name what a schema change replaced.
    void SchemaChanged() { m_groups.Forget(); }

    IAttachment* Attachment() const { return m_attachment; }
    int LockTimeout() const { return m_lockTimeout; }
    ITransaction* Explicit() const { return m_explicit; }
    // A transaction for one statement outside the explicit one.
    ITransaction* StartOwn(bool readOnly);
    void CommitOwn(ITransaction*& transaction);
    // The shared read-only transaction for selects outside the explicit one,
    // started on first use. Each cursor opened in it is counted with
    // OpenedReading and given back with ClosedReading.
    ITransaction* Reading();
    void OpenedReading(ITransaction* transaction) { ++m_readers[transaction]; }
    void ClosedReading(ITransaction* transaction);
    // Schema changes come next: the shared transaction is committed (once its
    // open cursors are closed) and the next select starts a new one.
    void RetireReading();
    // Throws the engine's error as EDatabaseError, naming the statement.
    [[noreturn]] void Fail(const FbException& e, const std::string& sql) const {
        Raise(e, sql, m_lockTimeout);
    }
    void Register(FirebirdStatement* statement) { m_statements.insert(statement); }
    void Unregister(FirebirdStatement* statement) { m_statements.erase(statement); }

private:
    ITransaction* Start(Isolation isolation, bool readOnly);
    void CloseExplicitCursors();

    IAttachment* m_attachment;
    int m_lockTimeout; // seconds; 0: no waiting
    bool m_together;
    int64_t m_roundTrips = 0;
    FirebirdGroups m_groups;
    ITransaction* m_explicit = nullptr;
    ITransaction* m_reading = nullptr;
    std::map<ITransaction*, int> m_readers; // open cursors per shared transaction
    std::set<FirebirdStatement*> m_statements;
};

class FirebirdStatement : public DriverStatement {
public:
    FirebirdStatement(FirebirdSession& session, const ParsedSql& sql);
    ~FirebirdStatement() override;

    int64_t Execute(const std::vector<BoundValue>& params) override;
    int64_t RowsAffected() override;
    bool HasCursor() const override { return m_cursor != nullptr || m_rowPending; }
    const std::vector<std::string>& Columns() const override { return m_output.Names(); }
    bool Fetch() override;
    FieldValue Column(int index) override;
    void CloseCursor() override;
    bool IsSchemaChange() const override { return m_type == isc_info_sql_stmt_ddl; }
    // Whether an open cursor runs in the explicit transaction.
    bool CursorInExplicit() const { return m_cursor && !m_ownTransaction && !m_sharedTransaction; }

private:
    void Run(ITransaction* transaction);
    // Runs a select in the shared read-only transaction; false when it must
    // run in a read-write transaction instead.
    bool ExecuteReading();
    // Runs a schema change in a transaction of its own and commits it (see
    // the definition).
    void ExecuteSchemaChange();

    FirebirdSession& m_session;
    std::string m_sql;
    IStatement* m_statement = nullptr;
    unsigned m_type = 0;
    bool m_hasCursor = false;
    InputMessage m_input;
    OutputMessage m_output;
    IResultSet* m_cursor = nullptr;
    ITransaction* m_ownTransaction = nullptr;    // of the open cursor, outside the explicit one
    ITransaction* m_sharedTransaction = nullptr; // the shared one the open cursor runs in
    ITransaction* m_rowTransaction = nullptr;    // where blobs of the current row are read
    bool m_rowPending = false;                   // a procedure's output row not yet fetched
    Status m_status; // for the calls of every execution: one status object, not one per call
    bool m_rowValid = false;
    size_t m_fetched = 0; // rows of the open cursor fetched so far
};

FirebirdSession::~FirebirdSession() {
    Discard(m_explicit, m_roundTrips);
    for (auto& [transaction, cursors] : m_readers) {
        ITransaction* retired = transaction;
        if (retired != m_reading)
            Discard(retired, m_roundTrips);
    }
    Discard(m_reading, m_roundTrips);
    m_groups.Forget();
    try {
        Status status;
        m_attachment->detach(status.get());
    } catch (const FbException&) {
        m_attachment->release();
    }
}

ITransaction* FirebirdSession::Start(Isolation isolation, bool readOnly) {
    Status status;
    IXpbBuilder* tpb =
        Master()->getUtilInterface()->getXpbBuilder(status.get(), IXpbBuilder::TPB, nullptr, 0);
    try {
        tpb->insertTag(status.get(), readOnly ? isc_tpb_read : isc_tpb_write);
        if (isolation == Isolation::RepeatableRead) {
            tpb->insertTag(status.get(), isc_tpb_concurrency);
        } else {
            tpb->insertTag(status.get(), isc_tpb_read_committed);
            tpb->insertTag(status.get(), isc_tpb_rec_version);
        }
        if (m_lockTimeout > 0) {
            tpb->insertTag(status.get(), isc_tpb_wait);
            tpb->insertInt(status.get(), isc_tpb_lock_timeout, m_lockTimeout);
        } else {
            tpb->insertTag(status.get(), isc_tpb_nowait);
        }
        Trip();
        ITransaction* transaction = m_attachment->startTransaction(
            status.get(), tpb->getBufferLength(status.get()), tpb->getBuffer(status.get()));
        tpb->dispose();
        return transaction;
    } catch (const FbException& e) {
        tpb->dispose();
        Fail(e, "");
    }
}

ITransaction* FirebirdSession::StartOwn(bool readOnly) {
    return Start(Isolation::ReadCommitted, readOnly);
}

void FirebirdSession::CommitOwn(ITransaction*& transaction) {
    try {
        Status status;
        Trip();
        transaction->commit(status.get());
        transaction = nullptr;
    } catch (const FbException& e) {
        Discard(transaction, m_roundTrips);
        Fail(e, "");
    }
}

ITransaction* FirebirdSession::Reading() {
    if (!m_reading)
        m_reading = Start(Isolation::ReadCommitted, true);
    return m_reading;
}

void FirebirdSession::ClosedReading(ITransaction* transaction) {
    auto it = m_readers.find(transaction);
    if (it == m_readers.end() || --it->second > 0)
        return;
    m_readers.erase(it);
    if (transaction != m_reading)
        CommitOwn(transaction);
}

void FirebirdSession::RetireReading() {
    if (!m_reading)
        return;
    ITransaction* retiring = m_reading;
    m_reading = nullptr;
    if (m_readers.find(retiring) == m_readers.end())
        CommitOwn(retiring);
}

std::unique_ptr<DriverStatement> FirebirdSession::Prepare(const ParsedSql& sql) {
    return std::make_unique<FirebirdStatement>(*this, sql);
}

void FirebirdSession::ExecuteDirect(const std::string& sql) {
    RetireReading();
    SchemaChanged();
    ITransaction* own = m_explicit ? nullptr : StartOwn(false);
    try {
        Status status;
        Trip();
        m_attachment->execute(status.get(), m_explicit ? m_explicit : own, 0, sql.c_str(),
                              SQL_DIALECT_V6, nullptr, nullptr, nullptr, nullptr);
    } catch (const FbException& e) {
        Discard(own, m_roundTrips);
        Fail(e, sql);
    }
    if (own)
        CommitOwn(own);
}

bool FirebirdSession::CanGroup(const ParsedSql& sql) {
    return m_together && m_explicit && m_groups.CanGroup(sql, m_explicit);
}

void FirebirdSession::ExecuteGroup(const std::vector<GroupedStatement>& statements) {
    if (!m_explicit)
        throw EGroupFailed("нет активной транзакции", 0, statements.size());
    m_groups.Execute(statements, m_explicit);
}

bool FirebirdSession::SelectGroup(const ParsedSql& sql,
                                  const std::vector<std::vector<BoundValue>>& sets,
                                  GroupedRows& rows) {
    return m_together && m_groups.Select(sql, sets, rows, m_explicit ? m_explicit : Reading());
}

void FirebirdSession::StartTransaction(const TransactionDesc& desc) {
    m_explicit = Start(desc.IsolationLevel, false);
}

void FirebirdSession::CloseExplicitCursors() {
    for (FirebirdStatement* statement : std::set<FirebirdStatement*>(m_statements))
        if (statement->CursorInExplicit())
            statement->CloseCursor();
}

void FirebirdSession::Commit() {
    CloseExplicitCursors();
    try {
        Status status;
        Trip();
        m_explicit->commit(status.get());
        m_explicit = nullptr;
    } catch (const FbException& e) {
        Fail(e, "");
    }
}

void FirebirdSession::Rollback() {
    CloseExplicitCursors();
    try {
        Status status;
        Trip();
        m_explicit->rollback(status.get());
        m_explicit = nullptr;
    } catch (const FbException& e) {
        Discard(m_explicit, m_roundTrips);
        Fail(e, "");
    }
}

FirebirdStatement::FirebirdStatement(FirebirdSession& session, const ParsedSql& sql)
    : m_session(session), m_sql(sql.original) {
    ITransaction* own = session.Explicit() ? nullptr : session.StartOwn(true);
    try {
        Status status;
        session.Trip();
        m_statement = session.Attachment()->prepare(
            status.get(), session.Explicit() ? session.Explicit() : own, 0, sql.positional.c_str(),
            SQL_DIALECT_V6, IStatement::PREPARE_PREFETCH_METADATA);
        m_type = m_statement->getType(status.get());
        m_hasCursor = (m_statement->getFlags(status.get()) & IStatement::FLAG_HAS_CURSOR) != 0;
        IMessageMetadata* in = m_statement->getInputMetadata(status.get());
        IMessageMetadata* out = m_statement->getOutputMetadata(status.get());
        m_input.Describe(Master(), in, sql.names);
        m_output.Describe(Master(), out);
        in->release();
        out->release();
    } catch (const FbException& e) {
        Discard(own, session.TripCounter());
        if (m_statement)
            m_statement->release();
        session.Fail(e, sql.original);
    }
    if (own)
        session.CommitOwn(own);
    session.Register(this);
}

FirebirdStatement::~FirebirdStatement() {
    CloseCursor();
    m_session.Unregister(this);
    FreeStatement(m_statement);
}

int64_t FirebirdStatement::Execute(const std::vector<BoundValue>& params) {
    CloseCursor();
    m_input.Fill(Master(), params);
    ITransaction* transaction = m_session.Explicit();
    if (!transaction && m_type == isc_info_sql_stmt_select && ExecuteReading())
        return 0;
    if (!transaction && m_type == isc_info_sql_stmt_ddl) {
        m_session.RetireReading();
        ExecuteSchemaChange();
        return 0;
    }
    ITransaction* own = transaction ? nullptr : m_session.StartOwn(false);
    try {
        m_session.Trip();
        Run(transaction ? transaction : own);
    } catch (const FbException& e) {
        Discard(own, m_session.TripCounter());
        m_session.Fail(e, m_sql);
    }
    if (m_cursor) {
        m_ownTransaction = own;
        m_rowTransaction = transaction ? transaction : own;
        return 0;
    }
    if (m_rowPending)
        m_output.ReadBlobs(Master(), m_session.Attachment(), transaction ? transaction : own);
    if (own)
        m_session.CommitOwn(own);
    // How many rows changed costs a further round trip: RowsAffected asks.
    return -1;
}

int64_t FirebirdStatement::RowsAffected() {
    try {
        m_session.Trip();
        return static_cast<int64_t>(m_statement->getAffectedRecords(m_status.get()));
    } catch (const FbException&) {
        return -1;
    }
}

// A row that another transaction holds makes a statement wait (LockTimeout);
// a schema change that meets another connection's change of the same part of
// the schema (two runs widening one column at once, say) fails at once with an
// update conflict instead. It changed nothing, so it is tried again, until
// LockTimeout has passed.
void FirebirdStatement::ExecuteSchemaChange() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(m_session.LockTimeout());
    m_session.SchemaChanged();
    for (bool first = true;; first = false) {
        ITransaction* own = m_session.StartOwn(false);
        try {
            // Again prepared afresh: the prepared one may name what the other
            // connection's change replaced.
            m_session.Trip();
            if (first)
                Run(own);
            else
                m_session.Attachment()->execute(m_status.get(), own, 0, m_sql.c_str(),
                                                SQL_DIALECT_V6, nullptr, nullptr, nullptr, nullptr);
            m_session.Trip();
            own->commit(m_status.get());
            return;
        } catch (const FbException& e) {
            Discard(own, m_session.TripCounter());
            const IStatus* status = e.getStatus();
            if (!(HasCode(status, isc_update_conflict) || HasCode(status, isc_deadlock) ||
                  HasCode(status, isc_lock_conflict)) ||
                Clock::now() >= deadline)
                m_session.Fail(e, m_sql);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

bool FirebirdStatement::ExecuteReading() {
    ITransaction* reading = m_session.Reading();
    try {
        m_session.Trip();
        Run(reading);
    } catch (const FbException& e) {
        // A selectable procedure that writes needs a transaction of its own;
        // the failed statement changed nothing.
        if (e.getStatus()->getErrors()[1] == isc_read_only_trans)
            return false;
        m_session.Fail(e, m_sql);
    }
    if (m_cursor) {
        m_sharedTransaction = reading;
        m_rowTransaction = reading;
        m_session.OpenedReading(reading);
    } else if (m_rowPending) {
        m_output.ReadBlobs(Master(), m_session.Attachment(), reading);
    }
    return true;
}

void FirebirdStatement::Run(ITransaction* transaction) {
    m_fetched = 0;
    if (m_hasCursor) {
        m_cursor = m_statement->openCursor(m_status.get(), transaction, m_input.Metadata(),
                                           m_input.Buffer(), m_output.Metadata(), 0);
        return;
    }
    bool hasOutput = m_output.Count() > 0;
    m_statement->execute(m_status.get(), transaction, m_input.Metadata(), m_input.Buffer(),
                         hasOutput ? m_output.Metadata() : nullptr,
                         hasOutput ? m_output.Buffer() : nullptr);
    m_rowPending = hasOutput;
}

bool FirebirdStatement::Fetch() {
    m_rowValid = false;
    if (m_rowPending) {
        m_rowPending = false;
        m_rowValid = true;
        return true;
    }
    if (!m_cursor)
        return false;
    int result = 0;
    try {
        result = m_cursor->fetchNext(m_status.get(), m_output.Buffer());
    } catch (const FbException& e) {
        CloseCursor();
        m_session.Fail(e, m_sql);
    }
    if (result != IStatus::RESULT_OK) {
        CloseCursor();
        return false;
    }
    // The client asks for the next batch of rows when half of one is used.
    const size_t batch =
        std::clamp<size_t>(1048576 / std::max(1u, m_output.MessageLength()), 2, 1000);
    if (++m_fetched > 1 && (m_fetched - 1) % (batch / 2) == 0)
        m_session.Trip();
    try {
        m_output.ReadBlobs(Master(), m_session.Attachment(), m_rowTransaction);
    } catch (const FbException& e) {
        CloseCursor();
        m_session.Fail(e, m_sql);
    }
    m_rowValid = true;
    return true;
}

FieldValue FirebirdStatement::Column(int index) {
    return m_rowValid ? m_output.Value(static_cast<unsigned>(index)) : FieldValue::Null();
}

void FirebirdStatement::CloseCursor() {
    m_rowPending = false;
    if (m_cursor) {
        try {
            m_cursor->close(m_status.get());
        } catch (const FbException&) {
            m_cursor->release();
        }
        m_cursor = nullptr;
    }
    if (m_ownTransaction) {
        try {
            m_session.CommitOwn(m_ownTransaction);
        } catch (const Exception&) {
            // Reading committed nothing; a failed commit only ends the transaction.
        }
    }
    if (m_sharedTransaction) {
        ITransaction* shared = m_sharedTransaction;
        m_sharedTransaction = nullptr;
        try {
            m_session.ClosedReading(shared);
        } catch (const Exception&) {
            // As above: the shared transaction only read.
        }
    }
    m_rowTransaction = nullptr;
}

IXpbBuilder* BuildDpb(Status& status, const ConnectSettings& settings, const std::string& user,
                      int connectTimeout, bool create) {
    IXpbBuilder* dpb =
        Master()->getUtilInterface()->getXpbBuilder(status.get(), IXpbBuilder::DPB, nullptr, 0);
    try {
        dpb->insertString(status.get(), isc_dpb_user_name, user.c_str());
        if (!settings.password.empty())
            dpb->insertString(status.get(), isc_dpb_password, settings.password.c_str());
        dpb->insertString(status.get(), isc_dpb_lc_ctype, "UTF8");
        dpb->insertString(status.get(), isc_dpb_config,
                          ("ConnectionTimeout=" + std::to_string(connectTimeout)).c_str());
        if (create) {
            dpb->insertString(status.get(), isc_dpb_set_db_charset, "WIN1251");
            dpb->insertInt(status.get(), isc_dpb_sql_dialect, 3);
        }
    } catch (...) {
        dpb->dispose();
        throw;
    }
    return dpb;
}

// Whether the database is reached through a server: "host:path",
// "host/port:path" or a URL-like "inet://..." name; a plain path is a file the
// embedded engine opens.
bool OnServer(const std::string& database) {
    const std::string name = text::Trim(database);
    if (name.find("://") != std::string::npos)
        return true;
    const size_t colon = name.find(':');
    return colon != std::string::npos && colon > 1 && name[0] != '/';
}

// GroupStatements: "auto" (or nothing) groups on a server only, "always" on
// an embedded file too. Throws EDatabaseError naming the parameter otherwise.
bool GroupsStatements(const ConnectSettings& settings) {
    const std::string value = text::UpperAscii(text::Trim(settings.Param("GroupStatements")));
    if (value.empty() || value == "AUTO")
        return OnServer(settings.database);
    if (value == "ALWAYS")
        return true;
    throw EDatabaseError("неверное значение параметра GroupStatements \"" +
                         settings.Param("GroupStatements") + "\": нужно auto или always");
}

// A connect that failed on the network only when the whole ConnectTimeout had
// passed: the host took the connection but did not answer.
std::string ConnectNote(const IStatus* status, double elapsed, int connectTimeout) {
    bool network = HasCode(status, isc_connect_reject) || HasCode(status, isc_network_error) ||
                   HasCode(status, isc_net_read_err);
    return network && elapsed >= connectTimeout - 0.5
               ? "сервер не ответил за " + std::to_string(connectTimeout) +
                     " с (ConnectTimeout): "
               : "";
}

std::unique_ptr<DriverConnection> Attach(const ConnectSettings& settings, bool create) {
    std::string user = settings.userName.empty() ? "SYSDBA" : settings.userName;
    std::string what = std::string(create ? "Не удалось создать базу данных \""
                                          : "Не удалось подключиться к базе данных \"") +
                       settings.database + "\" (драйвер " + settings.driverName +
                       ", пользователь " + user + "): ";
    if (text::Trim(settings.database).empty())
        throw EDatabaseError(what + "не задан параметр Database");
    int lockTimeout = 0, connectTimeout = 0;
    bool together = false;
    try {
        lockTimeout = SecondsParam(settings, "LockTimeout", DefaultLockTimeout, 0);
        connectTimeout = SecondsParam(settings, "ConnectTimeout", DefaultConnectTimeout, 1);
        together = GroupsStatements(settings);
    } catch (const EDatabaseError& e) {
        throw EDatabaseError(what + e.Message());
    }
    Status status;
    IXpbBuilder* dpb = nullptr;
    IProvider* provider = nullptr;
    const auto started = std::chrono::steady_clock::now();
    try {
        dpb = BuildDpb(status, settings, user, connectTimeout, create);
        provider = Master()->getDispatcher();
        const char* name = settings.database.c_str();
        const unsigned length = dpb->getBufferLength(status.get());
        const unsigned char* buffer = dpb->getBuffer(status.get());
        IAttachment* attachment =
            create ? provider->createDatabase(status.get(), name, length, buffer)
                   : provider->attachDatabase(status.get(), name, length, buffer);
        provider->release();
        dpb->dispose();
        return std::make_unique<FirebirdSession>(attachment, lockTimeout, together);
    } catch (const FbException& e) {
        if (dpb)
            dpb->dispose();
        if (provider)
            provider->release();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        // One line, as the user reads it on the command line and in a box:
        // the engine's lines run on after one another.
        std::string reason = Describe(e);
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        throw EDatabaseError(what + ConnectNote(e.getStatus(), elapsed.count(), connectTimeout) +
                             reason);
    }
}

} // namespace

Driver FirebirdDriver() {
    Driver driver;
    driver.connect = [](const ConnectSettings& settings) { return Attach(settings, false); };
    driver.createDatabase = [](const ConnectSettings& settings) { return Attach(settings, true); };
    return driver;
}

} // namespace db
