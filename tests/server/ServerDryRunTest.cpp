// The dry run on a server base: it leaves every row as it was, counts what
// the real run then does, and a failure of the save's last statement, which
// still waits to be sent when the save ends, fails it as it fails the real run.
#include "tests/server/ServerFixture.h"

#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

using servertest::LinesStartingWith;
using servertest::ServerBaseTest;

namespace {

class ServerDryRunTest : public ServerBaseTest {
protected:
    // The part of a JSON report from "tables" up to "detail": the counts.
    std::string Counts(const std::string& path) const {
        const std::string json = text::ReadFileBytes(path);
        const size_t from = json.find("\"tables\"");
        return json.substr(from, json.find("\"detail\"") - from);
    }
};

} // namespace

TEST_F(ServerDryRunTest, NothingChangesAndTheCountsAreTheRealRuns) {
    const std::string patch = WritePatch("patch.xml", 1, 2);
    const std::string before = ServerSnapshot();
    auto dry = OnServer({"check", patch, "--renumber", "--report", File("dry.json")});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(ServerSnapshot(), before);
    EXPECT_NE(Counts(File("dry.json")).find("\"KOD_TABL\""), std::string::npos);

    auto real =
        OnServer({"apply", patch, "--renumber", "--no-others", "--report", File("real.json")});
    ASSERT_EQ(real.status, 0) << real.err;
    EXPECT_NE(ServerSnapshot(), before);
    EXPECT_EQ(Counts(File("dry.json")), Counts(File("real.json")));
}

TEST_F(ServerDryRunTest, AFailingLastStatementFailsTheDryRunToo) {
    std::string xml = text::Cp1251ToUtf8(text::ReadFileBytes(WritePatch("base.xml", 1, 1, 1)));
    // The last new material gets a name too long for its column.
    const size_t last = xml.rfind("kod=\"900-");
    const size_t name = xml.find("naim=\"", last) + 6;
    xml.insert(name, std::string(1001, 'x'));
    const std::string patch = WriteCp1251("long.xml", xml);
    const std::string before = ServerSnapshot();
    auto dry = OnServer({"check", patch, "--report", File("dry.json")});
    EXPECT_EQ(dry.status, 1) << dry.out;
    const auto errors = LinesStartingWith(dry.out, "Ошибка сохранении в базу данных ");
    ASSERT_EQ(errors.size(), 1u) << dry.out;
    EXPECT_NE(dry.out.find("Место ошибки: Сборник нормативов: "), std::string::npos) << dry.out;
    EXPECT_EQ(ServerSnapshot(), before);
    auto real = OnServer({"apply", patch, "--no-others"});
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(LinesStartingWith(real.out, "Ошибка сохранении в базу данных "), errors);
    EXPECT_EQ(ServerSnapshot(), before);
}
