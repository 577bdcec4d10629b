// The private server as scripts use it (firebird_server_run), and that it
// leaves no process behind, also when the process that started it is killed.
#include "tests/cli/RunProcess.h"
#include "tests/server/ServerFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace servertest {
namespace {

namespace fs = std::filesystem;

// Whether the process is still there (a zombie waiting for its parent counts
// as gone: it runs no more).
bool Alive(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t state = text.rfind(')');
    return state != std::string::npos && text.size() > state + 2 && text[state + 2] != 'Z';
}

bool GoneWithin(const std::string& pid, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Alive(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !Alive(pid);
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

} // namespace

TEST(FirebirdServerRun, RunsTheCommandBesideAServerAndLeavesNothingBehind) {
    // The command makes a base through the server, reads it, and fails on purpose.
    const std::string script =
        "echo \"$UPDATEDB_SERVER $UPDATEDB_SERVER_PID $UPDATEDB_SERVER_DATA\"; "
        "base=\"$UPDATEDB_SERVER:$UPDATEDB_SERVER_DATA/made.fdb\"; "
        "\"$0\" init \"$base\" && \"$0\" --database \"$base\" summary && exit 3";
    auto run = testsupport::RunProcess(FIREBIRD_SERVER_RUN, {"/bin/sh", "-c", script, UPDATEDB_BIN});
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    const std::vector<std::string> words = Words(run.out.substr(0, run.out.find('\n')));
    ASSERT_EQ(words.size(), 3u) << run.out;
    EXPECT_EQ(words[0].rfind("127.0.0.1/", 0), 0u);
    EXPECT_NE(run.out.find("\n  NAME_BASE: 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Создана база 127.0.0.1/"), std::string::npos) << run.err;
    EXPECT_TRUE(GoneWithin(words[1], 5));
    EXPECT_FALSE(fs::exists(words[2]));
    EXPECT_EQ(testsupport::RunProcess(FIREBIRD_SERVER_RUN, {}).status, 2); // no command
}

TEST(FirebirdServerRun, TheServerDiesWithTheProcessThatStartedIt) {
    // The runner is killed with SIGKILL: no destructor runs, the kernel ends
    // the server.
    auto run = testsupport::RunProcess(
        FIREBIRD_SERVER_RUN,
        {"/bin/sh", "-c", "echo \"$UPDATEDB_SERVER_PID $UPDATEDB_SERVER_DATA\"; kill -9 $PPID"});
    const std::vector<std::string> words = Words(run.out);
    ASSERT_EQ(words.size(), 2u) << run.out << run.err;
    EXPECT_EQ(run.status, 128 + 9);
    EXPECT_TRUE(GoneWithin(words[0], 5));
    fs::remove_all(fs::path(words[1]).parent_path()); // its folder is left to whoever started it
}

} // namespace servertest
