#include "model/sbornik_pvr.h"

#include "model/NewItem.h"
#include "model/SaveSession.h"

#include "Serialaze/TreeViewControl.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"

namespace {

const char* const kSelectCollection = "select * from KOD_SBOR where kod_sb = :kod_sb";
const char* const kUpdateCollection =
    "update KOD_SBOR set naim_sb = :naim_sb, vid_rab = :vid_rab where kod_sb = :kod_sb";
const char* const kInsertCollection =
    "insert into KOD_SBOR (kod_sb,naim_sb,vid_rab) values(:kod_sb,:naim_sb,:vid_rab)";
const char* const kDeleteCollection = "delete from KOD_SBOR where kod_sb = :kod_sb";
const char* const kSelectNorms =
    "select * from KOD_PVR where kod_sb = :kod_sb order by KOD_PVR.kod_pvr";
const char* const kSelectSostav = "select sostav_pvr from SOST_PVR where kod_pvr = :kod_pvr";

RowKey CollectionKey(int kod) {
    return {"KOD_SBOR", {{"kod_sb", text::IntToStr(kod)}}};
}

} // namespace

sbornik_pvr::~sbornik_pvr() {
    Clear();
}

int sbornik_pvr::AddItem(std::unique_ptr<pvr> item) {
    item->SetParent(this);
    return Add(std::move(item));
}

pvr* sbornik_pvr::GetItem(int index) const {
    return ItemAs<pvr>(index);
}

void sbornik_pvr::DeleteItem(int index) {
    Delete(index);
}

void sbornik_pvr::Clear() {
    while (Count() > 0)
        DeleteItem(Count() - 1);
}

TSerializeList* sbornik_pvr::AddNewElement(const std::string& name) {
    return NewItemFor<pvr>(*this, name, "pvr");
}

// ---- Writing ----

void sbornik_pvr::SaveIntoDB(db::Connection& connection) {
    if (ExistDB(connection))
        UpdateDB(connection);
    else
        InsertDB(connection);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->SaveIntoDB(connection);
}

bool sbornik_pvr::ExistDB(db::Connection& connection) {
    return RowExists(
        connection, *this, CollectionKey(m_kod), kSelectCollection,
        [this](db::Query& q) { q.ParamByName("kod_sb").SetString(text::IntToStr(m_kod)); });
}

void sbornik_pvr::BindRow(db::Query& query) const {
    query.ParamByName("kod_sb").SetString(text::IntToStr(m_kod));
    query.ParamByName("naim_sb").SetString(m_naim);
    query.ParamByName("vid_rab").SetString(text::Trim(m_vid_rab));
}

void sbornik_pvr::InsertDB(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(kInsertCollection);
    BindRow(query);
    WriteRow(query, *this, WriteKind::Insert, CollectionKey(m_kod));
}

void sbornik_pvr::UpdateDB(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(kUpdateCollection);
    BindRow(query);
    WriteRow(query, *this, WriteKind::Update, CollectionKey(m_kod));
}

void sbornik_pvr::DeleteDB(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(kDeleteCollection);
    query.ParamByName("kod_sb").SetString(text::IntToStr(m_kod));
    WriteRow(query, *this, WriteKind::Delete, CollectionKey(m_kod));
}

// ---- Reading ----

void sbornik_pvr::LoadSbornik(db::Connection& connection, bool recode) {
    db::Query collection(connection);
    collection.SetSQL(kSelectCollection);
    collection.ParamByName("kod_sb").SetString(text::IntToStr(m_kod));
    collection.Open();
    if (collection.IsEmpty())
        throw Exception("Ошибка загрузки параметров по сборника работ.");
    m_naim = collection.FieldByName("naim_sb").AsString();
    m_kod = static_cast<int>(collection.FieldByName("kod_sb").AsInteger());
    m_vid_rab = collection.FieldByName("vid_rab").AsString();
    collection.Close();

    db::Query norms(connection);
    db::Query sostav(connection);
    norms.SetSQL(kSelectNorms);
    norms.ParamByName("kod_sb").SetString(text::IntToStr(m_kod));
    sostav.SetSQL(kSelectSostav);
    norms.Open();
    for (; !norms.Eof(); norms.Next()) {
        auto norm = std::make_unique<pvr>();
        norm->set_kod(norms.FieldByName("kod_pvr").AsString());
        norm->set_kod_razd(static_cast<int>(norms.FieldByName("kod_razd").AsInteger()));
        norm->set_naim(norms.FieldByName("naim_pvr").AsString());
        norm->set_naim_ed(norms.FieldByName("naim_ed").AsString());
        norm->set_nom_baz(static_cast<int>(norms.FieldByName("nom_baz").AsInteger()));
        norm->set_priz_ukr(norms.FieldByName("priz_ukr").AsString());
        norm->set_priz_stm(norms.FieldByName("priz_stm").AsString());
        sostav.ParamByName("kod_pvr").SetString(norm->kod());
        sostav.Open();
        if (!sostav.Eof())
            norm->set_sostav_pvr(sostav.FieldByName("sostav_pvr").AsString());
        sostav.Close();
        pvr* added = GetItem(AddItem(std::move(norm)));
        added->LoadTables(connection, recode);
    }
}

// ---- Presentation ----

void sbornik_pvr::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    serialaze::TreeNode* node = view.AddChildObject(
        parent, "Сборник нормативов: " + text::IntToStr(m_kod) + " " + m_naim, this);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->TreeView(view, node);
    m_node = node;
}
