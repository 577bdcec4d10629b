#include "platform/host/Messages.h"

#include <mutex>
#include <unordered_map>

namespace host {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<Handle, MessageTarget*> targets;
    Handle next = 0x100;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

Handle RegisterTarget(MessageTarget* target) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Handle handle = r.next;
    r.next += 4;
    r.targets[handle] = target;
    return handle;
}

void UnregisterTarget(Handle handle) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.targets.erase(handle);
}

MessageTarget* FindTarget(Handle handle) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.targets.find(handle);
    return it == r.targets.end() ? nullptr : it->second;
}

LResult SendMessage(Handle handle, unsigned message, WParam wParam, LParam lParam) {
    if (handle == 0)
        return 0;
    MessageTarget* target = FindTarget(handle);
    // The lock is not held during delivery: a target may send further messages.
    return target ? target->HandleMessage(message, wParam, lParam) : 0;
}

} // namespace host
