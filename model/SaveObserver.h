// What a save of a patch tells whoever watches it (a change report, a dry
// run): for each object, the row it found in the base for the key it asked
// about, and each statement it wrote. The save calls the observer from one
// place (SaveSession), in the order the objects ask and write; the default
// observer watches nothing. Plain data; the observer owns nothing of the save.
#pragma once

#include "platform/db/Value.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class TSerializeList;
namespace db {
class Query;
}

// A row named by its table and the values of its key columns, as bound (codes
// trimmed where the statements trim them, numbers as decimal text).
struct RowKey {
    std::string table; // upper case, as the statements name it
    std::vector<std::pair<std::string, std::string>> columns;

    const std::string& Value(size_t index) const { return columns.at(index).second; }
};

// A row as the save knows it: read from the base (every column), or as this
// save wrote it (the columns its statements named). Column names upper case.
struct KnownRow {
    // The column names, shared by the rows of one reading or one statement.
    std::shared_ptr<const std::vector<std::string>> columns;
    std::vector<db::FieldValue> values;

    // The value of the column (letter case ignored); nullptr when the row has
    // no such column.
    const db::FieldValue* Get(const std::string& column) const;
};

enum class WriteKind { Insert, Update, Delete };

// A statement the save wrote: what it did to which row, its text, and the
// values it bound by the column they go to (a literal of the text as its
// text; the key columns of a delete or an update's condition by their names).
// The key and the text are the writer's, valid during the call only; the
// values are made when first asked for, each a column's name and its value.
// A value points into the statement, valid during the call as well; the names
// are kept for good, the same strings for every statement of one text.
class RowWrite {
public:
    using Values = std::vector<std::pair<const std::string*, const db::BoundValue*>>;
    // `room`, when given, holds the values (its earlier ones dropped): a save
    // reuses one for all its statements.
    RowWrite(WriteKind kind, const RowKey& key, db::Query& query, Values* room = nullptr);

    const WriteKind kind;
    const RowKey& key;
    const std::string& sql;
    const Values& values() const;

private:
    db::Query& m_query;
    Values* m_room;
    mutable bool m_made = false;
    mutable Values m_own;
};

class SaveObserver {
public:
    virtual ~SaveObserver() = default;
    // `object` asked whether the base holds the row `key`: `row` is the row the
    // save found, or nullptr when the base holds none.
    virtual void Found(const TSerializeList& object, const RowKey& key, const KnownRow* row) {
        (void)object, (void)key, (void)row;
    }
    // `object` wrote a statement. With grouping the statement may still wait
    // on the connection: a failure reaches the save later and rolls it back.
    virtual void Wrote(const TSerializeList& object, const RowWrite& write) {
        (void)object, (void)write;
    }
    // The save read from the base the rows of `table` (a table whose rows
    // belong to a norm: KOD_PVR and those keyed by it) of the norms `codes`, all
    // of them at once: `rows`, in no particular order. A norm may come again
    // later, read after the save wrote to it; an observer that keeps the rows as
    // they were takes a norm's first reading only.
    virtual void Learned(const std::string& table, const std::vector<std::string>& codes,
                         const std::vector<const KnownRow*>& rows) {
        (void)table, (void)codes, (void)rows;
    }
};
