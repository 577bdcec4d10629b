// The application object that the module works with: the handle of the main
// form (target of log lines, owner of message boxes) and the presenter of
// message boxes. The module starts with its own object and adopts the host's
// one when the host opens the task; the process-wide current object is what
// every layer asks for.
#pragma once

#include "platform/host/MessageBox.h"

namespace host {

class Application {
public:
    Application() = default;
    Application(Handle mainFormHandle, MessageBoxPresenter* presenter)
        : m_mainFormHandle(mainFormHandle), m_presenter(presenter) {}
    virtual ~Application() = default;

    Handle MainFormHandle() const { return m_mainFormHandle; }
    void SetMainFormHandle(Handle handle) { m_mainFormHandle = handle; }
    // Never null: without a presenter of its own the console one is used.
    MessageBoxPresenter& Presenter() const;
    void SetPresenter(MessageBoxPresenter* presenter) { m_presenter = presenter; }

    // Shows a box owned by the main form, as the framework's Application does.
    int MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons = MbButtons::Ok) const;

private:
    Handle m_mainFormHandle = 0;
    MessageBoxPresenter* m_presenter = nullptr;
};

// The current application object; never null (a process-wide default exists).
Application& CurrentApplication();
// Replaces the current object and returns the previous one. nullptr restores
// the default.
Application* SetCurrentApplication(Application* application);

// Shows a box through the current application's presenter with the given owner.
int ShowMessageBox(Handle owner, const std::string& text, const std::string& caption,
                   MbIcon icon = MbIcon::None, MbButtons buttons = MbButtons::Ok);

} // namespace host
