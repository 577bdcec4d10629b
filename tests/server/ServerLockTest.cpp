// Two workstations on one base: a row the save must write that another
// connection holds (the wait is bounded by LockTimeout, which the connection
// definition and --lock-timeout set), and two runs applying at once. Each run
// ends clearly, nothing is half-written, and what failed applies cleanly again.
#include "tests/server/ServerFixture.h"

#include "platform/db/Connection.h"

#include <chrono>
#include <memory>
#include <thread>

namespace servertest {
namespace {

using reliability::LineDiff;
using ServerLockTest = ServerBaseTest;

} // namespace

TEST_F(ServerLockTest, ARowHeldByAnotherConnectionEndsTheSaveAfterTheLockTimeout) {
    const std::string patch = SOURCE_DIR "/demo/patch.xml";
    // Another workstation changed a norm the patch writes and has not committed.
    db::Connection holder;
    Server().Configure(holder, m_serverBase);
    db::TransactionDesc transaction;
    holder.StartTransaction(transaction);
    holder.ExecuteDirect("update KOD_PVR set naim_pvr = naim_pvr where kod_pvr = '01-01-001'");
    const std::string before = ServerSnapshot();

    struct Case {
        std::vector<std::string> args;
        std::string note;
    };
    const std::vector<Case> cases = {
        {Concat(ServerArgs(), {"--lock-timeout", "2"}),
         "строку одновременно изменяет другое соединение (ожидание до 2 с, LockTimeout): "},
        {{"--connections", WriteIni("lock.ini", "LockTimeout=1\n"), "--connection", "IBConnection"},
         "строку одновременно изменяет другое соединение (ожидание до 1 с, LockTimeout): "},
        {Concat(ServerArgs(), {"--lock-timeout", "0"}),
         "строку одновременно изменяет другое соединение (без ожидания, LockTimeout = 0): "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        Background run(Concat(c.args, {"apply", patch, "--no-others"}), File("out.txt"));
        const int status = run.run.WaitAtMost(30);
        const std::string out = run.Out();
        ExpectOneSaveErrorLine(status, out);
        const std::vector<std::string> errors = LinesStartingWith(out, "Ошибка");
        if (!errors.empty()) {
            EXPECT_EQ(errors[0].rfind(SaveFailed + c.note + "deadlock", 0), 0u) << errors[0];
        }
        EXPECT_EQ(LineDiff(before, ServerSnapshot()), "");
    }

    // A time that is no whole number of seconds up to 32767 is wrong usage.
    auto usage = OnServer({"--lock-timeout", "-1", "apply", patch});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err.rfind("--lock-timeout: Value -1 not in range 0 to 32767", 0), 0u)
        << usage.err;

    // The holder rolls back while a run with time to wait is waiting: the
    // run goes on and saves the whole patch.
    Background waiting(Concat(ServerArgs(), {"--lock-timeout", "60", "apply", patch, "--no-others"}),
                       File("out.txt"));
    ASSERT_TRUE(waiting.run.WaitForLines("log info: Проверка на совпадение", 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    holder.Rollback(transaction);
    EXPECT_EQ(waiting.run.WaitAtMost(60), 0) << waiting.Out() << waiting.run.Err();
    ASSERT_EQ(OnLocal({"apply", patch, "--no-others"}).status, 0);
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");
}

namespace {

class TwoWorkstationsTest : public ServerBaseTest {
protected:
    // Starts one run per patch at once on the server base and waits for all.
    // Each must end either done or with the save's one error line; those that
    // failed are applied again, alone, and must succeed.
    void ApplyAtOnce(const std::vector<std::string>& patches) {
        std::vector<std::unique_ptr<Background>> runs;
        for (size_t i = 0; i < patches.size(); ++i)
            runs.push_back(std::make_unique<Background>(
                Concat(ServerArgs(), {"apply", patches[i], "--no-others"}),
                File("out" + std::to_string(i) + ".txt")));
        std::vector<std::string> again;
        for (size_t i = 0; i < runs.size(); ++i) {
            const int status = runs[i]->run.WaitAtMost(120);
            if (status != 0) {
                ExpectOneSaveErrorLine(status, runs[i]->Out());
                again.push_back(patches[i]);
            }
        }
        for (const std::string& patch : again) {
            auto rerun = OnServer({"apply", patch, "--no-others"});
            EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
        }
    }
};

} // namespace

TEST_F(TwoWorkstationsTest, TwoPatchesAtOnceBothEndClearlyAndTheBaseHoldsBoth) {
    // Different collections; both patches bring the same new materials and
    // machines, so the two saves meet in the directories.
    const std::string a = WritePatch("a.xml", 70), b = WritePatch("b.xml", 72);
    ASSERT_EQ(OnLocal({"apply", a, "--no-others"}).status, 0);
    ASSERT_EQ(OnLocal({"apply", b, "--no-others"}).status, 0);
    ApplyAtOnce({a, b});
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");
}

TEST_F(TwoWorkstationsTest, TheSamePatchTwiceAtOnceBothEndClearlyAndTheBaseHoldsItOnce) {
    const std::string a = WritePatch("a.xml", 70);
    ASSERT_EQ(OnLocal({"apply", a, "--no-others"}).status, 0);
    ApplyAtOnce({a, a});
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");
}

} // namespace servertest
