#include "TaskModule.h"

#include "platform/text/Encoding.h"

#include <dlfcn.h>

#include <stdexcept>

namespace {

void* Symbol(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (!symbol)
        throw std::runtime_error(std::string("module entry ") + name + " missing: " + dlerror());
    return symbol;
}

} // namespace

TaskModule::TaskModule(const std::string& path) {
    m_library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library)
        throw std::runtime_error(dlerror());
    try {
        auto getInfo =
            reinterpret_cast<GetInfoVersion50Func>(Symbol(m_library, "GetInfoVersion50"));
        m_open = reinterpret_cast<MyMDIWindowFunc>(Symbol(m_library, "MyMDIWindow"));
        TaskInfo info;
        getInfo(&info);
        // The strings are the module's; the host keeps its own copies.
        m_group = text::Cp1251ToUtf8(info.Group ? info.Group : "");
        m_taskName = text::Cp1251ToUtf8(info.TaskName ? info.TaskName : "");
        m_version = info.Version;
    } catch (...) {
        dlclose(m_library);
        throw;
    }
}

TaskModule::~TaskModule() {
    dlclose(m_library);
}
