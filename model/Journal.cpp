#include "model/Journal.h"

#include "module/TQuorvexLogClient.h"
#include "platform/db/Connection.h"
#include "platform/host/Application.h"

namespace {
Journal* g_journal = nullptr;
}

Journal* UpdateJournal() { return g_journal; }

Journal* SetUpdateJournal(Journal* journal) {
    Journal* previous = g_journal;
    g_journal = journal;
    return previous;
}

void AppendToUpdateJournal(const std::string& line) {
    if (g_journal)
        g_journal->Append(line);
}

void SendToHostLog(int kind, const std::string& line) {
    TQuorvexLogClient client(host::CurrentApplication().MainFormHandle());
    switch (kind) {
    case TQuorvexLogClient::Error:
        client.LogError(line);
        break;
    case TQuorvexLogClient::Notice:
        client.LogNotice(line);
        break;
    default:
        client.LogInfo(line);
        break;
    }
}

void AppendToUpdateJournal(db::Connection& connection, const std::string& line) {
    connection.WhenSent([line] { AppendToUpdateJournal(line); });
}

void SendToHostLog(db::Connection& connection, int kind, const std::string& line) {
    connection.WhenSent([kind, line] { SendToHostLog(kind, line); });
}
