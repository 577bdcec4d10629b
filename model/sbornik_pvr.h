// sbornik_pvr: one collection of norms (a KOD_SBOR row). It owns its norms (pvr
// items, each with the collection as Parent) and is itself an item of the base
// root kod_pvr. Saving writes its own row, then each norm in list order.
#pragma once

#include "model/pvr.h"

#include "Serialaze/TSerializeList.h"

#include <memory>
#include <string>

class sbornik_pvr : public TSerializeList {
    SERIALIZE_CLASS(sbornik_pvr, TSerializeList, Property("naim", &sbornik_pvr::m_naim),
                    Property("kod", &sbornik_pvr::m_kod),
                    Property("vid_rab", &sbornik_pvr::m_vid_rab))
public:
    sbornik_pvr() = default;
    ~sbornik_pvr() override;

    const std::string& naim() const { return m_naim; }
    int kod() const { return m_kod; }
    const std::string& vid_rab() const { return m_vid_rab; }
    void set_naim(std::string value) { m_naim = std::move(value); }
    void set_kod(int value) { m_kod = value; }
    void set_vid_rab(std::string value) { m_vid_rab = std::move(value); }
    // The node TreeView last added for the collection, or nullptr.
    serialaze::TreeNode* Node() const { return m_node; }

    // Sets the norm's Parent to this collection, appends it, returns its position.
    int AddItem(std::unique_ptr<pvr> item);
    // REQUIRES: 0 <= index < Count(); throws Exception otherwise.
    pvr* GetItem(int index) const;
    void DeleteItem(int index);
    void Clear() override;
    // "pvr": a new norm, appended; other names or a failure: nullptr.
    TSerializeList* AddNewElement(const std::string& name) override;

    // ExistDB, then UpdateDB or InsertDB, then SaveIntoDB of each norm. Never
    // deletes. Database errors propagate.
    void SaveIntoDB(db::Connection& connection) override;
    // Deletes the KOD_SBOR row only.
    void DeleteDB(db::Connection& connection) override;
    void InsertDB(db::Connection& connection) override;
    void UpdateDB(db::Connection& connection) override;
    bool ExistDB(db::Connection& connection) override;
    // The node "Сборник нормативов: <kod> <naim>", then each norm's subtree.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;
    // "Сборник нормативов: <kod>" (see TSerializeList::PlaceName).
    std::string PlaceName(const PlaceValue& value) const override;

    // Fills the collection's fields from KOD_SBOR by its kod, then appends its
    // norms of KOD_PVR (ordered by code) with their compositions and tables.
    // Throws Exception "Ошибка загрузки параметров по сборника работ." when the
    // collection is not in KOD_SBOR; database errors propagate.
    void LoadSbornik(db::Connection& connection, bool recode);

private:
    void BindRow(db::Query& query) const;

    std::string m_naim;
    int m_kod = 0;
    std::string m_vid_rab = "С";
    serialaze::TreeNode* m_node = nullptr;
};
