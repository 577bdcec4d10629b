#include "platform/db/Query.h"

#include "platform/db/SqlText.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

namespace db {
namespace {

const FieldValue kNoValue;

} // namespace

void Param::SetString(std::string value) {
    m_value = {};
    m_value.kind = ParamKind::String;
    m_value.text = std::move(value);
}

void Param::SetInteger(int64_t value) {
    m_value = {};
    m_value.kind = ParamKind::Integer;
    m_value.integer = value;
}

void Param::SetFixed4(int64_t fixed) {
    m_value = {};
    m_value.kind = ParamKind::Fixed4;
    m_value.integer = fixed;
}

void Param::SetDecimal(const text::Decimal& value) {
    m_value = {};
    m_value.kind = ParamKind::Decimal;
    m_value.decimal = value;
}

void Param::SetDecimal(double value) {
    SetDecimal(text::Decimal::FromDouble(value));
}

void Param::SetNull() {
    m_value = {};
    m_value.kind = ParamKind::Null;
}

ParamList::ParamList(const SqlPlan& plan, const ParamList* previous) {
    m_params.reserve(plan.params.size());
    for (const std::string& name : plan.params) {
        m_params.emplace_back(name);
        if (previous)
            for (const Param& old : previous->m_params)
                if (text::EqualsIgnoreCaseAscii(old.Name(), name))
                    m_params.back().m_value = old.m_value;
    }
}

Param& ParamList::ByName(std::string_view name, const std::string& sql) {
    for (Param& param : m_params)
        if (text::EqualsIgnoreCaseAscii(param.Name(), name))
            return param;
    throw EDatabaseError("Параметр \"" + std::string(name) +
                         "\" не найден в запросе: " + sql.substr(0, sql.find('\n')));
}

std::vector<BoundValue> ParamList::Positional(const SqlPlan& plan) const {
    std::vector<BoundValue> values;
    values.reserve(plan.positions.size());
    for (size_t index : plan.positions) {
        const Param& param = m_params[index];
        if (param.Value().kind == ParamKind::Unbound)
            throw EDatabaseError("Не задано значение параметра \"" + param.Name() + "\"");
        values.push_back(param.Value());
    }
    return values;
}

const FieldValue& Field::Current() const {
    if (m_index < static_cast<int>(m_row->size()))
        return (*m_row)[m_index];
    return kNoValue;
}

Query::Query(Connection& connection) : m_connection(&connection) {
    connection.Attach(this);
}

Query::~Query() {
    ReleaseStatement();
    if (m_connection)
        m_connection->Detach(this);
}

const std::string& Query::SQL() const {
    static const std::string kNone;
    return m_plan ? m_plan->parsed.original : kNone;
}

std::string Query::FirstLine() const {
    return SQL().substr(0, SQL().find('\n'));
}

void Query::SetSQL(std::string sql) {
    Close();
    ReleaseStatement();
    // A query whose connection is gone still takes texts (and fails on use).
    m_plan = m_connection ? m_connection->Plan(sql)
                          : std::make_shared<const SqlPlan>(PlanStatement(sql));
    m_params = ParamList(*m_plan, &m_params);
}

void Query::ClearSQL() {
    Close();
    ReleaseStatement();
    m_plan.reset();
    m_params = ParamList();
}

Param& Query::ParamByName(std::string_view name) {
    return m_params.ByName(name, SQL());
}

Connection& Query::RequireConnection() const {
    if (!m_connection)
        throw EDatabaseError("Запрос не связан с соединением (соединение уже уничтожено)");
    return *m_connection;
}

int64_t Query::Execute(bool named) {
    Connection& connection = RequireConnection();
    if (!m_plan || m_plan->blank)
        throw EDatabaseError("Текст запроса пуст");
    std::vector<BoundValue> values = m_params.Positional(*m_plan);
    connection.Flush();
    int64_t serial = 0;
    try {
        if (!m_statement)
            m_statement = connection.AcquireStatement(m_plan->parsed);
        serial = connection.CountExecution();
        return m_statement->statement->Execute(values);
    } catch (const EStatementFailed&) {
        throw;
    } catch (const EDatabaseError& e) {
        if (!named)
            throw;
        // A statement that could not be prepared has the serial it would have had.
        EStatementFailed failed(e.Message(), serial ? serial : connection.LastSerial() + 1,
                                m_origin);
        failed.KeepPlaceOf(e);
        throw failed;
    }
}

void Query::Open() {
    Close();
    Execute();
    DriverStatement& statement = *m_statement->statement;
    if (!statement.HasCursor())
        throw EDatabaseError("Запрос не возвращает набор данных: " + FirstLine());
    m_fields.clear();
    const std::vector<std::string>& columns = statement.Columns();
    for (size_t i = 0; i < columns.size(); ++i)
        m_fields.emplace_back(columns[i], &m_row, static_cast<int>(i));
    m_active = true;
    m_rowsSeen = 0;
    m_eof = false;
    ReadRow();
}

void Query::ExecSQL() {
    Close();
    m_rowsAffected = -1;
    m_waited = false;
    Connection& connection = RequireConnection();
    if (m_plan && !m_plan->blank &&
        connection.Enqueue(m_plan, m_params.Positional(*m_plan), m_origin)) {
        m_waited = true;
        return;
    }
    m_rowsAffected = Execute(true);
    m_statement->statement->CloseCursor();
}

int64_t Query::ExecSQLNow() {
    Close();
    m_rowsAffected = -1;
    m_waited = false;
    m_rowsAffected = Execute();
    m_statement->statement->CloseCursor();
    return RowsAffected();
}

int64_t Query::RowsAffected() {
    if (m_waited || !m_statement)
        return -1;
    if (m_rowsAffected < 0)
        m_rowsAffected = m_statement->statement->RowsAffected();
    return m_rowsAffected;
}

void Query::ReadRow() {
    DriverStatement& statement = *m_statement->statement;
    m_row.clear();
    if (!statement.Fetch()) {
        m_eof = true;
        return;
    }
    ++m_rowsSeen;
    int count = static_cast<int>(statement.Columns().size());
    m_row.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        m_row.push_back(statement.Column(i));
}

void Query::Close() {
    if (m_statement)
        m_statement->statement->CloseCursor();
    m_active = false;
    m_eof = true;
    m_rowsSeen = 0;
    m_row.clear();
    m_fields.clear();
}

void Query::First() {
    if (m_active && m_rowsSeen == 1 && !m_eof)
        return;
    Open();
}

void Query::Next() {
    if (!m_active || m_eof)
        return;
    ReadRow();
}

const Field* Query::FindField(std::string_view name) const {
    for (const Field& field : m_fields)
        if (text::EqualsIgnoreCaseAscii(field.Name(), name))
            return &field;
    return nullptr;
}

const Field& Query::FieldByName(std::string_view name) const {
    if (const Field* field = FindField(name))
        return *field;
    throw EDatabaseError("Поле \"" + std::string(name) + "\" не найдено");
}

void Query::ReleaseStatement() {
    if (m_statement && m_connection)
        m_connection->ReleaseStatement(m_statement);
    m_statement = nullptr;
}

void Query::LoseStatement() {
    Close();
    m_statement = nullptr; // the connection frees it
}

void Query::LoseConnection() {
    LoseStatement();
    m_connection = nullptr;
}

} // namespace db
