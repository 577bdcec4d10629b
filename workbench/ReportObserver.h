// The change report's watcher of the save: it hears what each object found and
// wrote (SaveObserver) and keeps, for every row the save touched, the row as
// the base held it before and what the statements did to it: a log per table
// and norm, appended to as the save goes. At the end each log is played back
// into the rows before and after, which are compared, and ChangeRecorder is
// told what each table and each object had.
//
// The rows before: a section or a collection is found by the object that asks
// about it (a directory row found is never written: the save only adds those
// the base lacks); the rows of a norm (KOD_PVR, SOST_PVR, N_PROC) and of its
// entries (KOD_TABL, TRUDOZ, ZARP, CNIR, MASH) are read the first time the save
// reaches a collection, for all its norms at once (lists of codes, a select
// per table and list; never one per row), because replacing
// an entry takes its detail rows with it and the save never asks about them.
// The tables the save reads for itself (KOD_PVR, KOD_TABL, CNIR, MASH when it
// groups) it hands over (Learned); only the others are read here. The rows
// after: what the statements wrote, as the schema stores it (numbers to the
// column's scale; a deleted entry takes its detail rows along). Rows written
// under a norm the base held nothing of are only counted.
//
// It also remembers which object wrote which statement, so that a failing
// statement can be named by its object.
#pragma once

#include "model/SaveObserver.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class ChangeRecorder;
class Exception;
struct ErrorPlace;
class kod_pvr;
namespace db {
class Connection;
}

class ReportObserver : public SaveObserver {
public:
    // `connection` is the save's and must outlive the observer; `patch` is the
    // tree being saved (its size sets the room made at once).
    ReportObserver(db::Connection& connection, const kod_pvr& patch);
    ~ReportObserver() override;
    ReportObserver(const ReportObserver&) = delete;
    ReportObserver& operator=(const ReportObserver&) = delete;

    void Found(const TSerializeList& object, const RowKey& key, const KnownRow* row) override;
    void Wrote(const TSerializeList& object, const RowWrite& write) override;
    // Rows of a norm's table the save read for itself: kept as the rows before,
    // so that they are not read a second time.
    void Learned(const std::string& table, const std::vector<std::string>& codes,
                 const std::vector<const KnownRow*>& rows) override;

    // The save went to its end: what each table and object had goes to
    // `recorder` (tables, then sections, collections, norms, entries, in the
    // order the save reached them). REQUIRES: !Blind().
    void Finish(ChangeRecorder& recorder) const;
    // A read of its own failed (a value the base cannot compare): it counts
    // nothing. The save goes on as if nobody watched.
    bool Blind() const { return m_blind; }

    // Where the statement that failed with `failure` comes from: the codes of
    // the object that wrote it (a statement sent with others names its number;
    // else it is the object heard from last) and the offset of its element in
    // the patch. Empty when the save had not reached an object.
    ErrorPlace PlaceOfFailure(const Exception& failure) const;

    struct Table;

private:
    Table& TableNamed(const std::string& name);
    Table* Lookup(const std::string& name);
    bool NormRead(const std::string& code);
    // Reads the rows of the norms of the collection of `object` (and `code`)
    // that were not read yet.
    void ReadNorms(const TSerializeList& object, const std::string& code);
    void ReadRows(Table& table, const std::vector<std::string>& codes);
    // Whether the rows read or handed over so far show the base holding, under
    // the norm `code` (as written or trimmed), rows of `table`; of
    // KOD_PVR or KOD_TABL (the norm); of KOD_TABL (its entries).
    bool Held(const Table& table, const std::string& code) const;
    bool NormHeld(const std::string& code) const;
    bool EntriesHeld(const std::string& code) const;
    void Describe(Table& table);
    // A delete of the rows of `key` (all key columns, or with `prefix` the
    // first ones: every key under them).
    void Delete(Table& table, const std::string& key, bool prefix);
    bool Flushed();
    void Heard(const TSerializeList& object);

    db::Connection& m_connection;
    // Norm codes, found by a part of a key text too.
    using Codes = std::set<std::string, std::less<>>;
    std::map<std::string, std::unique_ptr<Table>> m_tables;
    // The tables of a norm and its entries, asked for on every write.
    Table* m_norms = nullptr;     // KOD_PVR
    Table* m_entries = nullptr;   // KOD_TABL
    Table* m_labour = nullptr;    // TRUDOZ
    Table* m_wages = nullptr;     // ZARP
    Table* m_materials = nullptr; // CNIR
    Table* m_machines = nullptr;  // MASH
    Codes m_normsRead;            // norm codes (blanks at the end dropped)
    // Norm codes whose rows of a table came from the save (Learned) before
    // they were read here, by table.
    std::map<std::string, Codes> m_given;
    bool m_blind = false;
    std::vector<std::pair<std::string, Table*>> m_named; // by the name as asked
    std::string m_key; // the key text of the statement heard, its room reused
    std::optional<std::string> m_lastNormRead; // none before the first

    // The objects the save reached, by kind, in order: the key of their row.
    struct Object {
        int kind;
        std::string code;
        std::string key;       // key text of the object's own row
        std::string ratesCode; // a norm's code as its rates are stored
    };
    std::vector<Object> m_objects;
    std::unordered_set<std::string> m_objectKeys; // the kind's digit, then the key

    // Who wrote: the first statement number of each run of statements by one
    // object, with the norm heard from last then (the rates of a norm are
    // written by objects outside the tree); the number of the last statement
    // told; the object and norm heard from last.
    struct Writer {
        int64_t serial = 0;
        const TSerializeList* object = nullptr;
        const TSerializeList* norm = nullptr;
    };
    std::deque<Writer> m_writers;
    int64_t m_lastSerial = 0;
    Writer m_current;
};
