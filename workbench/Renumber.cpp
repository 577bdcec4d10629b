#include "workbench/Renumber.h"

#include "platform/db/Dialect.h"
#include "platform/text/Exception.h"

namespace {

constexpr int Info = TQuorvexLogClient::Info;
constexpr int Error = TQuorvexLogClient::Error;

const char* const OracleListingSql =
    "select kod_tabl, substr(kod_tabl, 1, instr(kod_tabl,'-',-1))||'0'||substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) as kod_tabl_new from kod_tabl where substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) in ('1','2','3','4','5','6','7','8','9', '1Г','2Г','3Г','4Г','5Г','6Г','7Г','8Г','9Г')";

const char* const OracleUpdateSql =
    "update kod_tabl set kod_tabl = substr(kod_tabl, 1, instr(kod_tabl,'-',-1))||'0'||substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) where substr(kod_tabl, instr(kod_tabl,'-',-1)+1,2) in ('1','2','3','4','5','6','7','8','9', '1Г','2Г','3Г','4Г','5Г','6Г','7Г','8Г','9Г')";

const char* const IbListingSql =
    "select kod_tabl, substr(kod_tabl,1,len(kod_tabl)-1)||'-0'||substr(kod_tabl,len(kod_tabl),len(kod_tabl)+1) as kod_tabl_new from kod_tabl where substr(kod_tabl,len(kod_tabl)-1,len(kod_tabl)+1) in ('-1','-2','-3','-4','-5','-6','-7','-8','-9') union select kod_tabl, substr(kod_tabl,1,len(kod_tabl)-2)||'-0'||substr(kod_tabl,len(kod_tabl)-1,len(kod_tabl)+3) as kod_tabl_new from kod_tabl where kod_tabl like '%Г' and substr(kod_tabl,len(kod_tabl)-2,len(kod_tabl)+3) in ('-1Г','-2Г','-3Г','-4Г','-5Г','-6Г','-7Г','-8Г','-9Г')";

// The last two characters of a code ("-5") are compared with the values the
// listing uses ('-1' ... '-9'), so every code the listing reports is changed.
const char* const IbFirstUpdateSql =
    "update kod_tabl set kod_tabl = substr(kod_tabl,1,len(kod_tabl)-1)||'-0'||substr(kod_tabl,len(kod_tabl),len(kod_tabl)+1) where substr(kod_tabl,len(kod_tabl)-1,len(kod_tabl)+1) in ('-1','-2','-3','-4','-5','-6','-7','-8','-9')";

const char* const IbSecondUpdateSql =
    "update kod_tabl set kod_tabl = substr(kod_tabl,1,len(kod_tabl)-1)||'0'||substr(kod_tabl,len(kod_tabl)-1,len(kod_tabl)+2) where kod_tabl like '%-1Г' or kod_tabl like '%-2Г' or kod_tabl like '%-3Г' or kod_tabl like '%-4Г' or kod_tabl like '%-5Г' or kod_tabl like '%-6Г' or kod_tabl like '%-7Г' or kod_tabl like '%-8Г' or kod_tabl like '%-9Г'";

const char* const OracleWidenSql = "ALTER TABLE KOD_PVR MODIFY NAIM_PVR VARCHAR2(400)";
const char* const IbWidenSql = "ALTER TABLE KOD_PVR ALTER NAIM_PVR TYPE VARCHAR(400)";

void ResetQuery(db::Query& q) {
    q.Close();
    q.ClearSQL();
}

// One guarded renumbering update: its failure is reported and the stage goes on.
void RunUpdate(UpdateForm& form, const char* sql) {
    try {
        ResetQuery(form.Qupdate);
        form.Qupdate.SetSQL(sql);
        form.Qupdate.ExecSQL();
    } catch (const Exception& e) {
        LogThenJournal(form, form.MemoLog, Error,
                       "Ошибка при обновлении поправок " + std::string(e.what()));
    }
}

} // namespace

void RenumberCorrectionCodes(UpdateForm& form) {
    JournalThenLog(form, form.MemoLog, Info, "Проводится обновление поправок");
    db::Query& q = form.Qupdate;
    ResetQuery(q);
    if (const char* listing = db::Guarded(form.SQLConnect, OracleListingSql, IbListingSql))
        q.SetSQL(listing);
    q.Open();
    for (; !q.Eof(); q.Next())
        JournalThenLog(form, form.MemoLog, Info,
                       "Изменили поправку " + q.FieldByName("kod_tabl").AsString() + " на " +
                           q.FieldByName("kod_tabl_new").AsString());
    if (db::IsOracle(form.SQLConnect)) {
        RunUpdate(form, OracleUpdateSql);
    } else if (db::IsInterBase(form.SQLConnect)) {
        RunUpdate(form, IbFirstUpdateSql);
        RunUpdate(form, IbSecondUpdateSql);
    }
}

void WidenNormName(UpdateForm& form) {
    db::Query& q = form.Qupdate;
    ResetQuery(q);
    try {
        q.SetSQL(db::TwoWay(form.SQLConnect, OracleWidenSql, IbWidenSql));
        q.ExecSQL();
        JournalThenLog(form, form.MemoLog, Info, "Измененили длину поля naim_pvr ");
    } catch (const Exception& e) {
        LogThenJournal(form, form.MemoLog, Error,
                       "Ошибка при изменении длины поля naim_pvr " + std::string(e.what()));
    }
}
