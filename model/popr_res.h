// popr_res: one resource consumption line of a table entry: a material (a CNIR
// row, its resource in NOM_MAT) or a machine (a MASH row, its resource in
// NOM_MASH) with its consumption. No children; Parent is the pvr_popr, whose
// Parent is the pvr. Saving adds a missing resource to its directory first.
#pragma once

#include "Serialaze/TSerializeList.h"

#include <string>

namespace db {
class Query;
}
struct RowKey;

class popr_res : public TSerializeList {
    SERIALIZE_CLASS(
        popr_res, TSerializeList,
        Property<popr_res>(
            "type", ::serialaze::PropertyKind::LString,
            [](const popr_res& o) { return ::serialaze::Variant(o.GetType()); },
            [](popr_res& o, const ::serialaze::Variant& v) { o.PutType(v.AsString()); }),
        Property("kod", &popr_res::m_kod), Property("kod_norvel", &popr_res::m_kod_norvel),
        Property("matokp_mashpred", &popr_res::m_matokp_mashpred),
        Property("kod_ed", &popr_res::m_kod_ed), Property("naim", &popr_res::m_naim),
        Property<popr_res>(
            "rashod", ::serialaze::PropertyKind::Float,
            [](const popr_res& o) { return ::serialaze::Variant(o.rashod()); },
            [](popr_res& o, const ::serialaze::Variant& v) { o.set_rashod(v.AsFloat()); }),
        Property("k91_01", &popr_res::m_k91_01), Property("ves", &popr_res::m_ves),
        Property("trud_mash", &popr_res::m_trud_mash),
        Property("sr_razrad", &popr_res::m_sr_razrad), Property("st_shasa", &popr_res::m_st_shasa))
public:
    // The three kinds a line can be.
    static const char* const kMaterial; // "Материал"
    static const char* const kMachine;  // "Машина/механизм"
    static const char* const kUnknown;  // "Неизвестный тип ресурса"

    // Stores the value unchanged when, trimmed, it is one of the three kinds.
    // Throws Exception "POPR_RES::PutType() - Неизвестный тип ресурса" otherwise
    // (type unchanged).
    void PutType(const std::string& value);
    // The stored value, untrimmed. Throws Exception "POPR_RES::GetType() -
    // Неизвестный тип ресурса" when, trimmed, it is none of the three (empty too).
    std::string GetType() const;

    const std::string& kod() const { return m_kod; }
    const std::string& kod_norvel() const { return m_kod_norvel; }
    const std::string& matokp_mashpred() const { return m_matokp_mashpred; }
    const std::string& kod_ed() const { return m_kod_ed; }
    const std::string& naim() const { return m_naim; }
    double rashod() const { return m_rashod; }
    double k91_01() const { return m_k91_01; }
    double ves() const { return m_ves; }
    double trud_mash() const { return m_trud_mash; }
    double sr_razrad() const { return m_sr_razrad; }
    double st_shasa() const { return m_st_shasa; }
    void set_kod(std::string value) { m_kod = std::move(value); }
    void set_kod_norvel(std::string value) { m_kod_norvel = std::move(value); }
    void set_matokp_mashpred(std::string value) { m_matokp_mashpred = std::move(value); }
    void set_kod_ed(std::string value) { m_kod_ed = std::move(value); }
    void set_naim(std::string value) { m_naim = std::move(value); }
    // Keeps five decimals, halves up: RoundTo2(x * 1000) * 0.001.
    void set_rashod(double value);
    void set_k91_01(double value) { m_k91_01 = value; }
    void set_ves(double value) { m_ves = value; }
    void set_trud_mash(double value) { m_trud_mash = value; }
    void set_sr_razrad(double value) { m_sr_razrad = value; }
    void set_st_shasa(double value) { m_st_shasa = value; }

    // Does nothing: lines are read by their entry.
    void LoadFromDB(db::Connection& connection) override;
    // Adds the resource to its directory when missing, then updates, inserts or
    // (rashod 0) deletes the consumption row.
    void SaveIntoDB(db::Connection& connection) override;
    void DeleteDB(db::Connection& connection) override;
    // Nothing when rashod is 0.
    void InsertDB(db::Connection& connection) override;
    // DeleteDB when rashod is 0.
    void UpdateDB(db::Connection& connection) override;
    bool ExistDB(db::Connection& connection) override;
    // One node: "<type>: <kod> <naim> Расход ресурса: <rashod>".
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;
    // "<type>: <kod>" (see TSerializeList::PlaceName).
    std::string PlaceName(const PlaceValue& value) const override;

    // The directory steps of SaveIntoDB.
    bool ExistResourceDB(db::Connection& connection);
    // Inserts the directory row with placeholders (material: kod_okp "?" when
    // unknown, sm_zena -1; machine: kod_mash_pred "888888" when unknown,
    // st_shasa and zarp_mash -1) and writes the journal line.
    void InsertResourceDB(db::Connection& connection);
    bool ExistOkpDB(db::Connection& connection);
    bool ExistMashPredDB(db::Connection& connection);

private:
    enum class Kind { None, Material, Machine };
    // The kind for a database operation: None for the unknown kind, and, unless
    // `evenWithoutParent`, when the line has no Parent. Throws as GetType.
    Kind KindForDB(bool evenWithoutParent = false) const;
    // The consumption row of the line (CNIR or MASH), and its directory row.
    RowKey LineKey(Kind kind) const;
    RowKey ResourceKey(Kind kind) const;
    // Binds kod_pvr, n_tabl and resource of a consumption statement.
    void BindKey(db::Query& query, const RowKey& key) const;

    std::string m_type;
    std::string m_kod;
    std::string m_kod_norvel;
    std::string m_matokp_mashpred;
    std::string m_kod_ed = "?";
    std::string m_naim;
    double m_rashod = 0;
    double m_k91_01 = 1;
    double m_ves = 0;
    double m_trud_mash = 0;
    double m_sr_razrad = 0;
    double m_st_shasa = 0;
};
