#include "workbench/UpdateRun.h"

#include "model/kod_pvr.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/sbornik_pvr.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/StringList.h"
#include "workbench/Recalculate.h"
#include "workbench/Renumber.h"

namespace {

const char* const PriceLevelSql = "select * from name_base";
const char* const CheckEntrySql = "select * from kod_tabl where kod_pvr=:kod_pvr and "
                                  "kod_tabl=:kod_tabl and n_tabl=:n_tabl and naim_tabl=:naim_tabl";

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

} // namespace

int BitCalcClick(UpdateForm& form) {
    int level = ReadPriceLevel(form);
    if (level == 2) {
        if (form.CheckBox1)
            RenumberCorrectionCodes(form);
        WidenNormName(form);
        LoadAndCheckPatch(form);
        SavePatch(form);
        if (form.ChProch)
            RecalculateOthers(form);
        form.MemoLog.Append("Обновление завершенно!");
    } else if (level == 1) {
        form.MemoLog.Append("Обновление невозможно! Обновляемая база в другом уровне цен!");
    }
    return level;
}

void LoadAndCheckPatch(UpdateForm& form) {
    JournalThenLog(form, form.MemoLog, Info, "Проверка на совпадение набора расценок с базой");
    LoadPatch(form);
    CheckPatch(form);
}

void LoadPatch(UpdateForm& form) {
    // The lines the file holds, read straight in their joined form.
    std::string whole = text::LoadTextFromFile(form.EdPatch);
    form.Base = std::make_unique<kod_pvr>();
    form.Base->DeSerializeText(std::move(whole),
                               [&form] { return text::LoadTextFromFile(form.EdPatch); });
}

void CheckPatch(UpdateForm& form) {
    kod_pvr& base = *form.Base;
    for (int c = 0; c < base.Count(); ++c) {
        sbornik_pvr& collection = *base.GetItem(c);
        for (int n = 0; n < collection.Count(); ++n) {
            pvr& norm = *collection.GetItem(n);
            for (int e = 0; e < norm.Count(); ++e)
                CheckEntry(form, norm, *norm.GetItem(e));
        }
    }
}

bool SavePatch(UpdateForm& form) {
    try {
        form.SQLConnect.StartTransaction(UpdateTransaction);
        form.Base->SaveIntoDB(form.SQLConnect);
        form.SQLConnect.Commit(UpdateTransaction);
        JournalThenLog(form, form.MemoLog, Info, "Сохранение в БД");
        return true;
    } catch (const Exception& e) {
        LogThenJournal(form, form.MemoLog, Error,
                       "Ошибка сохранении в базу данных " + std::string(e.what()));
        // Nothing of the save may stay. A transaction that never started (the
        // connection failed) has nothing to roll back.
        if (form.SQLConnect.InTransaction())
            form.SQLConnect.Rollback(UpdateTransaction);
        return false;
    }
}
