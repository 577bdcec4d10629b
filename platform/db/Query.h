// A statement on a connection, as the program's query component offers it: a
// text with `:name` parameters bound by name (letter case ignored), execution
// with or without a result, and a forward walk over the rows with columns read
// by name. The Query borrows a prepared statement from its Connection while it
// has a text; the Connection must outlive it.
#pragma once

#include "platform/db/Connection.h"
#include "platform/db/SqlText.h"
#include "platform/db/Value.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db {

// A parameter of the current text; its value stays until it is bound again or
// the text changes to one without a parameter of that name.
class Param {
public:
    explicit Param(std::string name) : m_name(std::move(name)) {}
    const std::string& Name() const { return m_name; }
    const BoundValue& Value() const { return m_value; }

    void SetString(std::string value);
    void SetInteger(int64_t value);
    // The four-decimal fixed-point value (value x 10000, see text::ToFixed4).
    void SetFixed4(int64_t fixed);
    void SetDecimal(const text::Decimal& value);
    // Through text::Decimal::FromDouble (15 significant digits). Throws
    // EConvertError for NaN and infinity.
    void SetDecimal(double value);
    void SetNull();

private:
    friend class ParamList;
    std::string m_name;
    BoundValue m_value;
};

// The parameters of a statement text, one per distinct name, found by name
// without regard to letter case.
class ParamList {
public:
    ParamList() = default;
    // The plan's parameters, each keeping the value of the parameter of the
    // same name in `previous`, when there is one.
    explicit ParamList(const SqlPlan& plan, const ParamList* previous = nullptr);
    // Throws EDatabaseError naming the parameter and `sql`'s first line when
    // there is none of that name.
    Param& ByName(std::string_view name, const std::string& sql);
    int Count() const { return static_cast<int>(m_params.size()); }
    // REQUIRES: 0 <= index < Count(). In the order the text names them first.
    Param& At(int index) { return m_params[static_cast<size_t>(index)]; }
    // One value per '?' mark of the plan. Throws EDatabaseError naming the
    // first parameter that is unbound.
    std::vector<BoundValue> Positional(const SqlPlan& plan) const;

private:
    std::vector<Param> m_params;
};

// A column of the open result; reads the current row (NULL when there is none).
class Field {
public:
    Field(std::string name, const std::vector<FieldValue>* row, int index)
        : m_name(std::move(name)), m_row(row), m_index(index) {}
    const std::string& Name() const { return m_name; }
    // See FieldValue: NULL reads as "" or 0.
    std::string AsString() const { return Current().AsString(); }
    int64_t AsInteger() const { return Current().AsInteger(); }
    double AsFloat() const { return Current().AsFloat(); }
    bool IsNull() const { return Current().IsNull(); }
    const FieldValue& Value() const { return Current(); }

private:
    const FieldValue& Current() const;
    std::string m_name;
    const std::vector<FieldValue>* m_row;
    int m_index;
};

class Query {
public:
    explicit Query(Connection& connection);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // Sets the text (closing the query). Values of parameters whose names occur
    // in the new text are kept; the others are dropped.
    void SetSQL(std::string sql);
    const std::string& SQL() const;
    // Closes the query and forgets the text and every parameter value.
    void ClearSQL();

    // Throws EDatabaseError naming the parameter when the text has none of that
    // name (compared without regard to letter case).
    Param& ParamByName(std::string_view name);
    int ParamCount() const { return m_params.Count(); }
    // REQUIRES: 0 <= index < ParamCount(). In the order the text names them.
    Param& ParamAt(int index) { return m_params.At(index); }

    // Runs the text and moves to its first row; statements waiting on the
    // connection are sent first. Throws EDatabaseError when the text yields no
    // result, a parameter is unbound, or the database fails.
    void Open();
    // Runs the text without a result; a result the text yields is discarded.
    // With grouping, a statement that changes rows inside an explicit
    // transaction may wait on the connection and fail later, when it is sent
    // (see Connection). Throws as Open.
    void ExecSQL();
    // Runs the text at once, never waiting (the waiting statements are sent
    // first), and answers the rows it changed (-1 when the driver cannot
    // tell). For statements whose failure or row count the caller handles
    // right there. Throws as Open.
    int64_t ExecSQLNow();
    // What the statements this query runs come from, for the caller's own
    // use: a statement that fails (EStatementFailed), whether it waited or
    // ran at once, names it. Kept until set again; nullptr by default.
    void SetOrigin(const void* origin) { m_origin = origin; }
    const void* Origin() const { return m_origin; }
    // The rows the last ExecSQL changed (a round trip on a server); -1 when the
    // statement waited to be sent with others or the driver cannot tell.
    int64_t RowsAffected();
    // The connection the query runs on. Throws EDatabaseError when it is gone.
    Connection& GetConnection() const { return RequireConnection(); }
    // Closes the result; the text, parameters and statement stay. Never throws.
    void Close();
    bool Active() const { return m_active; }

    // True when there is no current row (past the last one or none at all).
    bool Eof() const { return !m_active || m_eof; }
    // True when the open result has no rows at all, or the query is closed.
    bool IsEmpty() const { return !m_active || m_rowsSeen == 0; }
    // Back to the first row: runs the text again unless on the first row.
    void First();
    // The next row; does nothing at the end.
    void Next();

    // Throws EDatabaseError naming the column when the result has none of that
    // name (letter case ignored) or the query is not open.
    const Field& FieldByName(std::string_view name) const;
    // nullptr when there is no such column or the query is not open.
    const Field* FindField(std::string_view name) const;
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    // REQUIRES: 0 <= index < FieldCount().
    const Field& FieldAt(int index) const { return m_fields.at(static_cast<size_t>(index)); }

private:
    friend class Connection;
    // The connection is closing: give the statement back (it is freed).
    void LoseStatement();
    // The connection is being destroyed.
    void LoseConnection();

    // Runs the text now. `named`: a failure of the statement itself is thrown
    // as EStatementFailed naming the origin.
    int64_t Execute(bool named = false);
    // The first line of the text, for messages.
    std::string FirstLine() const;
    void ReadRow();
    void ReleaseStatement();
    Connection& RequireConnection() const;

    Connection* m_connection;
    std::shared_ptr<const SqlPlan> m_plan; // null without a text
    ParamList m_params;
    CachedStatement* m_statement = nullptr;
    int64_t m_rowsAffected = -1; // of the last ExecSQL, when the driver told
    bool m_waited = false;       // the last ExecSQL left its statement waiting
    const void* m_origin = nullptr;
    bool m_active = false;
    bool m_eof = true;
    int64_t m_rowsSeen = 0;
    std::vector<FieldValue> m_row;
    std::vector<Field> m_fields;
};

} // namespace db
