// Saving and clearing the update journal: the naming rules, the move of an
// existing file into the current folder that never replaces a file, the
// windows-1251 content with the success line last, and the error line when the
// file cannot be written.
#include "workbench/JournalFile.h"

#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

struct HostLog : host::MessageTarget {
    Lines lines;
    host::LResult HandleMessage(unsigned message, host::WParam w, host::LParam l) override {
        if (message == HostLogMessage)
            lines.push_back((w == 0 ? "E: " : "I: ") + TQuorvexLogClient::DecodeMessageText(l));
        return 0;
    }
};

class JournalFileTest : public ::testing::Test {
protected:
    JournalFileTest() {
        m_root = testsupport::MakeTempFolder("journal");
        fs::create_directories(m_root / "chosen");
        fs::create_directories(m_root / "current");
        m_previousFolder = fs::current_path();
        fs::current_path(m_root / "current");
        m_form.LogClient = std::make_unique<TQuorvexLogClient>(m_hostWindow.GetHandle());
        m_form.MemoLog.Append("Проверка на совпадение набора расценок с базой");
        m_form.MemoLog.Append("Обновление завершенно!");
    }
    ~JournalFileTest() override {
        fs::current_path(m_previousFolder);
        fs::remove_all(m_root);
    }

    std::string Chosen(const std::string& name) const {
        return (m_root / "chosen" / name).string();
    }
    std::string Current(const std::string& name) const {
        return (m_root / "current" / name).string();
    }
    Lines Journal() const { return m_form.MemoLog.Lines().Lines(); }

    fs::path m_root;
    fs::path m_previousFolder;
    HostLog m_hostLog;
    host::ScopedTarget m_hostWindow{&m_hostLog};
    UpdateForm m_form;
};

TEST_F(JournalFileTest, ANameEndingInTxtGetsASecondTxtAndTheSuccessLineEndsTheFile) {
    const std::string chosen = Chosen("log.txt");
    ASSERT_TRUE(SaveJournal(m_form, chosen));
    const std::string success = "Сохранили диагностику в файл " + chosen + ".txt";
    EXPECT_EQ(text::ReadFileBytes(chosen + ".txt"),
              text::Utf8ToCp1251("Проверка на совпадение набора расценок с базой\r\n"
                                 "Обновление завершенно!\r\n" +
                                 success));
    EXPECT_FALSE(fs::exists(chosen));
    EXPECT_EQ(Journal().back(), success);
    EXPECT_EQ(m_hostLog.lines, Lines{"I: " + success});
}

TEST_F(JournalFileTest, AnExistingFileMovesUnderItsBareNameIntoTheCurrentFolder) {
    const std::string chosen = Chosen("journal");
    text::WriteFileBytes(chosen, "old journal");
    ASSERT_TRUE(SaveJournal(m_form, chosen));
    EXPECT_FALSE(fs::exists(chosen));
    EXPECT_EQ(text::ReadFileBytes(Current("journal.txt")), "old journal");
    EXPECT_TRUE(fs::exists(chosen + ".txt"));
}

TEST_F(JournalFileTest, TheMoveNeverReplacesAFileInTheCurrentFolder) {
    const std::string chosen = Chosen("journal.log");
    text::WriteFileBytes(chosen, "chosen file");
    text::WriteFileBytes(Current("journal.txt"), "an unrelated file");
    ASSERT_TRUE(SaveJournal(m_form, chosen));
    // The move is skipped: both files keep their content; the save goes on.
    EXPECT_EQ(text::ReadFileBytes(Current("journal.txt")), "an unrelated file");
    EXPECT_EQ(text::ReadFileBytes(chosen), "chosen file");
    EXPECT_TRUE(fs::exists(chosen + ".txt"));
}

TEST_F(JournalFileTest, BackupNamesDropFolderAndExtension) {
    EXPECT_EQ(JournalBackupName("/a/b/journal"), "journal.txt");
    EXPECT_EQ(JournalBackupName("/a/b/journal.log"), "journal.txt");
    EXPECT_EQ(JournalBackupName("/a/b.d/journal"), "journal.txt");
    EXPECT_EQ(JournalBackupName("/a/b/j.tar.gz"), "j.tar.txt");
    EXPECT_EQ(JournalBackupName("journal.txt"), "journal.txt");
}

TEST_F(JournalFileTest, AFileThatCannotBeCreatedGivesAnErrorLineNotSuccess) {
    const std::string chosen = (m_root / "no-such-folder" / "journal").string();
    EXPECT_FALSE(SaveJournal(m_form, chosen));
    ASSERT_EQ(Journal().size(), 3u);
    const std::string line = Journal().back();
    EXPECT_EQ(line.rfind("Ошибка сохранения диагностики в файл " + chosen + ".txt ", 0), 0u)
        << line;
    EXPECT_NE(line.find("No such file or directory"), std::string::npos) << line;
    EXPECT_EQ(m_hostLog.lines, Lines{"E: " + line});
}

TEST_F(JournalFileTest, AFileThatCannotBeWrittenGivesAnErrorLine) {
    // /dev/full accepts the open and fails every write.
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", Chosen("full.txt"));
    EXPECT_FALSE(SaveJournal(m_form, Chosen("full")));
    EXPECT_EQ(Journal().back().rfind("Ошибка", 0), 0u);
    EXPECT_NE(Journal().back().find("No space left on device"), std::string::npos);
}

TEST_F(JournalFileTest, ClearingLeavesExactlyOneLineAndLogsNothing) {
    ClearJournal(m_form);
    EXPECT_EQ(Journal(), Lines{"Очистили журнал"});
    EXPECT_TRUE(m_hostLog.lines.empty());
}

} // namespace
