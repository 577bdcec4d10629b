#include "platform/db/Connection.h"

#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

namespace db {
namespace {

// The name of a name=value line ("" when it has no '=').
bool LineHasName(const std::string& line, const std::string& name) {
    size_t eq = line.find('=');
    return eq != std::string::npos &&
           text::EqualsIgnoreCaseAscii(text::Trim(std::string_view(line).substr(0, eq)), name);
}

// Prepared statements kept per connection beyond which free ones are dropped.
constexpr size_t kMaxCachedTexts = 512;
// Statements that may wait before they are sent together.
constexpr size_t kMaxWaiting = 256;

} // namespace

std::string ParamValue(const text::StringList& params, const std::string& name) {
    for (const std::string& line : params.Lines())
        if (LineHasName(line, name))
            return line.substr(line.find('=') + 1);
    return "";
}

std::string ConnectSettings::Param(const std::string& name) const {
    return ParamValue(params, name);
}

Connection::Connection() = default;

Connection::~Connection() {
    Close();
    for (Query* query : std::vector<Query*>(m_queries))
        query->LoseConnection();
}

std::string Connection::ParamValue(const std::string& name) const {
    return db::ParamValue(m_params, name);
}

void Connection::SetParamValue(const std::string& name, const std::string& value) {
    for (int i = 0; i < m_params.Count(); ++i)
        if (LineHasName(m_params[i], name)) {
            m_params[i] = name + "=" + value;
            return;
        }
    m_params.Add(name + "=" + value);
}

void Connection::AssignSettings(const Connection& other) {
    m_connectionName = other.m_connectionName;
    m_driverName = other.m_driverName;
    m_getDriverFunc = other.m_getDriverFunc;
    m_libraryName = other.m_libraryName;
    m_vendorLib = other.m_vendorLib;
    m_loginPrompt = other.m_loginPrompt;
    m_params = other.m_params;
}

ConnectSettings Connection::Settings() const {
    ConnectSettings settings;
    settings.connectionName = m_connectionName;
    settings.driverName = m_driverName;
    settings.database = ParamValue("Database");
    settings.userName = ParamValue("User_Name");
    settings.password = ParamValue("Password");
    settings.params = m_params;
    return settings;
}

void Connection::Open() {
    if (m_session)
        return;
    ConnectSettings settings = Settings();
    std::optional<Driver> driver = FindDriver(m_driverName);
    if (!driver)
        throw EDatabaseError("Неизвестный драйвер базы данных \"" + m_driverName +
                             "\" (соединение \"" + m_connectionName + "\", база данных \"" +
                             settings.database + "\")");
    m_session = driver->connect(settings);
}

void Connection::CreateDatabase() {
    if (m_session)
        throw EDatabaseError("Нельзя создать базу данных: соединение \"" + m_connectionName +
                             "\" уже открыто");
    ConnectSettings settings = Settings();
    std::optional<Driver> driver = FindDriver(m_driverName);
    if (!driver || !driver->createDatabase)
        throw EDatabaseError("Драйвер \"" + m_driverName + "\" не умеет создавать базы данных (\"" +
                             settings.database + "\")");
    m_session = driver->createDatabase(settings);
}

void Connection::Close() {
    if (!m_session)
        return;
    DiscardWaiting();
    m_groupable.clear();
    m_roundTripsBefore += m_session->RoundTrips() - m_roundTripsAtReset;
    m_roundTripsAtReset = 0;
    for (Query* query : m_queries)
        query->LoseStatement();
    m_statements.clear();
    if (m_inTransaction) {
        try {
            m_session->Rollback();
        } catch (const Exception&) {
            // The session goes away next; the engine drops the transaction then.
        }
        m_inTransaction = false;
    }
    m_session.reset();
}

void Connection::ExecuteDirect(const std::string& sql) {
    Open();
    Flush();
    DropFreeStatements(); // a direct text may change the schema the cache was prepared on
    m_groupable.clear();
    CountExecution();
    m_session->ExecuteDirect(sql);
}

void Connection::StartTransaction(const TransactionDesc& desc) {
    Open();
    if (m_inTransaction)
        throw EDatabaseError("Транзакция уже начата (соединение \"" + m_connectionName + "\")");
    m_session->StartTransaction(desc);
    m_inTransaction = true;
}

void Connection::Commit(const TransactionDesc&) {
    if (!m_inTransaction || !m_session)
        throw EDatabaseError("Нет активной транзакции (соединение \"" + m_connectionName + "\")");
    Flush(); // a failure leaves the transaction open, for the caller to roll back
    m_session->Commit();
    m_inTransaction = false;
}

void Connection::Rollback(const TransactionDesc&) {
    if (!m_inTransaction || !m_session)
        throw EDatabaseError("Нет активной транзакции (соединение \"" + m_connectionName + "\")");
    DiscardWaiting();
    m_inTransaction = false;
    m_session->Rollback();
}

void Connection::Detach(Query* query) {
    for (size_t i = m_queries.size(); i-- > 0;)
        if (m_queries[i] == query) {
            m_queries.erase(m_queries.begin() + static_cast<long>(i));
            return;
        }
}

std::shared_ptr<const SqlPlan> Connection::Plan(const std::string& sql) {
    auto it = m_plans.find(sql);
    if (it != m_plans.end())
        return it->second;
    if (m_plans.size() >= kMaxCachedTexts)
        m_plans.clear();
    auto plan = std::make_shared<const SqlPlan>(PlanStatement(sql));
    m_plans.emplace(sql, plan);
    return plan;
}

ConnectionStatistics Connection::Statistics() const {
    ConnectionStatistics statistics = m_statistics;
    statistics.roundTrips =
        m_roundTripsBefore + (m_session ? m_session->RoundTrips() - m_roundTripsAtReset : 0);
    return statistics;
}

void Connection::ResetStatistics() {
    m_statistics = {};
    m_roundTripsBefore = 0;
    m_roundTripsAtReset = m_session ? m_session->RoundTrips() : 0;
}

void Connection::SetGrouping(bool on) {
    if (!on)
        Flush();
    m_grouping = on;
}

bool Connection::Groups() const {
    return m_grouping && m_session && m_session->Groups();
}

bool Connection::Enqueue(const std::shared_ptr<const SqlPlan>& plan, std::vector<BoundValue> values,
                         const void* origin) {
    if (!m_inTransaction || !Groups())
        return false;
    auto [known, added] = m_groupable.try_emplace(plan->parsed.original, false);
    if (added) {
        try {
            known->second = m_session->CanGroup(plan->parsed);
        } catch (const EDatabaseError&) {
            // Run on its own, the statement reports what is wrong with it.
        }
    }
    if (!known->second)
        return false;
    m_waiting.push_back({plan, std::move(values), CountExecution(), origin});
    ++m_statistics.grouped;
    if (m_waiting.size() >= kMaxWaiting)
        Flush();
    return true;
}

void Connection::WhenSent(std::function<void()> action) {
    if (m_waiting.empty()) {
        action();
        return;
    }
    m_actions.push_back({m_waiting.size(), std::move(action)});
}

void Connection::DiscardWaiting() {
    m_waiting.clear();
    m_actions.clear();
}

void Connection::ExecuteWaiting(const Waiting& statement) {
    CachedStatement* prepared = AcquireStatement(statement.plan->parsed);
    try {
        prepared->statement->Execute(statement.values);
    } catch (...) {
        ReleaseStatement(prepared);
        throw;
    }
    ReleaseStatement(prepared);
}

void Connection::FailSent(std::vector<Waiting>& sent, std::vector<WaitingAction>& actions,
                          size_t failed, const std::string& message) {
    for (WaitingAction& waiting : actions) {
        if (waiting.after > failed)
            break;
        waiting.action();
    }
    throw EStatementFailed(message, sent[failed].serial, sent[failed].origin);
}

// The driver sends the statements in groups; a group that fails is undone as a
// whole, so its statements are run again one by one up to the failing one: the
// ones before it take effect as they would have on their own, and the failing
// one fails with its own message. When the driver already knows which one
// failed (a lock conflict, where running it again would wait again, or a lost
// connection), only the ones before it are run again.
void Connection::Flush() {
    if (m_waiting.empty())
        return;
    std::vector<Waiting> sent;
    sent.swap(m_waiting);
    std::vector<WaitingAction> actions;
    actions.swap(m_actions);
    std::vector<GroupedStatement> group;
    group.reserve(sent.size());
    for (const Waiting& statement : sent)
        group.push_back({&statement.plan->parsed, &statement.values});
    size_t position = 0;
    while (position < sent.size()) {
        try {
            m_session->ExecuteGroup(std::vector<GroupedStatement>(
                group.begin() + static_cast<long>(position), group.end()));
            position = sent.size();
        } catch (const EGroupFailed& e) {
            const size_t end = position + e.End();
            const size_t stop = e.Failed() ? position + *e.Failed() : end;
            for (size_t i = position + e.Done(); i < stop; ++i) {
                try {
                    ExecuteWaiting(sent[i]);
                } catch (const EDatabaseError& one) {
                    FailSent(sent, actions, i, one.Message());
                }
            }
            if (e.Failed())
                FailSent(sent, actions, stop, e.Message());
            position = end;
        } catch (const EDatabaseError& e) {
            FailSent(sent, actions, position, e.Message());
        }
    }
    for (WaitingAction& waiting : actions)
        waiting.action();
}

void Connection::RunSelectGroup(const SqlPlan& plan,
                                const std::vector<std::vector<BoundValue>>& sets, GroupedRows& rows,
                                std::vector<std::string>& errors) {
    Open();
    Flush();
    errors.assign(sets.size(), std::string());
    rows = GroupedRows();
    rows.sets.resize(sets.size());
    for (size_t i = 0; i < sets.size(); ++i)
        CountExecution();
    if (sets.size() > 1 && Groups()) {
        try {
            GroupedRows together;
            if (m_session->SelectGroup(plan.parsed, sets, together)) {
                rows = std::move(together);
                m_statistics.grouped += static_cast<int64_t>(sets.size());
                return;
            }
        } catch (const EDatabaseError&) {
            // Run one by one below: each set gets its own rows or error.
        }
    }
    CachedStatement* prepared = nullptr;
    try {
        prepared = AcquireStatement(plan.parsed);
    } catch (const EDatabaseError& e) {
        errors.assign(sets.size(), e.Message());
        return;
    }
    DriverStatement& statement = *prepared->statement;
    for (size_t i = 0; i < sets.size(); ++i) {
        try {
            statement.Execute(sets[i]);
            if (!statement.HasCursor())
                throw EDatabaseError(
                    "Запрос не возвращает набор данных: " +
                    plan.parsed.original.substr(0, plan.parsed.original.find('\n')));
            if (rows.columns.empty())
                rows.columns = statement.Columns();
            while (statement.Fetch()) {
                std::vector<FieldValue> row;
                row.reserve(statement.Columns().size());
                for (size_t c = 0; c < statement.Columns().size(); ++c)
                    row.push_back(statement.Column(static_cast<int>(c)));
                rows.sets[i].push_back(std::move(row));
            }
        } catch (const EDatabaseError& e) {
            statement.CloseCursor();
            rows.sets[i].clear();
            errors[i] = e.Message();
        }
    }
    ReleaseStatement(prepared);
}

void Connection::SetStatementCache(bool on) {
    m_cacheOn = on;
    if (!on)
        DropFreeStatements();
}

CachedStatement* Connection::AcquireStatement(const ParsedSql& sql) {
    Open();
    auto& slots = m_statements[sql.original];
    if (m_cacheOn)
        for (auto& slot : slots)
            if (!slot->inUse && slot->cached) {
                slot->inUse = true;
                ++m_statistics.cacheHits;
                return slot.get();
            }
    if (m_cacheOn && m_statements.size() > kMaxCachedTexts)
        DropFreeStatements();
    auto slot = std::make_unique<CachedStatement>();
    slot->sql = sql.original;
    slot->statement = m_session->Prepare(sql);
    ++m_statistics.prepares;
    if (slot->statement->IsSchemaChange())
        DropFreeStatements();
    slot->cached = m_cacheOn && !slot->statement->IsSchemaChange();
    slot->inUse = true;
    CachedStatement* result = slot.get();
    m_statements[sql.original].push_back(std::move(slot));
    return result;
}

void Connection::ReleaseStatement(CachedStatement* statement) {
    statement->statement->CloseCursor();
    statement->inUse = false;
    if (statement->cached && m_cacheOn)
        return;
    auto it = m_statements.find(statement->sql);
    if (it == m_statements.end())
        return;
    auto& slots = it->second;
    for (size_t i = 0; i < slots.size(); ++i)
        if (slots[i].get() == statement) {
            slots.erase(slots.begin() + static_cast<long>(i));
            break;
        }
    if (slots.empty())
        m_statements.erase(it);
}

void Connection::DropFreeStatements() {
    for (auto it = m_statements.begin(); it != m_statements.end();) {
        auto& slots = it->second;
        for (size_t i = slots.size(); i-- > 0;)
            if (!slots[i]->inUse)
                slots.erase(slots.begin() + static_cast<long>(i));
        it = slots.empty() ? m_statements.erase(it) : std::next(it);
    }
}

} // namespace db
