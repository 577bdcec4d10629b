// A database driver for tests of statements that cannot run here (Oracle): it
// records every statement text with its bound values, in order, and answers
// scripted rows. While a RecordingDriver lives it is registered under its
// driver name (by default replacing "Oracle"); the previous driver comes back
// when it goes.
#pragma once

#include "platform/db/Driver.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct RecordedParam {
    std::string name;  // as written in the text
    std::string value; // BoundValue::ToText ("" for NULL)
    std::string type;  // BoundValue::KindName
};

struct RecordedStatement {
    std::string kind; // "exec" (prepared statement), "direct", "start", "commit", "rollback"
    std::string sql;
    std::vector<RecordedParam> params;
};

// Rows answered to a statement; a missing value (nullopt) reads as NULL.
struct ScriptedResult {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;
};

class RecordingDriver {
public:
    explicit RecordingDriver(std::string driverName = "Oracle");
    ~RecordingDriver();
    RecordingDriver(const RecordingDriver&) = delete;
    RecordingDriver& operator=(const RecordingDriver&) = delete;

    const std::vector<RecordedStatement>& Statements() const;
    // One line per statement: "exec: <sql> | name=value (type), ...".
    std::string Dump() const;
    void Clear();
    int Connects() const;

    // Every execution of exactly this text answers these rows.
    void Answer(const std::string& sql, ScriptedResult result);
    // The next executions of texts without an answer of their own that start
    // with "select" take these results in order (no rows once used up).
    void Queue(ScriptedResult result);
    // Executions of exactly this text fail with the message.
    void Fail(const std::string& sql, const std::string& message);
    // Connecting fails with the message (empty: connecting works).
    void FailConnect(const std::string& message);

    struct State;

private:
    std::string m_driverName;
    db::Driver m_previous;
    std::shared_ptr<State> m_state;
};

} // namespace testsupport
