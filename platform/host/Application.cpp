#include "platform/host/Application.h"

#include <cstdio>

namespace host {
namespace {

Application& DefaultApplication() {
    static Application application;
    return application;
}

Application* g_current = nullptr;

} // namespace

int ConsoleMessageBoxPresenter::Show(const MessageBoxRequest& request) {
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    return IDOK;
}

MessageBoxPresenter& Application::Presenter() const {
    static ConsoleMessageBoxPresenter console;
    return m_presenter ? *m_presenter : console;
}

int Application::MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                            MbButtons buttons) const {
    return Presenter().Show({m_mainFormHandle, text, caption, icon, buttons});
}

Application& CurrentApplication() { return g_current ? *g_current : DefaultApplication(); }

Application* SetCurrentApplication(Application* application) {
    Application* previous = g_current ? g_current : &DefaultApplication();
    g_current = application == &DefaultApplication() ? nullptr : application;
    return previous;
}

int ShowMessageBox(Handle owner, const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons) {
    return CurrentApplication().Presenter().Show({owner, text, caption, icon, buttons});
}

} // namespace host
