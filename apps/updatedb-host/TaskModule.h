// A task module loaded into the demo host: the shared library opened with
// dlopen and its two entry points. The module stays loaded while the object
// lives; unloading it runs the module's unload handling.
#pragma once

#include "module/public/UpdateDbTask.h"

#include <string>

class TaskModule {
public:
    // Loads the library. Throws std::runtime_error with dlerror's text when it
    // cannot be loaded or lacks an entry point.
    explicit TaskModule(const std::string& path);
    ~TaskModule();
    TaskModule(const TaskModule&) = delete;
    TaskModule& operator=(const TaskModule&) = delete;

    // What GetInfoVersion50 wrote, decoded to UTF-8.
    const std::string& Group() const { return m_group; }
    const std::string& TaskName() const { return m_taskName; }
    float Version() const { return m_version; }

    // Opens (or focuses) the task window; 0 when it could not be opened.
    host::Handle Open(TaskContext& context) { return m_open(0, &context); }

private:
    void* m_library = nullptr;
    MyMDIWindowFunc m_open = nullptr;
    std::string m_group;
    std::string m_taskName;
    float m_version = 0;
};
