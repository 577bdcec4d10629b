#include "workbench/UpdateForm.h"

#include "model/kod_pvr.h"

db::TransactionDesc UpdateTransaction{1, db::Isolation::ReadCommitted, 0};

UpdateForm::UpdateForm() { SetUpdateJournal(&MemoLog); }

UpdateForm::~UpdateForm() {
    if (UpdateJournal() == &MemoLog)
        SetUpdateJournal(nullptr);
}

namespace {
void SendToLog(UpdateForm& form, int kind, const std::string& line) {
    if (form.LogClient)
        form.LogClient->Send(kind, line);
}

void NoteInReport(UpdateForm& form, const Memo& journal, int kind, const std::string& line) {
    if (kind == TQuorvexLogClient::Error && &journal == &form.MemoLog)
        form.Report.NoteError(line, nullptr);
}
} // namespace

void JournalThenLog(UpdateForm& form, Memo& journal, int kind, const std::string& line) {
    journal.Append(line);
    SendToLog(form, kind, line);
    NoteInReport(form, journal, kind, line);
}

void LogThenJournal(UpdateForm& form, Memo& journal, int kind, const std::string& line) {
    SendToLog(form, kind, line);
    journal.Append(line);
    NoteInReport(form, journal, kind, line);
}
