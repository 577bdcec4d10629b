#include "workbench/ReportObserver.h"

#include "model/kod_pvr.h"
#include "model/n_proc.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/razdel.h"
#include "model/sbornik_pvr.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"
#include "workbench/ChangeReport.h"

#include <algorithm>
#include <unordered_map>

namespace {

using Value = std::optional<std::string>; // nullopt: NULL
using Row = std::vector<Value>;

const char kSeparator = '\x1f';
constexpr size_t kKeysPerQuery = 128;

// A table the save writes: its key columns, whether its rows are read per norm
// code (the first key column), and its numeric columns with their scales (the
// digits the schema keeps after the point; 0 for integers).
struct Spec {
    const char* name;
    std::vector<const char*> key;
    bool byNorm;
    std::vector<std::pair<const char*, int>> numbers;
};

const std::vector<Spec>& Specs() {
    static const std::vector<Spec> specs = {
        {"KOD_RAZD", {"KOD_RAZD"}, false, {{"KOD_RAZD", 0}, {"KOEF_NAKL", 5}}},
        {"KOD_SBOR", {"KOD_SB"}, false, {{"KOD_SB", 0}}},
        {"KOD_PVR",
         {"KOD_PVR"},
         true,
         {{"KOD_RAZD", 0}, {"NOM_BAZ", 0}, {"KOD_SB", 0}, {"KOL_STB", 0}, {"PRIZ_FOR_KOR", 0}}},
        {"SOST_PVR", {"KOD_PVR"}, true, {}},
        {"N_PROC",
         {"KOD_PVR", "KOD_MEST"},
         true,
         {{"KOD_MEST", 0},
          {"NAKL_PZATR", 4},
          {"NAKL_ZARPL", 4},
          {"PRIB_PZATR", 4},
          {"PRIB_ZARPL", 4},
          {"HOLOST", 4},
          {"NAGRUZKA", 4}}},
        {"KOD_TABL", {"KOD_PVR", "N_TABL"}, true, {{"N_TABL", 0}}},
        {"TRUDOZ",
         {"KOD_PVR", "N_TABL"},
         true,
         {{"N_TABL", 0},
          {"TRUD_RAB", 4},
          {"TRUD_MASH", 4},
          {"R1", 4},
          {"R2", 4},
          {"R3", 4},
          {"R4", 4},
          {"R5", 4},
          {"R5S", 4},
          {"R6", 4},
          {"R6S", 4},
          {"R7S", 4},
          {"R8S", 4},
          {"R9S", 4},
          {"R10S", 4},
          {"R11S", 4}}},
        {"ZARP", {"KOD_PVR", "N_TABL"}, true, {{"N_TABL", 0}, {"ZARPL", 4}, {"SR_RAZRAD", 4}}},
        {"CNIR", {"KOD_PVR", "N_TABL", "KOD_CNIR"}, true, {{"N_TABL", 0}, {"RASHOD", 5}}},
        {"MASH", {"KOD_PVR", "N_TABL", "KOD_MASH"}, true, {{"N_TABL", 0}, {"RASHOD", 5}}},
        {"NOM_MAT", {"KOD_MAT"}, false, {{"SM_ZENA", 5}, {"VES", 5}}},
        {"NOM_MASH",
         {"KOD_MASH"},
         false,
         {{"ST_SHASA", 5}, {"SR_RAZRAD", 5}, {"TRUD", 5}, {"ZARP_MASH", 5}, {"K91_01", 5}}},
    };
    return specs;
}

// Text compares as the base compares it: blanks at the end do not count.
std::string Normal(std::string value) {
    while (!value.empty() && value.back() == ' ')
        value.pop_back();
    return value;
}

// A number's text as the column keeps it: rounded to `scale` digits after the
// point (halves away from zero), without zeros that do not count. Accepts a
// point or a comma and an exponent; any other text is returned as it is.
std::string CanonicalNumber(const std::string& text, int scale) {
    // Digits without a leading zero (a whole number, the most frequent case)
    // are kept as they are, at every scale.
    if (!text.empty() && (text[0] != '0' || text.size() == 1) &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return text;
    std::string_view s = text::TrimView(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    std::string digits;
    int exponent = 0; // value = digits x 10^exponent
    bool point = false, any = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            any = true;
            if (point)
                --exponent;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any)
        return text;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool minus = false;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            minus = s[i++] == '-';
        int e = 0;
        bool anyExponent = false;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            e = std::min(e * 10 + (s[i] - '0'), 1000);
            anyExponent = true;
        }
        if (!anyExponent)
            return text;
        exponent += minus ? -e : e;
    }
    if (i != s.size())
        return text;
    // Rounded to the scale: digits x 10^-scale.
    if (-exponent > scale) {
        const size_t drop = static_cast<size_t>(-exponent - scale);
        if (drop > digits.size()) {
            digits = "0";
        } else {
            const bool up = digits[digits.size() - drop] >= '5';
            digits.resize(digits.size() - drop);
            if (digits.empty())
                digits = "0";
            if (up) {
                size_t k = digits.size();
                while (k > 0 && digits[k - 1] == '9')
                    digits[--k] = '0';
                if (k == 0)
                    digits.insert(digits.begin(), '1');
                else
                    ++digits[k - 1];
            }
        }
        exponent = -scale;
    }
    if (exponent > 0) {
        digits.append(static_cast<size_t>(exponent), '0');
        exponent = 0;
    }
    const size_t fraction = static_cast<size_t>(-exponent);
    if (digits.size() <= fraction)
        digits.insert(0, fraction - digits.size() + 1, '0');
    std::string whole = digits.substr(0, digits.size() - fraction);
    std::string part = digits.substr(digits.size() - fraction);
    while (!part.empty() && part.back() == '0')
        part.pop_back();
    size_t lead = whole.find_first_not_of('0');
    whole = lead == std::string::npos ? "0" : whole.substr(lead);
    std::string result = whole + (part.empty() ? "" : "." + part);
    return negative && result != "0" ? "-" + result : result;
}

} // namespace

// ---- The rows of one table ----

struct ReportObserver::Table {
    const Spec* spec = nullptr;
    bool described = false;
    std::vector<std::string> columns; // upper case
    std::vector<int> scales;          // -1: text
    std::unordered_map<std::string, size_t> index;
    std::vector<size_t> keyColumns;

    struct Rows {
        std::vector<Row> before;
        std::vector<Row> after; // valid when changed
        bool changed = false;   // a statement wrote the key
        const std::vector<Row>& After() const { return changed ? after : before; }
        std::vector<Row>& Write() {
            if (!changed) {
                after = before;
                changed = true;
            }
            return after;
        }
    };
    // The rows by key: grouped by the key's columns but the last (a
    // one-column key by itself), within a group ordered by the last column.
    // A group is what a deleted entry or norm takes along, and what the
    // report lists of an object; the groups themselves need no order.
    using Group = std::map<std::string, Rows>;
    std::unordered_map<std::string, Group> groups;

    // The group and the last column of a key of every key column.
    std::pair<std::string, std::string> Split(const std::string& key) const {
        const size_t at = spec->key.size() > 1 ? key.rfind(kSeparator) : std::string::npos;
        if (at == std::string::npos)
            return {key, std::string()};
        return {key.substr(0, at), key.substr(at + 1)};
    }
    Rows& At(const std::string& key) {
        auto [group, last] = Split(key);
        return groups[std::move(group)][std::move(last)];
    }
    const Rows* Find(const std::string& key) const {
        auto [group, last] = Split(key);
        auto found = groups.find(group);
        if (found == groups.end())
            return nullptr;
        auto row = found->second.find(last);
        return row == found->second.end() ? nullptr : &row->second;
    }

    void SetColumns(std::vector<std::string> names) {
        columns.clear();
        scales.clear();
        index.clear();
        keyColumns.clear();
        for (std::string& name : names) {
            name = text::UpperAscii(name);
            int scale = -1;
            for (const auto& [number, digits] : spec->numbers)
                if (name == number)
                    scale = digits;
            index[name] = columns.size();
            columns.push_back(name);
            scales.push_back(scale);
        }
        for (const char* key : spec->key) {
            auto found = index.find(key);
            keyColumns.push_back(found == index.end() ? SIZE_MAX : found->second);
        }
        described = true;
    }

    // The column of that name (any letter case).
    std::unordered_map<std::string, size_t>::const_iterator Column(const std::string& name) const {
        auto found = index.find(name);
        return found != index.end() ? found : index.find(text::UpperAscii(name));
    }

    int ScaleOf(const std::string& column) const {
        for (const auto& [number, digits] : spec->numbers)
            if (column == number)
                return digits;
        return -1;
    }

    Value FromField(size_t column, const db::FieldValue& value) {
        switch (value.kind) {
        case db::FieldKind::Null:
            return std::nullopt;
        case db::FieldKind::String:
            return scales[column] < 0 ? value.text : CanonicalNumber(value.text, scales[column]);
        case db::FieldKind::Integer:
            return std::to_string(value.integer);
        case db::FieldKind::Scaled:
            if (scales[column] < 0)
                scales[column] = value.scale; // a number the schema did not name
            return CanonicalNumber(db::ScaledToString(value.integer, value.scale, '.'),
                                   scales[column]);
        case db::FieldKind::Double:
            return CanonicalNumber(value.AsString(), scales[column] < 0 ? 15 : scales[column]);
        }
        return std::nullopt;
    }

    Value FromBound(size_t column, const db::BoundValue& value) const {
        const int scale = scales[column];
        switch (value.kind) {
        case db::ParamKind::Unbound:
        case db::ParamKind::Null:
            return std::nullopt;
        case db::ParamKind::String:
            return scale < 0 ? value.text : CanonicalNumber(value.text, scale);
        case db::ParamKind::Integer:
        case db::ParamKind::Fixed4:
        case db::ParamKind::Decimal:
            return CanonicalNumber(value.ToText(), scale < 0 ? 15 : scale);
        }
        return std::nullopt;
    }

    std::string KeyOf(const Row& row) const {
        std::string key;
        for (size_t i = 0; i < keyColumns.size(); ++i) {
            if (i)
                key += kSeparator;
            if (keyColumns[i] < row.size() && row[keyColumns[i]])
                key += Normal(*row[keyColumns[i]]);
        }
        return key;
    }

    // The key text of the first columns of `key` (all of them, or a prefix).
    std::string KeyOf(const RowKey& key) const {
        std::string text;
        for (size_t i = 0; i < key.columns.size(); ++i) {
            if (i)
                text += kSeparator;
            const int scale = i < spec->key.size() ? ScaleOf(spec->key[i]) : -1;
            text += Normal(scale < 0 ? key.columns[i].second
                                     : CanonicalNumber(key.columns[i].second, scale));
        }
        return text;
    }

    // The keys that begin with `prefix` (some key columns) followed by the
    // separator, in the order of their key text: `action`(the key's text after
    // the prefix, rows).
    template <typename Self, typename F> static void EachUnder(Self& self, const std::string& prefix, F&& action) {
        const size_t columns = static_cast<size_t>(std::count(prefix.begin(), prefix.end(), kSeparator)) + 1;
        if (self.spec->key.size() < 2 || columns >= self.spec->key.size())
            return;
        if (columns + 1 == self.spec->key.size()) {
            auto found = self.groups.find(prefix);
            if (found != self.groups.end())
                for (auto& [last, rows] : found->second)
                    action(last, rows);
            return;
        }
        // Fewer columns: every group under the prefix, in order.
        const std::string start = prefix + kSeparator;
        std::vector<std::string> under;
        for (const auto& [group, rows] : self.groups)
            if (group.compare(0, start.size(), start) == 0)
                under.push_back(group);
        std::sort(under.begin(), under.end());
        for (const std::string& group : under)
            for (auto& [last, rows] : self.groups.find(group)->second)
                action(group.substr(start.size()) + kSeparator + last, rows);
    }
    template <typename F> void EachUnder(const std::string& prefix, F&& action) {
        EachUnder(*this, prefix, std::forward<F>(action));
    }
    template <typename F> void EachUnder(const std::string& prefix, F&& action) const {
        EachUnder(*this, prefix, std::forward<F>(action));
    }

    void Insert(const std::string& key,
                const std::vector<std::pair<std::string, db::BoundValue>>& values) {
        Row row(columns.size());
        for (const auto& [column, value] : values) {
            auto found = Column(column);
            if (found != index.end())
                row[found->second] = FromBound(found->second, value);
        }
        At(key).Write().push_back(std::move(row));
    }

    void Update(const std::string& key,
                const std::vector<std::pair<std::string, db::BoundValue>>& values) {
        auto& after = At(key).Write();
        for (const auto& [column, value] : values) {
            auto found = Column(column);
            if (found == index.end())
                continue;
            const Value v = FromBound(found->second, value);
            for (Row& row : after)
                row[found->second] = v;
        }
    }

    void Delete(const std::string& key, bool prefix) {
        if (prefix)
            EachUnder(key, [](const std::string&, Rows& r) { r.Write().clear(); });
        else
            At(key).Write().clear();
    }
};

namespace {

struct Counted {
    int64_t added = 0, changed = 0, unchanged = 0, removed = 0;
};

// Rows of one key before and after: equal rows are unchanged, the others are
// paired as changed, and what is left over is new or removed.
Counted Compare(const std::vector<Row>& beforeRows, const std::vector<Row>& afterRows) {
    Counted c;
    if (beforeRows.size() <= 1 && afterRows.size() <= 1) {
        if (beforeRows.empty())
            c.added = static_cast<int64_t>(afterRows.size());
        else if (afterRows.empty())
            c.removed = 1;
        else if (beforeRows[0] == afterRows[0])
            c.unchanged = 1;
        else
            c.changed = 1;
        return c;
    }
    std::vector<Row> before = beforeRows, after = afterRows;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    std::vector<Row> same;
    std::set_intersection(before.begin(), before.end(), after.begin(), after.end(),
                          std::back_inserter(same));
    c.unchanged = static_cast<int64_t>(same.size());
    const int64_t restBefore = static_cast<int64_t>(before.size()) - c.unchanged;
    const int64_t restAfter = static_cast<int64_t>(after.size()) - c.unchanged;
    c.changed = std::min(restBefore, restAfter);
    c.added = restAfter - c.changed;
    c.removed = restBefore - c.changed;
    return c;
}

std::string Shown(const Value& value) {
    return value ? *value : std::string();
}

// The differing columns of two rows of `table` (a missing row has every column
// empty), named `label` + column; key columns left out.
void Differ(const ReportObserver::Table& table, const std::string& label, const Row* before,
            const Row* after, std::vector<ColumnChange>& out) {
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (std::find(table.keyColumns.begin(), table.keyColumns.end(), c) !=
            table.keyColumns.end())
            continue;
        const Value b = before && c < before->size() ? (*before)[c] : std::nullopt;
        const Value a = after && c < after->size() ? (*after)[c] : std::nullopt;
        if (b != a)
            out.push_back({label + table.columns[c], Shown(b), Shown(a)});
    }
}

const Row* First(const std::vector<Row>& rows) {
    return rows.empty() ? nullptr : &rows.front();
}

// The last key column's text of a key (a line's resource, a rate's place).
std::string LastPart(const std::string& key) {
    const size_t at = key.rfind(kSeparator);
    return at == std::string::npos ? key : key.substr(at + 1);
}

const sbornik_pvr* CollectionOf(const TSerializeList* object) {
    for (; object; object = object->GetParent())
        if (auto* collection = dynamic_cast<const sbornik_pvr*>(object))
            return collection;
    return nullptr;
}

} // namespace

ReportObserver::ReportObserver(db::Connection& connection, const kod_pvr& patch)
    : m_connection(connection), m_patch(patch) {
    for (const Spec& spec : Specs()) {
        auto table = std::make_unique<Table>();
        table->spec = &spec;
        m_tables[spec.name] = std::move(table);
    }
}

ReportObserver::~ReportObserver() = default;

ReportObserver::Table& ReportObserver::TableNamed(const std::string& name) {
    return *m_tables.at(name);
}

void ReportObserver::Describe(Table& table) {
    if (table.described || m_blind)
        return;
    if (!Flushed())
        return;
    db::Query query(m_connection);
    query.SetSQL(std::string("select * from ") + table.spec->name + " where 1 = 0");
    std::vector<std::string> names;
    try {
        query.Open();
        for (int c = 0; c < query.FieldCount(); ++c)
            names.push_back(query.FieldAt(c).Name());
        query.Close();
    } catch (const Exception&) {
        m_blind = true;
        return;
    }
    table.SetColumns(std::move(names));
}

bool ReportObserver::Flushed() {
    // What the save wrote so far is sent first, outside the guard below: its
    // failure is the save's own.
    m_connection.Flush();
    return true;
}

void ReportObserver::ReadNorms(const TSerializeList& object, const std::string& code) {
    std::set<std::string> codes{code};
    if (const sbornik_pvr* collection = CollectionOf(&object))
        for (int n = 0; n < collection->Count(); ++n) {
            const std::string& kod = collection->GetItem(n)->kod();
            codes.insert(kod);             // rates are kept under the code as written
            codes.insert(text::Trim(kod)); // everything else under the trimmed one
        }
    std::vector<std::string> wanted;
    for (const std::string& c : codes)
        if (!m_normsRead.count(Normal(c)))
            wanted.push_back(c);
    if (wanted.empty() || m_blind)
        return;
    Flushed();
    try {
        for (auto& [name, table] : m_tables) {
            if (!table->spec->byNorm)
                continue;
            // What the save handed over is not read again.
            const std::set<std::string>& given = m_given[name];
            std::vector<std::string> missing;
            for (const std::string& c : wanted)
                if (!given.count(Normal(c)))
                    missing.push_back(c);
            if (!missing.empty())
                ReadRows(*table, missing);
            else
                Describe(*table);
        }
    } catch (const Exception&) {
        // A code the base cannot take (the save then fails on it too): the
        // counts are given up, never the save.
        m_blind = true;
    }
    for (const std::string& c : wanted)
        m_normsRead.insert(Normal(c));
}

void ReportObserver::ReadRows(Table& table, const std::vector<std::string>& wanted) {
    const std::string& name = table.spec->name;
    std::string sql = "select * from " + name + " where kod_pvr in (";
    for (size_t i = 0; i < kKeysPerQuery; ++i)
        sql += (i ? ", :k" : ":k") + std::to_string(i);
    sql += ")";
    const std::set<std::string>& given = m_given[name];
    db::Query query(m_connection);
    query.SetSQL(sql);
    for (size_t start = 0; start < wanted.size(); start += kKeysPerQuery) {
        for (size_t i = 0; i < kKeysPerQuery; ++i)
            query.ParamByName("k" + std::to_string(i))
                .SetString(wanted[std::min(start + i, wanted.size() - 1)]);
        query.Open();
        if (!table.described) {
            std::vector<std::string> names;
            for (int c = 0; c < query.FieldCount(); ++c)
                names.push_back(query.FieldAt(c).Name());
            table.SetColumns(std::move(names));
        }
        for (; !query.Eof(); query.Next()) {
            Row row(table.columns.size());
            for (size_t c = 0; c < row.size(); ++c)
                row[c] = table.FromField(c, query.FieldAt(static_cast<int>(c)).Value());
            const std::string key = table.KeyOf(row);
            // A norm named twice in one list (with and without blanks), or
            // handed over by the save, is kept once.
            const std::string norm = Normal(key.substr(0, key.find(kSeparator)));
            if (!m_normsRead.count(norm) && !given.count(norm))
                table.At(key).before.push_back(std::move(row));
        }
        query.Close();
    }
}

void ReportObserver::Learned(const std::string& name, const std::vector<std::string>& codes,
                             const std::vector<const KnownRow*>& rows) {
    Table* found = Lookup(name);
    if (!found || !found->spec->byNorm || m_blind)
        return;
    Table& table = *found;
    // Only a norm's first reading is the rows as they were: one read here or
    // handed over before may hold what the save wrote since.
    std::set<std::string> fresh;
    std::set<std::string>& given = m_given[table.spec->name];
    for (const std::string& code : codes) {
        const std::string norm = Normal(code);
        if (!m_normsRead.count(norm) && !given.count(norm))
            fresh.insert(norm);
    }
    if (fresh.empty())
        return;
    if (!table.described && !rows.empty())
        table.SetColumns(rows.front()->columns);
    // Where each column of the table is in the rows (they come as the base
    // describes them, mostly all alike).
    std::vector<size_t> from;
    const std::vector<std::string>* mapped = nullptr;
    for (const KnownRow* known : rows) {
        if (!mapped || *mapped != known->columns) {
            mapped = &known->columns;
            from.assign(table.columns.size(), SIZE_MAX);
            for (size_t c = 0; c < known->columns.size(); ++c) {
                auto column = table.Column(known->columns[c]);
                if (column != table.index.end())
                    from[column->second] = c;
            }
        }
        Row row(table.columns.size());
        for (size_t c = 0; c < row.size(); ++c)
            if (from[c] < known->values.size())
                row[c] = table.FromField(c, known->values[from[c]]);
        const std::string key = table.KeyOf(row);
        if (fresh.count(Normal(key.substr(0, key.find(kSeparator)))))
            table.At(key).before.push_back(std::move(row));
    }
    given.insert(fresh.begin(), fresh.end());
}

void ReportObserver::Heard(const TSerializeList& object) {
    m_current.object = &object;
    if (dynamic_cast<const pvr*>(&object))
        m_current.norm = &object;
}

ReportObserver::Table* ReportObserver::Lookup(const std::string& name) {
    // The statements name their tables in capitals; asked in a row mostly.
    if (m_lastTable && name == m_lastTable->spec->name)
        return m_lastTable;
    auto found = m_tables.find(name);
    if (found == m_tables.end())
        found = m_tables.find(text::UpperAscii(name));
    if (found == m_tables.end())
        return nullptr;
    return m_lastTable = found->second.get();
}

bool ReportObserver::NormRead(const std::string& code) {
    if (code == m_lastNormRead)
        return true;
    if (!m_normsRead.count(Normal(code)))
        return false;
    m_lastNormRead = code;
    return true;
}

void ReportObserver::Found(const TSerializeList& object, const RowKey& key, const KnownRow* row) {
    Heard(object);
    Table* lookedUp = Lookup(key.table);
    if (!lookedUp)
        return;
    Table& table = *lookedUp;
    if (table.spec->byNorm) {
        if (!NormRead(key.Value(0)))
            ReadNorms(object, key.Value(0));
    } else {
        Describe(table);
        const std::string text = table.KeyOf(key);
        auto [group, last] = table.Split(text);
        auto [at, added] = m_blind ? std::pair<Table::Group::iterator, bool>{}
                                   : table.groups[std::move(group)].try_emplace(std::move(last));
        if (added) {
            Table::Rows& rows = at->second;
            if (row) {
                Row before(table.columns.size());
                for (size_t c = 0; c < before.size(); ++c)
                    if (const db::FieldValue* value = row->Get(table.columns[c]))
                        before[c] = table.FromField(c, *value);
                rows.before.push_back(std::move(before));
            }
        }
    }
    // The objects the report counts, by the row that is their own.
    const std::string name = table.spec->name;
    int kind = -1;
    std::string code, ratesCode;
    if (name == "KOD_RAZD" && dynamic_cast<const razdel*>(&object)) {
        kind = static_cast<int>(ObjectKind::Section);
        code = key.Value(0);
    } else if (name == "KOD_SBOR" && dynamic_cast<const sbornik_pvr*>(&object)) {
        kind = static_cast<int>(ObjectKind::Collection);
        code = key.Value(0);
    } else if (name == "KOD_PVR") {
        if (auto* norm = dynamic_cast<const pvr*>(&object)) {
            kind = static_cast<int>(ObjectKind::Norm);
            code = text::Trim(norm->kod());
            ratesCode = Normal(norm->kod());
        }
    } else if (name == "KOD_TABL") {
        if (auto* entry = dynamic_cast<const pvr_popr*>(&object)) {
            kind = static_cast<int>(ObjectKind::Entry);
            code = text::Trim(entry->kod());
        }
    }
    if (kind < 0)
        return;
    std::string text = table.KeyOf(key);
    if (m_objectKeys.insert({kind, text}).second)
        m_objects.push_back({kind, code, std::move(text), std::move(ratesCode)});
}

void ReportObserver::Wrote(const TSerializeList& object, const RowWrite& write) {
    Heard(object);
    m_lastSerial = m_connection.LastSerial();
    if (m_writers.empty() || m_writers.back().object != &object)
        m_writers.push_back({m_lastSerial, &object, m_current.norm});
    Table* lookedUp = Lookup(write.key.table);
    if (!lookedUp)
        return;
    Table& table = *lookedUp;
    if (table.spec->byNorm) {
        if (!NormRead(write.key.Value(0)))
            ReadNorms(object, write.key.Value(0));
    } else {
        Describe(table);
    }
    if (m_blind)
        return;
    const std::string key = table.KeyOf(write.key);
    switch (write.kind) {
    case WriteKind::Insert:
        table.Insert(key, write.values);
        break;
    case WriteKind::Update:
        table.Update(key, write.values);
        break;
    case WriteKind::Delete:
        table.Delete(key, write.key.columns.size() < table.spec->key.size());
        // The schema removes an entry's labour, wage and resource rows with it.
        if (table.spec->name == std::string("KOD_TABL")) {
            TableNamed("TRUDOZ").Delete(key, false);
            TableNamed("ZARP").Delete(key, false);
            TableNamed("CNIR").Delete(key, true);
            TableNamed("MASH").Delete(key, true);
        }
        break;
    }
}

void ReportObserver::Finish(ChangeRecorder& recorder) const {
    if (m_blind)
        return;
    for (const Spec& spec : Specs()) {
        const Table& table = *m_tables.at(spec.name);
        Counted total;
        for (const auto& [group, rowsByLast] : table.groups)
            for (const auto& [last, rows] : rowsByLast) {
                if (!rows.changed)
                    continue;
                Counted c = Compare(rows.before, rows.after);
                total.added += c.added;
                total.changed += c.changed;
                total.unchanged += c.unchanged;
                total.removed += c.removed;
            }
        if (total.added + total.changed + total.unchanged + total.removed == 0)
            continue;
        recorder.Row(spec.name, RowChange::New, total.added);
        recorder.Row(spec.name, RowChange::Changed, total.changed);
        recorder.Row(spec.name, RowChange::Unchanged, total.unchanged);
        recorder.Row(spec.name, RowChange::Removed, total.removed);
        if (spec.name == std::string("NOM_MAT") || spec.name == std::string("NOM_MASH"))
            for (int64_t i = 0; i < total.added; ++i)
                recorder.DirectoryAdded(spec.name == std::string("NOM_MAT"));
    }

    static const Table::Rows kNone;
    auto rowsOf = [&](const char* name, const std::string& key) -> const Table::Rows& {
        const Table& table = *m_tables.at(name);
        const Table::Rows* found = table.Find(key);
        return found ? *found : kNone;
    };
    for (const Object& object : m_objects) {
        const ObjectKind kind = static_cast<ObjectKind>(object.kind);
        const char* own = kind == ObjectKind::Section      ? "KOD_RAZD"
                          : kind == ObjectKind::Collection ? "KOD_SBOR"
                          : kind == ObjectKind::Norm       ? "KOD_PVR"
                                                           : "KOD_TABL";
        const Table::Rows& mine = rowsOf(own, object.key);
        if (!mine.changed || mine.after.empty())
            continue; // found, never written (no parent), or gone
        if (mine.before.empty()) {
            recorder.Object(kind, object.code, RowChange::New);
            continue;
        }
        std::vector<ColumnChange> columns;
        Differ(*m_tables.at(own), "", First(mine.before), First(mine.after), columns);
        // The rows that belong to a norm or an entry besides its own.
        auto single = [&](const char* name) {
            const Table::Rows& rows = rowsOf(name, object.key);
            if (rows.changed)
                Differ(*m_tables.at(name), std::string(name) + ".", First(rows.before),
                       First(rows.After()), columns);
        };
        auto several = [&](const char* name, const std::string& prefix) {
            const Table& table = *m_tables.at(name);
            table.EachUnder(prefix, [&](const std::string& key, const Table::Rows& rows) {
                if (rows.changed)
                    Differ(table, std::string(name) + "[" + LastPart(key) + "].",
                           First(rows.before), First(rows.After()), columns);
            });
        };
        if (kind == ObjectKind::Norm) {
            single("SOST_PVR");
            several("N_PROC", object.ratesCode);
        } else if (kind == ObjectKind::Entry) {
            single("TRUDOZ");
            single("ZARP");
            several("CNIR", object.key);
            several("MASH", object.key);
        }
        const RowChange change = ChangeRecorder::Classify(true, columns);
        recorder.Object(kind, object.code, change, std::move(columns));
    }
}

ErrorPlace ReportObserver::PlaceOfFailure(const Exception& failure) const {
    const Writer* writer = &m_current;
    // A statement that waited to be sent with others fails when they are
    // sent, long after its object wrote it: its number names the object. One
    // past the last told failed as it ran, by the object heard from last.
    if (auto* grouped = dynamic_cast<const db::EStatementFailed*>(&failure)) {
        const int64_t serial = grouped->Serial();
        if (!m_writers.empty() && serial >= m_writers.front().serial && serial <= m_lastSerial) {
            auto after = std::upper_bound(m_writers.begin(), m_writers.end(), serial,
                                          [](int64_t s, const Writer& w) { return s < w.serial; });
            writer = &*std::prev(after);
        }
    }
    ErrorPlace place;
    if (!writer->object)
        return place;
    // The rates of a norm are written by objects outside the tree: named
    // after their norm.
    const bool rate = dynamic_cast<const n_proc*>(writer->object) ||
                      dynamic_cast<const n_proc_list*>(writer->object);
    if (rate && writer->norm) {
        place = TSerializeList::PlaceOf(*writer->norm);
        const std::string name = writer->object->PlaceName();
        if (!name.empty()) {
            place.path.push_back(name);
            place.offset = writer->object->SourceOffset();
        }
        return place;
    }
    return TSerializeList::PlaceOf(*writer->object);
}
