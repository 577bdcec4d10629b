#include "model/SaveSession.h"

#include "model/kod_pvr.h"
#include "model/popr_res.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/sbornik_pvr.h"

#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"

#include <algorithm>
#include <exception>

namespace {

// Keys travel in IN lists of this many values (the last one repeated to fill
// a list), so that each table has one statement text.
constexpr size_t kKeysPerQuery = 128;
const char kSeparator = '\x1f';

// A table the save asks about: its key columns, whether its rows are learned
// per norm code (the first key column) or per key, and its query.
struct TableSpec {
    const char* name;
    std::vector<const char*> key;
    bool byNorm;
    const char* select; // followed by the list of keys
};

const std::vector<TableSpec>& Specs() {
    static const std::vector<TableSpec> specs = {
        {"KOD_RAZD", {"KOD_RAZD"}, false, "select * from KOD_RAZD where kod_razd in "},
        {"KOD_SBOR", {"KOD_SB"}, false, "select * from KOD_SBOR where kod_sb in "},
        {"KOD_PVR", {"KOD_PVR"}, true, "select * from KOD_PVR where kod_pvr in "},
        {"KOD_TABL", {"KOD_PVR", "N_TABL"}, true, "select * from KOD_TABL where kod_pvr in "},
        {"CNIR", {"KOD_PVR", "N_TABL", "KOD_CNIR"}, true, "select * from CNIR where kod_pvr in "},
        {"MASH", {"KOD_PVR", "N_TABL", "KOD_MASH"}, true, "select * from MASH where kod_pvr in "},
        {"NOM_MAT", {"KOD_MAT"}, false, "select * from NOM_MAT where kod_mat in "},
        {"NOM_MASH", {"KOD_MASH"}, false, "select * from NOM_MASH where kod_mash in "},
        {"KOD_OKP", {"KOD_OKP"}, false, "select * from KOD_OKP where kod_okp in "},
        {"N_MASHP", {"KOD_MASHP"}, false, "select * from N_MASHP where kod_mashp in "},
    };
    return specs;
}

std::map<const db::Connection*, SaveSession*>& Running() {
    static std::map<const db::Connection*, SaveSession*> running;
    return running;
}

// Text compares as the base compares it: blanks at the end do not count.
std::string Normal(std::string value) {
    while (!value.empty() && value.back() == ' ')
        value.pop_back();
    return value;
}

std::string KeyText(const std::vector<std::string>& values) {
    std::string key;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i)
            key += kSeparator;
        key += Normal(values[i]);
    }
    return key;
}

std::string KeyText(const RowKey& key) {
    std::vector<std::string> values;
    for (const auto& column : key.columns)
        values.push_back(column.second);
    return KeyText(values);
}

const sbornik_pvr* CollectionOf(const TSerializeList* object) {
    for (; object; object = object->GetParent())
        if (auto* collection = dynamic_cast<const sbornik_pvr*>(object))
            return collection;
    return nullptr;
}

db::FieldValue FromBound(const db::BoundValue& value) {
    switch (value.kind) {
    case db::ParamKind::String:
        return db::FieldValue::String(value.text);
    case db::ParamKind::Integer:
        return db::FieldValue::Integer(value.integer);
    case db::ParamKind::Fixed4:
        return db::FieldValue::Scaled(value.integer, 4);
    case db::ParamKind::Decimal:
        return db::FieldValue::String(value.ToText());
    default:
        return db::FieldValue::Null();
    }
}

// The text split at its commas outside parentheses and literals, each part
// trimmed.
std::vector<std::string> SplitTopLevel(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    int depth = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '\'')
            quoted = !quoted;
        if (!quoted && c == '(')
            ++depth;
        if (!quoted && c == ')')
            --depth;
        if (!quoted && depth == 0 && c == ',') {
            parts.push_back(text::Trim(part));
            part.clear();
            continue;
        }
        part += c;
    }
    if (!text::Trim(part).empty())
        parts.push_back(text::Trim(part));
    return parts;
}

// The text between the parenthesis at `open` and its match; `open` moves past it.
std::string Parenthesized(const std::string& text, size_t& open) {
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
        if (depth == 0) {
            std::string inside = text.substr(open + 1, i - open - 1);
            open = i + 1;
            return inside;
        }
    }
    open = text.size();
    return "";
}

// The columns an insert or update names, each with the expression it gets
// (":name" or a literal); none for other statements.
std::vector<std::pair<std::string, std::string>> NamedColumns(const std::string& sql) {
    std::vector<std::pair<std::string, std::string>> named;
    std::string lower = sql;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    const std::string verb = lower.substr(0, lower.find_first_of(" \t\r\n"));
    if (verb == "insert") {
        size_t open = lower.find('(');
        if (open == std::string::npos)
            return named;
        std::vector<std::string> columns = SplitTopLevel(Parenthesized(sql, open));
        size_t values = lower.find("values", open);
        size_t second = values == std::string::npos ? values : lower.find('(', values);
        if (second == std::string::npos)
            return named;
        std::vector<std::string> expressions = SplitTopLevel(Parenthesized(sql, second));
        for (size_t i = 0; i < columns.size() && i < expressions.size(); ++i)
            named.emplace_back(text::UpperAscii(columns[i]), expressions[i]);
    } else if (verb == "update") {
        size_t set = lower.find(" set ");
        size_t where = lower.find(" where ", set == std::string::npos ? 0 : set);
        if (set == std::string::npos)
            return named;
        for (const std::string& assignment : SplitTopLevel(sql.substr(set + 5, where - set - 5))) {
            size_t equals = assignment.find('=');
            if (equals != std::string::npos)
                named.emplace_back(text::UpperAscii(text::Trim(assignment.substr(0, equals))),
                                   text::Trim(assignment.substr(equals + 1)));
        }
    }
    return named;
}

// What a statement text binds to each column it names: a parameter (its name)
// or a literal (its value). Read once per text: a save writes a few texts many
// times.
struct NamedColumn {
    std::string column;
    std::string parameter; // empty: a literal
    db::BoundValue literal;
    // The parameter's place among a query's of the text, found once: the
    // parameters of one text come in the same order each time.
    mutable int position = -1;
};

using Names = std::shared_ptr<const std::vector<std::string>>;

struct TextColumns {
    std::vector<NamedColumn> named;
    Names names; // the columns alone, shared by the rows the text wrote
};

const TextColumns& NamedColumnsOf(const std::string& sql) {
    thread_local std::map<std::string, TextColumns> known;
    // A text is mostly asked for many times in a row (each row of a table):
    // the one found last is compared first.
    thread_local const std::pair<const std::string, TextColumns>* last = nullptr;
    if (last && last->first == sql)
        return last->second;
    auto found = known.find(sql);
    if (found == known.end()) {
        TextColumns text;
        auto names = std::make_shared<std::vector<std::string>>();
        for (const auto& [column, expression] : NamedColumns(sql)) {
            NamedColumn item{column, std::string(), db::BoundValue()};
            if (!expression.empty() && expression[0] == ':') {
                item.parameter = expression.substr(1);
            } else {
                item.literal.kind = db::ParamKind::String;
                item.literal.text = expression.size() >= 2 && expression.front() == '\''
                                        ? expression.substr(1, expression.size() - 2)
                                        : expression;
            }
            names->push_back(column);
            text.named.push_back(std::move(item));
        }
        text.names = std::move(names);
        found = known.emplace(sql, std::move(text)).first;
    }
    last = &*found;
    return found->second;
}

// The parameter of `query` that `item` names.
db::Param& ParameterOf(db::Query& query, const NamedColumn& item) {
    if (item.position >= 0 && item.position < query.ParamCount()) {
        db::Param& param = query.ParamAt(item.position);
        if (text::EqualsIgnoreCaseAscii(param.Name(), item.parameter))
            return param;
    }
    for (int i = 0; i < query.ParamCount(); ++i)
        if (text::EqualsIgnoreCaseAscii(query.ParamAt(i).Name(), item.parameter)) {
            item.position = i;
            return query.ParamAt(i);
        }
    return query.ParamByName(item.parameter); // throws naming it
}

// The values a statement binds, by the columns they go to: the names and
// literals of the text, the values of the query's parameters.
void ColumnValues(db::Query& query, RowWrite::Values& values) {
    const std::vector<NamedColumn>& named = NamedColumnsOf(query.SQL()).named;
    values.clear();
    values.reserve(named.size());
    for (const NamedColumn& item : named)
        values.emplace_back(&item.column, item.parameter.empty()
                                              ? &item.literal
                                              : &ParameterOf(query, item).Value());
}

KnownRow RowOf(const Names& columns, const db::Query& query) {
    KnownRow row;
    row.columns = columns;
    for (int i = 0; i < query.FieldCount(); ++i)
        row.values.push_back(query.FieldAt(i).Value());
    return row;
}

} // namespace

RowWrite::RowWrite(WriteKind kind, const RowKey& key, db::Query& query, Values* room)
    : kind(kind), key(key), sql(query.SQL()), m_query(query), m_room(room ? room : &m_own) {}

const RowWrite::Values& RowWrite::values() const {
    if (!m_made) {
        ColumnValues(m_query, *m_room);
        m_made = true;
    }
    return *m_room;
}

const db::FieldValue* KnownRow::Get(const std::string& column) const {
    for (size_t i = 0; columns && i < columns->size() && i < values.size(); ++i)
        if (text::EqualsIgnoreCaseAscii((*columns)[i], column))
            return &values[i];
    return nullptr;
}

struct SaveSession::Table {
    const TableSpec* spec = nullptr;
    Names columns;                        // as the learned rows describe them
    std::map<std::string, KnownRow> rows; // by key text
    std::set<std::string> known;          // keys asked about (per-key tables)
    bool described = false;
};

SaveSession::SaveSession(db::Connection& connection, const kod_pvr& patch, SaveObserver* observer)
    : m_connection(connection), m_patch(patch), m_observer(observer) {
    for (const TableSpec& spec : Specs()) {
        auto table = std::make_unique<Table>();
        table->spec = &spec;
        m_tables[spec.name] = std::move(table);
    }
    Running()[&connection] = this;
}

SaveSession::~SaveSession() {
    Running().erase(&m_connection);
}

SaveSession* SaveSession::Of(const db::Connection& connection) {
    auto found = Running().find(&connection);
    return found == Running().end() ? nullptr : found->second;
}

bool SaveSession::Knows() const {
    return m_connection.Groups();
}

SaveSession::Table* SaveSession::TableOf(const std::string& name) {
    auto found = m_tables.find(text::UpperAscii(name));
    return found == m_tables.end() ? nullptr : found->second.get();
}

bool SaveSession::Covered(const Table& table, const std::string& key) const {
    if (table.spec->byNorm)
        return m_norms.count(key.substr(0, key.find(kSeparator))) != 0;
    return table.known.count(key) != 0;
}

std::optional<const KnownRow*> SaveSession::Find(const TSerializeList& asker, const RowKey& key) {
    Table* table = TableOf(key.table);
    if (!table)
        throw Exception("SaveSession: нет сведений о таблице " + key.table);
    const std::string text = KeyText(key);
    if (!Covered(*table, text)) {
        Learn(asker, *table, key);
        if (!Covered(*table, text))
            return std::nullopt;
    }
    auto found = table->rows.find(text);
    const KnownRow* row = found == table->rows.end() ? nullptr : &found->second;
    if (m_observer)
        m_observer->Found(asker, key, row);
    return row;
}

bool SaveSession::HasColumn(const std::string& table, const std::string& column) const {
    auto found = m_tables.find(text::UpperAscii(table));
    if (found == m_tables.end())
        return false;
    if (!found->second->columns)
        return false;
    const std::vector<std::string>& columns = *found->second->columns;
    return std::any_of(columns.begin(), columns.end(), [&](const std::string& name) {
        return text::EqualsIgnoreCaseAscii(name, column);
    });
}

void SaveSession::Learn(const TSerializeList& asker, Table& table, const RowKey& key) {
    const std::string name = table.spec->name;
    if (table.spec->byNorm) {
        LearnCollection(CollectionOf(&asker), Normal(key.Value(0)));
        return;
    }
    std::set<std::string> keys{key.Value(0)};
    if (name == "KOD_RAZD") {
        for (int i = 0; i < m_patch.razdels()->Count(); ++i)
            keys.insert(text::IntToStr(m_patch.razdels()->GetItem(i)->kod()));
    } else if (name == "KOD_SBOR") {
        for (int i = 0; i < m_patch.Count(); ++i)
            keys.insert(text::IntToStr(m_patch.GetItem(i)->kod()));
    } else {
        LearnDirectories(CollectionOf(&asker), table, key.Value(0));
        return;
    }
    Load(table, std::vector<std::string>(keys.begin(), keys.end()));
}

// The rows of every norm of the collection, in place of what it knew of the
// norms of the collection before (so that what it holds stays one collection's
// worth): the base is asked again when an earlier norm comes up once more.
void SaveSession::LearnCollection(const sbornik_pvr* collection, const std::string& normCode) {
    std::set<std::string> codes{normCode};
    if (collection) {
        for (int i = 0; i < collection->Count(); ++i)
            codes.insert(Normal(text::Trim(collection->GetItem(i)->kod())));
        m_norms.clear();
        for (auto& [name, table] : m_tables)
            if (table->spec->byNorm)
                table->rows.clear();
    }
    std::vector<std::string> list(codes.begin(), codes.end());
    std::set<std::string> refused;
    for (auto& [name, table] : m_tables)
        if (table->spec->byNorm)
            refused.merge(Load(*table, list));
    std::vector<std::string> learned;
    for (const std::string& code : codes)
        if (!refused.count(code)) {
            m_norms.insert(code);
            learned.push_back(code);
        }
    if (!m_observer || learned.empty())
        return;
    // The rows of the codes learned: the rows of a norm are together, in the
    // order of their keys.
    const std::set<std::string, std::less<>> told(learned.begin(), learned.end());
    for (auto& [name, table] : m_tables) {
        if (!table->spec->byNorm)
            continue;
        std::vector<const KnownRow*> rows;
        std::string_view lastNorm;
        bool started = false, lastTold = false;
        for (const auto& [key, row] : table->rows) {
            const std::string_view norm = std::string_view(key).substr(0, key.find(kSeparator));
            if (!started || norm != lastNorm) {
                started = true;
                lastNorm = norm;
                lastTold = told.count(norm) > 0;
            }
            if (lastTold)
                rows.push_back(&row);
        }
        m_observer->Learned(name, learned, rows);
    }
}

// The resources and classifier codes of every line of the collection that are
// not known yet, each directory with one query.
void SaveSession::LearnDirectories(const sbornik_pvr* collection, Table& asked,
                                   const std::string& key) {
    std::map<std::string, std::set<std::string>> codes;
    codes[asked.spec->name].insert(key);
    for (int n = 0; collection && n < collection->Count(); ++n) {
        const pvr& norm = *collection->GetItem(n);
        for (int e = 0; e < norm.Count(); ++e) {
            const pvr_popr& entry = *norm.GetItem(e);
            for (int r = 0; r < entry.Count(); ++r) {
                const popr_res& line = *entry.GetItem(r);
                std::string type;
                try {
                    type = text::Trim(line.GetType());
                } catch (const Exception&) {
                    continue; // a line of no kind asks about nothing
                }
                if (type == popr_res::kMaterial) {
                    codes["NOM_MAT"].insert(text::Trim(line.kod()));
                    codes["KOD_OKP"].insert(line.matokp_mashpred());
                } else if (type == popr_res::kMachine) {
                    codes["NOM_MASH"].insert(text::Trim(line.kod()));
                    codes["N_MASHP"].insert(line.matokp_mashpred());
                }
            }
        }
    }
    for (auto& [name, wanted] : codes) {
        Table& table = *TableOf(name);
        std::vector<std::string> unknown;
        for (const std::string& code : wanted)
            if (!table.known.count(Normal(code)))
                unknown.push_back(code);
        if (!unknown.empty())
            Load(table, unknown);
    }
}

// Reads the rows whose first key column is one of `keys` (IN lists of a fixed
// length), and marks the keys known (per-key tables).
std::set<std::string> SaveSession::Load(Table& table, const std::vector<std::string>& keys) {
    const TableSpec& spec = *table.spec;
    std::string sql = std::string(spec.select) + "(";
    for (size_t i = 0; i < kKeysPerQuery; ++i)
        sql += (i ? ", :k" : ":k") + std::to_string(i);
    sql += ")";
    // Statements that wait are sent here, so that a failure among them is
    // theirs and not taken for a key the base refuses.
    m_connection.Flush();
    db::Query query(m_connection);
    query.SetSQL(sql);
    std::set<std::string> refused;
    auto run = [&](const std::vector<std::string>& chunk) {
        for (size_t i = 0; i < kKeysPerQuery; ++i)
            query.ParamByName("k" + std::to_string(i))
                .SetString(chunk[std::min(i, chunk.size() - 1)]);
        query.Open();
        if (!table.described) {
            auto names = std::make_shared<std::vector<std::string>>();
            for (int c = 0; c < query.FieldCount(); ++c)
                names->push_back(query.FieldAt(c).Name());
            table.columns = std::move(names);
            table.described = true;
        }
        std::vector<int> keyColumns;
        for (const char* column : spec.key)
            for (int c = 0; c < query.FieldCount(); ++c)
                if (text::EqualsIgnoreCaseAscii(query.FieldAt(c).Name(), column))
                    keyColumns.push_back(c);
        for (; !query.Eof(); query.Next()) {
            std::vector<std::string> values;
            for (int c : keyColumns)
                values.push_back(query.FieldAt(c).AsString());
            table.rows[KeyText(values)] = RowOf(table.columns, query);
        }
        query.Close();
    };
    for (size_t start = 0; start < keys.size(); start += kKeysPerQuery) {
        const std::vector<std::string> chunk(
            keys.begin() + static_cast<long>(start),
            keys.begin() + static_cast<long>(std::min(start + kKeysPerQuery, keys.size())));
        std::exception_ptr failure;
        try {
            run(chunk);
            continue;
        } catch (const db::EStatementFailed&) {
            throw;
        } catch (const EDatabaseError&) {
            failure = std::current_exception();
        }
        // A key the base cannot take (too long for its column, say) fails the
        // whole list: the keys are asked one by one, and the ones the base
        // refuses are left to the object that asks about them, so that its own
        // select reports the failure as it always did. When every key passes
        // on its own, the failure was not theirs and ends the save.
        const size_t refusedBefore = refused.size();
        for (const std::string& key : chunk) {
            try {
                run({key});
            } catch (const db::EStatementFailed&) {
                throw;
            } catch (const EDatabaseError&) {
                refused.insert(key);
            }
        }
        if (refused.size() == refusedBefore)
            std::rethrow_exception(failure);
    }
    if (!spec.byNorm)
        for (const std::string& key : keys)
            if (!refused.count(key))
                table.known.insert(Normal(key));
    return refused;
}

void SaveSession::Asked(const TSerializeList& asker, const RowKey& key, const db::Query& query) {
    if (!m_observer)
        return;
    if (query.IsEmpty()) {
        m_observer->Found(asker, key, nullptr);
        return;
    }
    auto columns = std::make_shared<std::vector<std::string>>();
    for (int c = 0; c < query.FieldCount(); ++c)
        columns->push_back(query.FieldAt(c).Name());
    const KnownRow row = RowOf(columns, query);
    m_observer->Found(asker, key, &row);
}

void SaveSession::Forget(Table& table, const std::string& prefix) {
    auto from = table.rows.lower_bound(prefix);
    auto to = from;
    while (to != table.rows.end() && to->first.compare(0, prefix.size(), prefix) == 0)
        ++to;
    table.rows.erase(from, to);
}

void SaveSession::Wrote(const TSerializeList& writer, db::Query& query, WriteKind kind,
                        const RowKey& key) {
    if (kind == WriteKind::Insert)
        ++m_inserted[text::UpperAscii(key.table)];
    Table* table = TableOf(key.table);
    const std::string text = KeyText(key);
    const bool keeps = table && Knows() && Covered(*table, text);
    if (!m_observer && !keeps)
        return;
    const RowWrite write(kind, key, query, &m_values);
    if (m_observer)
        m_observer->Wrote(writer, write);
    if (!keeps)
        return;
    const RowWrite::Values& values = write.values();
    if (kind == WriteKind::Insert) {
        // The rows of one statement text name the same columns: one list.
        KnownRow row;
        row.columns = NamedColumnsOf(write.sql).names;
        row.values.reserve(values.size());
        for (const auto& value : values)
            row.values.push_back(FromBound(*value.second));
        table->rows[text] = std::move(row);
    } else if (kind == WriteKind::Update) {
        auto found = table->rows.find(text);
        if (found == table->rows.end())
            return;
        KnownRow& row = found->second;
        if (!row.columns)
            row.columns = std::make_shared<std::vector<std::string>>();
        // Not a structured binding: a lambda may not capture one in C++17.
        for (const auto& item : values) {
            const std::string& column = *item.first;
            const db::BoundValue& value = *item.second;
            const std::vector<std::string>& names = *row.columns;
            auto same = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
                return text::EqualsIgnoreCaseAscii(name, column);
            });
            if (same == names.end()) {
                auto more = std::make_shared<std::vector<std::string>>(names);
                more->push_back(column);
                row.columns = std::move(more);
                row.values.push_back(FromBound(value));
            } else {
                row.values[static_cast<size_t>(same - names.begin())] = FromBound(value);
            }
        }
    } else {
        if (key.columns.size() < table->spec->key.size())
            Forget(*table, text + kSeparator);
        table->rows.erase(text);
        // The schema removes an entry's lines with it (the entry is replaced
        // by deleting and inserting its row, and its lines written again).
        if (table->spec->name == std::string("KOD_TABL")) {
            Forget(*TableOf("CNIR"), text + kSeparator);
            Forget(*TableOf("MASH"), text + kSeparator);
        }
    }
}

bool RowExists(db::Connection& connection, const TSerializeList& asker, const RowKey& key,
               const char* sql, const std::function<void(db::Query&)>& bind) {
    SaveSession* save = SaveSession::Of(connection);
    if (save && save->Knows())
        if (std::optional<const KnownRow*> row = save->Find(asker, key))
            return *row != nullptr;
    db::Query query(connection);
    query.SetSQL(sql);
    bind(query);
    query.Open();
    if (save)
        save->Asked(asker, key, query);
    const bool found = !query.IsEmpty();
    query.Close();
    return found;
}

void WriteRow(db::Query& query, const TSerializeList& writer, WriteKind kind, const RowKey& key) {
    query.SetOrigin(&writer);
    query.ExecSQL();
    if (SaveSession* save = SaveSession::Of(query.GetConnection()))
        save->Wrote(writer, query, kind, key);
}
