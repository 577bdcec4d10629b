// The server's faults as a user meets them through the command line: a wrong
// password or user, nothing listening, a host that never answers, the server
// killed during the save or during the recalculation. Each shows the lines the
// user gets and that nothing of the base was lost or half-written.
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/server/ServerFixture.h"

#include "platform/db/Connection.h"
#include "platform/text/StringList.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace servertest {
namespace {

using reliability::LineDiff;
using ServerFaultTest = ServerBaseTest;

const std::string ConnectFailed = "updatedb: Не удалось подключиться к базе данных \"";

// A socket on 127.0.0.1 that takes connections (the kernel completes them) and
// never answers: a host that hangs. listening=false: a port nothing listens on.
class DeadPort {
public:
    explicit DeadPort(bool listening) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        if (listening)
            listen(m_fd, 8);
    }
    ~DeadPort() { close(m_fd); }
    std::string Address(const std::string& path) const {
        return "127.0.0.1/" + std::to_string(m_port) + ":" + path;
    }

private:
    int m_fd;
    int m_port = 0;
};

} // namespace

TEST_F(ServerFaultTest, AWrongPasswordOrUserGivesOneLineAndThePasswordShowsNowhere) {
    const std::string patch = SOURCE_DIR "/demo/patch.xml";
    const std::string wrong = "Wrong-" + Server().Password().substr(0, 8);
    text::WriteFileBytes(File("wrong"), wrong + "\n");
    const std::string before = ServerSnapshot();
    const std::string address = Server().Address(m_serverBase);
    const std::string refused = "Your user name and password are not defined. Ask your database "
                                "administrator to set up a Firebird login.\n";
    struct Case {
        std::vector<std::string> args;
        std::string user;
    };
    const std::vector<Case> cases = {
        {{"--database", address, "--password-file", File("wrong")}, "SYSDBA"},
        {{"--database", address, "--user", "INTRUDER", "--password-file", m_passwordFile},
         "INTRUDER"},
        {{"--connections", WriteIni("wrong.ini", "Password=" + wrong + "\n"), "--connection",
          "IBConnection", "--password-file", File("wrong")},
         "SYSDBA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        auto run = testsupport::RunProcess(
            UPDATEDB_BIN, Concat(c.args, {"apply", patch, "--journal", File("journal.txt")}));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, ConnectFailed + address + "\" (драйвер Firebird, пользователь " +
                               c.user + "): " + refused);
        const std::string journal = text::ReadFileBytes(File("journal.txt"));
        for (const std::string& secret : {wrong, Server().Password()}) {
            EXPECT_EQ(run.out.find(secret), std::string::npos);
            EXPECT_EQ(run.err.find(secret), std::string::npos);
            EXPECT_EQ(journal.find(secret), std::string::npos);
        }
    }
    EXPECT_EQ(LineDiff(before, ServerSnapshot()), "");
}

TEST_F(ServerFaultTest, NothingListeningAStoppedServerOrAMuteHostEndPromptlyWithOneLine) {
    const std::string patch = SOURCE_DIR "/demo/patch.xml";
    const std::string before = ServerSnapshot();
    const std::string unreachable = "Unable to complete network request to host \"127.0.0.1\". "
                                    "-Failed to establish a connection.\n";
    const auto expectOneLine = [&](const std::vector<std::string>& args,
                                   const std::string& address, const std::string& reason) {
        Background run(Concat(args, {"apply", patch}), File("out.txt"));
        EXPECT_EQ(run.run.WaitAtMost(30), 1) << "a hang is killed after 30 s";
        EXPECT_EQ(run.Out(), "");
        EXPECT_EQ(run.run.Err(), ConnectFailed + address +
                                     "\" (драйвер Firebird, пользователь SYSDBA): " + reason);
    };
    {
        SCOPED_TRACE("a port nothing listens on");
        DeadPort closed(false);
        const std::string address = closed.Address(m_serverBase);
        expectOneLine({"--database", address, "--password-file", m_passwordFile}, address,
                      unreachable);
    }
    {
        SCOPED_TRACE("the server stopped before the run");
        Server().Kill();
        expectOneLine(ServerArgs(), Server().Address(m_serverBase), unreachable);
        Server().Start();
    }
    {
        SCOPED_TRACE("a host that takes the connection and never answers");
        DeadPort mute(true);
        const std::string address = mute.Address(m_serverBase);
        text::WriteFileBytes(File("mute.ini"), "[IBConnection]\nDriverName=Firebird\nDatabase=" +
                                                   address + "\nConnectTimeout=2\n");
        expectOneLine({"--connections", File("mute.ini"), "--connection", "IBConnection",
                       "--password-file", m_passwordFile},
                      address,
                      "сервер не ответил за 2 с (ConnectTimeout): connection rejected by remote "
                      "interface\n");
    }
    EXPECT_EQ(LineDiff(before, ServerSnapshot()), "");
}

TEST_F(ServerFaultTest, TheServerKilledDuringTheSaveLeavesTheBaseAsItWasBeforeTheRun) {
    const int Norms = 60;
    const std::string patch = WritePatch("patch.xml", 50, 2, Norms / 2);
    const std::vector<std::string> apply = Concat(ServerArgs(), {"apply", patch, "--no-others"});
    const std::string before = ServerSnapshot();
    auto reference = OnLocal({"apply", patch, "--no-others"});
    ASSERT_EQ(reference.status, 0) << reference.err;

    // Each norm's save sends "Добавление работы <code>" to stderr: the server
    // dies after the first, a middle and the last of them, and once more
    // just after the last (at the commit).
    int killed = 0;
    for (int line : {1, Norms / 3, 2 * Norms / 3, Norms, Norms + 1}) {
        SCOPED_TRACE("killed after line " + std::to_string(line));
        Background run(apply, File("out.txt"));
        ASSERT_TRUE(run.run.WaitForLines("log info: Добавление работы ", std::min(line, Norms)))
            << run.run.Err();
        if (line > Norms)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Server().Kill();
        const int status = run.run.WaitAtMost(60);
        Server().Start();
        if (status == 0) { // the commit came first: the whole patch is there
            EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");
            break;
        }
        ++killed;
        ExpectOneSaveErrorLine(status, run.Out());
        EXPECT_EQ(LineDiff(before, ServerSnapshot()), "");
    }
    EXPECT_GE(killed, 3);

    auto full = testsupport::RunProcess(UPDATEDB_BIN, apply);
    EXPECT_EQ(full.status, 0) << full.out << full.err;
    EXPECT_EQ(full.out, reference.out);
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");
}

namespace {

// The rows of one table in a snapshot, and the snapshot without some tables.
std::string Section(const std::string& snapshot, const std::string& table) {
    const size_t start = snapshot.find("== " + table + "\n");
    const size_t end = snapshot.find("\n== ", start);
    return start == std::string::npos ? ""
                                      : snapshot.substr(start, end == std::string::npos
                                                                   ? std::string::npos
                                                                   : end + 1 - start);
}

std::string Without(std::string snapshot, const std::vector<std::string>& tables) {
    for (const std::string& table : tables) {
        const std::string section = Section(snapshot, table);
        snapshot.erase(snapshot.find(section), section.size());
    }
    return snapshot;
}

// How many rows of the table the server holds in their recalculated form
// rather than as saved; every row is one or the other.
int RecalculatedRows(const std::string& saved, const std::string& recalculated,
                     const std::string& server, const std::string& table) {
    text::StringList changes;
    changes.SetText(LineDiff(Section(saved, table), Section(server, table)));
    int count = 0;
    for (const std::string& change : changes.Lines()) {
        const bool added = change.rfind("+ ", 0) == 0;
        EXPECT_NE(Section(added ? recalculated : saved, table).find(change.substr(2)),
                  std::string::npos)
            << table << ": " << change;
        count += added;
    }
    return count;
}

// The journal's lines of one pass of the recalculation: per step (a norm, or
// a norm and entry number) how many lines said it was done and how many that
// it failed. A step is named by the first `words` words after the text.
struct Steps {
    std::map<std::string, int> done, failed;
    int Done() const { return Sum(done); }
    int Failed() const { return Sum(failed); }
    static int Sum(const std::map<std::string, int>& counts) {
        int sum = 0;
        for (const auto& [step, count] : counts)
            sum += count;
        return sum;
    }
};

Steps CountSteps(const std::string& out, const std::string& doneText,
                 const std::string& failedText, int words) {
    Steps steps;
    const auto name = [words](const std::string& rest) {
        size_t end = 0;
        for (int w = 0; w < words && end != std::string::npos; ++w)
            end = rest.find(' ', end + (w ? 1 : 0));
        return rest.substr(0, end);
    };
    for (const std::string& line : LinesStartingWith(out, doneText))
        ++steps.done[name(line.substr(doneText.size()))];
    for (const std::string& line : LinesStartingWith(out, failedText))
        ++steps.failed[name(line.substr(failedText.size()))];
    return steps;
}

} // namespace

TEST_F(ServerFaultTest, AConnectionLostInTheRecalculationGivesOneLinePerFailedStepAndNoMore) {
    // Collections 70 and 71: 20 norms of 3 entries, each entry with one line of
    // other materials, so both passes have work.
    const std::string patch = WritePatch("patch.xml", 70, 2, 10);
    const std::string saved = LocalCopy("saved.fdb");
    ASSERT_EQ(OnLocal({"apply", patch, "--no-others"}, saved).status, 0);
    ASSERT_EQ(OnLocal({"apply", patch}).status, 0);
    const std::string savedRows = LocalSnapshot(saved);
    const std::string recalculatedRows = LocalSnapshot();

    Background run(Concat(ServerArgs(), {"apply", patch}), File("out.txt"));
    ASSERT_TRUE(run.run.WaitForLines("log info: Пересчет зарплаты у работы ", 7)) << run.run.Err();
    Server().Kill();
    const int status = run.run.WaitAtMost(60);
    Server().Start();
    const std::string out = run.Out();
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(LinesStartingWith(out, "Сохранение в БД").size(), 1u) << out;
    EXPECT_EQ(LinesStartingWith(out, "Обновление завершенно!").size(), 1u) << out;

    // Wage pass: each norm either recalculated all its three entries, or ended
    // with one error line (the norm in progress may have done some first).
    // Other-material pass: one line per entry, done or failed.
    const Steps wages = CountSteps(out, "Пересчет зарплаты у работы ",
                                   "Ошибка при пересчете зарплаты у работы ", 1);
    const Steps others = CountSteps(out, "Пересчет расхода у прочего материала ",
                                    "Ошибка при пересчете  расхода у прочего материала ", 2);
    for (int c = 70; c <= 71; ++c)
        for (int n = 1; n <= 10; ++n) {
            char norm[32]; // room for any two ints, as the compiler checks
            std::snprintf(norm, sizeof norm, "%02d-01-%03d", c, n);
            const int done = wages.done.count(norm) ? wages.done.at(norm) : 0;
            const int failed = wages.failed.count(norm) ? wages.failed.at(norm) : 0;
            EXPECT_TRUE((done == 3 && failed == 0) || (done < 3 && failed == 1))
                << norm << ": " << done << " done, " << failed << " failed";
            for (int entry = 1; entry <= 3; ++entry) {
                const std::string step = std::string(norm) + " " + std::to_string(entry);
                EXPECT_EQ(others.done.count(step) + others.failed.count(step), 1u) << step;
            }
        }
    EXPECT_EQ(others.Done() + others.Failed(), 60);
    EXPECT_GE(wages.Failed() + others.Failed(), 1) << out;
    EXPECT_EQ(LinesStartingWith(out, "Ошибка").size(),
              static_cast<size_t>(wages.Failed() + others.Failed()))
        << out;

    // The save is whole; of the recalculation exactly what the journal reports
    // as done is there, nothing else changed.
    const std::string serverRows = ServerSnapshot();
    EXPECT_EQ(LineDiff(Without(savedRows, {"ZARP", "CNIR"}), Without(serverRows, {"ZARP", "CNIR"})),
              "");
    EXPECT_EQ(RecalculatedRows(savedRows, recalculatedRows, serverRows, "ZARP"), wages.Done());
    EXPECT_EQ(RecalculatedRows(savedRows, recalculatedRows, serverRows, "CNIR"), others.Done());
}

} // namespace servertest
