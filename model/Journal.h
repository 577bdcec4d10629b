// The update journal as the model sees it: one module-wide reference to
// whatever shows the journal (the task window's MemoLog, or the command line's
// stdout). The front end sets it while it exists; with none set, lines written
// by the model go nowhere.
#pragma once

#include <string>

namespace db {
class Connection;
}

class Journal {
public:
    virtual ~Journal() = default;
    virtual void Append(const std::string& line) = 0;
};

// The journal lines go to; nullptr while none is set.
Journal* UpdateJournal();
// Sets (or, with nullptr, clears) the module-wide journal. Returns the previous one.
Journal* SetUpdateJournal(Journal* journal);
// Appends a line to the module-wide journal, if one is set.
void AppendToUpdateJournal(const std::string& line);

// Sets the journal for its lifetime and puts the previous one back.
class ScopedUpdateJournal {
public:
    explicit ScopedUpdateJournal(Journal* journal) : m_previous(SetUpdateJournal(journal)) {}
    ~ScopedUpdateJournal() { SetUpdateJournal(m_previous); }
    ScopedUpdateJournal(const ScopedUpdateJournal&) = delete;
    ScopedUpdateJournal& operator=(const ScopedUpdateJournal&) = delete;

private:
    Journal* m_previous;
};

// Sends a line to the host's activity log through a short-lived log client
// aimed at the current application's main window (as the norms report their
// additions). kind: 0 error, 1 notice, 2 information.
void SendToHostLog(int kind, const std::string& line);

// The same for a line that reports work done on `connection`: it is written
// once the statements run on the connection before it have taken effect (at
// once unless statements wait to be sent together), and never when one of
// them fails, so the journal never reports what did not happen.
void AppendToUpdateJournal(db::Connection& connection, const std::string& line);
void SendToHostLog(db::Connection& connection, int kind, const std::string& line);
