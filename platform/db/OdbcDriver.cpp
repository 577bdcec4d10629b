// The ODBC driver, over unixODBC. Database is a data source name or, when it
// holds '=', a whole connection string; User_Name and Password go in as the
// only UID and PWD (see OdbcConnectString). Outside an explicit transaction
// the driver's auto-commit is on; an explicit transaction switches it off
// until Commit or Rollback. Values are handed over as text (numbers already
// rounded to the parameter's scale when the driver describes one), integers as
// 64-bit integers; columns are read as text, integer columns as integers and
// NUMERIC/DECIMAL columns as exact text.
#include "platform/db/BuiltinDrivers.h"
#include "platform/db/Dialect.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

#include <sql.h>
#include <sqlext.h>

namespace db {
namespace {

// The diagnostic records of a handle, one per line.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {0};
        SQLCHAR message[1024] = {0};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        if (!out.empty())
            out += "\n";
        out +=
            std::string(reinterpret_cast<char*>(state)) + ": " + reinterpret_cast<char*>(message);
    }
    return out.empty() ? "нет сведений об ошибке" : out;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& context) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return;
    throw EDatabaseError(Diagnostics(type, handle) + (context.empty() ? "" : "\n" + context));
}

std::string FirstLine(const std::string& sql) {
    return "Оператор: " + text::Trim(sql.substr(0, sql.find('\n')));
}

struct ParamInfo {
    SQLSMALLINT type = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT decimals = 0;
    bool described = false;
};

class OdbcStatement : public DriverStatement {
public:
    OdbcStatement(SQLHDBC connection, const ParsedSql& sql);
    ~OdbcStatement() override { SQLFreeHandle(SQL_HANDLE_STMT, m_statement); }

    int64_t Execute(const std::vector<BoundValue>& params) override;
    bool HasCursor() const override { return m_cursor; }
    const std::vector<std::string>& Columns() const override { return m_names; }
    bool Fetch() override;
    FieldValue Column(int index) override { return m_row.at(static_cast<size_t>(index)); }
    void CloseCursor() override;

private:
    void Bind(size_t index, const BoundValue& value);
    void DescribeColumns();
    FieldValue Read(SQLUSMALLINT column);

    SQLHSTMT m_statement = SQL_NULL_HSTMT;
    std::string m_sql;
    std::vector<ParamInfo> m_paramInfo;
    // Storage the bound parameters point at until the execution ends.
    std::vector<std::string> m_texts;
    std::vector<SQLBIGINT> m_integers;
    std::vector<SQLLEN> m_indicators;
    bool m_cursor = false;
    std::vector<std::string> m_names;
    std::vector<SQLSMALLINT> m_types;
    std::vector<SQLSMALLINT> m_scales;
    std::vector<FieldValue> m_row;
};

OdbcStatement::OdbcStatement(SQLHDBC connection, const ParsedSql& sql) : m_sql(sql.original) {
    Check(SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_statement), SQL_HANDLE_DBC, connection,
          "");
    SQLRETURN rc = SQLPrepare(m_statement, (SQLCHAR*)sql.positional.c_str(), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
        std::string message = Diagnostics(SQL_HANDLE_STMT, m_statement);
        SQLFreeHandle(SQL_HANDLE_STMT, m_statement);
        throw EDatabaseError(message + "\n" + FirstLine(m_sql));
    }
    m_paramInfo.resize(sql.names.size());
    for (size_t i = 0; i < m_paramInfo.size(); ++i) {
        ParamInfo& info = m_paramInfo[i];
        SQLSMALLINT nullable = 0;
        info.described =
            SQL_SUCCEEDED(SQLDescribeParam(m_statement, static_cast<SQLUSMALLINT>(i + 1),
                                           &info.type, &info.size, &info.decimals, &nullable));
    }
    m_texts.resize(sql.names.size());
    m_integers.resize(sql.names.size());
    m_indicators.resize(sql.names.size());
}

void OdbcStatement::Bind(size_t index, const BoundValue& value) {
    const ParamInfo& info = m_paramInfo[index];
    SQLUSMALLINT number = static_cast<SQLUSMALLINT>(index + 1);
    bool numeric = info.described && (info.type == SQL_NUMERIC || info.type == SQL_DECIMAL);
    SQLRETURN rc;
    if (value.kind == ParamKind::Null) {
        m_indicators[index] = SQL_NULL_DATA;
        rc = SQLBindParameter(m_statement, number, SQL_PARAM_INPUT, SQL_C_CHAR,
                              info.described ? info.type : SQL_VARCHAR, info.size ? info.size : 1,
                              info.decimals, nullptr, 0, &m_indicators[index]);
    } else if (value.kind == ParamKind::Integer && !numeric) {
        m_integers[index] = value.integer;
        m_indicators[index] = 0;
        rc = SQLBindParameter(m_statement, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                              &m_integers[index], 0, &m_indicators[index]);
    } else {
        std::string& textOf = m_texts[index];
        SQLSMALLINT type = SQL_VARCHAR;
        SQLSMALLINT decimals = 0;
        if (value.kind == ParamKind::String && !numeric) {
            textOf = value.text;
        } else {
            text::Decimal decimal =
                value.kind == ParamKind::String    ? text::Decimal::FromText(text::Trim(value.text))
                : value.kind == ParamKind::Decimal ? value.decimal
                                                   : text::Decimal::FromText(value.ToText());
            decimals = static_cast<SQLSMALLINT>(numeric ? info.decimals : decimal.Scale());
            // Rounded here, half away from zero, so no driver conversion rounds.
            textOf = ScaledToString(decimal.Scaled(decimals), decimals, '.');
            type = SQL_DECIMAL;
        }
        m_indicators[index] = static_cast<SQLLEN>(textOf.size());
        rc = SQLBindParameter(m_statement, number, SQL_PARAM_INPUT, SQL_C_CHAR, type,
                              type == SQL_DECIMAL ? 38 : std::max<size_t>(textOf.size(), 1),
                              decimals, textOf.data(), static_cast<SQLLEN>(textOf.size()),
                              &m_indicators[index]);
    }
    Check(rc, SQL_HANDLE_STMT, m_statement, FirstLine(m_sql));
}

int64_t OdbcStatement::Execute(const std::vector<BoundValue>& params) {
    CloseCursor();
    try {
        for (size_t i = 0; i < params.size() && i < m_paramInfo.size(); ++i)
            Bind(i, params[i]);
    } catch (const EConvertError& e) {
        throw EDatabaseError(e.Message() + "\n" + FirstLine(m_sql));
    }
    SQLRETURN rc = SQLExecute(m_statement);
    Check(rc, SQL_HANDLE_STMT, m_statement, FirstLine(m_sql));
    SQLSMALLINT columns = 0;
    SQLNumResultCols(m_statement, &columns);
    if (columns > 0) {
        m_cursor = true;
        DescribeColumns();
        return 0;
    }
    SQLLEN rows = 0;
    SQLRowCount(m_statement, &rows);
    SQLFreeStmt(m_statement, SQL_CLOSE);
    return rows < 0 ? 0 : rows;
}

void OdbcStatement::DescribeColumns() {
    SQLSMALLINT count = 0;
    SQLNumResultCols(m_statement, &count);
    m_names.clear();
    m_types.clear();
    m_scales.clear();
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
        SQLCHAR name[256] = {0};
        SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeCol(m_statement, i, name, sizeof name, &nameLength, &type, &size, &scale,
                       &nullable);
        m_names.push_back(text::UpperAscii(reinterpret_cast<char*>(name)));
        m_types.push_back(type);
        m_scales.push_back(scale);
    }
}

FieldValue OdbcStatement::Read(SQLUSMALLINT column) {
    SQLSMALLINT type = m_types[column - 1];
    SQLLEN indicator = 0;
    if (type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_BIGINT || type == SQL_TINYINT) {
        SQLBIGINT value = 0;
        Check(SQLGetData(m_statement, column, SQL_C_SBIGINT, &value, 0, &indicator),
              SQL_HANDLE_STMT, m_statement, FirstLine(m_sql));
        return indicator == SQL_NULL_DATA ? FieldValue::Null() : FieldValue::Integer(value);
    }
    std::string value;
    char chunk[4096];
    while (true) {
        SQLRETURN rc = SQLGetData(m_statement, column, SQL_C_CHAR, chunk, sizeof chunk, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        Check(rc, SQL_HANDLE_STMT, m_statement, FirstLine(m_sql));
        if (indicator == SQL_NULL_DATA)
            return FieldValue::Null();
        size_t got = (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof chunk))
                         ? sizeof chunk - 1
                         : static_cast<size_t>(indicator);
        value.append(chunk, got);
        if (rc == SQL_SUCCESS)
            break;
    }
    if ((type == SQL_NUMERIC || type == SQL_DECIMAL) && !value.empty()) {
        int scale = std::max<int>(0, m_scales[column - 1]);
        try {
            return FieldValue::Scaled(text::Decimal::FromText(value).Scaled(scale), scale);
        } catch (const EConvertError&) {
            return FieldValue::String(value);
        }
    }
    if ((type == SQL_DOUBLE || type == SQL_FLOAT || type == SQL_REAL) && !value.empty())
        return FieldValue::Double(text::Decimal::FromText(value).ToDouble());
    return FieldValue::String(value);
}

bool OdbcStatement::Fetch() {
    if (!m_cursor)
        return false;
    SQLRETURN rc = SQLFetch(m_statement);
    if (rc == SQL_NO_DATA) {
        CloseCursor();
        return false;
    }
    Check(rc, SQL_HANDLE_STMT, m_statement, FirstLine(m_sql));
    m_row.clear();
    for (SQLUSMALLINT i = 1; i <= m_names.size(); ++i)
        m_row.push_back(Read(i));
    return true;
}

void OdbcStatement::CloseCursor() {
    if (m_cursor)
        SQLFreeStmt(m_statement, SQL_CLOSE);
    m_cursor = false;
    m_row.clear();
}

class OdbcSession : public DriverConnection {
public:
    explicit OdbcSession(const ConnectSettings& settings);
    ~OdbcSession() override;

    std::unique_ptr<DriverStatement> Prepare(const ParsedSql& sql) override {
        return std::make_unique<OdbcStatement>(m_connection, sql);
    }
    void ExecuteDirect(const std::string& sql) override;
    void StartTransaction(const TransactionDesc& desc) override;
    void Commit() override { End(SQL_COMMIT); }
    void Rollback() override { End(SQL_ROLLBACK); }

private:
    void End(SQLSMALLINT completion);

    SQLHENV m_environment = SQL_NULL_HENV;
    SQLHDBC m_connection = SQL_NULL_HDBC;
};

OdbcSession::OdbcSession(const ConnectSettings& settings) {
    std::string what =
        "Не удалось подключиться к источнику данных \"" +
        (settings.database.find('=') == std::string::npos ? settings.database
                                                          : std::string("(строка подключения)")) +
        "\" (драйвер " + settings.driverName + ", пользователь " + settings.userName + "): ";
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_environment);
    SQLSetEnvAttr(m_environment, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_environment, &m_connection);
    const std::string connect =
        OdbcConnectString(settings.database, settings.userName, settings.password);
    SQLRETURN rc = SQLDriverConnect(m_connection, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS,
                                    nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        std::string message = Diagnostics(SQL_HANDLE_DBC, m_connection);
        SQLFreeHandle(SQL_HANDLE_DBC, m_connection);
        SQLFreeHandle(SQL_HANDLE_ENV, m_environment);
        throw EDatabaseError(what + message);
    }
}

OdbcSession::~OdbcSession() {
    SQLDisconnect(m_connection);
    SQLFreeHandle(SQL_HANDLE_DBC, m_connection);
    SQLFreeHandle(SQL_HANDLE_ENV, m_environment);
}

void OdbcSession::ExecuteDirect(const std::string& sql) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, m_connection, &statement), SQL_HANDLE_DBC, m_connection,
          "");
    SQLRETURN rc = SQLExecDirect(statement, (SQLCHAR*)sql.c_str(), SQL_NTS);
    std::string message =
        SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA ? "" : Diagnostics(SQL_HANDLE_STMT, statement);
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    if (!message.empty())
        throw EDatabaseError(message + "\n" + FirstLine(sql));
}

void OdbcSession::StartTransaction(const TransactionDesc& desc) {
    SQLULEN isolation = desc.IsolationLevel == Isolation::RepeatableRead ? SQL_TXN_REPEATABLE_READ
                        : desc.IsolationLevel == Isolation::DirtyRead    ? SQL_TXN_READ_UNCOMMITTED
                                                                         : SQL_TXN_READ_COMMITTED;
    // Not every driver offers every level; the transaction runs at the driver's then.
    SQLSetConnectAttr(m_connection, SQL_ATTR_TXN_ISOLATION, (SQLPOINTER)isolation, 0);
    Check(SQLSetConnectAttr(m_connection, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
          SQL_HANDLE_DBC, m_connection, "");
}

void OdbcSession::End(SQLSMALLINT completion) {
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_connection, completion);
    std::string message = SQL_SUCCEEDED(rc) ? "" : Diagnostics(SQL_HANDLE_DBC, m_connection);
    SQLSetConnectAttr(m_connection, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
    if (!message.empty())
        throw EDatabaseError(message);
}

} // namespace

Driver OdbcDriver() {
    Driver driver;
    driver.connect = [](const ConnectSettings& settings) -> std::unique_ptr<DriverConnection> {
        return std::make_unique<OdbcSession>(settings);
    };
    return driver;
}

} // namespace db
