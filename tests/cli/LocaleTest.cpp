// The command line for a user whose locale writes decimals with a comma: what
// it prints for the user (the tree of show) takes the comma, while patches are
// read and written with the point and the base receives the patch's values,
// the small quantities that travel as text included.
#include "tests/cli/RunProcess.h"
#include "tests/host/LocaleEnvironment.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempDatabase.h"
#include "tests/support/TempFolder.h"

#include "platform/text/Encoding.h"

#include <gtest/gtest.h>

namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CliLocaleTest, ACommaLocaleShowsCommasWhilePatchesAndTheBaseKeepTheirValues) {
    testsupport::LocaleEnvironment locale;
    ASSERT_TRUE(locale.Ready()) << "the test locales were not made (package locales)";
    locale.Set("LC_ALL", "ru_RU.UTF-8");
    const testsupport::TempFolder folder("cli-locale");
    const std::string base = folder.File("base.fdb");
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--database", base});
        return testsupport::RunProcess(UPDATEDB_BIN, args);
    };
    ASSERT_EQ(testsupport::RunProcess(UPDATEDB_BIN, {"init", base}).status, 0);
    ASSERT_EQ(run({"run-sql", SOURCE_DIR "/demo/base.sql"}).status, 0);

    const auto shown = testsupport::RunProcess(UPDATEDB_BIN, {"show", SOURCE_DIR "/demo/patch.xml"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_TRUE(Contains(shown.out, "Расход ресурса: 24,3\n")) << shown.out;
    EXPECT_TRUE(Contains(shown.out, "Расход ресурса: 0,09\n"));
    EXPECT_FALSE(Contains(shown.out, "24.3"));

    // One consumption below 0.0001, bound as its text.
    const std::string patch = folder.File("patch.xml");
    text::WriteFileBytes(patch, Replaced(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml"),
                                         "rashod=\"0.09\"", "rashod=\"0.00005\""));
    const auto applied = run({"apply", patch, "--no-others"});
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_TRUE(Contains(applied.out, "\nОбновление завершенно!\n")) << applied.out;
    {
        db::Connection connection;
        testsupport::ConfigureFirebird(connection, base);
        EXPECT_EQ(testsupport::QueryText(connection,
                                         "select kod_cnir, rashod from CNIR where kod_pvr = "
                                         "'06-01-001' order by kod_cnir"),
                  "00-00|234.00000\n102-0061|0.00005\n401-0067|102.00000\n");
        EXPECT_EQ(testsupport::QueryText(connection, "select rashod from MASH where kod_pvr = "
                                                     "'01-01-001' order by n_tabl"),
                  "24.30000\n31.50000\n");
    }

    const std::string exported = folder.File("export.xml");
    ASSERT_EQ(run({"export", "--collection", "6", "-o", exported}).status, 0);
    const std::string xml = text::Cp1251ToUtf8(text::ReadFileBytes(exported));
    EXPECT_TRUE(Contains(xml, "rashod=\"0.00005\"")) << xml;
    EXPECT_TRUE(Contains(xml, "rashod=\"18.07\""));
    EXPECT_FALSE(Contains(xml, "18,07"));
}
