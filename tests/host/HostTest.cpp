#include "module/TQuorvexLogClient.h"
#include "platform/host/Application.h"
#include "platform/host/Messages.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A host main window that keeps what the log lines carried at the moment they
// arrived (the buffer is only valid during the call).
struct LogWindow : host::MessageTarget {
    struct Line {
        int kind;
        std::string text;
        size_t bytes;
    };
    std::vector<Line> lines;
    host::LResult HandleMessage(unsigned message, host::WParam w, host::LParam l) override {
        if (message == HostLogMessage)
            lines.push_back({static_cast<int>(w), TQuorvexLogClient::DecodeMessageText(l),
                             std::strlen(reinterpret_cast<const char*>(l))});
        return 7;
    }
};

} // namespace

TEST(MessagesTest, DeliversSynchronouslyAndNullOrStaleHandlesGoNowhere) {
    LogWindow window;
    host::Handle handle;
    {
        host::ScopedTarget target(&window);
        handle = target.GetHandle();
        EXPECT_NE(handle, 0u);
        EXPECT_EQ(host::SendMessage(handle, 1, 0, 0), 7);
    }
    EXPECT_EQ(host::SendMessage(handle, 1, 0, 0), 0);
    EXPECT_EQ(host::SendMessage(0, 1, 0, 0), 0);
    host::ScopedTarget again(&window);
    EXPECT_NE(again.GetHandle(), handle); // handles are never reused
}

TEST(LogClientTest, LinesArriveInOrderWithTheirKindsAsWindows1251) {
    LogWindow window;
    host::ScopedTarget target(&window);
    TQuorvexLogClient client(target.GetHandle());
    client.LogInfo("Проверка на совпадение набора расценок с базой");
    client.LogError("Ошибка при сохранении");
    client.LogNotice("n");
    ASSERT_EQ(window.lines.size(), 3u);
    EXPECT_EQ(window.lines[0].kind, 2);
    EXPECT_EQ(window.lines[0].text, "Проверка на совпадение набора расценок с базой");
    EXPECT_EQ(window.lines[0].bytes, text::Utf8Length(window.lines[0].text));
    EXPECT_EQ(window.lines[1].kind, 0);
    EXPECT_EQ(window.lines[1].text, "Ошибка при сохранении");
    EXPECT_EQ(window.lines[2].kind, 1);
    EXPECT_EQ(HostLogMessage, 1181u);
}

TEST(LogClientTest, LongLinesAreCutAt999CharactersAndNullTargetIsHarmless) {
    LogWindow window;
    host::ScopedTarget target(&window);
    TQuorvexLogClient client(target.GetHandle());
    std::string longLine;
    for (int i = 0; i < 1200; ++i)
        longLine += "ж";
    client.LogError(longLine);
    ASSERT_EQ(window.lines.size(), 1u);
    EXPECT_EQ(window.lines[0].bytes, 999u);
    EXPECT_EQ(text::Utf8Length(window.lines[0].text), 999u);

    TQuorvexLogClient nowhere(0);
    nowhere.LogInfo("x");
    EXPECT_EQ(window.lines.size(), 1u);
}

TEST(ApplicationTest, BoxesGoThroughTheCurrentApplicationsPresenter) {
    host::RecordingMessageBoxPresenter presenter;
    host::Application hostApp(0x1234, &presenter);
    host::Application* previous = host::SetCurrentApplication(&hostApp);
    host::CurrentApplication().MessageBox("текст", "Ошибка", host::MbIcon::Error);
    host::ShowMessageBox(0, "HELP :)", "HELP");
    host::SetCurrentApplication(previous);
    ASSERT_EQ(presenter.shown.size(), 2u);
    EXPECT_EQ(presenter.shown[0],
              (host::MessageBoxRequest{0x1234, "текст", "Ошибка", host::MbIcon::Error,
                                       host::MbButtons::Ok}));
    EXPECT_EQ(presenter.shown[1].owner, 0u);
    EXPECT_NE(&host::CurrentApplication(), &hostApp);
}
