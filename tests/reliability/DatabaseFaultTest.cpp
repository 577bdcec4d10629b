// Saves that the database refuses part-way: a layer over the real Firebird
// driver failing the first, a middle or the last statement of the save (or its
// commit), a disk that fills up under the base, and a second process on the
// same base. None of them may leave anything of the save behind.
#include "tests/reliability/PatchGenerator.h"
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/support/ForwardingDriver.h"
#include "tests/workbench/WorkbenchFixture.h"

#include "platform/db/Driver.h"
#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "workbench/UpdateRun.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>

namespace fs = std::filesystem;

namespace reliability {
namespace {

// Counts the statements executed inside an explicit transaction and fails the
// one numbered failAt (1-based; 0: none), or the commit.
struct FaultPlan {
    int failAt = 0;
    bool failCommit = false;
    int executed = 0;
    bool inTransaction = false;
};

FaultPlan g_plan;

class FaultyStatement : public testsupport::ForwardingStatement {
public:
    using ForwardingStatement::ForwardingStatement;
    int64_t Execute(const std::vector<db::BoundValue>& params) override {
        if (g_plan.inTransaction && ++g_plan.executed == g_plan.failAt)
            throw EDatabaseError("injected fault at statement " + std::to_string(g_plan.failAt));
        return ForwardingStatement::Execute(params);
    }
};

class FaultyConnection : public testsupport::ForwardingConnection {
public:
    using ForwardingConnection::ForwardingConnection;
    std::unique_ptr<db::DriverStatement> Prepare(const db::ParsedSql& sql) override {
        return std::make_unique<FaultyStatement>(ForwardingConnection::Prepare(sql));
    }
    void StartTransaction(const db::TransactionDesc& desc) override {
        ForwardingConnection::StartTransaction(desc);
        g_plan.inTransaction = true;
    }
    void Commit() override {
        if (g_plan.failCommit)
            throw EDatabaseError("injected fault at commit");
        ForwardingConnection::Commit();
        g_plan.inTransaction = false;
    }
    void Rollback() override {
        ForwardingConnection::Rollback();
        g_plan.inTransaction = false;
    }
};

class FaultyDriverTest : public testsupport::WorkbenchTest {
protected:
    FaultyDriverTest() {
        db::Driver faulty;
        faulty.connect =
            [](const db::ConnectSettings& settings) -> std::unique_ptr<db::DriverConnection> {
            return std::make_unique<FaultyConnection>(
                db::FindDriver("Firebird")->connect(settings));
        };
        m_previous = db::RegisterDriver("FaultyFirebird", faulty);
        g_plan = FaultPlan{};
        m_form->SQLConnect.SetDriverName("FaultyFirebird");
        m_form->ChProch = false;
        UsePatch(text::Cp1251ToUtf8(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml")));
    }
    ~FaultyDriverTest() override { db::RegisterDriver("FaultyFirebird", m_previous); }

    // One update run; answers the journal lines from the save's on.
    std::vector<std::string> RunFrom(const std::string& firstLine) {
        m_form->MemoLog.Clear();
        BitCalcClick(*m_form);
        std::vector<std::string> lines = Journal();
        auto at = std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.rfind(firstLine, 0) == 0; });
        return std::vector<std::string>(at, lines.end());
    }

    db::Driver m_previous;
};

} // namespace

TEST_F(FaultyDriverTest, ASaveFailingAtItsFirstMiddleOrLastStatementOrItsCommitLeavesNothing) {
    const std::string before = DumpAll();
    g_plan.failCommit = true;
    EXPECT_EQ(RunFrom("Ошибка"),
              (std::vector<std::string>{"Ошибка сохранении в базу данных injected fault at commit",
                                        "Обновление завершенно!"}));
    EXPECT_EQ(LineDiff(before, DumpAll()), "");
    const int statements = g_plan.executed;
    ASSERT_GT(statements, 20);

    for (int failAt : {1, statements / 2, statements}) {
        SCOPED_TRACE(failAt);
        g_plan = FaultPlan{};
        g_plan.failAt = failAt;
        // The error line's own first line; the object it names follows.
        std::vector<std::string> lines = RunFrom("Ошибка");
        for (std::string& line : lines)
            line = line.substr(0, line.find('\n'));
        EXPECT_EQ(lines,
                  (std::vector<std::string>{"Ошибка сохранении в базу данных injected fault at "
                                            "statement " +
                                                std::to_string(failAt),
                                            "Обновление завершенно!"}));
        EXPECT_FALSE(m_form->SQLConnect.InTransaction());
        EXPECT_EQ(LineDiff(before, DumpAll()), "");
    }

    g_plan = FaultPlan{};
    EXPECT_EQ(RunFrom("Сохранение"),
              (std::vector<std::string>{"Сохранение в БД", "Обновление завершенно!"}));
    EXPECT_EQ(g_plan.executed, statements);
    EXPECT_NE(DumpAll(), before);
}

namespace {

// A demo base on a small tmpfs of its own, when this machine lets us mount one.
class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = testsupport::MakeTempFolder("full-disk");
        m_mount = m_folder + "/disk";
        fs::create_directory(m_mount);
        if (mount("tmpfs", m_mount.c_str(), "tmpfs", 0, "size=6m") != 0)
            GTEST_SKIP() << "no tmpfs for the full-disk test (mount: " << std::strerror(errno)
                         << "; it needs root)";
        m_mounted = true;
        m_base = m_mount + "/base.fdb";
        ASSERT_EQ(testsupport::RunProcess(UPDATEDB_BIN, {"init", m_base}).status, 0);
        ASSERT_EQ(Run({"run-sql", SOURCE_DIR "/demo/base.sql"}).status, 0);
    }
    void TearDown() override {
        if (m_mounted)
            umount2(m_mount.c_str(), MNT_DETACH);
        fs::remove_all(m_folder);
    }
    testsupport::ProcessResult Run(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--database", m_base});
        return testsupport::RunProcess(UPDATEDB_BIN, args);
    }
    // Takes the free space of the disk but `leave` bytes.
    void Fill(std::uintmax_t leave) const {
        std::ofstream filler(m_mount + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (fs::space(m_mount).available > leave + block.size() &&
               filler.write(block.data(), block.size()))
            filler.flush();
    }

    std::string m_folder, m_mount, m_base;
    bool m_mounted = false;
};

} // namespace

TEST_F(FullDiskTest, ASaveThatFillsTheDiskGivesTheErrorLineAndLosesNothing) {
    PatchShape shape;
    shape.collections = 3;
    shape.normsPerCollection = 60;
    text::WriteFileBytes(m_folder + "/big.xml", text::Utf8ToCp1251(GeneratePatch(shape)));
    const std::string before = Snapshot(m_base);
    Fill(64 * 1024);

    auto full = Run({"apply", m_folder + "/big.xml", "--no-others"});
    EXPECT_EQ(full.status, 1) << full.err;
    text::StringList lines;
    lines.SetText(full.out);
    int errorLines = 0;
    for (const std::string& line : lines.Lines())
        errorLines += line.rfind("Ошибка сохранении в базу данных ", 0) == 0;
    EXPECT_EQ(errorLines, 1) << full.out;
    EXPECT_EQ(full.out.find("Сохранение в БД"), std::string::npos) << full.out;
    EXPECT_NE(full.err.find("updatedb: обновление завершено с ошибками"), std::string::npos);

    fs::remove(m_mount + "/filler");
    EXPECT_EQ(LineDiff(before, Snapshot(m_base)), "");
    auto roomy = Run({"apply", m_folder + "/big.xml", "--no-others"});
    EXPECT_EQ(roomy.status, 0) << roomy.out << roomy.err;
}

namespace {
using TwoProcessesTest = DemoBaseTest;
}

TEST_F(TwoProcessesTest, ASecondRunOnTheSameBaseWaitsOrFailsClearlyAndCorruptsNothing) {
    PatchShape shape;
    shape.collections = 2;
    shape.normsPerCollection = 30;
    WriteCp1251("medium.xml", GeneratePatch(shape));
    fs::copy_file(m_base, File("reference.fdb"));
    auto reference =
        testsupport::RunProcess(UPDATEDB_BIN, {"--database", File("reference.fdb"), "apply",
                                               File("medium.xml"), "--no-others"});
    ASSERT_EQ(reference.status, 0) << reference.err;

    RunningUpdatedb first({"--database", m_base, "apply", File("medium.xml"), "--no-others"},
                          File("first.txt"));
    ASSERT_TRUE(first.WaitForLines("log info: Добавление работы ", 5)) << first.Err();
    auto second = Run({"apply", File("medium.xml"), "--no-others"});
    EXPECT_EQ(first.Wait(), 0) << first.Err();
    if (second.status != 0) {
        EXPECT_EQ(second.status, 1);
        const std::string lastLine =
            second.err.substr(second.err.rfind('\n', second.err.size() - 2) + 1);
        EXPECT_EQ(lastLine.rfind("updatedb: ", 0), 0u) << second.err;
    }
    EXPECT_EQ(LineDiff(Snapshot(File("reference.fdb")), Snapshot(m_base)), "")
        << "second run: " << second.status << "\n"
        << second.out << second.err;
}

} // namespace reliability
