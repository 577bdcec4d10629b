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
    DropFreeStatements(); // a direct text may change the schema the cache was prepared on
    m_session->ExecuteDirect(sql);
    ++m_statistics.executions;
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
    m_session->Commit();
    m_inTransaction = false;
}

void Connection::Rollback(const TransactionDesc&) {
    if (!m_inTransaction || !m_session)
        throw EDatabaseError("Нет активной транзакции (соединение \"" + m_connectionName + "\")");
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
