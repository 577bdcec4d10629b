// The demo host's main form: a multi-document area whose document windows are
// the task windows, a menu per task group listing the loaded modules' tasks,
// and the activity-log pane that shows every HostLogMessage line with its kind
// (and copies it to stderr). The form is a message target; its handle is the
// main-form handle the modules aim their log lines at.
#pragma once

#include "TaskModule.h"

#include "platform/host/Messages.h"

#include <QMainWindow>

#include <memory>
#include <optional>
#include <vector>

class QMdiArea;
class QPlainTextEdit;

class HostWindow : public QMainWindow, public host::MessageTarget {
public:
    HostWindow();
    // Frees the task windows before their modules are unloaded.
    ~HostWindow() override;

    host::Handle Handle() const { return m_target.GetHandle(); }
    QMdiArea* ClientArea() const { return m_clientArea; }
    QPlainTextEdit* ActivityLog() const { return m_log; }

    // Lists the module's task under its group; the task opens with `context`.
    void AddTask(std::unique_ptr<TaskModule> module, TaskContext* context);
    // Opens the first listed task, as its menu entry does; the window's handle or 0.
    host::Handle OpenFirstTask();
    // Frees every document window of the area (their modules stay loaded).
    void FreeTaskWindows();

    // Appends a line to the log pane, marked with its kind.
    void Log(int kind, const QString& text);
    host::LResult HandleMessage(unsigned message, host::WParam wParam,
                                host::LParam lParam) override;

private:
    struct Task {
        std::unique_ptr<TaskModule> module;
        TaskContext* context;
        host::Handle lastWindow = 0; // what the last opening returned
    };
    host::Handle OpenTask(Task& task);

    QMdiArea* m_clientArea;
    QPlainTextEdit* m_log;
    std::vector<Task> m_tasks;
    host::ScopedTarget m_target{this};
};
