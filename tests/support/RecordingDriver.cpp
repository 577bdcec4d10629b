#include "tests/support/RecordingDriver.h"

#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

#include <deque>
#include <map>

namespace testsupport {

struct RecordingDriver::State {
    std::vector<RecordedStatement> statements;
    std::map<std::string, ScriptedResult> answers;
    std::map<std::string, std::string> failures;
    std::deque<ScriptedResult> queue;
    std::string connectFailure;
    int connects = 0;
};

namespace {

using State = RecordingDriver::State;

class RecordingStatement : public db::DriverStatement {
public:
    RecordingStatement(std::shared_ptr<State> state, const db::ParsedSql& sql)
        : m_state(std::move(state)), m_sql(sql) {}

    int64_t Execute(const std::vector<db::BoundValue>& params) override {
        RecordedStatement record{"exec", m_sql.original, {}};
        for (size_t i = 0; i < params.size(); ++i)
            record.params.push_back({m_sql.names.at(i), params[i].ToText(), params[i].KindName()});
        m_state->statements.push_back(std::move(record));
        auto failure = m_state->failures.find(m_sql.original);
        if (failure != m_state->failures.end())
            throw EDatabaseError(failure->second);
        m_result.reset();
        m_next = 0;
        auto answer = m_state->answers.find(m_sql.original);
        if (answer != m_state->answers.end()) {
            m_result = answer->second;
        } else if (text::UpperAscii(text::Trim(m_sql.original)).compare(0, 6, "SELECT") == 0) {
            m_result = ScriptedResult{};
            if (!m_state->queue.empty()) {
                m_result = m_state->queue.front();
                m_state->queue.pop_front();
            }
        }
        if (m_result)
            for (std::string& column : m_result->columns)
                column = text::UpperAscii(column);
        return m_result ? 0 : 1;
    }
    bool HasCursor() const override { return m_result.has_value(); }
    const std::vector<std::string>& Columns() const override {
        static const std::vector<std::string> none;
        return m_result ? m_result->columns : none;
    }
    bool Fetch() override {
        if (!m_result || m_next >= m_result->rows.size()) {
            m_result.reset();
            return false;
        }
        m_row = m_result->rows[m_next++];
        return true;
    }
    db::FieldValue Column(int index) override {
        const auto& value = m_row.at(static_cast<size_t>(index));
        return value ? db::FieldValue::String(*value) : db::FieldValue::Null();
    }
    void CloseCursor() override { m_result.reset(); }

private:
    std::shared_ptr<State> m_state;
    db::ParsedSql m_sql;
    std::optional<ScriptedResult> m_result;
    size_t m_next = 0;
    std::vector<std::optional<std::string>> m_row;
};

class RecordingSession : public db::DriverConnection {
public:
    explicit RecordingSession(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    std::unique_ptr<db::DriverStatement> Prepare(const db::ParsedSql& sql) override {
        return std::make_unique<RecordingStatement>(m_state, sql);
    }
    void ExecuteDirect(const std::string& sql) override {
        m_state->statements.push_back({"direct", sql, {}});
        auto failure = m_state->failures.find(sql);
        if (failure != m_state->failures.end())
            throw EDatabaseError(failure->second);
    }
    void StartTransaction(const db::TransactionDesc&) override {
        m_state->statements.push_back({"start", "", {}});
    }
    void Commit() override { m_state->statements.push_back({"commit", "", {}}); }
    void Rollback() override { m_state->statements.push_back({"rollback", "", {}}); }

private:
    std::shared_ptr<State> m_state;
};

} // namespace

RecordingDriver::RecordingDriver(std::string driverName)
    : m_driverName(std::move(driverName)), m_state(std::make_shared<State>()) {
    db::Driver driver;
    std::shared_ptr<State> state = m_state;
    driver.connect = [state](const db::ConnectSettings& settings) {
        if (!state->connectFailure.empty())
            throw EDatabaseError("Не удалось подключиться к базе данных \"" + settings.database +
                                 "\": " + state->connectFailure);
        ++state->connects;
        return std::unique_ptr<db::DriverConnection>(std::make_unique<RecordingSession>(state));
    };
    m_previous = db::RegisterDriver(m_driverName, driver);
}

RecordingDriver::~RecordingDriver() {
    db::RegisterDriver(m_driverName, m_previous);
}

const std::vector<RecordedStatement>& RecordingDriver::Statements() const {
    return m_state->statements;
}

std::string RecordingDriver::Dump() const {
    std::string out;
    for (const RecordedStatement& statement : m_state->statements) {
        out += statement.kind;
        if (!statement.sql.empty())
            out += ": " + statement.sql;
        for (size_t i = 0; i < statement.params.size(); ++i) {
            const RecordedParam& param = statement.params[i];
            out += (i ? ", " : " | ") + param.name + "=" + param.value + " (" + param.type + ")";
        }
        out += "\n";
    }
    return out;
}

void RecordingDriver::Clear() {
    m_state->statements.clear();
}
int RecordingDriver::Connects() const {
    return m_state->connects;
}

void RecordingDriver::Answer(const std::string& sql, ScriptedResult result) {
    m_state->answers[sql] = std::move(result);
}

void RecordingDriver::Queue(ScriptedResult result) {
    m_state->queue.push_back(std::move(result));
}

void RecordingDriver::Fail(const std::string& sql, const std::string& message) {
    m_state->failures[sql] = message;
}

void RecordingDriver::FailConnect(const std::string& message) {
    m_state->connectFailure = message;
}

} // namespace testsupport
