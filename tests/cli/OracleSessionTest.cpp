// What the command line sends to an Oracle base before its work (the decimal
// point as numeric separator), and the connection string of the dedicated
// recoding connection, through recording drivers (no Oracle runs here).
#include "apps/updatedb/Cli.h"
#include "apps/updatedb/Commands.h"
#include "model/Recode.h"
#include "platform/db/Dialect.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "tests/cli/RunProcess.h"
#include "tests/support/RecordingDriver.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

const std::string kNumericFormat = "direct: ALTER SESSION SET NLS_NUMERIC_CHARACTERS=\".,\"";

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// An INI file with one Oracle connection under the given section name.
class OracleSessionTest : public ::testing::Test {
protected:
    void SetUp() override { m_folder = testsupport::MakeTempFolder("cli-oracle"); }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    cli::GlobalOptions Options(const std::string& section) {
        const std::string ini = m_folder + "/connections.ini";
        text::WriteFileBytes(ini, "[" + section +
                                      "]\nDriverName=Oracle\nDatabase=DSN=norms;UID=estimator\n"
                                      "User_Name=estimator\nPassword=host secret\n");
        cli::GlobalOptions options;
        options.connectionsIni = ini;
        options.connectionName = section;
        return options;
    }
    std::string File(const std::string& name, const std::string& text) {
        text::WriteFileBytes(m_folder + "/" + name, text);
        return m_folder + "/" + name;
    }

    std::string m_folder;
};

// Every command that works on a base, run in this process on the recording driver.
std::vector<std::pair<std::string, std::function<int(const cli::GlobalOptions&)>>>
Commands(const std::string& patch, const std::string& script) {
    return {
        {"apply",
         [=](const cli::GlobalOptions& o) {
             cli::ApplyOptions apply;
             apply.patch = patch;
             return cli::ApplyCommand(o, apply);
         }},
        {"delete-code", [](const cli::GlobalOptions& o) { return cli::DeleteCodeCommand(o, "1"); }},
        {"run-script",
         [=](const cli::GlobalOptions& o) { return cli::RunScriptCommand(o, script); }},
        {"run-sql", [=](const cli::GlobalOptions& o) { return cli::RunSqlCommand(o, script); }},
        {"summary", [](const cli::GlobalOptions& o) { return cli::SummaryCommand(o); }},
        {"export", [=](const cli::GlobalOptions& o) { return cli::ExportCommand(o, {1}, patch); }},
    };
}

TEST_F(OracleSessionTest, EveryCommandSetsTheNumericSeparatorFirstOnOracleOnly) {
    const std::string patch = File("patch.xml", "<?xml version=\"1.0\"?>\n<kod_pvr/>\n");
    const std::string script = File("script.sql", "delete from KOD_TABL where kod_tabl='1'");
    // What a command makes of the empty answers does not matter here.
    auto attempt = [](const auto& run, const cli::GlobalOptions& options) {
        try {
            run(options);
        } catch (const Exception&) {
        }
    };
    for (const auto& [name, run] : Commands(patch, script)) {
        testsupport::RecordingDriver oracle;
        attempt(run, Options("OracleConnection"));
        EXPECT_EQ(FirstLine(oracle.Dump()), kNumericFormat) << name;
        EXPECT_EQ(oracle.Dump().find(kNumericFormat, 1), std::string::npos) << name;

        // Another letter case is another name: not Oracle, nothing is set.
        oracle.Clear();
        attempt(run, Options("oracleconnection"));
        EXPECT_EQ(oracle.Dump().find("NLS_NUMERIC"), std::string::npos) << name;
    }
}

// A driver registered as "Oracle" over the recording one that also keeps the
// settings of every connect, and so the ODBC connection string it would send.
class CapturingOracle {
public:
    CapturingOracle() {
        db::Driver recording = *db::FindDriver("Oracle");
        db::Driver driver = recording;
        driver.connect = [this, recording](const db::ConnectSettings& settings) {
            m_sent.push_back(
                db::OdbcConnectString(settings.database, settings.userName, settings.password));
            return recording.connect(settings);
        };
        m_previous = db::RegisterDriver("Oracle", driver);
    }
    ~CapturingOracle() { db::RegisterDriver("Oracle", m_previous); }
    const std::vector<std::string>& Sent() const { return m_sent; }

private:
    db::Driver m_previous;
    std::vector<std::string> m_sent;
};

TEST_F(OracleSessionTest, TheRecodingConnectionLogsInAsTheRecodingUserOnly) {
    testsupport::RecordingDriver oracle;
    CapturingOracle capture;
    std::unique_ptr<db::Connection> host = cli::MakeConnection(Options("OracleConnection"));
    host->Open();
    std::unique_ptr<db::Connection> recode = OpenRecodeConnection(*host);
    ASSERT_TRUE(recode->Connected());
    ASSERT_EQ(capture.Sent().size(), 2u);
    EXPECT_EQ(capture.Sent()[0], "DSN=norms;UID=estimator;PWD={host secret}");
    EXPECT_EQ(capture.Sent()[1], "DSN=norms;UID=V31_MERIDAN_2002;PWD=1");
}

// Through the real ODBC driver manager and SQLite's ODBC driver, in a process
// of its own: unixODBC's trace (switched on by a private odbcinst.ini) shows
// the connection string it received, the given user and password the only
// ones and braced where needed (the trace masks the password up to its first
// ';'), and the separator statement the command line sent first.
TEST_F(OracleSessionTest, TheDriverManagerGetsTheGivenUserOnlyAndTheSeparatorStatement) {
#ifndef SQLITE_ODBC_DRIVER
    GTEST_SKIP() << "SQLite's ODBC driver is not installed";
#else
    std::filesystem::create_directories(m_folder + "/config");
    File("config/odbcinst.ini", "[ODBC]\nTrace=Yes\nTraceFile=" + m_folder + "/trace.log\n");
    const std::string database =
        std::string("DRIVER=") + SQLITE_ODBC_DRIVER + ";Database=" + m_folder + "/base.db";
    const std::string ini = File("connections.ini", "[OracleConnection]\nDriverName=Oracle\n"
                                                    "Database=" +
                                                        database + ";uid=estimator;PWD=host\n");
    const char* previous = std::getenv("ODBCSYSINI");
    const std::string saved = previous ? previous : "";
    setenv("ODBCSYSINI", (m_folder + "/config").c_str(), 1);
    testsupport::ProcessResult result = testsupport::RunProcess(
        UPDATEDB_BIN, {"--connections", ini, "--connection", "OracleConnection", "--user",
                       "V31_MERIDAN_2002", "--password", "a b;c", "summary"});
    if (previous)
        setenv("ODBCSYSINI", saved.c_str(), 1);
    else
        unsetenv("ODBCSYSINI");
    // SQLite knows no ALTER SESSION: the command stops there.
    EXPECT_EQ(result.status, 1) << result.err;

    const std::string trace = text::ReadFileBytes(m_folder + "/trace.log");
    const size_t in = trace.find("Str In = [");
    ASSERT_NE(in, std::string::npos) << trace;
    const std::string sent = trace.substr(in + 10, trace.find("][length", in) - in - 10);
    EXPECT_EQ(sent, database + ";UID=V31_MERIDAN_2002;PWD=****;c}");
    EXPECT_NE(trace.find("ALTER SESSION SET NLS_NUMERIC_CHARACTERS=\".,\"", in), std::string::npos);
#endif
}

TEST(OdbcConnectStringTest, TheGivenUserAndPasswordAreTheOnlyOnes) {
    struct Case {
        std::string database, user, password, expected;
    };
    const Case cases[] = {
        {"norms", "scott", "tiger", "DSN=norms;UID=scott;PWD=tiger"},
        {"norms", "", "", "DSN=norms"},
        {"DSN=norms;UID=estimator", "V31_MERIDAN_2002", "1",
         "DSN=norms;UID=V31_MERIDAN_2002;PWD=1"},
        // Keys in any letter case and with blanks around them, wherever they stand.
        {"uid = a;DSN=norms;Pwd=b;DBQ=x", "u", "p", "DSN=norms;DBQ=x;UID=u;PWD=p"},
        // A braced value may hold ';' and "}}"; it goes whole.
        {"DSN=n;PWD={a;b}}c};Opt={x;y}", "u", "p", "DSN=n;Opt={x;y};UID=u;PWD=p"},
        // A user alone drops the PWD of the string too (it was another user's).
        {"DSN=n;UID=a;PWD=b", "u", "", "DSN=n;UID=u"},
        {"DSN=n;UID=a;PWD=b", "", "p", "DSN=n;UID=a;PWD=p"},
        {"DSN=n;UID=a;PWD=b", "", "", "DSN=n;UID=a;PWD=b"},
        // Values that need it are braced, '}' doubled.
        {"n", "a b", "x;y{z}", "DSN=n;UID={a b};PWD={x;y{z}}}"},
        {"DSN=n;", "u", "p", "DSN=n;UID=u;PWD=p"},
        // Keys that only begin like UID or PWD stay.
        {"DSN=n;UIDX=1;PWDS=2", "u", "p", "DSN=n;UIDX=1;PWDS=2;UID=u;PWD=p"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(db::OdbcConnectString(c.database, c.user, c.password), c.expected)
            << c.database << " / " << c.user << " / " << c.password;
}

TEST(VersionTest, TheProgramPrintsItsVersion) {
    testsupport::ProcessResult result = testsupport::RunProcess(UPDATEDB_BIN, {"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "updatedb " UPDATEDB_VERSION "\n");
}

} // namespace
