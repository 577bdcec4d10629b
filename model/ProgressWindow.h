// The wait window that loading collections from the database shows: a caption,
// a label and a bar. The model sees only this interface; the task window's Qt
// form and the command line's stderr bar implement it. Without a factory set,
// a window that shows nothing is used.
#pragma once

#include <functional>
#include <memory>
#include <string>

class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetLabel(const std::string& text) = 0;
    virtual void SetMax(int max) = 0;
    virtual void SetPosition(int position) = 0;
    // Shows the window without waiting.
    virtual void Show() = 0;
    // Closing is refused while MayClose is false.
    virtual void SetMayClose(bool mayClose) = 0;
    // Closes the window when MayClose allows it; the window is gone afterwards.
    virtual void Close() = 0;
};

using ProgressWindowFactory = std::function<std::unique_ptr<ProgressWindow>()>;

// Sets the factory (an empty one restores the silent default); returns the old one.
ProgressWindowFactory SetProgressWindowFactory(ProgressWindowFactory factory);
// A new window from the current factory; never null.
std::unique_ptr<ProgressWindow> CreateProgressWindow();
