// The entry points of the module UpdateDb: listing the task, opening its one
// window, and the load/unload handling of the module's application object.
#include "module/TProgressForm.h"
#include "module/public/UpdateDbTask.h"
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

// On load: remember the module's application object and let the model's
// progress windows be Qt ones while the module is loaded.
__attribute__((constructor)) void ModuleLoaded() {
    g_savedApplication = &host::CurrentApplication();
    g_previousProgressFactory = new ProgressWindowFactory(SetProgressWindowFactory(
        [] { return std::unique_ptr<ProgressWindow>(new QtProgressWindow); }));
}

// On unload: put the remembered application object back, so that nothing of
// the module keeps the host's object as its own.
__attribute__((destructor)) void ModuleUnloaded() {
    host::SetCurrentApplication(g_savedApplication);
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
    FormUpdate->raise();
    FormUpdate->activateWindow();
    FormUpdate->setFocus();
    return FormUpdate->Handle();
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
        if (!context || !context->Connection)
            throw std::invalid_argument("no host connection");
        host::Application& application = host::CurrentApplication();
        if (FormUpdate)
            return FocusOpenWindow(application);
        auto* window =
            new TFormUpdate(&application, ClientAreaOf(application), *context->Connection);
        FormUpdate = window;
        window->show();
        return window->Handle();
    } catch (...) {
        ShowPlainMessage(CannotOpen);
        delete FormUpdate;
        FormUpdate = nullptr;
        return 0;
    }
}
