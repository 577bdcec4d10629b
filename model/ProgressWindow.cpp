#include "model/ProgressWindow.h"

namespace {

class SilentProgressWindow : public ProgressWindow {
public:
    void SetCaption(const std::string&) override {}
    void SetLabel(const std::string&) override {}
    void SetMax(int) override {}
    void SetPosition(int) override {}
    void Show() override {}
    void SetMayClose(bool) override {}
    void Close() override {}
};

ProgressWindowFactory& Factory() {
    static ProgressWindowFactory factory;
    return factory;
}

} // namespace

ProgressWindowFactory SetProgressWindowFactory(ProgressWindowFactory factory) {
    ProgressWindowFactory previous = std::move(Factory());
    Factory() = std::move(factory);
    return previous;
}

std::unique_ptr<ProgressWindow> CreateProgressWindow() {
    if (Factory()) {
        if (auto window = Factory()())
            return window;
    }
    return std::make_unique<SilentProgressWindow>();
}
