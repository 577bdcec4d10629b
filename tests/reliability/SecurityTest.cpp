// Hostile input and secrets: values full of SQL are stored as text, the patch
// reader fetches no DTD or external entity from disk or network, and passwords
// given by option, file or environment never show in any output.
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempDatabase.h"

#include "apps/updatedb/Cli.h"
#include "platform/db/Query.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace reliability {
namespace {

using SecurityTest = DemoBaseTest;

std::string Rows(const std::string& base, const std::string& sql) {
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, base);
    return testsupport::QueryText(connection, sql);
}

// XML attribute text for a value.
std::string Attr(std::string value) {
    std::string out;
    for (char c : value)
        out += c == '"'   ? std::string("&quot;")
               : c == '<' ? std::string("&lt;")
               : c == '&' ? std::string("&amp;")
                          : std::string(1, c);
    return out;
}

// A TCP port on 127.0.0.1 that listens and is never served.
class Listener {
public:
    Listener() {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_fd, 4);
        socklen_t length = sizeof address;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }
    ~Listener() { close(m_fd); }
    int Port() const { return m_port; }
    // True when someone connected since the start.
    bool Contacted() const {
        int client = accept(m_fd, nullptr, nullptr);
        if (client < 0)
            return false;
        close(client);
        return true;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace

TEST_F(SecurityTest, QuotesSemicolonsAndSqlFragmentsAreStoredAsText) {
    const std::string name = "'; delete from KOD_SBOR; -- \" or 1=1 ^ :kod_pvr ? ; commit; "
                             "drop table KOD_PVR; ' || (select first 1 name from NAME_BASE) || '";
    const std::string code = "X';--:a?^1";
    WriteCp1251("hostile.xml",
                "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                "<kod_pvr base_typecode=\"2\"><sbornik_pvr naim=\"" +
                    Attr(name) + "\" kod=\"77\" vid_rab=\"'\"><pvr kod_razd=\"101\" kod=\"" +
                    Attr(code) + "\" naim=\"" + Attr(name) +
                    "\" naim_ed=\";\" nom_baz=\"1\" priz_ukr=\"--\" "
                    "sostav_pvr=\"" +
                    Attr(name) + "\" priz_stm=\"'\"><pvr_popr number=\"1\" kod=\"" + Attr(code) +
                    "-1\" naim=\"" + Attr(name) +
                    "\" kod_er=\"';\" trud_rab=\"1\" "
                    "trud_mash=\"0\" zarplata=\"0\" razrad=\"0\"><kt1>" +
                    Attr("';--:k?^") + "</kt1></pvr_popr></pvr></sbornik_pvr></kod_pvr>\n");
    const std::string collectionsBefore = Rows(m_base, "select count(*) from KOD_SBOR");
    auto result = Run({"apply", File("hostile.xml"), "--no-others"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;

    EXPECT_EQ(Rows(m_base, "select naim_sb, vid_rab from KOD_SBOR where kod_sb = 77"),
              name + "|'\n");
    EXPECT_EQ(Rows(m_base, "select kod_pvr, naim_pvr, naim_ed, priz_ukr, priz_stm from KOD_PVR "
                           "where kod_sb = 77"),
              code + "|" + name + "|;|--|'\n");
    EXPECT_EQ(Rows(m_base, "select sostav_pvr from SOST_PVR where kod_pvr = '"
                           "X'';--:a?^1'"),
              name + "\n");
    EXPECT_EQ(Rows(m_base,
                   "select kod_tabl, naim_tabl, kod_er, kod_tabl_1 from KOD_TABL where n_tabl = 1 "
                   "and kod_pvr = 'X'';--:a?^1'"),
              code + "-1|" + name + "|';|';--:k?^\n");
    EXPECT_EQ(Rows(m_base, "select count(*) from KOD_SBOR"),
              std::to_string(std::stoi(collectionsBefore) + 1) + "\n");
    EXPECT_EQ(Rows(m_base, "select count(*) from KOD_PVR where kod_pvr = '01-01-001'"), "1\n");

    // The same texts as a table code to delete: looked up as a value, found nowhere.
    auto deletion = Run({"delete-code", "' or ''='"});
    EXPECT_EQ(deletion.err, "Внимание!: Данной расценки не существует в базе\n");
    EXPECT_EQ(Rows(m_base, "select count(*) from KOD_TABL where kod_pvr = '01-01-001'"), "2\n");
}

TEST_F(SecurityTest, ThePatchReaderLoadsNoDtdAndNoExternalEntity) {
    Listener listener;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port());
    WriteBytes("secret.txt", "SECRET-MARKER");
    WriteBytes("evil.dtd", "<!ENTITY % leak SYSTEM \"file://" + File("secret.txt") + "\">");
    const std::string doctype = "<!DOCTYPE kod_pvr SYSTEM \"" + url +
                                "/kod_pvr.dtd\" [\n"
                                "<!ENTITY disk SYSTEM \"file://" +
                                File("secret.txt") +
                                "\">\n"
                                "<!ENTITY net SYSTEM \"" +
                                url +
                                "/entity\">\n"
                                "<!ENTITY % remote SYSTEM \"file://" +
                                File("evil.dtd") +
                                "\"> %remote;\n"
                                "<!ENTITY expands \"EXPANDED\">\n]>\n";
    WriteCp1251(
        "entities.xml",
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n" + doctype +
            "<kod_pvr base_typecode=\"2\"><sbornik_pvr naim=\"&disk;&net;&expands;\" kod=\"78\" "
            "vid_rab=\"\"></sbornik_pvr></kod_pvr>\n");
    for (const char* command : {"show", "apply"}) {
        SCOPED_TRACE(command);
        auto result = Run({command, File("entities.xml"), "--no-others"});
        EXPECT_EQ(result.out.find("SECRET-MARKER"), std::string::npos);
        EXPECT_EQ(result.err.find("SECRET-MARKER"), std::string::npos);
        EXPECT_EQ(result.out.find("EXPANDED"), std::string::npos);
    }
    EXPECT_FALSE(listener.Contacted());
    const std::string stored = Rows(m_base, "select naim_sb from KOD_SBOR where kod_sb = 78");
    EXPECT_EQ(stored.find("SECRET-MARKER"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("EXPANDED"), std::string::npos) << stored;
}

TEST_F(SecurityTest, PasswordsNeverShowInMessagesJournalsOrLogs) {
    const std::string secret = "pw-Z9q'\"x";
    WriteBytes("password.txt", secret + "\r\nsecond line^\n");
    WriteCp1251("long.xml",
                "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                "<kod_pvr base_typecode=\"2\"><sbornik_pvr naim=\"С\" kod=\"1\"><pvr kod=\"" +
                    std::string(40, '1') + "\" naim=\"Н\"/></sbornik_pvr></kod_pvr>\n");
    const std::string remote = "127.0.0.1/1:" + m_base;
    const std::vector<std::vector<std::string>> runs = {
        {"--database", m_base, "--password", secret, "apply", File("long.xml"), "--journal",
         File("j1.txt")},
        {"--database", m_base, "--password-file", File("password.txt"), "apply", File("long.xml"),
         "--journal", File("j2.txt")},
        {"--database", remote, "--password", secret, "apply", File("long.xml")},
        {"--database", remote, "--password-file", File("password.txt"), "summary"},
        {"--database", File("none.fdb"), "--password", secret, "run-script", File("password.txt")},
        // A file that is not XML is refused at its first line, which the parse
        // error quotes as the source line: here one without the password.
        {"--database", m_base, "--password", secret, "show", File("not-xml.txt")},
    };
    WriteBytes("not-xml.txt", "kod_pvr;01-01-001\r\nsecond line^\n");
    setenv(cli::PasswordVariable, secret.c_str(), 1);
    auto fromEnvironment = testsupport::RunProcess(UPDATEDB_BIN, {"--database", remote, "summary"});
    unsetenv(cli::PasswordVariable);
    EXPECT_EQ(fromEnvironment.status, 1);
    EXPECT_EQ(fromEnvironment.err.find("pw-Z9q"), std::string::npos) << fromEnvironment.err;
    for (const auto& args : runs) {
        auto result = testsupport::RunProcess(UPDATEDB_BIN, args);
        SCOPED_TRACE(args[4]);
        EXPECT_NE(result.status, 0);
        EXPECT_EQ(result.out.find("pw-Z9q"), std::string::npos) << result.out;
        EXPECT_EQ(result.err.find("pw-Z9q"), std::string::npos) << result.err;
    }
    for (const char* journal : {"j1.txt", "j2.txt"})
        EXPECT_EQ(text::ReadFileBytes(File(journal)).find("pw-Z9q"), std::string::npos);
}

TEST(PasswordSourceTest, OptionFileOrEnvironmentReachTheConnection) {
    const std::string folder = testsupport::MakeTempFolder("password");
    text::WriteFileBytes(folder + "/password.txt", "from-file\r\nignored\n");
    text::WriteFileBytes(folder + "/c.ini", "[IBConnection]\nDriverName=Firebird\nDatabase=x.fdb\n"
                                            "User_Name=SYSDBA\nPassword=from-ini\n");
    auto password = [](const cli::GlobalOptions& options) {
        return cli::MakeConnection(options)->ParamValue("Password");
    };
    cli::GlobalOptions embedded;
    embedded.database = "x.fdb";
    EXPECT_EQ(password(embedded), "");
    setenv(cli::PasswordVariable, "from-environment", 1);
    EXPECT_EQ(password(embedded), "from-environment");
    cli::GlobalOptions file = embedded;
    file.passwordFile = folder + "/password.txt";
    EXPECT_EQ(password(file), "from-file");
    cli::GlobalOptions option = embedded;
    option.password = "from-option";
    option.passwordGiven = true;
    EXPECT_EQ(password(option), "from-option");
    option.passwordFile = file.passwordFile;
    EXPECT_THROW(password(option), cli::UsageError);
    cli::GlobalOptions ini;
    ini.connectionsIni = folder + "/c.ini";
    ini.connectionName = "IBConnection";
    EXPECT_EQ(password(ini), "from-environment");
    unsetenv(cli::PasswordVariable);
    EXPECT_EQ(password(ini), "from-ini");
    std::filesystem::remove_all(folder);
}

} // namespace reliability
