#include "model/razdel.h"

#include "model/SaveSession.h"

#include "Serialaze/TreeViewControl.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"

namespace {

const char* const SelectRazdelSql = "select * from KOD_RAZD where kod_razd = :kod";
const char* const InsertRazdelSql =
    "insert into KOD_RAZD (kod_razd, naim_razd, edin_izm, koef_nakl, vid_rab) values (:kod, :name, :edin_izm, :koef_nakl, :vid_rab)";
const char* const UpdateRazdelSql =
    "update KOD_RAZD set naim_razd = :name, edin_izm = :edin_izm,koef_nakl = :koef_nakl,vid_rab = :vid_rab where kod_razd = :kod";
const char* const DeleteRazdelSql = "delete from KOD_RAZD where kod_razd = :kod";

RowKey SectionKey(int kod) {
    return {"KOD_RAZD", {{"kod_razd", text::IntToStr(kod)}}};
}

} // namespace

// ---- razdel ----

void razdel::BindValues(db::Query& query) const {
    query.ParamByName("kod").SetString(text::IntToStr(m_kod));
    query.ParamByName("name").SetString(text::Trim(m_name));
    query.ParamByName("edin_izm").SetString(text::Trim(m_ei));
    // The coefficient travels as the exact decimal of its general-format text.
    query.ParamByName("koef_nakl")
        .SetDecimal(text::Decimal::FromText(text::FloatToStr(m_k_nakl), text::DecimalSeparator()));
    query.ParamByName("vid_rab").SetString(text::Trim(m_vid_rab));
}

bool razdel::ExistDB(db::Connection& connection) {
    return RowExists(connection, *this, SectionKey(m_kod), SelectRazdelSql, [this](db::Query& q) {
        q.ParamByName("kod").SetString(text::IntToStr(m_kod));
    });
}

void razdel::InsertDB(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(InsertRazdelSql);
    BindValues(query);
    WriteRow(query, *this, WriteKind::Insert, SectionKey(m_kod));
}

void razdel::UpdateDB(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(UpdateRazdelSql);
    BindValues(query);
    WriteRow(query, *this, WriteKind::Update, SectionKey(m_kod));
}

void razdel::DeleteDB(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(DeleteRazdelSql);
    query.ParamByName("kod").SetString(text::IntToStr(m_kod));
    WriteRow(query, *this, WriteKind::Delete, SectionKey(m_kod));
}

void razdel::SaveIntoDB(db::Connection& connection) {
    if (ExistDB(connection))
        UpdateDB(connection);
    else
        InsertDB(connection);
}

void razdel::LoadByCode(db::Connection& connection, int code) {
    db::Query query(connection);
    query.SetSQL(SelectRazdelSql);
    query.ParamByName("kod").SetString(text::IntToStr(code));
    query.Open();
    if (query.IsEmpty())
        throw Exception("Раздел с кодом " + text::IntToStr(code) + " не найден в базе.");
    m_kod = static_cast<int>(query.FieldByName("kod_razd").AsInteger());
    m_name = query.FieldByName("naim_razd").AsString();
    m_ei = query.FieldByName("edin_izm").AsString();
    m_k_nakl = query.FieldByName("koef_nakl").AsFloat();
    m_vid_rab = query.FieldByName("vid_rab").AsString();
}

void razdel::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    m_node = view.AddChildObject(parent, "Раздел " + text::IntToStr(m_kod) + "  " + m_name, this);
}

// ---- razdel_list ----

void razdel_list::Clear() {
    while (Count() > 0)
        Delete(Count() - 1);
}

TSerializeList* razdel_list::AddNewElement(const std::string& name) {
    if (name != "razdel")
        return nullptr;
    auto item = std::make_unique<razdel>();
    razdel* added = item.get();
    AddItem(std::move(item));
    return added;
}

void razdel_list::LoadFromDB(db::Connection&) {}

void razdel_list::SaveIntoDB(db::Connection& connection) {
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->SaveIntoDB(connection);
}

void razdel_list::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    m_node = view.AddChildObject(parent, "Справочник разделов", this);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->TreeView(view, m_node);
}

int razdel_list::AddItem(std::unique_ptr<razdel> item) {
    item->SetParent(this);
    return Add(std::move(item));
}

int razdel_list::FindRazdel(int kod) const {
    for (int i = 0; i < Count(); ++i)
        if (GetItem(i)->kod() == kod)
            return i;
    return -1;
}
