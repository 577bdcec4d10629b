// Window handles and synchronous messages: the stand-in for the host's windows
// and SendMessage. A message target registers itself and gets a handle; a
// message sent to a handle is delivered at once, on the caller's thread. A
// null or unknown handle swallows the message and returns 0.
#pragma once

#include <cstdint>

namespace host {

using Handle = std::uintptr_t;   // 0 is the null handle
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

constexpr unsigned WM_CLOSE = 16;
constexpr unsigned WM_CHILDACTIVATE = 34;
constexpr unsigned WM_USER = 1024;

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual LResult HandleMessage(unsigned message, WParam wParam, LParam lParam) = 0;
};

// Registers a target and returns its new, never reused, non-null handle.
Handle RegisterTarget(MessageTarget* target);
// Forgets a handle; later messages to it go nowhere. Unknown handles are ignored.
void UnregisterTarget(Handle handle);
// The target behind a handle, or nullptr.
MessageTarget* FindTarget(Handle handle);

// Delivers the message synchronously and returns the target's answer; 0 when
// the handle is null or unknown.
LResult SendMessage(Handle handle, unsigned message, WParam wParam, LParam lParam);

// Registers for its lifetime.
class ScopedTarget {
public:
    explicit ScopedTarget(MessageTarget* target) : m_handle(RegisterTarget(target)) {}
    ~ScopedTarget() { UnregisterTarget(m_handle); }
    ScopedTarget(const ScopedTarget&) = delete;
    ScopedTarget& operator=(const ScopedTarget&) = delete;
    Handle GetHandle() const { return m_handle; }

private:
    Handle m_handle;
};

} // namespace host
