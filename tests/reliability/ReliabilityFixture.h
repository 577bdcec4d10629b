// A demo base made through the command line in a folder of its own, a
// snapshot of every table of it as one text, and the command line run either
// to its end or killed while it works.
#pragma once

#include "platform/db/Connection.h"
#include "tests/cli/RunProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace reliability {

// Every row of every table of the base, tables in name order, rows sorted,
// NULL spelt out. Opens a connection of its own and closes it again.
std::string Snapshot(const std::string& basePath);
// The same through a connection that is set up (and opened when needed).
std::string Snapshot(db::Connection& connection);

// The lines of `before` missing from `after` ("- " in front) and the lines of
// `after` missing from `before` ("+ "); "" when both hold the same lines. For
// readable failures of snapshot comparisons.
std::string LineDiff(const std::string& before, const std::string& after);

// The folder's base: `updatedb init` and the demo base's script.
class DemoBaseTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The command line with `--database <the base>` in front of `args`.
    testsupport::ProcessResult Run(std::vector<std::string> args) const;
    std::string File(const std::string& name) const { return m_folder + "/" + name; }
    // Writes UTF-8 text as windows-1251 bytes.
    void WriteCp1251(const std::string& name, const std::string& utf8) const;
    void WriteBytes(const std::string& name, const std::string& bytes) const;
    // Runs SQL on the base through `updatedb run-sql`; fails the test on error.
    void Sql(const std::string& script) const;

    std::string m_folder;
    std::string m_base;
};

// A started `updatedb` whose stderr is read line by line; stdout goes to a file.
class RunningUpdatedb {
public:
    RunningUpdatedb(const std::vector<std::string>& args, const std::string& stdoutFile);
    ~RunningUpdatedb();
    RunningUpdatedb(const RunningUpdatedb&) = delete;
    RunningUpdatedb& operator=(const RunningUpdatedb&) = delete;

    // Reads stderr until `count` lines starting with `prefix` have arrived.
    // False when the process closed stderr first.
    bool WaitForLines(const std::string& prefix, int count);
    // SIGKILL, then waits for the end. Answers 128 + 9 when the kill hit a
    // running process, the exit status when it had already ended.
    int Kill();
    // Reads stderr to its end and waits; answers the exit status.
    int Wait();
    // The same, but for at most `seconds`: a process still running then is
    // killed, and the answer is -1.
    int WaitAtMost(double seconds);
    const std::string& Err() const { return m_err; }

private:
    bool ReadMore();
    int m_pid = -1;
    int m_errFd = -1;
    std::string m_err;
    std::string::size_type m_scanned = 0;
    int m_seen = 0;
    int m_status = -1;
};

} // namespace reliability
