#include "workbench/UpdateRun.h"

#include "model/SaveSession.h"
#include "model/kod_pvr.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/sbornik_pvr.h"
#include "platform/db/Dialect.h"
#include "platform/db/SelectGroup.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/StringList.h"
#include "platform/xml/ParseError.h"
#include "workbench/Recalculate.h"
#include "workbench/Renumber.h"
#include "workbench/ReportObserver.h"

#include <optional>

namespace {

const char* const PriceLevelSql = "select * from name_base";
const char* const CheckEntrySql = "select * from kod_tabl where kod_pvr=:kod_pvr and "
                                  "kod_tabl=:kod_tabl and n_tabl=:n_tabl and naim_tabl=:naim_tabl";

// The lines of a dry run where a real run commits and closes.
const char* const DrySavedLine = "Пробное сохранение в БД выполнено";
const char* const DryClosingLine = "Пробное обновление завершено, все изменения отменены!";

constexpr int Info = TQuorvexLogClient::Info;
constexpr int Error = TQuorvexLogClient::Error;

int ReadPriceLevel(UpdateForm& form) {
    db::Query& q = form.Qupdate;
    q.Close();
    q.ClearSQL();
    q.SetSQL(PriceLevelSql);
    q.Open();
    std::string level = q.FieldByName("type_code").AsString();
    try {
        return static_cast<int>(text::StrToInt(level));
    } catch (const EConvertError& e) {
        throw EConvertError("Уровень цен базы (NAME_BASE.type_code) не определен: " +
                            std::string(e.what()));
    }
}

void CheckEntry(UpdateForm& form, const pvr& norm, const pvr_popr& entry) {
    db::Query& q = form.Qupdate;
    q.Close();
    q.ClearSQL();
    q.SetSQL(CheckEntrySql);
    q.ParamByName("kod_pvr").SetString(norm.kod());
    q.ParamByName("kod_tabl").SetString(entry.kod());
    q.ParamByName("naim_tabl").SetString(entry.naim());
    q.ParamByName("n_tabl").SetString(text::IntToStr(entry.number()));
    q.Open();
    if (q.IsEmpty())
        JournalThenLog(form, form.MemoLog, Info,
                       "У работы " + norm.kod() + " набор расценок не совпадает с базой " +
                           entry.kod());
}

// The transaction of a dry run: started before the first stage, so that the
// renumbering, the check and the save all run in it, and rolled back on every
// path out of the run. Does nothing on a real run.
class DryRunTransaction {
public:
    explicit DryRunTransaction(UpdateForm& form) : m_form(form) {
        if (m_form.DryRun)
            m_form.SQLConnect.StartTransaction(UpdateTransaction);
    }
    ~DryRunTransaction() {
        try {
            RollBack();
        } catch (const Exception&) {
            // Leaving on a failure already: the engine drops the transaction
            // with the session at the latest.
        }
    }
    DryRunTransaction(const DryRunTransaction&) = delete;
    DryRunTransaction& operator=(const DryRunTransaction&) = delete;

    // Throws what the rollback throws.
    void RollBack() {
        if (m_form.DryRun && m_form.SQLConnect.InTransaction())
            m_form.SQLConnect.Rollback(UpdateTransaction);
    }

private:
    UpdateForm& m_form;
};

// The stages of a run at price level 2.
void RunStages(UpdateForm& form) {
    DryRunTransaction dryRun(form);
    if (form.CheckBox1) {
        form.Report.stage = "renumbering";
        RenumberCorrectionCodes(form);
    }
    form.Report.stage = "widening";
    WidenNormName(form);
    LoadAndCheckPatch(form);
    SavePatch(form);
    if (form.ChProch && !form.DryRun) {
        form.Report.stage = "recalculation";
        RecalculateOthers(form);
    }
    dryRun.RollBack();
    form.Report.finished = true;
    form.MemoLog.Append(form.DryRun ? DryClosingLine : "Обновление завершенно!");
}

int RunAtLevel(UpdateForm& form) {
    form.Report.stage = "price_level";
    int level = ReadPriceLevel(form);
    form.Report.priceLevel = level;
    if (level == 2)
        RunStages(form);
    else if (level == 1)
        form.MemoLog.Append("Обновление невозможно! Обновляемая база в другом уровне цен!");
    return level;
}

bool IsErrorLine(const std::string& line) {
    return line.rfind("Ошибка", 0) == 0;
}

} // namespace

int BitCalcClick(UpdateForm& form) {
    form.Report.Restart(form.DryRun, form.EdPatch);
    const int firstLine = form.MemoLog.Lines().Count();
    auto countErrorLines = [&] {
        const std::vector<std::string>& lines = form.MemoLog.Lines().Lines();
        for (size_t i = static_cast<size_t>(firstLine); i < lines.size(); ++i)
            form.Report.errorLines += IsErrorLine(lines[i]) ? 1 : 0;
    };
    try {
        int level = RunAtLevel(form);
        countErrorLines();
        return level;
    } catch (const Exception& e) {
        countErrorLines();
        form.Report.NoteError(e.Message(), e.Place());
        throw;
    }
}

void LoadAndCheckPatch(UpdateForm& form) {
    JournalThenLog(form, form.MemoLog, Info, "Проверка на совпадение набора расценок с базой");
    form.Report.stage = "read";
    LoadPatch(form);
    form.Report.CountPatch(*form.Base);
    form.Report.stage = "check";
    CheckPatch(form);
}

void LoadPatch(UpdateForm& form) {
    // The lines the file holds, read straight in their joined form.
    std::string whole = text::LoadTextFromFile(form.EdPatch);
    form.Base = std::make_unique<kod_pvr>();
    form.Base->DeSerializeText(std::move(whole),
                               [&form] { return text::LoadTextFromFile(form.EdPatch); });
}

// The check of one norm: the same select for each of its entries, the entries
// sent together (one round trip on a server where the driver can), answered
// and reported in their order; the first entry whose select fails ends the
// check with its message, as it would have on its own.
static void CheckNorm(UpdateForm& form, const pvr& norm) {
    if (norm.Count() == 1) {
        CheckEntry(form, norm, *norm.GetItem(0));
        return;
    }
    db::SelectGroup group(form.SQLConnect, CheckEntrySql);
    for (int e = 0; e < norm.Count(); ++e) {
        const pvr_popr& entry = *norm.GetItem(e);
        db::ParamList& params = group.Add();
        params.ByName("kod_pvr", CheckEntrySql).SetString(norm.kod());
        params.ByName("kod_tabl", CheckEntrySql).SetString(entry.kod());
        params.ByName("naim_tabl", CheckEntrySql).SetString(entry.naim());
        params.ByName("n_tabl", CheckEntrySql).SetString(text::IntToStr(entry.number()));
    }
    group.Run();
    for (int e = 0; e < norm.Count(); ++e) {
        const size_t set = static_cast<size_t>(e);
        if (group.Failed(set))
            throw EDatabaseError(group.Error(set));
        if (group.RowCount(set) == 0)
            JournalThenLog(form, form.MemoLog, Info,
                           "У работы " + norm.kod() + " набор расценок не совпадает с базой " +
                               norm.GetItem(e)->kod());
    }
}

void CheckPatch(UpdateForm& form) {
    kod_pvr& base = *form.Base;
    for (int c = 0; c < base.Count(); ++c) {
        sbornik_pvr& collection = *base.GetItem(c);
        for (int n = 0; n < collection.Count(); ++n)
            CheckNorm(form, *collection.GetItem(n));
    }
}

// A save that wrote many rows leaves the indexes' selectivity as it was when
// the tables were small, and the joins that read the base back (export, the
// check of the next patch) scan whole tables. Refreshed after the commit,
// outside the save's transaction; best effort.
constexpr int64_t ManyStatements = 5000;

static void RefreshStatisticsAfterLargeSave(UpdateForm& form, int64_t executionsBefore) {
    if (form.SQLConnect.Statistics().executions - executionsBefore < ManyStatements)
        return;
    try {
        db::RefreshIndexStatistics(form.SQLConnect);
    } catch (const Exception&) {
        // The save is committed; slower reads later are all this costs.
    }
}

namespace {

// Where the save failed, as its error line's last line says it: the codes of
// the object and the line of the patch where its element starts.
// `saving`: the failure came out of the objects' writing, not the commit
// (where only a statement that waited to be sent names its object).
ErrorPlace SaveFailurePlace(const UpdateForm& form, const ReportObserver* observer, bool saving,
                            const Exception& e) {
    ErrorPlace place = e.Place() ? *e.Place() : ErrorPlace{};
    const bool statement = dynamic_cast<const db::EStatementFailed*>(&e) != nullptr;
    if (place.path.empty() && observer && (saving || statement)) {
        ErrorPlace found = observer->PlaceOfFailure(e);
        place.path = std::move(found.path);
        place.offset = found.offset;
    }
    if (place.line == 0 && place.offset >= 0) {
        try {
            place.line = xml::LineAt(text::LoadTextFromFile(form.EdPatch),
                                     static_cast<size_t>(place.offset));
        } catch (const Exception&) {
            // The patch is gone since it was read: the codes still say where.
        }
    }
    if (place.cause.empty())
        place.cause = e.Message();
    return place;
}

} // namespace

bool SavePatch(UpdateForm& form) {
    form.Report.stage = "save";
    const int64_t executionsBefore = form.SQLConnect.Statistics().executions;
    std::optional<ReportObserver> observer;
    bool saving = false;
    try {
        // A dry run is in its transaction since its first stage; it is rolled
        // back when the run ends.
        if (!form.DryRun)
            form.SQLConnect.StartTransaction(UpdateTransaction);
        if (form.ObserveSave)
            observer.emplace(form.SQLConnect, *form.Base);
        {
            SaveSession session(form.SQLConnect, *form.Base, observer ? &*observer : nullptr);
            NamesFittedToColumn fitted(form);
            saving = true;
            form.Base->SaveIntoDB(form.SQLConnect);
            // What still waits to be sent must have had its effect before a
            // dry run says the save would succeed: it is never committed.
            if (form.DryRun)
                form.SQLConnect.Flush();
            saving = false;
        }
        if (form.DryRun) {
            JournalThenLog(form, form.MemoLog, Info, DrySavedLine);
        } else {
            form.SQLConnect.Commit(UpdateTransaction);
            JournalThenLog(form, form.MemoLog, Info, "Сохранение в БД");
        }
        if (observer && !observer->Blind()) {
            ChangeRecorder recorder(form.Report);
            observer->Finish(recorder);
        }
        if (!form.DryRun)
            RefreshStatisticsAfterLargeSave(form, executionsBefore);
        return true;
    } catch (const Exception& e) {
        const ErrorPlace place = SaveFailurePlace(form, observer ? &*observer : nullptr, saving, e);
        const std::string where = TSerializeList::PlaceText(place);
        std::string line = "Ошибка сохранении в базу данных " + AsAfterWidening(form, e.what());
        if (!where.empty()) {
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            line += "\n" + where;
        }
        form.Report.NoteError(line, &place);
        LogThenJournal(form, form.MemoLog, Error, line);
        // Nothing of the save may stay. A transaction that never started (the
        // connection failed) has nothing to roll back. A dry run's rollback
        // comes with the end of the run.
        if (!form.DryRun && form.SQLConnect.InTransaction())
            form.SQLConnect.Rollback(UpdateTransaction);
        return false;
    }
}
