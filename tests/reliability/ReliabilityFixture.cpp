#include "tests/reliability/ReliabilityFixture.h"
#include "tests/support/QueryText.h"

#include "tests/support/TempDatabase.h"

#include "platform/db/Query.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace reliability {
namespace {

std::vector<std::string> Column(db::Connection& connection, const std::string& sql) {
    db::Query query(connection);
    query.SetSQL(sql);
    std::vector<std::string> values;
    for (query.Open(); !query.Eof(); query.Next())
        values.push_back(query.FieldAt(0).AsString());
    return values;
}

std::string TableRows(db::Connection& connection, const std::string& table) {
    return "== " + table + "\n" +
           testsupport::QueryText(connection, "select * from " + table, "NULL", true);
}

} // namespace

std::string Snapshot(const std::string& basePath) {
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, basePath);
    return Snapshot(connection);
}

std::string Snapshot(db::Connection& connection) {
    std::string text;
    for (const std::string& table :
         Column(connection, "select trim(rdb$relation_name) from rdb$relations "
                            "where rdb$system_flag = 0 and rdb$view_blr is null "
                            "order by rdb$relation_name"))
        text += TableRows(connection, table);
    connection.Close();
    return text;
}

std::string LineDiff(const std::string& before, const std::string& after) {
    text::StringList a, b;
    a.SetText(before);
    b.SetText(after);
    std::multiset<std::string> inA(a.Lines().begin(), a.Lines().end());
    std::multiset<std::string> inB(b.Lines().begin(), b.Lines().end());
    std::string diff;
    for (const std::string& line : a.Lines())
        if (inB.count(line) == 0)
            diff += "- " + line + "\n";
    for (const std::string& line : b.Lines())
        if (inA.count(line) == 0)
            diff += "+ " + line + "\n";
    return diff;
}

void DemoBaseTest::SetUp() {
    m_folder = testsupport::MakeTempFolder("reliability");
    m_base = m_folder + "/base.fdb";
    auto init = testsupport::RunProcess(UPDATEDB_BIN, {"init", m_base});
    ASSERT_EQ(init.status, 0) << init.err;
    auto fill = Run({"run-sql", SOURCE_DIR "/demo/base.sql"});
    ASSERT_EQ(fill.status, 0) << fill.err;
}

void DemoBaseTest::TearDown() {
    fs::remove_all(m_folder);
}

testsupport::ProcessResult DemoBaseTest::Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--database", m_base});
    return testsupport::RunProcess(UPDATEDB_BIN, args);
}

void DemoBaseTest::WriteCp1251(const std::string& name, const std::string& utf8) const {
    text::WriteFileBytes(File(name), text::Utf8ToCp1251(utf8));
}

void DemoBaseTest::WriteBytes(const std::string& name, const std::string& bytes) const {
    text::WriteFileBytes(File(name), bytes);
}

void DemoBaseTest::Sql(const std::string& script) const {
    const std::string path = File("statements.sql");
    text::WriteFileBytes(path, script);
    auto result = Run({"run-sql", path});
    ASSERT_EQ(result.status, 0) << result.err;
    fs::remove(path);
}

RunningUpdatedb::RunningUpdatedb(const std::vector<std::string>& args,
                                 const std::string& stdoutFile) {
    int errPipe[2];
    if (pipe(errPipe) != 0)
        throw std::runtime_error("pipe failed");
    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(errPipe[1], 2);
        close(errPipe[0]);
        std::vector<char*> argv{const_cast<char*>(UPDATEDB_BIN)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(UPDATEDB_BIN, argv.data());
        _exit(127);
    }
    close(errPipe[1]);
    m_errFd = errPipe[0];
}

RunningUpdatedb::~RunningUpdatedb() {
    if (m_status < 0)
        Kill();
    if (m_errFd >= 0)
        close(m_errFd);
}

bool RunningUpdatedb::ReadMore() {
    char buffer[4096];
    ssize_t n = read(m_errFd, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    m_err.append(buffer, static_cast<size_t>(n));
    return true;
}

bool RunningUpdatedb::WaitForLines(const std::string& prefix, int count) {
    while (m_seen < count) {
        std::string::size_type end = m_err.find('\n', m_scanned);
        if (end == std::string::npos) {
            if (!ReadMore())
                return false;
            continue;
        }
        if (m_err.compare(m_scanned, prefix.size(), prefix) == 0)
            ++m_seen;
        m_scanned = end + 1;
    }
    return true;
}

int RunningUpdatedb::Kill() {
    if (m_status >= 0)
        return m_status;
    kill(m_pid, SIGKILL);
    return Wait();
}

int RunningUpdatedb::WaitAtMost(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{m_errFd, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : 0;
        if (ready == 0) {
            Kill();
            return -1;
        }
        if (ready > 0 && !ReadMore())
            return Wait();
    }
}

int RunningUpdatedb::Wait() {
    if (m_status >= 0)
        return m_status;
    while (ReadMore()) {
    }
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_status;
}

} // namespace reliability
