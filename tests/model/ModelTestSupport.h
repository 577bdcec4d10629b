// Helpers of the model tests: a fresh base with the project's schema, the
// journal and the host log recorded, whole-table dumps and patch fragments read
// into any model object. Each fixture owns its database file and recorders.
#pragma once

#include "model/Journal.h"

#include "Serialaze/TSerializeList.h"
#include "platform/host/Application.h"
#include "platform/host/Messages.h"
#include "tests/support/TempDatabase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace modeltest {

// The journal lines, in order.
class JournalLines : public Journal {
public:
    void Append(const std::string& line) override { m_lines.push_back(line); }
    // The lines joined with "\n", each followed by it.
    std::string Text() const;
    void Clear() { m_lines.clear(); }

private:
    std::vector<std::string> m_lines;
};

// A main window that records the HostLogMessage lines it receives as
// "<kind>:<text>" lines.
class HostLogRecorder : public host::MessageTarget {
public:
    host::LResult HandleMessage(unsigned message, host::WParam wParam,
                                host::LParam lParam) override;
    std::string Text() const;

private:
    std::vector<std::string> m_lines;
};

// Every row of `table` ordered by `orderBy`, one line per row: the column
// values as text separated by "|", NULL for NULL; each line ends with "\n".
std::string DumpTable(db::Connection& connection, const std::string& table,
                      const std::string& orderBy);
// The tables of the base's schema, each with the columns that order its rows.
struct BaseTable {
    const char* name;
    const char* orderBy;
};
const std::vector<BaseTable>& BaseTables();
// Every table of BaseTables, each under its name, as DumpTable shows it.
std::string DumpBase(db::Connection& connection);

// Reads the XML text (UTF-8, no declaration needed) into `object`, whose class
// name must be the root element's name.
void ReadXml(TSerializeList& object, const std::string& xml);
// The object written as XML: its non-empty lines joined with "\n".
std::string WriteXml(TSerializeList& object);

// A fresh embedded base with the schema, a recorded journal and host log.
class ModelTest : public ::testing::Test {
protected:
    ModelTest();
    ~ModelTest() override;

    db::Connection& Db() { return m_database.Connection(); }
    std::string Dump(const std::string& table, const std::string& orderBy) {
        return DumpTable(Db(), table, orderBy);
    }
    // Runs statements without parameters.
    void Exec(const std::vector<std::string>& statements);

    testsupport::TempDatabase m_database;
    JournalLines m_journal;
    HostLogRecorder m_hostLog;

private:
    ScopedUpdateJournal m_journalScope{&m_journal};
    host::ScopedTarget m_mainForm{&m_hostLog};
    host::Application m_application;
    host::Application* m_previousApplication = nullptr;
};

} // namespace modeltest
