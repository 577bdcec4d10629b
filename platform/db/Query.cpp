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

void Query::SetSQL(std::string sql) {
    Close();
    ReleaseStatement();
    m_parsed = ParseParameters(sql);
    std::vector<std::unique_ptr<Param>> params;
    for (const std::string& name : m_parsed.names) {
        bool seen = false;
        for (const auto& param : params)
            seen = seen || text::EqualsIgnoreCaseAscii(param->Name(), name);
        if (seen)
            continue;
        auto param = std::make_unique<Param>(name);
        for (const auto& old : m_params)
            if (text::EqualsIgnoreCaseAscii(old->Name(), name))
                param->m_value = old->m_value;
        params.push_back(std::move(param));
    }
    m_params = std::move(params);
}

void Query::ClearSQL() {
    Close();
    ReleaseStatement();
    m_parsed = ParsedSql();
    m_params.clear();
}

Param& Query::ParamByName(std::string_view name) {
    for (const auto& param : m_params)
        if (text::EqualsIgnoreCaseAscii(param->Name(), name))
            return *param;
    throw EDatabaseError("Параметр \"" + std::string(name) + "\" не найден в запросе: " +
                         m_parsed.original.substr(0, m_parsed.original.find('\n')));
}

Connection& Query::RequireConnection() const {
    if (!m_connection)
        throw EDatabaseError("Запрос не связан с соединением (соединение уже уничтожено)");
    return *m_connection;
}

std::vector<BoundValue> Query::PositionalValues() const {
    std::vector<BoundValue> values;
    values.reserve(m_parsed.names.size());
    for (const std::string& name : m_parsed.names) {
        const Param* found = nullptr;
        for (const auto& param : m_params)
            if (text::EqualsIgnoreCaseAscii(param->Name(), name))
                found = param.get();
        if (found->Value().kind == ParamKind::Unbound)
            throw EDatabaseError("Не задано значение параметра \"" + name + "\"");
        values.push_back(found->Value());
    }
    return values;
}

int64_t Query::Execute() {
    Connection& connection = RequireConnection();
    if (text::Trim(m_parsed.original).empty())
        throw EDatabaseError("Текст запроса пуст");
    std::vector<BoundValue> values = PositionalValues();
    if (!m_statement)
        m_statement = connection.AcquireStatement(m_parsed);
    connection.CountExecution();
    return m_statement->statement->Execute(values);
}

void Query::Open() {
    Close();
    Execute();
    DriverStatement& statement = *m_statement->statement;
    if (!statement.HasCursor())
        throw EDatabaseError("Запрос не возвращает набор данных: " +
                             m_parsed.original.substr(0, m_parsed.original.find('\n')));
    m_fields.clear();
    const std::vector<std::string>& columns = statement.Columns();
    for (size_t i = 0; i < columns.size(); ++i)
        m_fields.emplace_back(columns[i], &m_row, static_cast<int>(i));
    m_active = true;
    m_rowsSeen = 0;
    m_eof = false;
    ReadRow();
}

int64_t Query::ExecSQL() {
    Close();
    int64_t rows = Execute();
    m_statement->statement->CloseCursor();
    return rows;
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
