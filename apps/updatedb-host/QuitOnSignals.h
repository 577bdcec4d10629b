// Ends the host's event loop cleanly on SIGINT and SIGTERM (Ctrl+C in the
// terminal, a stop request): the task windows are freed and the module is
// unloaded as when the main form is closed, instead of the process dying with
// them open.
#pragma once

class QCoreApplication;

// Installs the handlers; call once, after the database engine is loaded (it
// may install handlers of its own). Returns false when they could not be set.
bool QuitOnSignals(QCoreApplication& app);
