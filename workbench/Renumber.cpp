#include "workbench/Renumber.h"

#include "model/kod_pvr.h"
#include "model/pvr.h"
#include "model/sbornik_pvr.h"
#include "platform/db/Dialect.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

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

// The present width of NAIM_PVR in characters, for a dry run.
const char* const OracleWidthSql = "select char_length as width from user_tab_columns "
                                   "where table_name = 'KOD_PVR' and column_name = 'NAIM_PVR'";
const char* const IbWidthSql =
    "select f.rdb$character_length as width from rdb$relation_fields r join rdb$fields f "
    "on f.rdb$field_name = r.rdb$field_source "
    "where r.rdb$relation_name = 'KOD_PVR' and r.rdb$field_name = 'NAIM_PVR'";

const char* const WidenErrorLine = "Ошибка при изменении длины поля naim_pvr ";

void ResetQuery(db::Query& q) {
    q.Close();
    q.ClearSQL();
}

// One guarded renumbering update: its failure is reported and the stage goes
// on. The rows it changed go into the report.
void RunUpdate(UpdateForm& form, const char* sql) {
    try {
        ResetQuery(form.Qupdate);
        form.Qupdate.SetSQL(sql);
        const int64_t rows = form.Qupdate.ExecSQLNow();
        form.Report.renumbering->rows += rows > 0 ? rows : 0;
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
    form.Report.renumbering = ChangeReport::Renumbering();
    for (; !q.Eof(); q.Next()) {
        ChangeReport::RenumberedCode code{q.FieldByName("kod_tabl").AsString(),
                                          q.FieldByName("kod_tabl_new").AsString()};
        JournalThenLog(form, form.MemoLog, Info,
                       "Изменили поправку " + code.before + " на " + code.after);
        form.Report.renumbering->codes.push_back(std::move(code));
    }
    if (db::IsOracle(form.SQLConnect)) {
        RunUpdate(form, OracleUpdateSql);
    } else if (db::IsInterBase(form.SQLConnect)) {
        RunUpdate(form, IbFirstUpdateSql);
        RunUpdate(form, IbSecondUpdateSql);
    }
}

namespace {

// The dry run's widening: reads the width and says what the widening would
// do. Answers the width, 0 when it could not be read.
int PlanWidening(UpdateForm& form) {
    db::Query& q = form.Qupdate;
    ResetQuery(q);
    int width = 0;
    try {
        q.SetSQL(db::TwoWay(form.SQLConnect, OracleWidthSql, IbWidthSql));
        q.Open();
        if (q.IsEmpty())
            throw Exception("поле NAIM_PVR таблицы KOD_PVR не найдено");
        width = static_cast<int>(q.FieldByName("width").AsInteger());
    } catch (const Exception& e) {
        LogThenJournal(form, form.MemoLog, Error, WidenErrorLine + std::string(e.what()));
        return 0;
    }
    const std::string widths = std::to_string(width);
    if (width > kNormNameWidth) {
        LogThenJournal(form, form.MemoLog, Error,
                       WidenErrorLine + std::string("поле уже длиннее ") +
                           std::to_string(kNormNameWidth) + " символов (" + widths + ")");
        return 0;
    }
    JournalThenLog(form, form.MemoLog, Info,
                   width < kNormNameWidth
                       ? "Длина поля naim_pvr будет изменена с " + widths + " на " +
                             std::to_string(kNormNameWidth) + " (пробный прогон)"
                       : "Длина поля naim_pvr уже " + widths + " (пробный прогон)");
    return width;
}

} // namespace

void WidenNormName(UpdateForm& form) {
    form.Report.widening = ChangeReport::Widening();
    ChangeReport::Widening& widening = *form.Report.widening;
    widening.widthAfter = kNormNameWidth;
    if (form.DryRun) {
        widening.widthBefore = PlanWidening(form);
        widening.failed = widening.widthBefore == 0;
        if (!widening.failed)
            widening.changesWidth = widening.widthBefore < kNormNameWidth;
        return;
    }
    db::Query& q = form.Qupdate;
    ResetQuery(q);
    try {
        q.SetSQL(db::TwoWay(form.SQLConnect, OracleWidenSql, IbWidenSql));
        q.ExecSQL();
        JournalThenLog(form, form.MemoLog, Info, "Измененили длину поля naim_pvr ");
    } catch (const Exception& e) {
        widening.failed = true;
        LogThenJournal(form, form.MemoLog, Error, WidenErrorLine + std::string(e.what()));
    }
}

namespace {

// The first `characters` characters of a UTF-8 text.
std::string FirstCharacters(const std::string& text, size_t characters) {
    size_t at = 0;
    for (size_t seen = 0; at < text.size(); ++at)
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && seen++ == characters)
            break;
    return text.substr(0, at);
}

} // namespace

NamesFittedToColumn::NamesFittedToColumn(UpdateForm& form) {
    const std::optional<ChangeReport::Widening>& widening = form.Report.widening;
    if (!form.DryRun || !widening || widening->widthBefore <= 0 || !form.Base)
        return;
    const size_t width = static_cast<size_t>(widening->widthBefore);
    kod_pvr& base = *form.Base;
    for (int c = 0; c < base.Count(); ++c) {
        sbornik_pvr& collection = *base.GetItem(c);
        for (int n = 0; n < collection.Count(); ++n) {
            pvr* norm = collection.GetItem(n);
            const size_t length = text::Utf8Length(norm->naim());
            if (length <= width || length > static_cast<size_t>(kNormNameWidth))
                continue;
            form.Report.widening->namesFittingOnlyAfter.push_back(norm->kod());
            m_cut.emplace_back(norm, norm->naim());
            norm->set_naim(FirstCharacters(norm->naim(), width));
        }
    }
}

NamesFittedToColumn::~NamesFittedToColumn() {
    for (auto& [norm, name] : m_cut)
        norm->set_naim(std::move(name));
}

std::string AsAfterWidening(const UpdateForm& form, const std::string& message) {
    const std::optional<ChangeReport::Widening>& widening = form.Report.widening;
    if (!form.DryRun || !widening || !widening->changesWidth.value_or(false))
        return message;
    const std::string before = std::to_string(widening->widthBefore);
    const std::string after = std::to_string(widening->widthAfter);
    // The engine's words for the width of the column that was too short, and
    // what shows that the column is NAIM_PVR: Firebird names the statement
    // (NAIM_PVR is the only column of KOD_PVR of that width), Oracle the column.
    const std::pair<std::string, std::string> forms[] = {
        {"insert into KOD_PVR", "expected length " + before + ","},
        {"\"KOD_PVR\".\"NAIM_PVR\"", "maximum: " + before + ")"}};
    for (const auto& [which, width] : forms) {
        const size_t at = message.find(width);
        if (at != std::string::npos && message.find(which) != std::string::npos) {
            std::string widened = width;
            widened.replace(widened.find(before), before.size(), after);
            return message.substr(0, at) + widened + message.substr(at + width.size());
        }
    }
    return message;
}
