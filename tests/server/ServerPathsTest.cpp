// Every command of the tool through the private server, compared with the same
// command on an embedded copy of the same base: the same journal, the same
// exit status, the same rows. The server is named both ways a user names it:
// by an INI connection definition and by --database HOST/PORT:PATH.
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/server/ServerFixture.h"

namespace servertest {
namespace {

using reliability::LineDiff;
using ServerPathsTest = ServerBaseTest;

// Both runs did the same: status, journal, and (when `rows`) every row.
#define EXPECT_SAME_RUN(server, local)                                                             \
    do {                                                                                           \
        EXPECT_EQ((server).status, (local).status) << (server).err;                               \
        EXPECT_EQ((server).out, (local).out);                                                      \
    } while (0)

} // namespace

TEST_F(ServerPathsTest, ApplyFreshAndOverItselfWithTheRecalculationAsOnAnEmbeddedFile) {
    const std::string patch = WritePatch("patch.xml", 70);
    const std::string ini = WriteIni("connections.ini");

    // New collections (collection 70 and on: the other-material pass runs too).
    auto server = testsupport::RunProcess(
        UPDATEDB_BIN, {"--connections", ini, "--connection", "IBConnection", "apply", patch});
    auto local = OnLocal({"apply", patch});
    ASSERT_EQ(local.status, 0) << local.err;
    EXPECT_SAME_RUN(server, local);
    EXPECT_EQ(LinesStartingWith(server.out, "У работы ").size(), 36u); // no entry is there yet
    EXPECT_EQ(LinesStartingWith(server.out, "Пересчет расхода у прочего материала ").size(), 36u);
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");

    // The same patch again: every norm and entry exists, the update path.
    server = OnServer({"apply", patch});
    local = OnLocal({"apply", patch});
    ASSERT_EQ(local.status, 0) << local.err;
    EXPECT_SAME_RUN(server, local);
    EXPECT_EQ(LinesStartingWith(server.out, "У работы ").size(), 0u) << server.out;
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");

    // The demo patch over the demo base, with the renumbering (the server's
    // own substr and len functions).
    server = OnServer({"apply", SOURCE_DIR "/demo/patch.xml", "--renumber"});
    local = OnLocal({"apply", SOURCE_DIR "/demo/patch.xml", "--renumber"});
    ASSERT_EQ(local.status, 0) << local.err;
    EXPECT_SAME_RUN(server, local);
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");
}

TEST_F(ServerPathsTest, SummaryExportDeleteCodeAndRunScriptAsOnAnEmbeddedFile) {
    auto server = OnServer({"summary"});
    auto local = OnLocal({"summary"});
    ASSERT_EQ(local.status, 0) << local.err;
    EXPECT_SAME_RUN(server, local);

    server = OnServer({"export", "--collection", "1", "--collection", "6"});
    local = OnLocal({"export", "--collection", "1", "--collection", "6"});
    ASSERT_EQ(local.status, 0) << local.err;
    EXPECT_SAME_RUN(server, local);
    EXPECT_GT(server.out.size(), 1000u);

    server = OnServer({"delete-code", "01-01-001-1"});
    local = OnLocal({"delete-code", "01-01-001-1"});
    ASSERT_EQ(local.status, 0) << local.err;
    EXPECT_SAME_RUN(server, local);
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");

    // One statement that works, one the server refuses: the same lines.
    const std::string script =
        WriteCp1251("script.sql", "delete from KOD_TABL where kod_pvr='01-02-057'^\r\n"
                                  "delete from NO_SUCH_TABLE where kod_pvr='06-01-001'^\r\n");
    server = OnServer({"run-script", script});
    local = OnLocal({"run-script", script});
    EXPECT_EQ(local.status, 1);
    EXPECT_SAME_RUN(server, local);
    EXPECT_EQ(LinesStartingWith(server.out, "Ошибка при удалиление расценки '06-01-001' ").size(),
              1u)
        << server.out;
    EXPECT_EQ(LineDiff(LocalSnapshot(), ServerSnapshot()), "");
}

} // namespace servertest
