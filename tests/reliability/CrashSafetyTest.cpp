// `updatedb apply` killed with SIGKILL at moments spread over its save: the
// base it leaves must equal the base before the run, and an uninterrupted run
// afterwards must save the whole patch.
#include "tests/reliability/PatchGenerator.h"
#include "tests/reliability/ReliabilityFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace reliability {
namespace {

using CrashSafetyTest = DemoBaseTest;

constexpr int Moments = 12;

// 60 norms in the suite; UPDATEDB_CRASH_NORMS=2800 gives the long form (a
// patch of about 200 000 lines) for a run by hand.
int NormCount() {
    const char* configured = std::getenv("UPDATEDB_CRASH_NORMS");
    const int norms = configured ? std::atoi(configured) : 0;
    return norms >= 20 ? norms - norms % 2 : 60;
}

} // namespace

TEST_F(CrashSafetyTest, KilledSavesLeaveTheBaseAsItWasAndAFullRunThenSucceeds) {
    const int Norms = NormCount();
    PatchShape shape;
    shape.collections = 2;
    shape.normsPerCollection = Norms / 2;
    shape.entriesPerNorm = 4;
    shape.resourcesPerEntry = 4;
    WriteCp1251("medium.xml", GeneratePatch(shape));
    const std::vector<std::string> apply{"--database", m_base, "apply", File("medium.xml")};
    const std::string before = Snapshot(m_base);

    // Each norm's save sends "Добавление работы <code>" to the host log (stderr):
    // the kills land after the 1st, ..., the last of those lines, and once more
    // just after the last one (at the commit).
    int killed = 0;
    for (int moment = 0; moment < Moments; ++moment) {
        const int line = 1 + moment * (Norms - 1) / (Moments - 2);
        RunningUpdatedb run(apply, File("out.txt"));
        ASSERT_TRUE(run.WaitForLines("log info: Добавление работы ", std::min(line, Norms)))
            << run.Err();
        if (moment == Moments - 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const int status = run.Kill();
        if (status == 128 + 9)
            ++killed;
        else
            ASSERT_EQ(status, 0) << "moment " << moment << ": " << run.Err();
        if (status == 0)
            break; // the run got to its end before the kill: nothing more to interrupt
        ASSERT_EQ(Snapshot(m_base), before) << "killed at moment " << moment;
    }
    EXPECT_GE(killed, 10);
    std::printf("killed %d times during the save\n", killed);

    auto full = Run({"apply", File("medium.xml")});
    ASSERT_EQ(full.status, 0) << full.err;
    const std::string after = Snapshot(m_base);
    EXPECT_NE(after, before);
    if (Norms == 60) {
        EXPECT_NE(after.find("\n50-01-030|"), std::string::npos);
        EXPECT_NE(after.find("|51-01-030-04|"), std::string::npos);
    }
}

} // namespace reliability
