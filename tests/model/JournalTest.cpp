#include "model/Journal.h"
#include "model/ProgressWindow.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct Lines : Journal {
    std::vector<std::string> lines;
    void Append(const std::string& line) override { lines.push_back(line); }
};
} // namespace

TEST(JournalTest, LinesReachTheJournalSetWhileItExistsAndNowhereOtherwise) {
    AppendToUpdateJournal("before");
    Lines outer, inner;
    {
        ScopedUpdateJournal a(&outer);
        AppendToUpdateJournal("one");
        {
            ScopedUpdateJournal b(&inner);
            AppendToUpdateJournal("two");
        }
        AppendToUpdateJournal("three");
    }
    AppendToUpdateJournal("after");
    EXPECT_EQ(outer.lines, (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(inner.lines, (std::vector<std::string>{"two"}));
    EXPECT_EQ(UpdateJournal(), nullptr);
}

TEST(ProgressWindowTest, WithoutAFactoryASilentWindowIsUsed) {
    auto window = CreateProgressWindow();
    ASSERT_NE(window, nullptr);
    window->SetMax(10);
    window->Close();
}
