// export and show driven as a user would: a sample base exported to a file and
// to stdout, a missing collection, and patches that show or fail to.
#include "tests/cli/RunProcess.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempDatabase.h"

#include "platform/db/Query.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::RunProcess;

namespace {

testsupport::ProcessResult Updatedb(const std::vector<std::string>& args) {
    return RunProcess(UPDATEDB_BIN, args);
}

class ExportShowTest : public ::testing::Test {
protected:
    void SetUp() override { m_folder = testsupport::MakeTempFolder("cli-export"); }
    void TearDown() override { fs::remove_all(m_folder); }
    std::string File(const std::string& name) const { return m_folder + "/" + name; }

    // A base holding the demo's sample rows.
    std::string SampleBase() {
        const std::string base = File("base.fdb");
        auto init = Updatedb({"init", base});
        EXPECT_EQ(init.status, 0) << init.err;
        auto fill = Updatedb({"--database", base, "run-sql", SOURCE_DIR "/demo/base.sql"});
        EXPECT_EQ(fill.status, 0) << fill.err;
        return base;
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string m_folder;
};

std::vector<std::string> SplitLines(const std::string& text) {
    text::StringList lines;
    lines.SetText(text);
    return lines.Lines();
}

} // namespace

TEST_F(ExportShowTest, ExportWritesTheCollectionsAsAPatchThatShowPrints) {
    const std::string base = SampleBase();
    auto exported = Updatedb({"--database", base, "export", "--collection", "6", "--collection",
                              "1", "-o", File("out.xml")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "");
    EXPECT_EQ(Files(), (std::vector<std::string>{"base.fdb", "out.xml"}));

    const std::string bytes = text::ReadFileBytes(File("out.xml"));
    EXPECT_EQ(bytes.substr(0, 47), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n");
    const std::string document = text::Cp1251ToUtf8(bytes);
    EXPECT_NE(document.find("<sbornik_pvr naim=\"Бетонные и железобетонные конструкции "
                            "монолитные\" kod=\"6\" vid_rab=\"СТР\">"),
              std::string::npos);

    // Without -o the same bytes go to stdout.
    auto toStdout =
        Updatedb({"--database", base, "export", "--collection", "6", "--collection", "1"});
    ASSERT_EQ(toStdout.status, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, bytes);

    auto shown = Updatedb({"show", File("out.xml")});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const std::vector<std::string> tree = SplitLines(shown.out);
    ASSERT_GE(tree.size(), 8u);
    EXPECT_EQ(tree[0], "Нормативная база Сметно-нормативная база от 2026");
    EXPECT_EQ(tree[1], "  Справочник разделов");
    // Sections in the order the norms of collection 6, then 1, first use them.
    EXPECT_EQ(tree[2], "    Раздел 601  Бетонные подготовки и фундаменты");
    EXPECT_EQ(tree[3], "    Раздел 602  Стены и перегородки монолитные");
    EXPECT_EQ(tree[4], "    Раздел 101  Разработка грунта экскаваторами");
    EXPECT_EQ(tree[5], "    Раздел 102  Разработка грунта вручную");
    EXPECT_EQ(tree[6], "  Сборник нормативов: 6 Бетонные и железобетонные конструкции монолитные");
    EXPECT_EQ(tree[7], "    Норматив: 06-01-001 Устройство бетонной подготовки");
}

TEST_F(ExportShowTest, AMissingCollectionFailsAndLeavesNoFileBehind) {
    const std::string base = SampleBase();
    text::WriteFileBytes(File("old.xml"), "previous");
    for (const std::string& out : {File("new.xml"), File("old.xml")}) {
        auto result = Updatedb(
            {"--database", base, "export", "--collection", "1", "--collection", "5", "-o", out});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "updatedb: Ошибка загрузки параметров по сборника работ.\n");
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"base.fdb", "old.xml"}));
    EXPECT_EQ(text::ReadFileBytes(File("old.xml")), "previous");

    auto usage = Updatedb({"--database", base, "export", "-o", File("x.xml")});
    EXPECT_EQ(usage.status, 2);
}

TEST_F(ExportShowTest, ShowPrintsTheDemoPatchTree) {
    auto shown = Updatedb({"show", SOURCE_DIR "/demo/patch.xml"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.err, "");
    const std::vector<std::string> tree = SplitLines(shown.out);
    ASSERT_EQ(tree.size(), 20u);
    EXPECT_EQ(tree[6], "          1 поправка: 01-01-001-1 Экскаваторы с ковшом вместимостью 0,5 "
                       "м3, группа грунтов 1");
    EXPECT_EQ(tree[19], "        Машина/механизм: 040502 Вибраторы поверхностные Расход ресурса: "
                        "18.07");
}

TEST_F(ExportShowTest, ABadPatchGivesTheBoxLineAndTheErrorLine) {
    text::WriteFileBytes(File("cut.xml"), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
                                          "<kod_pvr base_name=\"x\"><razdels>\r\n");
    auto cut = Updatedb({"show", File("cut.xml")});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.out, "");
    // The box and the error, each printed as its lines.
    const std::string parse = "Ошибка парсера 14\n"
                              "Документ:\n"
                              "Строка 2 Позиция 33\n"
                              "Сообщение парсера: \"Элемент \"razdels\" не закрыт (документ "
                              "неожиданно закончился)\"\n"
                              "Источник: \"<kod_pvr base_name=\"x\"><razdels>\"\n";
    EXPECT_EQ(cut.err,
              "Ошибка загрузки XML-документа: " + parse +
                  "updatedb: Ошибка объекта: kod_pvr\nМетод: DeSerialize\nСообщение: " + parse);

    text::WriteFileBytes(File("norm.xml"), "<?xml version=\"1.0\"?><pvr kod=\"1\"/>");
    auto wrongRoot = Updatedb({"show", File("norm.xml")});
    EXPECT_EQ(wrongRoot.status, 1);
    EXPECT_EQ(wrongRoot.err, "updatedb: Ошибка объекта: kod_pvr\n"
                             "Метод: DeSerialize\n"
                             "Сообщение: Ошибка объекта: kod_pvr\n"
                             "Метод: DeSerialize\n"
                             "Сообщение: Тип документа не соответствует загружаемому объекту\n");

    EXPECT_EQ(Updatedb({"show", File("absent.xml")}).status, 2);
}

// The rows of the tables an export carries, table by table.
std::string DumpPatchTables(const std::string& file) {
    const char* const tables[][2] = {{"KOD_SBOR", "kod_sb"},
                                     {"KOD_RAZD", "kod_razd"},
                                     {"KOD_PVR", "kod_pvr"},
                                     {"SOST_PVR", "kod_pvr"},
                                     {"N_PROC", "kod_pvr, kod_mest"},
                                     {"KOD_TABL", "kod_pvr, n_tabl"},
                                     {"TRUDOZ", "kod_pvr, n_tabl"},
                                     {"ZARP", "kod_pvr, n_tabl"},
                                     {"CNIR", "kod_pvr, n_tabl, kod_cnir"},
                                     {"MASH", "kod_pvr, n_tabl, kod_mash"}};
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, file);
    std::string out;
    for (const auto& table : tables) {
        out += std::string(table[0]) + ":\n" +
               testsupport::QueryText(connection, std::string("select * from ") + table[0] +
                                                      " order by " + table[1],
                                      "NULL");
    }
    return out;
}

// A base the update run wrote: the demo patch applied to a new base holding
// the sample's sections and classifier codes.
TEST_F(ExportShowTest, AnExportAppliedToAFreshBaseGivesTheSameRows) {
    std::string codes;
    for (const std::string& line : SplitLines(text::ReadFileBytes(SOURCE_DIR "/demo/base.sql")))
        for (const char* table : {"KOD_RAZD", "KOD_OKP", "N_MASHP"})
            if (line.rfind(std::string("INSERT INTO ") + table + " ", 0) == 0)
                codes += line + "\n";
    text::WriteFileBytes(File("codes.sql"), codes);
    for (const char* name : {"source.fdb", "fresh.fdb"}) {
        ASSERT_EQ(Updatedb({"init", File(name)}).status, 0);
        ASSERT_EQ(Updatedb({"--database", File(name), "run-sql", File("codes.sql")}).status, 0);
    }
    auto demo = Updatedb(
        {"--database", File("source.fdb"), "apply", SOURCE_DIR "/demo/patch.xml", "--no-others"});
    ASSERT_EQ(demo.status, 0) << demo.out << demo.err;

    auto exported = Updatedb({"--database", File("source.fdb"), "export", "--collection", "1",
                              "--collection", "6", "-o", File("patch.xml")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    auto applied =
        Updatedb({"--database", File("fresh.fdb"), "apply", File("patch.xml"), "--no-others"});
    ASSERT_EQ(applied.status, 0) << applied.out << applied.err;
    const std::string source = DumpPatchTables(File("source.fdb"));
    EXPECT_NE(source.find("06-01-001|1|401-0067|102.00000"), std::string::npos) << source;
    EXPECT_EQ(DumpPatchTables(File("fresh.fdb")), source);
}
