// The entry points of the module UpdateDb: listing the task, opening its one
// window, and the load/unload handling of the module's application object.
#include "module/TProgressForm.h"
#include "module/public/UpdateDbTask.h"
#include "platform/text/Numbers.h"
#include "workbench/window/TFormUpdate.h"

#include <QGuiApplication>

TFormUpdate* _FormUpdate = nullptr;
TProgressForm* _ProgressForm = nullptr;
Tdlg_Idle* _dlg_Idle = nullptr;

namespace {

const char* const AlreadyRunning = "\nЗадача \"Обновление СНБ \" уже запущена !\n";
const char* const CannotOpen = "Извините, но задачу открыть нельзя.";

// Trivially initialised, so the load function below may set them before the
// library's other static objects are constructed.
host::Application* g_savedApplication = nullptr;
ProgressWindowFactory* g_previousProgressFactory = nullptr;
char g_previousSeparator = '.';

// On load: remember the module's application object, let the model's
// progress windows be Qt ones while the module is loaded, and show numbers
// with the user's decimal separator.
__attribute__((constructor)) void ModuleLoaded() {
    g_savedApplication = &host::CurrentApplication();
    g_previousProgressFactory = new ProgressWindowFactory(SetProgressWindowFactory(
        [] { return std::unique_ptr<ProgressWindow>(new QtProgressWindow); }));
    g_previousSeparator = text::DecimalSeparator();
    text::SetDecimalSeparator(text::UserDecimalSeparator());
}

// On unload: put back what the load replaced, so that nothing of the module
// keeps the host's object as its own.
__attribute__((destructor)) void ModuleUnloaded() {
    host::SetCurrentApplication(g_savedApplication);
    text::SetDecimalSeparator(g_previousSeparator);
    if (g_previousProgressFactory) {
        SetProgressWindowFactory(std::move(*g_previousProgressFactory));
        delete g_previousProgressFactory;
        g_previousProgressFactory = nullptr;
    }
}

// The plain message box of the framework: no owner, the application's title.
void ShowPlainMessage(const std::string& text) {
    host::ShowMessageBox(0, text, QGuiApplication::applicationDisplayName().toStdString());
}

QWidget* ClientAreaOf(host::Application& application) {
    auto* qtHost = dynamic_cast<TaskHostApplication*>(&application);
    return qtHost ? qtHost->ClientArea() : nullptr;
}

host::Handle FocusOpenWindow(host::Application& application) {
    application.Presenter().Show({application.MainFormHandle(), AlreadyRunning, "Ошибка",
                                  host::MbIcon::Error, host::MbButtons::Ok});
    FormUpdate->BringForward();
    return FormUpdate->Handle();
}

// Destroys the open window with its frame, if any.
void DestroyOpenWindow() {
    TFormUpdate* window = FormUpdate;
    FormUpdate = nullptr;
    delete window;
}

} // namespace

extern "C" void GetInfoVersion50(TaskInfo* info) {
    // windows-1251 bytes of "База данных" and "Обновление СНБ".
    static const char group[] = "\xc1\xe0\xe7\xe0 \xe4\xe0\xed\xed\xfb\xf5";
    static const char taskName[] = "\xce\xe1\xed\xee\xe2\xeb\xe5\xed\xe8\xe5 \xd1\xcd\xc1";
    info->Group = group;
    info->TaskName = taskName;
    info->Version = 5.0f;
    info->Flag = 1;
}

extern "C" host::Handle MyMDIWindow(std::uintptr_t, TaskContext* context) {
    if (context && context->Application)
        host::SetCurrentApplication(context->Application);
    try {
        host::Application& application = host::CurrentApplication();
        // An open window is answered first: a request without a connection
        // does not disturb it.
        if (FormUpdate)
            return FocusOpenWindow(application);
        if (!context || !context->Connection)
            throw std::invalid_argument("no host connection");
        auto* window =
            new TFormUpdate(&application, ClientAreaOf(application), *context->Connection);
        FormUpdate = window;
        window->show();
        window->setFocus();
        return window->Handle();
    } catch (...) {
        ShowPlainMessage(CannotOpen);
        DestroyOpenWindow();
        return 0;
    }
}
