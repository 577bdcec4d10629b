// export: loads collections from the database into a base root and writes them
// as a patch document. While it loads, stderr shows the progress when it is a
// terminal.
#include "apps/updatedb/Commands.h"

#include "model/ProgressWindow.h"
#include "model/kod_pvr.h"
#include "model/sbornik_pvr.h"

#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <system_error>

namespace cli {
namespace {

// The progress window as one self-rewriting stderr line: the caption, the
// label and how many collections have been started.
class StderrProgressWindow : public ProgressWindow {
public:
    void SetCaption(const std::string& caption) override { m_caption = caption; }
    void SetLabel(const std::string& text) override {
        m_label = text;
        ++m_steps;
        Draw();
    }
    void SetMax(int max) override { m_max = max; }
    void SetPosition(int position) override { m_position = position; }
    void Show() override {
        m_shown = true;
        Draw();
    }
    void SetMayClose(bool mayClose) override { m_mayClose = mayClose; }
    void Close() override {
        if (!m_mayClose || !m_shown)
            return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_shown = false;
    }

private:
    void Draw() const {
        if (!m_shown)
            return;
        std::string line = "\r\033[K" + m_caption;
        if (m_steps > 0)
            line += " [" + std::to_string(m_steps) + "] " + m_label;
        if (m_max > 0)
            line += " (" + std::to_string(m_position) + "/" + std::to_string(m_max) + ")";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }

    std::string m_caption;
    std::string m_label;
    int m_max = 0;
    int m_position = 0;
    int m_steps = 0;
    bool m_shown = false;
    bool m_mayClose = false;
};

// Sets the stderr progress window while it lives, when stderr is a terminal.
class ScopedStderrProgress {
public:
    ScopedStderrProgress() {
        if (isatty(STDERR_FILENO)) {
            m_previous =
                SetProgressWindowFactory([] { return std::make_unique<StderrProgressWindow>(); });
            m_set = true;
        }
    }
    ~ScopedStderrProgress() {
        if (m_set)
            SetProgressWindowFactory(std::move(m_previous));
    }
    ScopedStderrProgress(const ScopedStderrProgress&) = delete;
    ScopedStderrProgress& operator=(const ScopedStderrProgress&) = delete;

private:
    ProgressWindowFactory m_previous;
    bool m_set = false;
};

// Writes the document beside `path` first and renames it into place, so a
// failure never leaves a half-written file under the name asked for.
void SaveAtomically(const text::StringList& lines, const std::string& path) {
    const std::string temporary = path + ".part-" + std::to_string(getpid());
    try {
        lines.SaveToFile(temporary);
        std::filesystem::rename(temporary, path);
    } catch (const std::filesystem::filesystem_error& e) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw Exception("Не удалось записать файл " + path + ": " + e.code().message());
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

// The same bytes the file would hold: windows-1251, each line ended by CR LF,
// so that redirecting stdout gives a valid patch file.
void WriteToStdout(const text::StringList& lines) {
    for (const std::string& line : lines.Lines())
        std::cout << text::Utf8ToCp1251(line) << "\r\n";
    std::cout.flush();
}

} // namespace

int ExportCommand(const GlobalOptions& options, const std::vector<int>& collections,
                  const std::string& outFile) {
    auto connection = OpenConnection(options);
    kod_pvr base;
    std::set<int> seen;
    for (int kod : collections) {
        // A code given twice is exported once, where it first appears.
        if (!seen.insert(kod).second)
            continue;
        auto collection = std::make_unique<sbornik_pvr>();
        collection->set_kod(kod);
        base.AddItem(std::move(collection));
    }
    {
        // One transaction for the whole load: every collection is read from the
        // same state of the base, and the reads do not each commit on their own.
        const db::TransactionDesc transaction;
        connection->StartTransaction(transaction);
        ScopedStderrProgress progress;
        base.LoadFromDB(*connection);
        connection->Rollback(transaction);
    }
    text::StringList lines;
    base.Serialize(lines);
    if (outFile.empty())
        WriteToStdout(lines);
    else
        SaveAtomically(lines, outFile);
    return ExitOk;
}

} // namespace cli
