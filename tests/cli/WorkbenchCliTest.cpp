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

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A demo base in a folder of its own, driven through the command line.
class WorkbenchCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = testsupport::MakeTempFolder("cli-wb");
        m_base = m_folder + "/base.fdb";
        ASSERT_EQ(RunProcess(UPDATEDB_BIN, {"init", m_base}).status, 0);
        ASSERT_EQ(Run({"run-sql", SOURCE_DIR "/demo/base.sql"}).status, 0);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    testsupport::ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--database", m_base});
        return RunProcess(UPDATEDB_BIN, args);
    }
    std::string File(const std::string& name) const { return m_folder + "/" + name; }
    void Write(const std::string& name, const std::string& utf8) {
        text::WriteFileBytes(File(name), text::Utf8ToCp1251(utf8));
    }
    std::string Rows(const std::string& sql) {
        db::Connection connection;
        testsupport::ConfigureFirebird(connection, m_base);
        return testsupport::QueryText(connection, sql);
    }

    std::string m_folder;
    std::string m_base;
};

} // namespace

TEST_F(WorkbenchCliTest, ApplyPrintsTheJournalAndWritesItAsWindows1251) {
    auto result = Run({"apply", SOURCE_DIR "/demo/patch.xml", "--journal", File("journal.txt")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(StartsWith(result.out, "Измененили длину поля naim_pvr \n")) << result.out;
    EXPECT_TRUE(EndsWith(result.out, "\nОбновление завершенно!\n"));
    EXPECT_EQ(result.out.find("log "), std::string::npos);
    // Host-log copies on stderr, also the model's own line for each norm.
    EXPECT_NE(result.err.find("log info: Проверка на совпадение набора расценок с базой\n"),
              std::string::npos);
    EXPECT_NE(result.err.find("log info: Добавление работы 01-03-001\n"), std::string::npos);
    text::StringList stdoutLines;
    stdoutLines.SetText(result.out);
    EXPECT_EQ(text::ReadFileBytes(File("journal.txt")),
              text::Utf8ToCp1251(stdoutLines.Text() + "\r\n"));
    EXPECT_EQ(Rows("select count(*) from KOD_PVR"), "6\n");
}

TEST_F(WorkbenchCliTest, AMissingPatchChangesNothingAndAFailedSaveExitsOne) {
    auto missing = Run({"apply", File("none.xml")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "updatedb: Не удается открыть файл \"" + File("none.xml") +
                               "\": No such file or directory\n");
    // Not even the widening ran.
    EXPECT_EQ(Rows("select f.rdb$character_length from rdb$relation_fields r join rdb$fields f "
                   "on f.rdb$field_name = r.rdb$field_source where r.rdb$relation_name = "
                   "'KOD_PVR' and r.rdb$field_name = 'NAIM_PVR'"),
              "250\n");

    Write("long.xml", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                      "<kod_pvr base_typecode=\"2\"><sbornik_pvr naim=\"С\" kod=\"1\">"
                      "<pvr kod=\"" + std::string(40, '1') + "\" naim=\"Н\"/>"
                      "</sbornik_pvr></kod_pvr>\n");
    const std::string before = Rows("select kod_sb, naim_sb from KOD_SBOR order by kod_sb");
    auto failed = Run({"apply", File("long.xml"), "--no-others"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("\nОшибка сохранении в базу данных "), std::string::npos)
        << failed.out;
    EXPECT_TRUE(EndsWith(failed.out, "\nОбновление завершенно!\n"));
    EXPECT_NE(failed.err.find("updatedb: обновление завершено с ошибками"), std::string::npos);
    EXPECT_EQ(Rows("select kod_sb, naim_sb from KOD_SBOR order by kod_sb"), before);
}

TEST_F(WorkbenchCliTest, PriceLevelOneIsRefused) {
    ASSERT_EQ(Run({"run-sql", "/dev/stdin"}).status, 0); // an empty script runs nothing
    Write("level1.sql", "update NAME_BASE set type_code = 1;");
    ASSERT_EQ(Run({"run-sql", File("level1.sql")}).status, 0);
    auto result = Run({"apply", SOURCE_DIR "/demo/patch.xml"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Обновление невозможно! Обновляемая база в другом уровне цен!\n");
    EXPECT_EQ(result.err, "updatedb: уровень цен базы 1, обновление не выполнено\n");

    Write("empty.sql", "delete from NAME_BASE;");
    ASSERT_EQ(Run({"run-sql", File("empty.sql")}).status, 0);
    auto empty = Run({"apply", SOURCE_DIR "/demo/patch.xml"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "updatedb: Уровень цен базы (NAME_BASE.type_code) не определен: \"\" "
                         "не является целым числом\n");
}

TEST_F(WorkbenchCliTest, DeleteCodeAndRunScript) {
    auto unknown = Run({"delete-code", "99-99-999-99"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("Данной расценки не существует в базе"), std::string::npos);

    auto deleted = Run({"delete-code", "06-01-001-01"});
    EXPECT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_EQ(deleted.out, "Удалили поправку из базы 06-01-001-01\n");
    EXPECT_EQ(Rows("select count(*) from CNIR where kod_pvr = '06-01-001'"), "0\n");

    Write("script.sql", "delete from KOD_TABL where kod_pvr='01-01-001'^\r\n"
                        "delete from NO_SUCH_TABLE where kod_pvr='01-02-057'^\r\n");
    auto script = Run({"run-script", File("script.sql")});
    EXPECT_EQ(script.status, 1);
    EXPECT_EQ(script.out.substr(0, script.out.find('\n')), "Удалили расценку '01-01-001'");
    EXPECT_NE(script.out.find("\nОшибка при удалиление расценки '01-02-057' "), std::string::npos)
        << script.out;
    EXPECT_TRUE(EndsWith(script.out, "\nУдаление завершенно!!!! \n"));
    EXPECT_EQ(Rows("select count(*) from KOD_TABL where kod_pvr = '01-01-001'"), "0\n");
}

namespace {

// Every row of every table and the width of the norm-name column.
const char* const kStateSql[] = {
    "select * from KOD_SBOR order by 1",
    "select * from KOD_RAZD order by 1",
    "select * from KOD_PVR order by 2",
    "select * from SOST_PVR order by 1",
    "select * from KOD_TABL order by 1, 2",
    "select * from TRUDOZ order by 1, 2",
    "select * from ZARP order by 1, 2",
    "select * from CNIR order by 1, 2, 3",
    "select * from MASH order by 1, 2, 3",
    "select * from NOM_MAT order by 1",
    "select * from NOM_MASH order by 1",
    "select * from N_PROC order by 1, 2",
    "select f.rdb$character_length from rdb$relation_fields r join rdb$fields f on "
    "f.rdb$field_name = r.rdb$field_source where r.rdb$relation_name = 'KOD_PVR' and "
    "r.rdb$field_name = 'NAIM_PVR'"};

} // namespace

// check and apply --dry-run: the journal on stdout, the report's table on
// stderr and as JSON, exit 0, and a base left exactly as it was although the
// run renumbered codes and would have widened the column.
TEST_F(WorkbenchCliTest, CheckIsADryRunOfApply) {
    auto state = [&] {
        std::string all;
        for (const char* sql : kStateSql)
            all += Rows(sql);
        return all;
    };
    const std::string before = state();
    auto check = Run({"check", SOURCE_DIR "/demo/patch.xml", "--renumber", "--report",
                      File("check.json"), "--journal", File("journal.txt")});
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(StartsWith(check.out, "Проводится обновление поправок\n")) << check.out;
    EXPECT_TRUE(EndsWith(check.out, "\nПробное сохранение в БД выполнено\n"
                                    "Пробное обновление завершено, все изменения отменены!\n"));
    EXPECT_EQ(check.out.find("Отчёт"), std::string::npos);
    EXPECT_NE(check.err.find("Отчёт об изменениях: пробный прогон, база не изменена\n"
                             "  Итог: без ошибок\n"
                             "  В патче: разделов 2, сборников 2, нормативов 3, поправок 4, строк "
                             "ресурсов 7\n"
                             "  Перенумерация поправок: кодов 4, строк 4\n"
                             "  Поле KOD_PVR.NAIM_PVR: 250 -> 400 символов\n"),
              std::string::npos)
        << check.err;
    const std::string json = text::ReadFileBytes(File("check.json"));
    for (const char* part :
         {"\"command\": \"check\"", "\"dry_run\": true", "\"outcome\": \"clean\"", "\"rows\": 4",
          "\"width_before\": 250", "\"error\": null"})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    EXPECT_TRUE(fs::exists(File("journal.txt")));

    auto dryRun = Run({"apply", SOURCE_DIR "/demo/patch.xml", "--renumber", "--dry-run"});
    EXPECT_EQ(dryRun.status, 0);
    EXPECT_EQ(dryRun.out, check.out);
    EXPECT_EQ(state(), before);
}

// A patch that would fail: check exits 1 with the very error line apply then
// writes, and the report names the stage.
TEST_F(WorkbenchCliTest, AFailingCheckWritesTheErrorLineOfApply) {
    Write("unit.xml", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                      "<kod_pvr base_typecode=\"2\"><sbornik_pvr naim=\"С\" kod=\"1\">"
                      "<pvr kod=\"01-09-001\" naim=\"Н\" naim_ed=\"" +
                          std::string(101, 'm') + "\"/></sbornik_pvr></kod_pvr>\n");
    auto errorLine = [](const std::string& out) {
        const size_t at = out.find("Ошибка сохранении в базу данных ");
        return at == std::string::npos ? std::string()
                                       : out.substr(at, out.find("\nОператор", at) - at);
    };
    auto check = Run({"check", File("unit.xml"), "--report", File("r.json")});
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(errorLine(check.out), "");
    EXPECT_NE(check.err.find("  Ошибка (сохранение в БД): arithmetic exception"), std::string::npos)
        << check.err;
    EXPECT_NE(check.err.find("  Место ошибки: Сборник нормативов: 1 / Норматив: 01-09-001; "
                             "строка 2\n"),
              std::string::npos)
        << check.err;
    EXPECT_NE(text::ReadFileBytes(File("r.json")).find("\"stage\": \"save\""), std::string::npos);
    auto apply = Run({"apply", File("unit.xml"), "--no-others"});
    EXPECT_EQ(apply.status, 1);
    EXPECT_EQ(errorLine(apply.out), errorLine(check.out));
}

// A reading failure: the message printed as its lines, the last one naming the
// object and the patch line; the report file is written all the same.
TEST_F(WorkbenchCliTest, AReadingFailureIsPrintedAsItsLinesWithItsPlace) {
    std::string demo = text::Cp1251ToUtf8(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml"));
    demo.replace(demo.find("rashod=\"24.3\""), 13, "rashod=\"10,5\"");
    Write("comma.xml", demo);
    auto check = Run({"check", File("comma.xml"), "--report", File("r.json")});
    EXPECT_EQ(check.status, 1);
    const std::string tail = "Метод: GetAttributesFromXML\n"
                             "Сообщение: \"10,5\" не является числом с плавающей точкой\n"
                             "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / "
                             "поправка: 01-01-001-1 / Машина/механизм: 030101; строка 20\n";
    EXPECT_TRUE(EndsWith(check.err, tail)) << check.err;
    EXPECT_NE(check.err.find("\nupdatedb: Ошибка объекта: kod_pvr\nМетод: DeSerialize\n"),
              std::string::npos);
    const std::string json = text::ReadFileBytes(File("r.json"));
    for (const char* part : {"\"stage\": \"read\"", "\"line\": 20", "\"Машина/механизм: 030101\"",
                             "\"cause\": \"\\\"10,5\\\" не является числом с плавающей точкой\""})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
}

// A report that cannot be written is a failure of its own, after the run.
TEST_F(WorkbenchCliTest, AReportThatCannotBeWrittenFailsTheCommand) {
    auto check = Run({"check", SOURCE_DIR "/demo/patch.xml", "--report", File("no/such/r.json")});
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(EndsWith(check.out, "Пробное обновление завершено, все изменения отменены!\n"));
    EXPECT_NE(check.err.find("updatedb: "), std::string::npos);
    EXPECT_NE(check.err.find(File("no/such/r.json")), std::string::npos) << check.err;
}
