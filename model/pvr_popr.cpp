#include "model/pvr_popr.h"

#include "model/Journal.h"
#include "model/NewItem.h"
#include "model/Recode.h"
#include "model/SaveSession.h"
#include "model/pvr.h"

#include "Serialaze/TreeViewControl.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"

#include <cstdio>

namespace {

const char* const kSelectEntry =
    "select * from KOD_TABL where kod_pvr = :kod_pvr and n_tabl = :n_tabl";
const char* const kInsertEntry =
    "insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) "
    "values(:kod_pvr, :n_tabl, :kod_tabl, :naim_tabl, :kod_er, :kod_tabl_1)";
// For a base whose KOD_TABL has no kod_tabl_1 column.
const char* const kInsertEntryWithoutKodTabl1 =
    "insert into KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er) "
    "values(:kod_pvr, :n_tabl, :kod_tabl, :naim_tabl, :kod_er)";
const char* const kUpdateKodTabl1 =
    "update kod_tabl set kod_tabl_1 = :kod_tabl_1 where kod_pvr = :kod_pvr and n_tabl = :n_tabl";
const char* const kInsertTrudoz =
    "insert into TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, "
    "r6s, r7s, r8s, r9s, r10s, r11s) values(:kod_pvr, :n_tabl, :trud_rab, :trud_mash, :r1, :r2, "
    ":r3, :r4, :r5, :r5s, :r6, :r6s, :r7s, :r8s, :r9s, :r10s, :r11s)";
const char* const kInsertZarp = "insert into ZARP (kod_pvr,n_tabl,zarpl,sr_razrad) "
                                "values(:kod_pvr,:n_tabl,:zarpl,:sr_razrad)";
const char* const kDeleteEntry =
    "delete from KOD_TABL where kod_pvr = :kod_pvr and n_tabl = :n_tabl";
const char* const kSelectZarp = "select zarpl,sr_razrad from ZARP where ZARP.kod_pvr = :kod_pvr "
                                "and ZARP.n_tabl = :n_tabl";
const char* const kSelectTrudoz =
    "select * from TRUDOZ where TRUDOZ.kod_pvr = :kod_pvr and TRUDOZ.n_tabl = :n_tabl";
const char* const kSelectMaterials =
    "select CNIR.*, NOM_MAT.naim_mat, NOM_MAT.ves, NOM_MAT.kod_okp, NOM_MAT.kod_ed from "
    "CNIR,NOM_MAT where CNIR.kod_pvr = :kod_pvr and CNIR.n_tabl = :n_tabl and NOM_MAT.kod_mat = "
    "CNIR.kod_cnir";
const char* const kSelectMachines =
    "select MASH.*, NOM_MASH.naim_mash, NOM_MASH.k91_01,NOM_MASH.trud, NOM_MASH.kod_mash_pred, "
    "NOM_MASH.SR_RAZRAD, nom_mash.st_shasa from MASH,NOM_MASH where MASH.kod_pvr = :kod_pvr and "
    "MASH.n_tabl = :n_tabl and NOM_MASH.kod_mash = MASH.kod_mash";

const char* const kCaptionNumberFormat = "%05.0d";

// Labour and wage figures: four-decimal fixed point; zero travels as NULL.
void BindFixed4OrNull(db::Param& param, double value) {
    if (value == 0)
        param.SetNull();
    else
        param.SetFixed4(text::ToFixed4(value));
}

std::string Column(const db::Query& query, const char* column) {
    return query.FieldByName(column).AsString();
}
double Float(const db::Query& query, const char* column) {
    return query.FieldByName(column).AsFloat();
}

// The printf rendering of the entry number for its caption.
std::string CaptionNumber(int number) {
    char buffer[32];
    const char* format = kCaptionNumberFormat;
    std::snprintf(buffer, sizeof buffer, format, number);
    return buffer;
}

} // namespace

pvr_popr::pvr_popr() : m_kt1(std::make_unique<kod_tabl1>()), m_tr(std::make_unique<ext_trudoz>()) {}

pvr_popr::~pvr_popr() {
    Clear();
}

int pvr_popr::AddItem(std::unique_ptr<popr_res> item) {
    item->SetParent(this);
    return Add(std::move(item));
}

popr_res* pvr_popr::GetItem(int index) const {
    return ItemAs<popr_res>(index);
}

void pvr_popr::DeleteItem(int index) {
    Delete(index);
}

void pvr_popr::Clear() {
    while (Count() > 0)
        DeleteItem(Count() - 1);
}

TSerializeList* pvr_popr::AddNewElement(const std::string& name) {
    return NewItemFor<popr_res>(*this, name, "popr_res");
}

std::string pvr_popr::StripLastSegment(const std::string& code) {
    size_t dash = code.rfind('-');
    return dash == std::string::npos ? code : code.substr(0, dash);
}

std::string pvr_popr::NormCode(bool trimmed) const {
    auto* norm = dynamic_cast<const pvr*>(GetParent());
    if (norm == nullptr)
        return std::string();
    return trimmed ? text::Trim(norm->kod()) : norm->kod();
}

RowKey pvr_popr::Key(const char* table) const {
    return {table, {{"kod_pvr", NormCode(true)}, {"n_tabl", text::IntToStr(m_number)}}};
}

void pvr_popr::BindKey(db::Query& query, bool trimmedCode) const {
    query.ParamByName("kod_pvr").SetString(NormCode(trimmedCode));
    query.ParamByName("n_tabl").SetString(text::IntToStr(m_number));
}

// ---- Writing ----

void pvr_popr::SaveIntoDB(db::Connection& connection) {
    if (GetParent() == nullptr)
        return;
    bool hasKodTabl1 = true;
    if (ExistRow(connection, hasKodTabl1)) {
        DeleteDB(connection);
        InsertRows(connection, hasKodTabl1);
    } else {
        InsertRows(connection, hasKodTabl1);
    }
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->SaveIntoDB(connection);
}

bool pvr_popr::ExistDB(db::Connection& connection) {
    bool hasKodTabl1 = true;
    return ExistRow(connection, hasKodTabl1);
}

bool pvr_popr::ExistRow(db::Connection& connection, bool& hasKodTabl1) {
    if (GetParent() == nullptr)
        return false;
    SaveSession* save = SaveSession::Of(connection);
    if (save && save->Knows())
        if (std::optional<const KnownRow*> row = save->Find(*this, Key("KOD_TABL"))) {
            hasKodTabl1 = save->HasColumn("KOD_TABL", "kod_tabl_1");
            return *row != nullptr;
        }
    db::Query query(connection);
    query.SetSQL(kSelectEntry);
    BindKey(query, true);
    query.Open();
    hasKodTabl1 = query.FindField("kod_tabl_1") != nullptr;
    if (save)
        save->Asked(*this, Key("KOD_TABL"), query);
    return !query.IsEmpty();
}

void pvr_popr::InsertDB(db::Connection& connection) {
    if (GetParent() == nullptr)
        return;
    // Called on its own, the entry learns from its key's select whether the
    // base has the optional column; SaveIntoDB already knows it from ExistDB.
    bool hasKodTabl1 = true;
    ExistRow(connection, hasKodTabl1);
    InsertRows(connection, hasKodTabl1);
}

void pvr_popr::UpdateDB(db::Connection& connection) {
    if (GetParent() == nullptr)
        return;
    DeleteDB(connection);
    InsertDB(connection);
}

void pvr_popr::DeleteDB(db::Connection& connection) {
    if (GetParent() == nullptr)
        return;
    db::Query query(connection);
    query.SetSQL(kDeleteEntry);
    BindKey(query, true);
    WriteRow(query, *this, WriteKind::Delete, Key("KOD_TABL"));
}

void pvr_popr::InsertRows(db::Connection& connection, bool hasKodTabl1) {
    InsertKodTabl(connection, hasKodTabl1);
    if (hasKodTabl1)
        UpdateKodTabl1DB(connection);
    InsertTrudozDB(connection);
    InsertZarpDB(connection);
    AppendToUpdateJournal(connection, "Добавление поправок " + text::Trim(m_kod));
}

void pvr_popr::InsertKodTabl(db::Connection& connection, bool hasKodTabl1) {
    db::Query query(connection);
    query.SetSQL(hasKodTabl1 ? kInsertEntry : kInsertEntryWithoutKodTabl1);
    BindKey(query, true);
    std::string code = text::Trim(m_kod);
    query.ParamByName("kod_tabl").SetString(code);
    query.ParamByName("naim_tabl").SetString(m_naim);
    query.ParamByName("kod_er").SetString(m_kod_er);
    if (hasKodTabl1)
        query.ParamByName("kod_tabl_1").SetString(StripLastSegment(code));
    WriteRow(query, *this, WriteKind::Insert, Key("KOD_TABL"));
}

void pvr_popr::UpdateKodTabl1DB(db::Connection& connection) {
    bool hasColumn = false;
    SaveSession* save = SaveSession::Of(connection);
    if (save && save->Knows()) {
        hasColumn = save->HasColumn("KOD_TABL", "kod_tabl_1");
    } else {
        db::Query query(connection);
        query.SetSQL(kSelectEntry);
        BindKey(query, true);
        query.Open();
        hasColumn = query.FindField("kod_tabl_1") != nullptr;
    }
    if (!hasColumn)
        return;
    if (text::Trim(m_kt1->Text()).empty())
        m_kt1->SetText(StripLastSegment(m_kod));
    db::Query update(connection);
    update.SetSQL(kUpdateKodTabl1);
    update.ParamByName("kod_tabl_1").SetString(m_kt1->Text());
    BindKey(update, true);
    WriteRow(update, *this, WriteKind::Update, Key("KOD_TABL"));
}

void pvr_popr::InsertTrudozDB(db::Connection& connection) {
    if (m_trud_rab == 0 && m_trud_mash == 0)
        return;
    db::Query query(connection);
    query.SetSQL(kInsertTrudoz);
    BindKey(query, true);
    BindFixed4OrNull(query.ParamByName("trud_rab"), m_trud_rab);
    BindFixed4OrNull(query.ParamByName("trud_mash"), m_trud_mash);
    for (int i = 0; i < ext_trudoz::kCount; ++i)
        query.ParamByName(ext_trudoz::kNames[i]).SetFixed4(text::ToFixed4(m_tr->Figure(i)));
    WriteRow(query, *this, WriteKind::Insert, Key("TRUDOZ"));
}

void pvr_popr::InsertZarpDB(db::Connection& connection) {
    if (m_zarplata == 0 && m_razrad == 0)
        return;
    db::Query query(connection);
    query.SetSQL(kInsertZarp);
    BindKey(query, true);
    BindFixed4OrNull(query.ParamByName("zarpl"), m_zarplata);
    BindFixed4OrNull(query.ParamByName("sr_razrad"), m_razrad);
    WriteRow(query, *this, WriteKind::Insert, Key("ZARP"));
}

// ---- Reading ----

void pvr_popr::LoadDetailsFromDB(db::Connection& connection, bool recode) {
    if (GetParent() == nullptr)
        return;
    // Held for this entry only; destroying it disconnects, on every path.
    std::unique_ptr<db::Connection> recoding = recode ? OpenRecodeConnection(connection) : nullptr;
    LoadZarp(connection);
    LoadTrudoz(connection);
    LoadMaterials(connection, recoding.get());
    LoadMachines(connection, recoding.get());
}

void pvr_popr::LoadZarp(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(kSelectZarp);
    BindKey(query, false);
    query.Open();
    if (query.Eof())
        return;
    m_zarplata = Float(query, "zarpl");
    m_razrad = Float(query, "sr_razrad");
}

void pvr_popr::LoadTrudoz(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(kSelectTrudoz);
    BindKey(query, false);
    query.Open();
    if (query.Eof())
        return;
    m_trud_rab = Float(query, "trud_rab");
    m_trud_mash = Float(query, "trud_mash");
    for (int i = 0; i < ext_trudoz::kCount; ++i)
        m_tr->SetFigure(i, Float(query, ext_trudoz::kNames[i]));
}

void pvr_popr::LoadMaterials(db::Connection& connection, db::Connection* recode) {
    db::Query query(connection);
    query.SetSQL(kSelectMaterials);
    BindKey(query, false);
    query.Open();
    for (; !query.Eof(); query.Next()) {
        auto line = std::make_unique<popr_res>();
        line->PutType(popr_res::kMaterial);
        line->set_kod(Column(query, "kod_cnir"));
        line->set_kod_norvel(recode ? RecodeResource(recode, ResourceTable::Material, line->kod())
                                    : Column(query, "kod_cnir"));
        line->set_naim(Column(query, "naim_mat"));
        line->set_kod_ed(Column(query, "kod_ed"));
        line->set_rashod(Float(query, "rashod"));
        line->set_ves(Float(query, "ves"));
        line->set_matokp_mashpred(Column(query, "kod_okp"));
        popr_res* added = GetItem(AddItem(std::move(line)));
        added->LoadFromDB(connection);
    }
}

void pvr_popr::LoadMachines(db::Connection& connection, db::Connection* recode) {
    db::Query query(connection);
    query.SetSQL(kSelectMachines);
    BindKey(query, false);
    query.Open();
    for (; !query.Eof(); query.Next()) {
        auto line = std::make_unique<popr_res>();
        line->PutType(popr_res::kMachine);
        line->set_kod(Column(query, "kod_mash"));
        line->set_kod_norvel(recode ? RecodeResource(recode, ResourceTable::Machine, line->kod())
                                    : Column(query, "kod_mash"));
        line->set_naim(Column(query, "naim_mash"));
        line->set_rashod(Float(query, "rashod"));
        line->set_k91_01(Float(query, "k91_01"));
        line->set_trud_mash(Float(query, "trud"));
        line->set_matokp_mashpred(Column(query, "kod_mash_pred"));
        line->set_sr_razrad(Float(query, "sr_razrad"));
        line->set_st_shasa(Float(query, "st_shasa"));
        popr_res* added = GetItem(AddItem(std::move(line)));
        added->LoadFromDB(connection);
    }
}

// ---- Presentation ----

void pvr_popr::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    std::string caption = CaptionNumber(m_number) + " поправка: " + m_kod + " " + m_naim;
    serialaze::TreeNode* node = view.AddChildObject(parent, caption, this);
    m_kt1->TreeView(view, node);
    m_tr->TreeView(view, node);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->TreeView(view, node);
    m_node = node;
}
