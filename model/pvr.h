// pvr: one norm of a collection (a KOD_PVR row and its SOST_PVR composition
// text). It owns its table entries (pvr_popr items, each with the norm as
// Parent) and its rate rows n_procs. Parent is the owning sbornik_pvr, whose
// kod is written as the norm's kod_sb.
#pragma once

#include "model/n_proc.h"
#include "model/pvr_popr.h"

#include "Serialaze/TSerializeList.h"

#include <memory>
#include <string>

class pvr : public TSerializeList {
    SERIALIZE_CLASS(pvr, TSerializeList, Property("kod_razd", &pvr::m_kod_razd),
                    Property("kod", &pvr::m_kod), Property("naim", &pvr::m_naim),
                    Property("naim_ed", &pvr::m_naim_ed), Property("nom_baz", &pvr::m_nom_baz),
                    Property("priz_ukr", &pvr::m_priz_ukr),
                    Property("sostav_pvr", &pvr::m_sostav_pvr),
                    Property("priz_stm", &pvr::m_priz_stm), Property("n_procs", &pvr::m_n_procs))
public:
    pvr();
    ~pvr() override;

    int kod_razd() const { return m_kod_razd; }
    const std::string& kod() const { return m_kod; }
    const std::string& naim() const { return m_naim; }
    const std::string& naim_ed() const { return m_naim_ed; }
    int nom_baz() const { return m_nom_baz; }
    const std::string& priz_ukr() const { return m_priz_ukr; }
    const std::string& sostav_pvr() const { return m_sostav_pvr; }
    const std::string& priz_stm() const { return m_priz_stm; }
    void set_kod_razd(int value) { m_kod_razd = value; }
    void set_kod(std::string value) { m_kod = std::move(value); }
    void set_naim(std::string value) { m_naim = std::move(value); }
    void set_naim_ed(std::string value) { m_naim_ed = std::move(value); }
    void set_nom_baz(int value) { m_nom_baz = value; }
    void set_priz_ukr(std::string value) { m_priz_ukr = std::move(value); }
    void set_sostav_pvr(std::string value) { m_sostav_pvr = std::move(value); }
    void set_priz_stm(std::string value) { m_priz_stm = std::move(value); }
    n_proc_list* n_procs() const { return m_n_procs.get(); }
    // The node TreeView last added for the norm, or nullptr.
    serialaze::TreeNode* Node() const { return m_node; }

    // Sets the entry's Parent to this norm and appends it; its number is kept.
    int AddItem(std::unique_ptr<pvr_popr> item);
    // REQUIRES: 0 <= index < Count(); throws Exception otherwise.
    pvr_popr* GetItem(int index) const;
    // Destroys the entry, then numbers every following entry by its new 1-based
    // position.
    void DeleteItem(int index);
    void Clear() override;
    // "pvr_popr": a new entry, appended; other names or a failure: nullptr.
    TSerializeList* AddNewElement(const std::string& name) override;

    // The norm's row (ExistDB, then UpdateDB or InsertDB), its rate rows under
    // the untrimmed code, then each entry. Database errors propagate.
    void SaveIntoDB(db::Connection& connection) override;
    // Deletes the KOD_PVR row and the composition; entries and rates stay.
    void DeleteDB(db::Connection& connection) override;
    // Without a Parent: nothing. Inserts the KOD_PVR row (kol_stb = Count(),
    // priz_for_kor 1), logs "Добавление работы <kod>" to the host log and the
    // journal, then writes the composition when it is not blank.
    void InsertDB(db::Connection& connection) override;
    // Without a Parent: nothing; otherwise DeleteDB, then InsertDB.
    void UpdateDB(db::Connection& connection) override;
    bool ExistDB(db::Connection& connection) override;
    // The node "Норматив: <kod> <naim>", then each entry's subtree.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;
    // "Норматив: <kod>" (see TSerializeList::PlaceName).
    std::string PlaceName(const PlaceValue& value) const override;

    void DeleteSostav(db::Connection& connection);
    // Appends the norm's KOD_TABL entries (ordered by n_tabl) with their details
    // read under their stored numbers, replaces the rate rows, then numbers the
    // entries 1, 2, 3 ... by position. Errors propagate.
    void LoadTables(db::Connection& connection, bool recode);

private:
    // The Parent collection's kod; false when the norm has none.
    bool CollectionCode(int& kod) const;

    int m_kod_razd = 1;
    std::string m_kod;
    std::string m_naim;
    std::string m_naim_ed;
    int m_nom_baz = 1;
    std::string m_priz_ukr = "ПВР";
    std::string m_sostav_pvr;
    std::string m_priz_stm;
    std::unique_ptr<n_proc_list> m_n_procs;
    serialaze::TreeNode* m_node = nullptr;
};
