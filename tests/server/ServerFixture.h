// The test program's private Firebird server, and a demo base twice: one copy
// served by it, one embedded file, so that the same command run on both can be
// compared row by row. The command line reaches the server with the password
// in a file of the test's, never on its command line.
#pragma once

#include "tests/cli/RunProcess.h"
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace servertest {

// The program's one server, started on first use and killed at exit. A test
// that kills it starts it again; the fixture does too, before every test.
testsupport::FirebirdServer& Server();

class ServerBaseTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // updatedb with `--database 127.0.0.1/<port>:<server base>` and the
    // password file in front of `args`.
    testsupport::ProcessResult OnServer(std::vector<std::string> args) const;
    // updatedb with `--database <embedded base>` in front of `args`; the
    // fixture's embedded base unless another file is named.
    testsupport::ProcessResult OnLocal(std::vector<std::string> args,
                                       const std::string& base = "") const;
    // A further embedded copy of the demo base, made in the test's folder.
    std::string LocalCopy(const std::string& name) const;
    // The arguments OnServer puts in front.
    std::vector<std::string> ServerArgs() const;
    // Every row of every table, through the server / of the embedded file.
    std::string ServerSnapshot() const;
    std::string LocalSnapshot(const std::string& base = "") const;

    std::string File(const std::string& name) const { return m_folder + "/" + name; }
    // Writes UTF-8 text as windows-1251 bytes; answers the path.
    std::string WriteCp1251(const std::string& name, const std::string& utf8) const;
    // A generated patch: `collections` collections from `first` on, 6 norms
    // each, 3 table entries with 4 resource lines (the last one "00-00").
    std::string WritePatch(const std::string& name, int first, int collections = 2,
                           int norms = 6) const;
    // An INI file with the section [IBConnection] for the server base, its
    // password, and the extra lines given; answers the path.
    std::string WriteIni(const std::string& name, const std::string& extraLines = "") const;

    std::string m_folder;      // patches, INI and password files
    std::string m_serverBase;  // in the server's data folder
    std::string m_localBase;   // embedded
    std::string m_passwordFile;
};

// The lines of `text` that begin with `prefix`.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix);

// `a` followed by `b`.
std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b);

// The beginning of the save's error line in the journal.
extern const std::string SaveFailed;

// How a run that met a fault in its save must end: exit 1, exactly one error
// line, the save's, and the run's closing line.
void ExpectOneSaveErrorLine(int status, const std::string& out);

// updatedb started in the background, its stdout kept in a file of the test.
struct Background {
    Background(const std::vector<std::string>& args, const std::string& outFile)
        : run(args, outFile), out(outFile) {}
    std::string Out() const;
    reliability::RunningUpdatedb run;
    std::string out;
};

} // namespace servertest
