#include "tests/server/ServerFixture.h"

#include "platform/db/Connection.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "tests/reliability/PatchGenerator.h"
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/support/TempDatabase.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace servertest {
namespace {

// The demo base made once per program through the command line; every test
// starts from copies of it.
class DemoTemplate {
public:
    DemoTemplate() : m_folder("server-template"), m_path(m_folder.File("demo.fdb")) {
        auto init = testsupport::RunProcess(UPDATEDB_BIN, {"init", m_path});
        auto fill = testsupport::RunProcess(
            UPDATEDB_BIN, {"--database", m_path, "run-sql", SOURCE_DIR "/demo/base.sql"});
        if (init.status != 0 || fill.status != 0)
            throw std::runtime_error("the demo base was not made: " + init.err + fill.err);
    }
    const std::string& Path() const { return m_path; }

private:
    testsupport::TempFolder m_folder;
    std::string m_path;
};

const DemoTemplate& Template() {
    static DemoTemplate demo;
    return demo;
}

} // namespace

testsupport::FirebirdServer& Server() {
    static std::unique_ptr<testsupport::FirebirdServer> server =
        std::make_unique<testsupport::FirebirdServer>();
    return *server;
}

void ServerBaseTest::SetUp() {
    Server().Start();
    m_folder = testsupport::MakeTempFolder("server-test");
    m_serverBase = Server().DataFolder() + "/" + fs::path(m_folder).filename().string() + ".fdb";
    m_localBase = File("local.fdb");
    fs::copy_file(Template().Path(), m_serverBase);
    fs::copy_file(Template().Path(), m_localBase);
    m_passwordFile = File("password");
    text::WriteFileBytes(m_passwordFile, Server().Password() + "\n");
}

void ServerBaseTest::TearDown() {
    std::error_code ignored;
    fs::remove(m_serverBase, ignored);
    fs::remove_all(m_folder, ignored);
}

std::vector<std::string> ServerBaseTest::ServerArgs() const {
    return {"--database", Server().Address(m_serverBase), "--password-file", m_passwordFile};
}

testsupport::ProcessResult ServerBaseTest::OnServer(std::vector<std::string> args) const {
    std::vector<std::string> front = ServerArgs();
    args.insert(args.begin(), front.begin(), front.end());
    return testsupport::RunProcess(UPDATEDB_BIN, args);
}

testsupport::ProcessResult ServerBaseTest::OnLocal(std::vector<std::string> args,
                                                   const std::string& base) const {
    args.insert(args.begin(), {"--database", base.empty() ? m_localBase : base});
    return testsupport::RunProcess(UPDATEDB_BIN, args);
}

std::string ServerBaseTest::LocalCopy(const std::string& name) const {
    fs::copy_file(Template().Path(), File(name));
    return File(name);
}

std::string ServerBaseTest::ServerSnapshot() const {
    db::Connection connection;
    Server().Configure(connection, m_serverBase);
    return reliability::Snapshot(connection);
}

std::string ServerBaseTest::LocalSnapshot(const std::string& base) const {
    return reliability::Snapshot(base.empty() ? m_localBase : base);
}

std::string ServerBaseTest::WriteCp1251(const std::string& name, const std::string& utf8) const {
    text::WriteFileBytes(File(name), text::Utf8ToCp1251(utf8));
    return File(name);
}

std::string ServerBaseTest::WritePatch(const std::string& name, int first, int collections,
                                       int norms) const {
    reliability::PatchShape shape;
    shape.firstCollection = first;
    shape.collections = collections;
    shape.normsPerCollection = norms;
    shape.entriesPerNorm = 3;
    shape.resourcesPerEntry = 4;
    return WriteCp1251(name, reliability::GeneratePatch(shape));
}

std::string ServerBaseTest::WriteIni(const std::string& name, const std::string& extraLines) const {
    text::WriteFileBytes(File(name), "[IBConnection]\nDriverName=Firebird\nDatabase=" +
                                         Server().Address(m_serverBase) +
                                         "\nUser_Name=SYSDBA\nPassword=" + Server().Password() +
                                         "\n" + extraLines);
    return File(name);
}

const std::string SaveFailed = "Ошибка сохранении в базу данных ";

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void ExpectOneSaveErrorLine(int status, const std::string& out) {
    EXPECT_EQ(status, 1) << out;
    const std::vector<std::string> errors = LinesStartingWith(out, "Ошибка");
    ASSERT_EQ(errors.size(), 1u) << out;
    EXPECT_EQ(errors[0].rfind(SaveFailed, 0), 0u) << errors[0];
    EXPECT_EQ(out.find("Сохранение в БД"), std::string::npos) << out;
    EXPECT_EQ(LinesStartingWith(out, "Обновление завершенно!").size(), 1u) << out;
}

std::string Background::Out() const {
    return text::ReadFileBytes(out);
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    text::StringList lines;
    lines.SetText(text);
    std::vector<std::string> found;
    for (const std::string& line : lines.Lines())
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    return found;
}

} // namespace servertest
