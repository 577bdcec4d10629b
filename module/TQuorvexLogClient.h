// The module's side of the host's activity log: one line of text and its kind
// handed to the host main window as the message HostLogMessage. The client owns
// a 1000-byte windows-1251 buffer that holds the current line while the host
// handles the (synchronous) message.
#pragma once

#include "platform/host/Messages.h"

#include <string>

// WM_USER + 157. wParam: the kind (0 error, 1 notice, 2 information); lParam:
// the address of the client's zero-terminated windows-1251 buffer, valid only
// while the host handles the message.
constexpr unsigned HostLogMessage = host::WM_USER + 157;

class TQuorvexLogClient {
public:
    enum Kind { Error = 0, Notice = 1, Info = 2 };
    static constexpr size_t BufferSize = 1000;

    // The target is the host main window; a null handle sends nowhere.
    explicit TQuorvexLogClient(host::Handle target);

    // Copies the UTF-8 text into the buffer as windows-1251, cut at 999 bytes,
    // then sends HostLogMessage synchronously. The answer is ignored.
    void Send(int kind, const std::string& text);
    void LogError(const std::string& text) { Send(Error, text); }
    void LogNotice(const std::string& text) { Send(Notice, text); }
    void LogInfo(const std::string& text) { Send(Info, text); }

    host::Handle Target() const { return m_target; }

    // For hosts: the UTF-8 text of the buffer a HostLogMessage points at.
    static std::string DecodeMessageText(host::LParam lParam);

private:
    host::Handle m_target;
    char m_buffer[BufferSize];
};
