#include "model/pvr.h"

#include "model/Journal.h"
#include "model/NewItem.h"
#include "model/SaveSession.h"
#include "model/sbornik_pvr.h"

#include "Serialaze/TreeViewControl.h"
#include "module/TQuorvexLogClient.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"

namespace {

const char* const kSelectNorm = "select * from KOD_PVR where kod_pvr = :kod_pvr";
const char* const kInsertNorm =
    "insert into KOD_PVR (kod_razd,kod_pvr,naim_pvr,naim_ed,nom_baz,priz_ukr,kod_sb,kol_stb,"
    "priz_stm, priz_for_kor) values(:kod_razd,:kod_pvr,:naim_pvr,:naim_ed,:nom_baz,:priz_ukr,"
    ":kod_sb,:kol_stb,:priz_stm, 1)";
const char* const kInsertSostav =
    "insert into SOST_PVR (kod_pvr,sostav_pvr) values (:kod_pvr,:sostav_pvr)";
const char* const kDeleteNorm = "delete from KOD_PVR where kod_pvr = :kod_pvr";
const char* const kDeleteSostav = "delete from SOST_PVR where kod_pvr = :kod_pvr";
const char* const kSelectEntries =
    "select * from KOD_TABL where kod_pvr = :kod_pvr order by KOD_TABL.n_tabl";

RowKey NormKey(const char* table, const std::string& code) {
    return {table, {{"kod_pvr", code}}};
}

} // namespace

pvr::pvr() : m_n_procs(std::make_unique<n_proc_list>()) {}

pvr::~pvr() {
    Clear();
}

int pvr::AddItem(std::unique_ptr<pvr_popr> item) {
    item->SetParent(this);
    return Add(std::move(item));
}

pvr_popr* pvr::GetItem(int index) const {
    return ItemAs<pvr_popr>(index);
}

void pvr::DeleteItem(int index) {
    Delete(index);
    for (int i = index; i < Count(); ++i)
        GetItem(i)->set_number(i + 1);
}

void pvr::Clear() {
    while (Count() > 0)
        DeleteItem(Count() - 1);
}

TSerializeList* pvr::AddNewElement(const std::string& name) {
    return NewItemFor<pvr_popr>(*this, name, "pvr_popr");
}

bool pvr::CollectionCode(int& kod) const {
    auto* collection = dynamic_cast<const sbornik_pvr*>(GetParent());
    if (collection == nullptr)
        return false;
    kod = collection->kod();
    return true;
}

// ---- Writing ----

void pvr::SaveIntoDB(db::Connection& connection) {
    if (ExistDB(connection))
        UpdateDB(connection);
    else
        InsertDB(connection);
    m_n_procs->SaveRates(connection, m_kod);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->SaveIntoDB(connection);
}

bool pvr::ExistDB(db::Connection& connection) {
    const std::string code = text::Trim(m_kod);
    return RowExists(connection, *this, NormKey("KOD_PVR", code), kSelectNorm,
                     [&code](db::Query& q) { q.ParamByName("kod_pvr").SetString(code); });
}

void pvr::InsertDB(db::Connection& connection) {
    int kodSb = 0;
    if (!CollectionCode(kodSb))
        return;
    std::string code = text::Trim(m_kod);
    db::Query query(connection);
    query.SetSQL(kInsertNorm);
    query.ParamByName("kod_razd").SetString(text::IntToStr(m_kod_razd));
    query.ParamByName("kod_pvr").SetString(code);
    query.ParamByName("naim_pvr").SetString(m_naim);
    query.ParamByName("naim_ed").SetString(m_naim_ed);
    query.ParamByName("nom_baz").SetString(text::IntToStr(m_nom_baz));
    query.ParamByName("priz_ukr").SetString(m_priz_ukr);
    query.ParamByName("kod_sb").SetString(text::IntToStr(kodSb));
    query.ParamByName("kol_stb").SetString(text::IntToStr(Count()));
    query.ParamByName("priz_stm").SetString(m_priz_stm);
    WriteRow(query, *this, WriteKind::Insert, NormKey("KOD_PVR", code));

    std::string line = "Добавление работы " + code;
    SendToHostLog(connection, TQuorvexLogClient::Info, line);
    AppendToUpdateJournal(connection, line);

    if (text::Trim(m_sostav_pvr).empty())
        return;
    DeleteSostav(connection);
    query.SetSQL(kInsertSostav);
    query.ParamByName("kod_pvr").SetString(code);
    query.ParamByName("sostav_pvr").SetString(m_sostav_pvr);
    WriteRow(query, *this, WriteKind::Insert, NormKey("SOST_PVR", code));
}

void pvr::UpdateDB(db::Connection& connection) {
    if (GetParent() == nullptr)
        return;
    DeleteDB(connection);
    InsertDB(connection);
}

void pvr::DeleteDB(db::Connection& connection) {
    const std::string code = text::Trim(m_kod);
    db::Query query(connection);
    query.SetSQL(kDeleteNorm);
    query.ParamByName("kod_pvr").SetString(code);
    WriteRow(query, *this, WriteKind::Delete, NormKey("KOD_PVR", code));
    DeleteSostav(connection);
}

void pvr::DeleteSostav(db::Connection& connection) {
    const std::string code = text::Trim(m_kod);
    db::Query query(connection);
    query.SetSQL(kDeleteSostav);
    query.ParamByName("kod_pvr").SetString(code);
    WriteRow(query, *this, WriteKind::Delete, NormKey("SOST_PVR", code));
}

// ---- Reading ----

void pvr::LoadTables(db::Connection& connection, bool recode) {
    db::Query query(connection);
    query.SetSQL(kSelectEntries);
    query.ParamByName("kod_pvr").SetString(m_kod);
    query.Open();
    const db::Field* kodTabl1 = query.FindField("kod_tabl_1");
    for (; !query.Eof(); query.Next()) {
        auto entry = std::make_unique<pvr_popr>();
        entry->set_number(static_cast<int>(query.FieldByName("n_tabl").AsInteger()));
        entry->set_kod(query.FieldByName("kod_tabl").AsString());
        entry->set_naim(query.FieldByName("naim_tabl").AsString());
        entry->set_kod_er(query.FieldByName("kod_er").AsString());
        if (kodTabl1 != nullptr)
            entry->kt1()->SetText(kodTabl1->AsString());
        pvr_popr* added = GetItem(AddItem(std::move(entry)));
        added->LoadDetailsFromDB(connection, recode);
    }
    query.Close();
    m_n_procs->LoadRates(connection, m_kod);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->set_number(i + 1);
}

// ---- Presentation ----

void pvr::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    serialaze::TreeNode* node =
        view.AddChildObject(parent, "Норматив: " + m_kod + " " + m_naim, this);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->TreeView(view, node);
    m_node = node;
}
