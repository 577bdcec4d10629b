// Message boxes behind an interface, so that the framework and the procedures
// can show them without a GUI: the window shows Qt boxes, the command line
// prints them, tests record them.
#pragma once

#include "platform/host/Messages.h"

#include <string>
#include <vector>

namespace host {

enum class MbIcon { None, Error, Warning, Information, Question };
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers, numbered as the host platform numbers them.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct MessageBoxRequest {
    Handle owner = 0;     // 0: no owner
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    MbIcon icon = MbIcon::None;
    MbButtons buttons = MbButtons::Ok;

    bool operator==(const MessageBoxRequest& o) const {
        return owner == o.owner && text == o.text && caption == o.caption && icon == o.icon &&
               buttons == o.buttons;
    }
};

class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Shows the box modally and returns the button pressed (IDOK, ...).
    virtual int Show(const MessageBoxRequest& request) = 0;
};

// Keeps every request and answers with a fixed button. For tests.
class RecordingMessageBoxPresenter : public MessageBoxPresenter {
public:
    int Show(const MessageBoxRequest& request) override {
        shown.push_back(request);
        return answer;
    }
    std::vector<MessageBoxRequest> shown;
    int answer = IDOK;
};

// Prints "caption: text" to stderr and answers OK. For the command line.
class ConsoleMessageBoxPresenter : public MessageBoxPresenter {
public:
    int Show(const MessageBoxRequest& request) override;
};

} // namespace host
