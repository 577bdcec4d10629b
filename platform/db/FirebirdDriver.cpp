// The Firebird driver, over the client library's object API. Outside an
// explicit transaction every statement that changes data runs in a transaction
// of its own that is committed as soon as the statement completes. Selects
// there share one read-only read-committed transaction that stays open: it
// sees every committed change as a transaction of its own would, and saves a
// transaction start (a header-page write) per select. A cursor keeps the
// transaction it was opened in until it is closed, so committing other
// statements never closes an open cursor. Inside an explicit
// transaction everything runs in it, and its end closes the cursors opened in it.
#include "platform/db/BuiltinDrivers.h"
#include "platform/db/FirebirdEnvironment.h"
#include "platform/db/FirebirdValues.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

#include <firebird/Interface.h>

#include <cstring>
#include <map>
#include <set>

using namespace Firebird;

namespace db {
namespace {

IMaster* Master() {
    static IMaster* master = [] {
        PrepareFirebirdEnvironment();
        return fb_get_master_interface();
    }();
    return master;
}

class Status : public FbStatus {
public:
    Status() : FbStatus(Master()) {}
};

std::string Describe(const FbException& e) {
    char buffer[4096];
    Master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, e.getStatus());
    return buffer;
}

std::string FirstLine(const std::string& sql) {
    std::string line = text::Trim(sql.substr(0, sql.find('\n')));
    return line.size() > 200 ? line.substr(0, 200) + "..." : line;
}

[[noreturn]] void Raise(const FbException& e, const std::string& sql) {
    throw EDatabaseError(Describe(e) + (sql.empty() ? "" : "\nОператор: " + FirstLine(sql)));
}

// Ends a transaction the program no longer needs, ignoring failures.
void Discard(ITransaction*& transaction) {
    if (!transaction)
        return;
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
    explicit FirebirdSession(IAttachment* attachment) : m_attachment(attachment) {}
    ~FirebirdSession() override;

    std::unique_ptr<DriverStatement> Prepare(const ParsedSql& sql) override;
    void ExecuteDirect(const std::string& sql) override;
    void StartTransaction(const TransactionDesc& desc) override;
    void Commit() override;
    void Rollback() override;

    IAttachment* Attachment() const { return m_attachment; }
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
    void Register(FirebirdStatement* statement) { m_statements.insert(statement); }
    void Unregister(FirebirdStatement* statement) { m_statements.erase(statement); }

private:
    ITransaction* Start(Isolation isolation, bool readOnly);
    void CloseExplicitCursors();

    IAttachment* m_attachment;
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
};

FirebirdSession::~FirebirdSession() {
    Discard(m_explicit);
    for (auto& [transaction, cursors] : m_readers) {
        ITransaction* retired = transaction;
        if (retired != m_reading)
            Discard(retired);
    }
    Discard(m_reading);
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
        tpb->insertTag(status.get(), isc_tpb_wait);
        tpb->insertInt(status.get(), isc_tpb_lock_timeout, 60);
        ITransaction* transaction = m_attachment->startTransaction(
            status.get(), tpb->getBufferLength(status.get()), tpb->getBuffer(status.get()));
        tpb->dispose();
        return transaction;
    } catch (const FbException& e) {
        tpb->dispose();
        Raise(e, "");
    }
}

ITransaction* FirebirdSession::StartOwn(bool readOnly) {
    return Start(Isolation::ReadCommitted, readOnly);
}

void FirebirdSession::CommitOwn(ITransaction*& transaction) {
    try {
        Status status;
        transaction->commit(status.get());
        transaction = nullptr;
    } catch (const FbException& e) {
        Discard(transaction);
        Raise(e, "");
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
    ITransaction* own = m_explicit ? nullptr : StartOwn(false);
    try {
        Status status;
        m_attachment->execute(status.get(), m_explicit ? m_explicit : own, 0, sql.c_str(),
                              SQL_DIALECT_V6, nullptr, nullptr, nullptr, nullptr);
    } catch (const FbException& e) {
        Discard(own);
        Raise(e, sql);
    }
    if (own)
        CommitOwn(own);
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
        m_explicit->commit(status.get());
        m_explicit = nullptr;
    } catch (const FbException& e) {
        Raise(e, "");
    }
}

void FirebirdSession::Rollback() {
    CloseExplicitCursors();
    try {
        Status status;
        m_explicit->rollback(status.get());
        m_explicit = nullptr;
    } catch (const FbException& e) {
        Discard(m_explicit);
        Raise(e, "");
    }
}

FirebirdStatement::FirebirdStatement(FirebirdSession& session, const ParsedSql& sql)
    : m_session(session), m_sql(sql.original) {
    ITransaction* own = session.Explicit() ? nullptr : session.StartOwn(true);
    try {
        Status status;
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
        Discard(own);
        if (m_statement)
            m_statement->release();
        Raise(e, sql.original);
    }
    if (own)
        session.CommitOwn(own);
    session.Register(this);
}

FirebirdStatement::~FirebirdStatement() {
    CloseCursor();
    m_session.Unregister(this);
    try {
        Status status;
        m_statement->free(status.get());
    } catch (const FbException&) {
        m_statement->release();
    }
}

int64_t FirebirdStatement::Execute(const std::vector<BoundValue>& params) {
    CloseCursor();
    m_input.Fill(Master(), params);
    ITransaction* transaction = m_session.Explicit();
    if (!transaction && m_type == isc_info_sql_stmt_select && ExecuteReading())
        return 0;
    if (!transaction && m_type == isc_info_sql_stmt_ddl)
        m_session.RetireReading();
    ITransaction* own = transaction ? nullptr : m_session.StartOwn(false);
    try {
        Run(transaction ? transaction : own);
    } catch (const FbException& e) {
        Discard(own);
        Raise(e, m_sql);
    }
    if (m_cursor) {
        m_ownTransaction = own;
        m_rowTransaction = transaction ? transaction : own;
        return 0;
    }
    int64_t affected = 0;
    try {
        affected = static_cast<int64_t>(m_statement->getAffectedRecords(m_status.get()));
    } catch (const FbException&) {
        affected = 0;
    }
    if (m_rowPending)
        m_output.ReadBlobs(Master(), m_session.Attachment(), transaction ? transaction : own);
    if (own)
        m_session.CommitOwn(own);
    return affected;
}

bool FirebirdStatement::ExecuteReading() {
    ITransaction* reading = m_session.Reading();
    try {
        Run(reading);
    } catch (const FbException& e) {
        // A selectable procedure that writes needs a transaction of its own;
        // the failed statement changed nothing.
        if (e.getStatus()->getErrors()[1] == isc_read_only_trans)
            return false;
        Raise(e, m_sql);
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
        Raise(e, m_sql);
    }
    if (result != IStatus::RESULT_OK) {
        CloseCursor();
        return false;
    }
    try {
        m_output.ReadBlobs(Master(), m_session.Attachment(), m_rowTransaction);
    } catch (const FbException& e) {
        CloseCursor();
        Raise(e, m_sql);
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

std::unique_ptr<DriverConnection> Attach(const ConnectSettings& settings, bool create) {
    IMaster* master = Master();
    std::string user = settings.userName.empty() ? "SYSDBA" : settings.userName;
    std::string what = std::string(create ? "Не удалось создать базу данных \""
                                          : "Не удалось подключиться к базе данных \"") +
                       settings.database + "\" (драйвер " + settings.driverName +
                       ", пользователь " + user + "): ";
    if (text::Trim(settings.database).empty())
        throw EDatabaseError(what + "не задан параметр Database");
    Status status;
    IXpbBuilder* dpb = nullptr;
    IProvider* provider = nullptr;
    try {
        dpb = master->getUtilInterface()->getXpbBuilder(status.get(), IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(status.get(), isc_dpb_user_name, user.c_str());
        if (!settings.password.empty())
            dpb->insertString(status.get(), isc_dpb_password, settings.password.c_str());
        dpb->insertString(status.get(), isc_dpb_lc_ctype, "UTF8");
        if (create) {
            dpb->insertString(status.get(), isc_dpb_set_db_charset, "WIN1251");
            dpb->insertInt(status.get(), isc_dpb_sql_dialect, 3);
        }
        provider = master->getDispatcher();
        IAttachment* attachment =
            create ? provider->createDatabase(status.get(), settings.database.c_str(),
                                              dpb->getBufferLength(status.get()),
                                              dpb->getBuffer(status.get()))
                   : provider->attachDatabase(status.get(), settings.database.c_str(),
                                              dpb->getBufferLength(status.get()),
                                              dpb->getBuffer(status.get()));
        provider->release();
        dpb->dispose();
        return std::make_unique<FirebirdSession>(attachment);
    } catch (const FbException& e) {
        if (dpb)
            dpb->dispose();
        if (provider)
            provider->release();
        throw EDatabaseError(what + Describe(e));
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
