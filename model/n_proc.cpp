#include "model/n_proc.h"

#include "model/SaveSession.h"

#include "platform/db/Query.h"
#include "platform/text/Numbers.h"

namespace {

const char* const kSelectRates =
    "select * from N_PROC where kod_pvr = :kod_pvr order by N_PROC.kod_mest";
const char* const kDeleteRates = "delete from N_PROC where kod_pvr = :kod_pvr";
const char* const kInsertRate =
    "insert into N_PROC (KOD_PVR, NAKL_PZATR, NAKL_ZARPL,KOD_MEST, PRIB_PZATR, PRIB_ZARPL, "
    "HOLOST, NAGRUZKA) VALUES (:KOD_PVR, :NAKL_PZATR, :NAKL_ZARPL,:KOD_MEST, :PRIB_PZATR, "
    ":PRIB_ZARPL, :HOLOST, :NAGRUZKA)";

// Rates and the place code travel as four-decimal currency values.
void BindRate(db::Query& query, const char* name, double value) {
    query.ParamByName(name).SetFixed4(text::ToFixed4(value));
}

} // namespace

n_proc::n_proc(int kod_mest, double n_p, double n_z, double p_p, double p_z, double holost,
               double nagr)
    : m_kod_mest(kod_mest), m_n_p(n_p), m_n_z(n_z), m_p_p(p_p), m_p_z(p_z), m_holost(holost),
      m_nagr(nagr) {}

n_proc_list::~n_proc_list() {
    Clear();
}

void n_proc_list::Clear() {
    while (Count() > 0)
        DeleteItem(Count() - 1);
}

TSerializeList* n_proc_list::AddNewElement(const std::string& name) {
    if (name != "n_proc")
        return nullptr;
    return GetItem(AddItem(std::make_unique<n_proc>(1, 0, 0, 0, 0, 0, 0)));
}

int n_proc_list::AddItem(std::unique_ptr<n_proc> item) {
    return Add(std::move(item));
}

n_proc* n_proc_list::GetItem(int index) const {
    return ItemAs<n_proc>(index);
}

void n_proc_list::DeleteItem(int index) {
    Delete(index);
}

void n_proc_list::LoadRates(db::Connection& connection, const std::string& kod) {
    Clear();
    db::Query query(connection);
    query.SetSQL(kSelectRates);
    query.ParamByName("kod_pvr").SetString(kod);
    query.Open();
    for (; !query.Eof(); query.Next())
        AddItem(std::make_unique<n_proc>(
            static_cast<int>(query.FieldByName("kod_mest").AsInteger()),
            query.FieldByName("nakl_pzatr").AsFloat(), query.FieldByName("nakl_zarpl").AsFloat(),
            query.FieldByName("prib_pzatr").AsFloat(), query.FieldByName("prib_zarpl").AsFloat(),
            query.FieldByName("holost").AsFloat(), query.FieldByName("nagruzka").AsFloat()));
}

void n_proc_list::SaveRates(db::Connection& connection, const std::string& kod) {
    DeleteRates(connection, kod);
    InsertRates(connection, kod);
}

void n_proc_list::DeleteRates(db::Connection& connection, const std::string& kod) {
    db::Query query(connection);
    query.SetSQL(kDeleteRates);
    query.ParamByName("kod_pvr").SetString(kod);
    WriteRow(query, *this, WriteKind::Delete, {"N_PROC", {{"kod_pvr", kod}}});
}

void n_proc_list::InsertRates(db::Connection& connection, const std::string& kod) {
    db::Query query(connection);
    query.SetSQL(kInsertRate);
    query.ParamByName("kod_pvr").SetString(kod);
    for (int i = 0; i < Count(); ++i) {
        const n_proc& row = *GetItem(i);
        BindRate(query, "nakl_pzatr", row.n_p());
        BindRate(query, "nakl_zarpl", row.n_z());
        BindRate(query, "kod_mest", row.kod_mest());
        BindRate(query, "prib_pzatr", row.p_p());
        BindRate(query, "prib_zarpl", row.p_z());
        BindRate(query, "holost", row.holost());
        BindRate(query, "nagruzka", row.nagr());
        WriteRow(query, row, WriteKind::Insert,
                 {"N_PROC", {{"kod_pvr", kod}, {"kod_mest", text::IntToStr(row.kod_mest())}}});
    }
}
