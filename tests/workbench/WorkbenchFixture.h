// A task window's state on a fresh embedded base holding the demo's sample
// normative base, with the host log recorded, and helpers that turn the base
// and the journals into text for whole comparisons.
#pragma once

#include "tests/support/TempDatabase.h"
#include "workbench/UpdateForm.h"

#include "platform/host/Messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// The host main window: keeps each log line with its kind as "I: text" or
// "E: text".
struct HostLog : host::MessageTarget {
    std::vector<std::string> lines;
    host::LResult HandleMessage(unsigned message, host::WParam w, host::LParam l) override;
};

class WorkbenchTest : public ::testing::Test {
protected:
    WorkbenchTest();
    ~WorkbenchTest() override;

    // Writes a patch (UTF-8 text, stored as windows-1251) and puts its path into
    // EdPatch.
    void UsePatch(const std::string& xml);
    // Runs SQL on a connection of its own (auto-committed).
    void Sql(const std::string& statement);
    std::string Scalar(const std::string& sql);
    // Every row of the table as "a|b|c", sorted.
    std::string Dump(const std::string& table);
    // Every table of the base.
    std::string DumpAll();
    // Every column of every table of the base with its type, length, scale and
    // nullability, and each table's format version (raised by every change
    // of its columns).
    std::string Schema();
    std::vector<std::string> Journal() const { return m_form->MemoLog.Lines().Lines(); }
    std::vector<std::string> DeleteJournal() const { return m_form->MemoDelete.Lines().Lines(); }

    std::unique_ptr<TempDatabase> m_db;
    std::unique_ptr<db::Connection> m_sql;
    HostLog m_hostLog;
    host::ScopedTarget m_hostWindow{&m_hostLog};
    std::unique_ptr<UpdateForm> m_form;
};

// The patch document with the usual root around the given collections.
std::string PatchXml(const std::string& body);

} // namespace testsupport
