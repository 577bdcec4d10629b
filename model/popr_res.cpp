#include "model/popr_res.h"

#include "model/Journal.h"
#include "model/SaveSession.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"

#include "Serialaze/TreeViewControl.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"

#include <cmath>

const char* const popr_res::kMaterial = "Материал";
const char* const popr_res::kMachine = "Машина/механизм";
const char* const popr_res::kUnknown = "Неизвестный тип ресурса";

namespace {

const char* const kExistMaterial =
    "select * from CNIR where kod_pvr = :kod_pvr and n_tabl = :n_tabl and kod_cnir = :resource";
const char* const kExistMachine =
    "select * from MASH where kod_pvr = :kod_pvr and n_tabl = :n_tabl and kod_mash = :resource";
const char* const kInsertMaterial = "insert into CNIR (kod_pvr,n_tabl,kod_cnir,rashod) values ( "
                                    ":kod_pvr,:n_tabl,:resource,:rashod)";
const char* const kInsertMachine =
    "insert into MASH (kod_pvr,n_tabl,kod_mash,rashod) values ( :kod_pvr, :n_tabl, :resource, "
    ":rashod)";
const char* const kUpdateMaterial = "update CNIR set rashod = :rashod where kod_pvr = :kod_pvr "
                                    "and n_tabl = :n_tabl and kod_cnir = :resource";
const char* const kUpdateMachine = "update MASH set rashod = :rashod where kod_pvr = :kod_pvr "
                                   "and n_tabl = :n_tabl and kod_mash = :resource";
const char* const kDeleteMaterial =
    "delete from CNIR where kod_pvr = :kod_pvr and n_tabl = :n_tabl and kod_cnir = :resource";
const char* const kDeleteMachine =
    "delete from MASH where kod_pvr = :kod_pvr and n_tabl = :n_tabl and kod_mash = :resource";
const char* const kExistMaterialResource = "select * from NOM_MAT where kod_mat = :resource";
const char* const kExistMachineResource = "select * from NOM_MASH where kod_mash = :resource";
const char* const kExistOkp = "select * from KOD_OKP where kod_okp=:kod_okp";
const char* const kExistMashPred = "select * from n_mashp where kod_mashp=:kod_mashp";
const char* const kInsertMaterialResource =
    "insert into NOM_MAT ( kod_mat, naim_mat, kod_okp, kod_ed, sm_zena, ves) values ( "
    ":resource, :naim , :matokp_mashpred, :kod_ed, -1, :ves)";
const char* const kInsertMachineResource =
    "insert into NOM_MASH (kod_mash, naim_mash, kod_mash_pred, st_shasa, sr_razrad, trud, "
    "zarp_mash) values ( :resource, :naim , :matokp_mashpred, :st_shasa, :sr_razrad, :trud, "
    ":zarp_mash)";

const char* const kMaterialAdded = " Добавили материал ";
const char* const kMachineAdded = " Добавили машину ";

bool IsKnownKind(const std::string& value) {
    std::string trimmed = text::Trim(value);
    return trimmed == popr_res::kMaterial || trimmed == popr_res::kMachine ||
           trimmed == popr_res::kUnknown;
}

// Quantities: an exact decimal from at least 0.0001 in magnitude, else the
// value's general text (zero included). The text always has '.', whatever
// the user's separator: an Oracle session reads numbers with '.' (its
// NLS_NUMERIC_CHARACTERS are set to ".,"), and so does the Firebird layer;
// "0,00005" from a comma locale would be refused there.
void BindQuantity(db::Param& param, double value) {
    if (std::fabs(value) >= 0.0001) {
        param.SetDecimal(value);
        return;
    }
    text::DecimalSeparatorGuard point('.');
    param.SetString(text::FloatToStr(value));
}

} // namespace

void popr_res::PutType(const std::string& value) {
    if (!IsKnownKind(value))
        throw Exception("POPR_RES::PutType() - Неизвестный тип ресурса");
    m_type = value;
}

std::string popr_res::GetType() const {
    if (!IsKnownKind(m_type))
        throw Exception("POPR_RES::GetType() - Неизвестный тип ресурса");
    return m_type;
}

void popr_res::set_rashod(double value) {
    m_rashod = RoundTo2(value * 1000) * 0.001;
}

popr_res::Kind popr_res::KindForDB(bool evenWithoutParent) const {
    std::string type = GetType();
    if (!evenWithoutParent && GetParent() == nullptr)
        return Kind::None;
    if (type == kMaterial)
        return Kind::Material;
    if (type == kMachine)
        return Kind::Machine;
    return Kind::None;
}

RowKey popr_res::LineKey(Kind kind) const {
    auto* entry = dynamic_cast<pvr_popr*>(GetParent());
    auto* norm = entry ? dynamic_cast<pvr*>(entry->GetParent()) : nullptr;
    const bool material = kind == Kind::Material;
    return {material ? "CNIR" : "MASH",
            {{"kod_pvr", norm ? text::Trim(norm->kod()) : std::string()},
             {"n_tabl", text::IntToStr(entry ? entry->number() : 0)},
             {material ? "kod_cnir" : "kod_mash", text::Trim(m_kod)}}};
}

RowKey popr_res::ResourceKey(Kind kind) const {
    return kind == Kind::Material ? RowKey{"NOM_MAT", {{"kod_mat", text::Trim(m_kod)}}}
                                  : RowKey{"NOM_MASH", {{"kod_mash", text::Trim(m_kod)}}};
}

void popr_res::BindKey(db::Query& query, const RowKey& key) const {
    query.ParamByName("kod_pvr").SetString(key.Value(0));
    query.ParamByName("n_tabl").SetString(key.Value(1));
    query.ParamByName("resource").SetString(key.Value(2));
}

void popr_res::LoadFromDB(db::Connection&) {}

void popr_res::SaveIntoDB(db::Connection& connection) {
    if (!ExistResourceDB(connection))
        InsertResourceDB(connection);
    if (ExistDB(connection))
        UpdateDB(connection);
    else
        InsertDB(connection);
}

bool popr_res::ExistDB(db::Connection& connection) {
    Kind kind = KindForDB();
    if (kind == Kind::None)
        return false;
    const RowKey key = LineKey(kind);
    return RowExists(connection, *this, key,
                     kind == Kind::Material ? kExistMaterial : kExistMachine,
                     [&](db::Query& q) { BindKey(q, key); });
}

void popr_res::InsertDB(db::Connection& connection) {
    Kind kind = KindForDB();
    if (kind == Kind::None || m_rashod == 0)
        return;
    const RowKey key = LineKey(kind);
    db::Query query(connection);
    query.SetSQL(kind == Kind::Material ? kInsertMaterial : kInsertMachine);
    BindKey(query, key);
    BindQuantity(query.ParamByName("rashod"), m_rashod);
    WriteRow(query, *this, WriteKind::Insert, key);
}

void popr_res::UpdateDB(db::Connection& connection) {
    Kind kind = KindForDB();
    if (kind == Kind::None)
        return;
    if (m_rashod == 0) {
        DeleteDB(connection);
        return;
    }
    const RowKey key = LineKey(kind);
    db::Query query(connection);
    query.SetSQL(kind == Kind::Material ? kUpdateMaterial : kUpdateMachine);
    BindQuantity(query.ParamByName("rashod"), m_rashod);
    BindKey(query, key);
    WriteRow(query, *this, WriteKind::Update, key);
}

void popr_res::DeleteDB(db::Connection& connection) {
    Kind kind = KindForDB();
    if (kind == Kind::None)
        return;
    const RowKey key = LineKey(kind);
    db::Query query(connection);
    query.SetSQL(kind == Kind::Material ? kDeleteMaterial : kDeleteMachine);
    BindKey(query, key);
    WriteRow(query, *this, WriteKind::Delete, key);
}

bool popr_res::ExistResourceDB(db::Connection& connection) {
    Kind kind = KindForDB();
    if (kind == Kind::None)
        return false;
    const std::string code = text::Trim(m_kod);
    return RowExists(connection, *this, ResourceKey(kind),
                     kind == Kind::Material ? kExistMaterialResource : kExistMachineResource,
                     [&code](db::Query& q) { q.ParamByName("resource").SetString(code); });
}

bool popr_res::ExistOkpDB(db::Connection& connection) {
    if (KindForDB() == Kind::None)
        return false;
    return RowExists(
        connection, *this, {"KOD_OKP", {{"kod_okp", m_matokp_mashpred}}}, kExistOkp,
        [this](db::Query& q) { q.ParamByName("kod_okp").SetString(m_matokp_mashpred); });
}

bool popr_res::ExistMashPredDB(db::Connection& connection) {
    if (KindForDB() == Kind::None)
        return false;
    return RowExists(
        connection, *this, {"N_MASHP", {{"kod_mashp", m_matokp_mashpred}}}, kExistMashPred,
        [this](db::Query& q) { q.ParamByName("kod_mashp").SetString(m_matokp_mashpred); });
}

void popr_res::InsertResourceDB(db::Connection& connection) {
    Kind kind = KindForDB(true);
    if (kind == Kind::None)
        return;
    bool material = kind == Kind::Material;
    if (material && !ExistOkpDB(connection))
        m_matokp_mashpred = "?";
    db::Query query(connection);
    query.SetSQL(material ? kInsertMaterialResource : kInsertMachineResource);
    query.ParamByName("resource").SetString(text::Trim(m_kod));
    query.ParamByName("naim").SetString(text::Trim(m_naim));
    if (material) {
        query.ParamByName("matokp_mashpred").SetString(m_matokp_mashpred);
        query.ParamByName("kod_ed").SetString(m_kod_ed);
        BindQuantity(query.ParamByName("ves"), m_ves);
    } else {
        if (!ExistMashPredDB(connection))
            m_matokp_mashpred = "888888";
        query.ParamByName("matokp_mashpred").SetString(m_matokp_mashpred);
        BindQuantity(query.ParamByName("sr_razrad"), m_sr_razrad);
        BindQuantity(query.ParamByName("trud"), m_trud_mash);
        query.ParamByName("st_shasa").SetFixed4(text::ToFixed4(-1));
        query.ParamByName("zarp_mash").SetFixed4(text::ToFixed4(-1));
    }
    WriteRow(query, *this, WriteKind::Insert, ResourceKey(kind));
    AppendToUpdateJournal(connection, std::string(material ? kMaterialAdded : kMachineAdded) +
                                          text::Trim(m_kod) + " " + text::Trim(m_naim));
}

void popr_res::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    view.AddChildObject(parent,
                        GetType() + ": " + m_kod + " " + m_naim +
                            " Расход ресурса: " + text::FloatToStr(m_rashod),
                        this);
}
