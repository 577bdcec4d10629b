// The sections of the normative base: razdel is one KOD_RAZD row (code, name,
// unit, overhead coefficient, kind of work); razdel_list is the section
// directory that the base holds in its property `razdels`. The list owns its
// sections and is each section's Parent; a section owns nothing.
#pragma once

#include "Serialaze/TSerializeList.h"

#include <memory>
#include <string>

namespace db {
class Query;
}

class razdel : public TSerializeList {
    SERIALIZE_CLASS(razdel, TSerializeList, Property("kod", &razdel::m_kod),
                    Property("name", &razdel::m_name), Property("ei", &razdel::m_ei),
                    Property("k_nakl", &razdel::m_k_nakl), Property("vid_rab", &razdel::m_vid_rab))
public:
    razdel() = default;

    int kod() const { return m_kod; }
    void set_kod(int value) { m_kod = value; }
    const std::string& name() const { return m_name; }
    void set_name(std::string value) { m_name = std::move(value); }
    const std::string& ei() const { return m_ei; }
    void set_ei(std::string value) { m_ei = std::move(value); }
    double k_nakl() const { return m_k_nakl; }
    void set_k_nakl(double value) { m_k_nakl = value; }
    const std::string& vid_rab() const { return m_vid_rab; }
    void set_vid_rab(std::string value) { m_vid_rab = std::move(value); }

    // Updates the section's KOD_RAZD row when it exists, inserts it otherwise.
    // Never deletes. Database errors propagate.
    void SaveIntoDB(db::Connection& connection) override;
    void DeleteDB(db::Connection& connection) override;
    void InsertDB(db::Connection& connection) override;
    void UpdateDB(db::Connection& connection) override;
    bool ExistDB(db::Connection& connection) override;
    // Adds "Раздел <kod>  <name>" with the section attached; no child nodes.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;
    // "Раздел <kod>" (see TSerializeList::PlaceName).
    std::string PlaceName(const PlaceValue& value) const override;

    // Fills the section from the KOD_RAZD row of `code`. Throws Exception
    // "Раздел с кодом <code> не найден в базе." when there is none (the
    // section keeps its values).
    void LoadByCode(db::Connection& connection, int code);

    // The node the last TreeView added; nullptr before.
    serialaze::TreeNode* Node() const { return m_node; }

private:
    // Binds the five values shared by the insert and the update.
    void BindValues(db::Query& query) const;

    int m_kod = 0;
    std::string m_name;
    std::string m_ei;
    double m_k_nakl = 0;
    std::string m_vid_rab;
    serialaze::TreeNode* m_node = nullptr;
};

class razdel_list : public TSerializeList {
    SERIALIZE_CLASS(razdel_list, TSerializeList)
public:
    razdel_list() = default;
    ~razdel_list() override { Clear(); }

    // Destroys the sections, the last one first.
    void Clear() override;
    // A new empty section for "razdel" (exact), added; nullptr for any other name.
    TSerializeList* AddNewElement(const std::string& name) override;
    // Does nothing: the base fills the directory section by section.
    void LoadFromDB(db::Connection& connection) override;
    // Saves every section in list order.
    void SaveIntoDB(db::Connection& connection) override;
    // Adds "Справочник разделов" with the list attached, the sections under it.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;

    // Sets the section's Parent, appends it and returns its position.
    int AddItem(std::unique_ptr<razdel> item);
    // REQUIRES: 0 <= index < Count().
    razdel* GetItem(int index) const { return ItemAs<razdel>(index); }
    void DeleteItem(int index) { Delete(index); }
    // The position of the first section with that code, or -1.
    int FindRazdel(int kod) const;

    serialaze::TreeNode* Node() const { return m_node; }

private:
    serialaze::TreeNode* m_node = nullptr;
};
