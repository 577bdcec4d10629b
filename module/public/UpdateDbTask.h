// The contract between a host application and the task module UpdateDb: the
// two records the host hands over, the two entry points and the exported data
// symbols. Hosts include this header and find the entry points with dlsym.
//
// Strings: every host string here is a zero-terminated windows-1251 byte
// string. The strings the module writes into TaskInfo are owned by the module
// and stay valid while the module is loaded; a host that keeps them longer
// copies them.
//
// Calling convention: this platform has one (the System V ABI of the C
// language); the entry points use C linkage and nothing else is to be agreed.
#pragma once

#include "platform/host/Application.h"

#include <cstdint>

class QWidget;
class TFormUpdate;
class TProgressForm;
class Tdlg_Idle;

namespace db {
class Connection;
}

// Filled by GetInfoVersion50: where the host lists the task.
struct TaskInfo {
    const char* Group = nullptr;    // "База данных"
    const char* TaskName = nullptr; // "Обновление СНБ"
    float Version = 0;              // 5.0
    std::int32_t Flag = 0;          // 1
};

// Handed to MyMDIWindow. The host owns both objects; they must outlive the
// task window (the window copies the connection's settings, not its session).
struct TaskContext {
    db::Connection* Connection = nullptr;
    host::Application* Application = nullptr;
};

// The application object of a host with a Qt main form. Passed as
// TaskContext::Application, it tells the module where task windows go:
// ClientArea is the main form's document area. When it is a QMdiArea, each
// task window becomes one of its document windows (QMdiSubWindow: caption,
// system menu, minimise, maximise and close controls), at its design size and
// centred; closing it frees it. Any other widget gets the task window as a
// plain child that fills it. A plain host::Application gives top-level task
// windows.
class TaskHostApplication : public host::Application {
public:
    TaskHostApplication(host::Handle mainFormHandle, host::MessageBoxPresenter* presenter,
                        QWidget* clientArea)
        : host::Application(mainFormHandle, presenter), m_clientArea(clientArea) {}
    QWidget* ClientArea() const { return m_clientArea; }

private:
    QWidget* m_clientArea;
};

extern "C" {

// Fills the record; touches nothing else (no connection is needed).
void GetInfoVersion50(TaskInfo* info);
using GetInfoVersion50Func = void (*)(TaskInfo*);

// Opens the task window on the context's connection, or focuses the one that
// is open (after a message box saying so). Returns the window's handle (a
// host::Handle: messages such as WM_CLOSE go there), or 0 when the window
// could not be opened. `unused` is the host's and ignored.
host::Handle MyMDIWindow(std::uintptr_t unused, TaskContext* context);
using MyMDIWindowFunc = host::Handle (*)(std::uintptr_t, TaskContext*);

// The open task window, null while none is open.
extern TFormUpdate* _FormUpdate;
// The wait windows; the module never assigns them, so they stay null.
extern TProgressForm* _ProgressForm;
extern Tdlg_Idle* _dlg_Idle;
}
