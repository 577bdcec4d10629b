// The demo host on a real X server (Xvfb), driven as a user drives it, with
// the mouse and the keyboard through the X server (xdotool): the task opened
// from the menu "База данных", the demo patch applied by typing its path and
// pressing the run button, the journal saved through its popup menu, the task
// chosen again while open (the "уже запущена" box), the window closed with its
// frame's shortcut and opened afresh, all in a locale with a comma as decimal
// separator. Then the saved journals and the base are checked, the base
// against one the command line updated from the same patch in the C locale.
// Pictures of the screen are left in the build tree (desktop/).
#include "tests/cli/RunProcess.h"
#include "tests/host/ChildProcess.h"
#include "tests/host/LocaleEnvironment.h"
#include "tests/support/DemoJournal.h"
#include "tests/support/QueryText.h"
#include "tests/support/TempDatabase.h"
#include "tests/support/TempFolder.h"

#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <poll.h>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::RunProcess;

namespace {

// Seconds a step may take; the sanitizer build of the host is slow.
constexpr double StepSeconds = 90;
const char* const HostTitle = "Демонстрационный хост UpdateDb";

bool WaitUntil(const std::function<bool()>& done, double seconds = StepSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::string ReadText(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec) ? text::ReadFileBytes(path) : std::string();
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Xvfb on a display number it chooses itself (-displayfd), so that tests and
// builds running at once never meet; stopped with the object.
class XServer {
public:
    explicit XServer(const std::string& folder) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        m_process = std::make_unique<ChildProcess>(
            XVFB_BIN,
            std::vector<std::string>{"-displayfd", std::to_string(fds[1]), "-screen", "0",
                                     "1280x800x24", "-nolisten", "tcp"},
            std::map<std::string, std::string>{}, folder + "/xvfb.log", fds[1]);
        close(fds[1]);
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&ready, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            throw std::runtime_error("Xvfb did not start: " + ReadText(folder + "/xvfb.log"));
        m_display = ":" + number;
    }
    const std::string& Display() const { return m_display; }

private:
    std::unique_ptr<ChildProcess> m_process;
    std::string m_display;
};

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// The X side of the user: xdotool on the test's display.
class User {
public:
    std::string Xdo(const std::vector<std::string>& args) {
        const testsupport::ProcessResult result = RunProcess(XDOTOOL_BIN, args);
        return result.out;
    }
    std::set<std::string> VisibleWindows() {
        std::set<std::string> ids;
        std::istringstream lines(Xdo({"search", "--onlyvisible", "--name", ""}));
        for (std::string id; std::getline(lines, id);)
            if (!id.empty())
                ids.insert(id);
        return ids;
    }
    // A visible window whose name contains `name`; empty after the timeout.
    std::string WaitForWindow(const std::string& name) {
        std::string found;
        WaitUntil([&] {
            std::istringstream lines(Xdo({"search", "--onlyvisible", "--name", name}));
            std::getline(lines, found);
            return !found.empty();
        });
        return found;
    }
    // The first window that became visible after `before` was taken.
    std::string WaitForNewWindow(const std::set<std::string>& before) {
        std::string found;
        WaitUntil([&] {
            for (const std::string& id : VisibleWindows())
                if (!before.count(id))
                    found = id;
            return !found.empty();
        });
        return found;
    }
    Geometry GeometryOf(const std::string& window) {
        Geometry g;
        std::istringstream lines(Xdo({"getwindowgeometry", "--shell", window}));
        for (std::string line; std::getline(lines, line);) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const int value = std::atoi(line.c_str() + eq + 1);
            const std::string key = line.substr(0, eq);
            (key == "X" ? g.x : key == "Y" ? g.y : key == "WIDTH" ? g.width : g.height) = value;
        }
        return g;
    }
    // Clicks the first entry of a popup menu that opened after `before`.
    bool ClickFirstEntryOfNewMenu(const std::set<std::string>& before) {
        const std::string menu = WaitForNewWindow(before);
        if (menu.empty())
            return false;
        const Geometry g = GeometryOf(menu);
        Xdo({"mousemove", std::to_string(g.x + 20), std::to_string(g.y + 11), "click", "1"});
        return true;
    }
    void Focus(const std::string& window) { Xdo({"windowfocus", "--sync", window}); }
    void Keys(const std::string& window, const std::vector<std::string>& keys) {
        Focus(window);
        std::vector<std::string> args{"key", "--delay", "60"};
        args.insert(args.end(), keys.begin(), keys.end());
        Xdo(args);
    }
    void Type(const std::string& window, const std::string& text) {
        Focus(window);
        Xdo({"type", "--delay", "20", text});
    }
};

// The update journal the window writes for the demo patch, "Расчет прочих"
// ticked, as saved into a file (the saving line last).
std::string ExpectedJournal(const std::string& savedAs) {
    std::string journal;
    for (const std::string& line : DemoJournal(true))
        journal += line + "\r\n";
    return journal + "Сохранили диагностику в файл " + savedAs + ".txt";
}

// What the update run leaves in the base, one table after the other.
std::string BaseDump(const std::string& path) {
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, path);
    std::string dump;
    for (const char* table : {"KOD_SBOR", "KOD_RAZD", "KOD_PVR", "SOST_PVR", "KOD_TABL", "TRUDOZ",
                              "ZARP", "CNIR", "MASH", "NOM_MAT", "NOM_MASH", "N_PROC"})
        dump += std::string("-- ") + table + "\n" +
                testsupport::QueryText(connection, std::string("select * from ") + table, "NULL",
                                       true);
    return dump;
}

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(XVFB_BIN) && fs::exists(XDOTOOL_BIN))
            << "Xvfb and xdotool are needed (./run setup installs the packages xvfb, xdotool)";
        m_folder = testsupport::MakeTempFolder("desktop");
        fs::create_directories(DESKTOP_PICTURES);
        for (const std::string& base : {Base(), Reference()}) {
            ASSERT_EQ(RunProcess(UPDATEDB_BIN, {"init", base}).status, 0);
            ASSERT_EQ(RunProcess(UPDATEDB_BIN, {"--database", base, "run-sql",
                                                SOURCE_DIR "/demo/base.sql"})
                          .status,
                      0);
        }
        // The reference: the command line in the test's own locale (a point
        // as separator), where the host runs in a comma locale.
        const auto reference = RunProcess(
            UPDATEDB_BIN, {"--database", Reference(), "apply", SOURCE_DIR "/demo/patch.xml"});
        ASSERT_EQ(reference.status, 0) << reference.err;
    }
    void TearDown() override {
        if (m_previousDisplay)
            setenv("DISPLAY", m_previousDisplay->c_str(), 1);
        else
            unsetenv("DISPLAY");
        if (m_previousAsanOptions)
            setenv("ASAN_OPTIONS", m_previousAsanOptions->c_str(), 1);
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }

    std::string Base() const { return m_folder + "/demo.fdb"; }
    std::string Reference() const { return m_folder + "/reference.fdb"; }
    std::string HostLog() const { return ReadText(m_folder + "/host.log"); }
    // The programs this test starts talk to `display`. Under AddressSanitizer
    // the X keyboard library they load reads its server's replies with strndup
    // over buffers without a terminating zero, as strndup allows; the strict
    // string checks of the sanitizer build would stop them there.
    void UseDisplay(const std::string& display) {
        if (const char* previous = std::getenv("DISPLAY"))
            m_previousDisplay = previous;
        setenv("DISPLAY", display.c_str(), 1);
        if (const char* options = std::getenv("ASAN_OPTIONS")) {
            m_previousAsanOptions = options;
            setenv("ASAN_OPTIONS", (*m_previousAsanOptions + ":strict_string_checks=0").c_str(), 1);
        }
    }
    void Grab(const std::string& name) {
        const std::string path = std::string(DESKTOP_PICTURES) + "/" + name;
        const auto result = RunProcess(SCREEN_GRAB_BIN, {path});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(ReadText(path).substr(1, 3), "PNG") << path;
    }
    // Chooses the task in the menu "База данных" (the first menu of the bar).
    void ChooseTask(const std::string& host) {
        const std::set<std::string> before = m_user.VisibleWindows();
        m_user.Xdo({"mousemove", "--window", host, "30", "10", "click", "1"});
        ASSERT_TRUE(m_user.ClickFirstEntryOfNewMenu(before)) << "the menu did not open";
    }
    // Walks with Tab from the focused control to the journal, saves it through
    // its popup menu and the save dialog under `name` (".txt" is added) and
    // answers what the file holds, decoded.
    std::string SaveJournal(const std::string& host, int tabs, const std::string& name) {
        std::vector<std::string> keys(static_cast<size_t>(tabs), "Tab");
        m_user.Keys(host, keys);
        const std::set<std::string> before = m_user.VisibleWindows();
        m_user.Keys(host, {"Menu"});
        EXPECT_TRUE(m_user.ClickFirstEntryOfNewMenu(before)) << "the journal's menu did not open";
        const std::string dialog = m_user.WaitForWindow("Save As");
        EXPECT_FALSE(dialog.empty()) << "no save dialog";
        if (dialog.empty())
            return "";
        const std::string path = m_folder + "/" + name;
        m_user.Type(dialog, path);
        m_user.Keys(dialog, {"Return"});
        std::string saved;
        WaitUntil([&] {
            saved = text::Cp1251ToUtf8(ReadText(path + ".txt"));
            return saved.find("Сохранили диагностику в файл") != std::string::npos;
        });
        return saved;
    }

    std::string m_folder;
    std::optional<std::string> m_previousDisplay;
    std::optional<std::string> m_previousAsanOptions;
    User m_user;
};

} // namespace

TEST_F(DesktopTest, TheTaskAppliesThePatchFromTheHostsMenuAndOpensAfreshAfterClosing) {
    XServer x(m_folder);
    UseDisplay(x.Display());
    testsupport::LocaleEnvironment locale;
    ASSERT_TRUE(locale.Ready()) << "the test locales were not made (package locales)";
    locale.Set("LC_ALL", "ru_RU.UTF-8");
    auto hostProcess = std::make_unique<ChildProcess>(
        UPDATEDB_HOST_BIN, std::vector<std::string>{"--database", Base()},
        std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "xcb"}},
        m_folder + "/host.log");
    const std::string host = m_user.WaitForWindow(HostTitle);
    ASSERT_FALSE(host.empty()) << "the host did not show up on " << x.Display() << ":\n"
                               << HostLog() << "\nXvfb:\n" << ReadText(m_folder + "/xvfb.log");

    ChooseTask(host);
    ASSERT_TRUE(WaitUntil([&] { return Count(HostLog(), "Открыта задача") == 1; }))
        << HostLog();
    // The path typed into the focused path edit, then Tab, Tab to the run button.
    m_user.Type(host, SOURCE_DIR "/demo/patch.xml");
    m_user.Keys(host, {"Tab", "Tab", "space"});
    ASSERT_TRUE(WaitUntil([&] {
        return Count(HostLog(), "Пересчет зарплаты у работы 06-01-001") == 1;
    })) << HostLog();
    Grab("update-run.png");
    const std::string first = SaveJournal(host, 3, "journal-first");
    EXPECT_EQ(first, ExpectedJournal(m_folder + "/journal-first"));

    // Chosen again while open: the box, and the open window stays.
    ChooseTask(host);
    const std::string box = m_user.WaitForWindow("Ошибка");
    ASSERT_FALSE(box.empty()) << "no \"уже запущена\" box";
    Grab("already-running.png");
    m_user.Keys(box, {"Return"});
    ASSERT_TRUE(WaitUntil([&] { return Count(HostLog(), "уже открыта") == 1; })) << HostLog();

    // Closed with the frame's shortcut and chosen again: a fresh window.
    m_user.Keys(host, {"ctrl+w"});
    ChooseTask(host);
    ASSERT_TRUE(WaitUntil([&] { return Count(HostLog(), "Открыта задача") == 2; })) << HostLog();
    const std::string second = SaveJournal(host, 5, "journal-second");
    EXPECT_EQ(second, "Сохранили диагностику в файл " + m_folder + "/journal-second.txt");
    Grab("reopened.png");

    EXPECT_EQ(hostProcess->Stop(60), 0) << "the host did not quit cleanly:\n" << HostLog();
    const std::string dump = BaseDump(Base());
    EXPECT_NE(dump.find("06-01-001"), std::string::npos);
    EXPECT_NE(dump.find("030201|Бульдозеры при работе на строительстве 79 кВт (108 л.с.)"),
              std::string::npos)
        << dump;
    EXPECT_EQ(dump, BaseDump(Reference()));
}
