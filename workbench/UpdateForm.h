// What the task window gives its procedures: its own connection and the two
// queries on it, the two journals, the host log client, the texts of its edits
// and the states of its check boxes, and the base read by the last update run.
// The Qt window owns one and mirrors its widgets into it; the command line
// fills one from its arguments. While it exists its MemoLog is the module-wide
// update journal, so the model's lines arrive there.
#pragma once

#include "module/TQuorvexLogClient.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "workbench/ChangeReport.h"
#include "workbench/Memo.h"

#include <functional>
#include <memory>
#include <string>

class kod_pvr;

// The transaction descriptor of the save stage: id 1, read committed.
extern db::TransactionDesc UpdateTransaction;

struct UpdateForm {
    UpdateForm();
    ~UpdateForm();
    UpdateForm(const UpdateForm&) = delete;
    UpdateForm& operator=(const UpdateForm&) = delete;

    db::Connection SQLConnect;
    db::Query Qupdate{SQLConnect};
    db::Query Qdelete{SQLConnect};

    Memo MemoLog;             // the update journal
    Memo MemoDelete;          // the deletion journal
    Memo Memo1{"Memo1"};      // the loaded deletion script (hidden)

    std::unique_ptr<TQuorvexLogClient> LogClient; // null: host-log copies go nowhere

    std::string EdPatch;      // path of the patch file
    std::string EdKodPopr;    // table code to delete
    std::string Edit1;        // path of the deletion script
    bool ChProch = true;      // "Расчет прочих"
    bool CheckBox1 = false;   // "Обновлять код поправок"
    // A dry run: the update run up to and including the save, all of it in one
    // transaction that is always rolled back; no recalculation.
    bool DryRun = false;
    // The save is watched for the change report's counts (off: the report
    // says they were not gathered, and the save costs nothing more).
    bool ObserveSave = true;

    ChangeReport Report; // what the last update run changed (or would change)

    std::unique_ptr<kod_pvr> Base; // the tree read by the last update run

    // Puts the input focus on EdKodPopr; empty where there is no window.
    std::function<void()> FocusEdKodPopr;
};

// The journal convention: one line in a journal and the same text in the host
// log, in the order each step fixes. kind: TQuorvexLogClient::Info or ::Error.
// An error line (kind Error) in the update journal is also noted in the
// change report as a failure of the run's current stage.
void JournalThenLog(UpdateForm& form, Memo& journal, int kind, const std::string& line);
void LogThenJournal(UpdateForm& form, Memo& journal, int kind, const std::string& line);
