// One save of a patch into the base, and the one place that knows what the
// base holds of the rows the save asks about. Instead of one select per row it
// learns, per collection of the patch, the rows of the collection's norms
// (KOD_PVR, KOD_TABL, CNIR, MASH) and of the resources and classifiers its
// lines name, a few queries in all; it keeps what it learned right as the save
// writes (an entry deleted takes its lines with it, as the schema does). A
// directory row, once found or added, is known for the rest of the save.
// It also tells the save's observer what each object found and wrote.
//
// While it lives it is the save of its connection: the model's objects find it
// with SaveSession::Of and ask it (RowExists) and tell it (WriteRow). On a
// connection that sends each statement on its own (grouping off, Oracle, ODBC)
// it learns nothing: the objects then ask the base row by row, as before, and
// only the observer is told. Lives inside the save's transaction.
#pragma once

#include "model/SaveObserver.h"

#include "platform/db/Connection.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class kod_pvr;
class sbornik_pvr;
class TSerializeList;
namespace db {
class Query;
}

class SaveSession {
public:
    // REQUIRES: no other save runs on the connection. `patch` and `observer`
    // (nullptr: nobody watches) must outlive the session.
    SaveSession(db::Connection& connection, const kod_pvr& patch, SaveObserver* observer = nullptr);
    ~SaveSession();
    SaveSession(const SaveSession&) = delete;
    SaveSession& operator=(const SaveSession&) = delete;

    // The save running on the connection; nullptr when none runs.
    static SaveSession* Of(const db::Connection& connection);

    // Whether it answers the questions about rows (the connection groups).
    bool Knows() const;
    // The row the base holds under `key`, or nullptr; learns the collection of
    // `asker` first when it does not know the key yet. Tells the observer.
    // Nothing (and the observer is not told) when the base refused the key in
    // a list (it does not fit its column): the asker then asks on its own.
    // REQUIRES: Knows(). Throws what the queries throw.
    std::optional<const KnownRow*> Find(const TSerializeList& asker, const RowKey& key);
    // Whether the table has the column (letter case ignored), as the rows it
    // learned of the table describe it. REQUIRES: it learned rows of the table
    // (Find asked about one).
    bool HasColumn(const std::string& table, const std::string& column) const;
    // `asker` asked the base itself (`query` is open on the row, or empty):
    // tells the observer.
    void Asked(const TSerializeList& asker, const RowKey& key, const db::Query& query);
    // `writer` ran `query` (just executed): what the save knows follows, and the
    // observer is told.
    void Wrote(const TSerializeList& writer, db::Query& query, WriteKind kind, const RowKey& key);

    // Rows inserted by the save so far, by table.
    const std::map<std::string, int64_t>& Inserted() const { return m_inserted; }

private:
    struct Table;
    Table* TableOf(const std::string& name);
    bool Covered(const Table& table, const std::string& normalized) const;
    void Learn(const TSerializeList& asker, Table& table, const RowKey& key);
    void LearnCollection(const sbornik_pvr* collection, const std::string& normCode);
    void LearnDirectories(const sbornik_pvr* collection, Table& asked, const std::string& key);
    // Answers the keys the base refused.
    std::set<std::string> Load(Table& table, const std::vector<std::string>& keys);
    void Forget(Table& table, const std::string& prefix);

    db::Connection& m_connection;
    const kod_pvr& m_patch;
    SaveObserver* m_observer;
    std::map<std::string, std::unique_ptr<Table>> m_tables;
    std::set<std::string> m_norms; // norm codes whose rows are known
    std::map<std::string, int64_t> m_inserted;
    RowWrite::Values m_values; // the values of the statement told last, room reused
};

// Whether the base holds the row `key`, for `asker`: answered by the save that
// knows when one runs on the connection, else by the select `sql` (bound by
// `bind`) run now. A running save's observer is told either way.
bool RowExists(db::Connection& connection, const TSerializeList& asker, const RowKey& key,
               const char* sql, const std::function<void(db::Query&)>& bind);

// Runs a statement of the save (query.ExecSQL) and tells a running save what
// `writer` wrote.
void WriteRow(db::Query& query, const TSerializeList& writer, WriteKind kind, const RowKey& key);
