// kod_pvr: the root of the normative base, the object a patch document
// describes as a whole. It owns its collections (sbornik_pvr, each with the
// base as Parent) and the section directory `razdels` (owned, Parent null).
// Destroying the base destroys every collection, then the directory.
#pragma once

#include "Serialaze/TSerializeList.h"
#include "model/razdel.h"

#include <memory>
#include <string>

class sbornik_pvr;

class kod_pvr : public TSerializeList {
    SERIALIZE_CLASS(kod_pvr, TSerializeList, Property("base_name", &kod_pvr::m_base_name),
                    Property("base_code", &kod_pvr::m_base_code),
                    Property("base_date", &kod_pvr::m_base_date),
                    Property("base_typecode", &kod_pvr::m_base_typecode),
                    Property("razdels", &kod_pvr::m_razdels))
public:
    kod_pvr();
    ~kod_pvr() override;

    const std::string& base_name() const { return m_base_name; }
    void set_base_name(std::string value) { m_base_name = std::move(value); }
    const std::string& base_code() const { return m_base_code; }
    void set_base_code(std::string value) { m_base_code = std::move(value); }
    const std::string& base_date() const { return m_base_date; }
    void set_base_date(std::string value) { m_base_date = std::move(value); }
    int base_typecode() const { return m_base_typecode; }
    void set_base_typecode(int value) { m_base_typecode = value; }
    // The section directory; never null.
    razdel_list* razdels() const { return m_razdels.get(); }

    // Destroys the collections, the last one first (the directory stays).
    void Clear() override;
    // A new collection for "sbornik_pvr" (exact), added; nullptr for any other
    // name or when creating it fails.
    TSerializeList* AddNewElement(const std::string& name) override;
    // Fills the base description, then the collections already in the list
    // (with their norms), then the sections those norms use. Database and
    // conversion errors propagate.
    void LoadFromDB(db::Connection& connection) override;
    // Writes every section, then every collection in list order. Deletes
    // nothing. The caller holds the transaction.
    void SaveIntoDB(db::Connection& connection) override;
    // Adds "Нормативная база <name> от <date>", under it the directory and the
    // collections.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;

    // Sets the collection's Parent, appends it and returns its position.
    int AddItem(std::unique_ptr<sbornik_pvr> item);
    // REQUIRES: 0 <= index < Count().
    sbornik_pvr* GetItem(int index) const;
    void DeleteItem(int index) { Delete(index); }

    // Reads the first NAME_BASE row. Throws EConvertError when type_code is not
    // an integer (an empty NAME_BASE included).
    void LoadBaseInfo(db::Connection& connection);
    // Whether resource codes can be recoded: only on "OracleConnection", when
    // the recoding user can log in. A failed login propagates.
    bool CanRecode(db::Connection& connection);
    // Loads every collection of the list with its norms, behind the progress
    // window, which is closed on every path.
    void LoadSborniks(db::Connection& connection, bool recode);
    // Loads each section the norms refer to, once, in the order of first use.
    // Throws the section's error for a code KOD_RAZD does not hold.
    void LoadRazdels(db::Connection& connection);

    serialaze::TreeNode* Node() const { return m_node; }

private:
    std::string m_base_name;
    std::string m_base_code;
    std::string m_base_date;
    int m_base_typecode = 0;
    std::unique_ptr<razdel_list> m_razdels;
    serialaze::TreeNode* m_node = nullptr;
};
