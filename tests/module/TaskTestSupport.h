// What the module and window tests share: a fresh embedded base holding the
// demo's normative base, a host main form that records the log lines it gets
// and the message boxes shown, and a scripted file dialog. The fixture owns
// the base, the host connection and the application object; a task window
// opened through it is closed and freed by Reset().
#pragma once

#include "module/public/UpdateDbTask.h"
#include "tests/support/TempDatabase.h"
#include "workbench/window/FileDialog.h"

#include "platform/host/Messages.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMainWindow;
class QMdiArea;
class QWidget;

namespace tasktest {

// The host main form's log: every HostLogMessage as "I: text", "N: text" or
// "E: text".
struct HostLog : host::MessageTarget {
    std::vector<std::string> lines;
    host::LResult HandleMessage(unsigned message, host::WParam w, host::LParam l) override;
};

// Answers each request with the next scripted name (nullopt: cancel) and
// keeps the requests as "open <filter> must-exist" / "save <filter> ...".
class ScriptedFileDialog : public FileDialog {
public:
    std::optional<std::string> Open(const std::string& filter, bool fileMustExist) override;
    std::optional<std::string> Save(const std::string& filter, bool fileMustExist) override;

    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> requests;

private:
    std::optional<std::string> Next(const std::string& request);
};

class TaskHost {
public:
    // clientArea: the main form's document area, or null for a plain host
    // application (top-level task windows).
    explicit TaskHost(QWidget* clientArea = nullptr);
    ~TaskHost();

    db::Connection& Connection() { return *m_connection; }
    testsupport::TempDatabase& Database() { return *m_db; }
    host::Application& Application() { return *m_application; }
    host::Handle MainFormHandle() const { return m_mainForm.GetHandle(); }

    // MyMDIWindow with this host's connection and application object.
    host::Handle Open();
    // The open window, or null.
    TFormUpdate* Window() const;
    // Closes the open window through WM_CLOSE and lets Qt free it.
    void Reset();

    // Runs SQL on a connection of its own (auto-committed); the first field of
    // the first row.
    std::string Scalar(const std::string& sql);
    void Sql(const std::string& statement);

    HostLog log;
    host::RecordingMessageBoxPresenter boxes;

private:
    std::unique_ptr<testsupport::TempDatabase> m_db;
    std::unique_ptr<db::Connection> m_connection;
    std::unique_ptr<db::Connection> m_sql;
    host::ScopedTarget m_mainForm{&log};
    std::unique_ptr<host::Application> m_application;
};

// A host main form whose document area is a multi-document area, shown at
// 1000 x 640 on the offscreen screen.
class MdiMainForm {
public:
    MdiMainForm();
    ~MdiMainForm();
    QMainWindow& Window() { return *m_window; }
    QMdiArea* Area() const { return m_area; }

private:
    std::unique_ptr<QMainWindow> m_window;
    QMdiArea* m_area;
};

// Lets Qt free the windows that were closed (deferred deletes).
void FreeClosedWindows();

// Writes UTF-8 text as windows-1251 bytes.
void WriteCp1251(const std::string& path, const std::string& utf8);

} // namespace tasktest
