// The layers below the window (text, database, XML, host messages, the
// serialization framework, the model and the workbench procedures) as one
// shared library. The module, the demo host and the window tests all use it,
// so a process holds one copy of the process-wide state: the message registry,
// the current application object, the driver registry and the update journal.
// Its contents come whole from the layers' static libraries; this file only
// gives the library a translation unit of its own.
namespace {
[[maybe_unused]] constexpr int RuntimeLibrary = 1;
}
