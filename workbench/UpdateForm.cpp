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
} // namespace

void JournalThenLog(UpdateForm& form, Memo& journal, int kind, const std::string& line) {
    journal.Append(line);
    SendToLog(form, kind, line);
}

void LogThenJournal(UpdateForm& form, Memo& journal, int kind, const std::string& line) {
    SendToLog(form, kind, line);
    journal.Append(line);
}
