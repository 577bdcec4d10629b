// pvr_popr: one table entry of a norm (a KOD_TABL row with at most one TRUDOZ
// and one ZARP row, keyed by the norm's code and n_tabl). It owns its
// alternative code kt1, its further labour figures tr and its resource lines
// (popr_res items, each with the entry as Parent). Parent is the owning pvr.
#pragma once

#include "model/ext_trudoz.h"
#include "model/kod_tabl1.h"
#include "model/popr_res.h"

#include "Serialaze/TSerializeList.h"

#include <memory>
#include <string>

namespace db {
class Query;
}
struct RowKey;

class pvr_popr : public TSerializeList {
    SERIALIZE_CLASS(pvr_popr, TSerializeList, Property("number", &pvr_popr::m_number),
                    Property("kod", &pvr_popr::m_kod), Property("naim", &pvr_popr::m_naim),
                    Property("kod_er", &pvr_popr::m_kod_er),
                    Property("trud_rab", &pvr_popr::m_trud_rab),
                    Property("trud_mash", &pvr_popr::m_trud_mash),
                    Property("zarplata", &pvr_popr::m_zarplata),
                    Property("razrad", &pvr_popr::m_razrad), Property("kt1", &pvr_popr::m_kt1),
                    Property("tr", &pvr_popr::m_tr))
public:
    pvr_popr();
    ~pvr_popr() override;

    int number() const { return m_number; }
    const std::string& kod() const { return m_kod; }
    const std::string& naim() const { return m_naim; }
    const std::string& kod_er() const { return m_kod_er; }
    double trud_rab() const { return m_trud_rab; }
    double trud_mash() const { return m_trud_mash; }
    double zarplata() const { return m_zarplata; }
    double razrad() const { return m_razrad; }
    void set_number(int value) { m_number = value; }
    void set_kod(std::string value) { m_kod = std::move(value); }
    void set_naim(std::string value) { m_naim = std::move(value); }
    void set_kod_er(std::string value) { m_kod_er = std::move(value); }
    void set_trud_rab(double value) { m_trud_rab = value; }
    void set_trud_mash(double value) { m_trud_mash = value; }
    void set_zarplata(double value) { m_zarplata = value; }
    void set_razrad(double value) { m_razrad = value; }
    kod_tabl1* kt1() const { return m_kt1.get(); }
    ext_trudoz* tr() const { return m_tr.get(); }
    // The node TreeView last added for the entry, or nullptr.
    serialaze::TreeNode* Node() const { return m_node; }

    // Sets the line's Parent to this entry, appends it and returns its position.
    int AddItem(std::unique_ptr<popr_res> item);
    // REQUIRES: 0 <= index < Count(); throws Exception otherwise.
    popr_res* GetItem(int index) const;
    void DeleteItem(int index);
    // Destroys the lines from the last to the first.
    void Clear() override;
    // "popr_res": a new empty line, appended; other names or a failure: nullptr.
    TSerializeList* AddNewElement(const std::string& name) override;

    // Every database operation does nothing (ExistDB answers false) without a
    // Parent. Database errors propagate; the steps after a failing one are
    // skipped.
    // ExistDB, then UpdateDB or InsertDB, then SaveIntoDB of each line.
    void SaveIntoDB(db::Connection& connection) override;
    // Deletes the KOD_TABL row; the database removes the entry's TRUDOZ, ZARP,
    // CNIR and MASH rows with it.
    void DeleteDB(db::Connection& connection) override;
    // KOD_TABL row (without kod_tabl_1 on a base that lacks the column), the
    // alternative code, TRUDOZ and ZARP rows unless their figures are all 0,
    // then the journal line "Добавление поправок <kod>".
    void InsertDB(db::Connection& connection) override;
    // DeleteDB, then InsertDB.
    void UpdateDB(db::Connection& connection) override;
    bool ExistDB(db::Connection& connection) override;
    // The node "<number %05.0d> поправка: <kod> <naim>", then the lines under it.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;
    // "поправка: <kod>" (see TSerializeList::PlaceName).
    std::string PlaceName(const PlaceValue& value) const override;

    // Fills the wage, labour inputs and lines of an entry whose KOD_TABL fields
    // the norm has set, keyed by the norm's code as stored and `number`. With
    // `recode`, each line's kod_norvel is looked up through a dedicated recoding
    // connection held for this call only. Errors propagate after cleanup.
    void LoadDetailsFromDB(db::Connection& connection, bool recode);

    // The code without its last "-" and what follows; the code itself when it
    // has no "-": 01-01-001-01 -> 01-01-001, -5 -> "", ABC -> ABC.
    static std::string StripLastSegment(const std::string& code);

private:
    // The owning norm's code, trimmed or as stored; "" without a norm.
    std::string NormCode(bool trimmed) const;
    void BindKey(db::Query& query, bool trimmedCode) const;
    // The entry's row of the table (keyed by the trimmed norm code and n_tabl).
    RowKey Key(const char* table) const;
    // ExistDB that also tells whether the result has a column kod_tabl_1.
    bool ExistRow(db::Connection& connection, bool& hasKodTabl1);
    void InsertRows(db::Connection& connection, bool hasKodTabl1);
    void InsertKodTabl(db::Connection& connection, bool hasKodTabl1);
    void UpdateKodTabl1DB(db::Connection& connection);
    void InsertTrudozDB(db::Connection& connection);
    void InsertZarpDB(db::Connection& connection);
    void LoadZarp(db::Connection& connection);
    void LoadTrudoz(db::Connection& connection);
    void LoadMaterials(db::Connection& connection, db::Connection* recode);
    void LoadMachines(db::Connection& connection, db::Connection* recode);

    int m_number = 0;
    std::string m_kod;
    std::string m_naim;
    std::string m_kod_er;
    double m_trud_rab = 0;
    double m_trud_mash = 0;
    double m_zarplata = 0;
    double m_razrad = 0;
    std::unique_ptr<kod_tabl1> m_kt1;
    std::unique_ptr<ext_trudoz> m_tr;
    serialaze::TreeNode* m_node = nullptr;
};
