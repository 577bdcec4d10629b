// Two processes on one embedded database file at once.
#include "platform/db/Query.h"
#include "tests/support/TempDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// Starts the helper with FIREBIRD removed from its environment and a runtime
// folder of the test's, so that both helpers build the engine's configuration
// folder themselves, at the same moment.
pid_t Spawn(const std::string& file, const std::string& runtime, const char* mine,
            const char* other) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("FIREBIRD=", 0) != 0 &&
            std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0)
            env.emplace_back(*e);
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string helper = DB_PROCESS_HELPER;
    std::vector<char*> argv = {helper.data(), const_cast<char*>(file.c_str()),
                               const_cast<char*>(mine), const_cast<char*>(other), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FirebirdProcesses, TwoProcessesShareOneFile) {
    testsupport::TempDatabase base;
    base.Connection().ExecuteDirect("create table SEEN (n integer)");
    pid_t first = Spawn(base.Path(), base.Folder(), "1", "2");
    pid_t second = Spawn(base.Path(), base.Folder(), "2", "1");
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
    db::Query count(base.Connection());
    count.SetSQL("select count(*) from SEEN");
    count.Open();
    EXPECT_EQ(count.FieldAt(0).AsInteger(), 2);
    // One complete folder, no leftovers of the race.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(base.Folder()))
        entries += entry.path().filename().string().rfind("updatedb-firebird", 0) == 0;
    EXPECT_EQ(entries, 1);
    EXPECT_TRUE(std::filesystem::exists(base.Folder() + "/updatedb-firebird-2/firebird.conf"));
}

} // namespace
