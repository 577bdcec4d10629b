#include "workbench/ReportObserver.h"

#include "model/kod_pvr.h"
#include "model/n_proc.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/razdel.h"
#include "model/sbornik_pvr.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/SelectGroup.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"
#include "workbench/ChangeReport.h"

#include <algorithm>
#include <unordered_map>

namespace {

using Value = std::optional<std::string>; // nullopt: NULL

const char kSeparator = '\x1f';
constexpr size_t kKeysPerQuery = 128;

// A table the save writes: its key columns, whether its rows are read per norm
// code (the first key column), its numeric columns with their scales (the
// digits the schema keeps after the point; 0 for integers), and whether the
// save only adds rows the base does not hold (a directory: a row found there
// is never written, and need not be kept).
struct Spec {
    const char* name;
    std::vector<const char*> key;
    bool byNorm;
    std::vector<std::pair<const char*, int>> numbers;
    bool onlyAdded = false;
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
        {"NOM_MAT", {"KOD_MAT"}, false, {{"SM_ZENA", 5}, {"VES", 5}}, true},
        {"NOM_MASH",
         {"KOD_MASH"},
         false,
         {{"ST_SHASA", 5}, {"SR_RAZRAD", 5}, {"TRUD", 5}, {"ZARP_MASH", 5}, {"K91_01", 5}},
         true},
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
// Digits without a leading zero: a whole number CanonicalNumber keeps as it is.
bool IsWholeNumber(const std::string& text) {
    return !text.empty() && (text[0] != '0' || text.size() == 1) &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string CanonicalNumber(const std::string& text, int scale) {
    // A whole number (the most frequent case) is kept as it is, at every scale.
    if (IsWholeNumber(text))
        return text;
    text::Decimal number;
    try {
        number = text::Decimal::FromText(text, text.find(',') != std::string::npos ? ',' : '.');
    } catch (const Exception&) {
        return text; // not a number: compared as it is
    }
    const bool negative = number.Negative();
    std::string digits = number.Digits();
    int exponent = -number.Scale(); // value = digits x 10^exponent
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

// The text CanonicalNumber gives for integer x 10^-scale kept to `digits`
// digits after the point, made without parsing a text where no digit is
// dropped (the scale of a column is at least the value's mostly).
std::string CanonicalScaled(int64_t integer, int scale, int digits) {
    if (scale < 0 || scale > digits || scale > 18)
        return CanonicalNumber(db::ScaledToString(integer, std::max(scale, 0), '.'), digits);
    const bool negative = integer < 0;
    std::string text = std::to_string(integer);
    if (negative)
        text.erase(0, 1);
    const size_t fraction = static_cast<size_t>(scale);
    if (text.size() <= fraction)
        text.insert(0, fraction - text.size() + 1, '0');
    size_t end = text.size();
    const size_t point = text.size() - fraction;
    while (end > point && text[end - 1] == '0')
        --end;
    std::string result = text.substr(0, point);
    if (end > point)
        result += '.' + text.substr(point, end - point);
    return negative && result != "0" ? "-" + result : result;
}

} // namespace

// ---- The rows of one table ----

namespace {

// A row kept as one string: the values of the table's columns in their order,
// each as a variable-length prefix followed by its bytes: 0 for NULL, 1 for a
// key column that holds the key's own text (most do: it is kept once, in the
// key), length + 2 for any other value. Two rows of one key are equal exactly
// when their strings are; a row costs one allocation at most, mostly none.
using Row = std::string;

enum : size_t { kNullCell = 0, kKeyCell = 1, kTextCell = 2 };

void AppendPrefix(Row& row, size_t prefix) {
    do {
        const unsigned char low = static_cast<unsigned char>(prefix & 0x7f);
        prefix >>= 7;
        row += static_cast<char>(prefix ? low | 0x80 : low);
    } while (prefix);
}

void Append(Row& row, const Value& value) {
    AppendPrefix(row, value ? value->size() + kTextCell : kNullCell);
    if (value)
        row += *value;
}

// One column of a row as kept: NULL, the key's text, or a text.
struct Cell {
    size_t kind = kNullCell;
    std::string text;
    bool operator!=(const Cell& other) const { return kind != other.kind || text != other.text; }
};

std::vector<Cell> Decode(const Row& row) {
    std::vector<Cell> cells;
    size_t at = 0;
    while (at < row.size()) {
        size_t prefix = 0;
        int shift = 0;
        unsigned char byte = 0;
        do {
            byte = static_cast<unsigned char>(row[at++]);
            prefix |= static_cast<size_t>(byte & 0x7f) << shift;
            shift += 7;
        } while ((byte & 0x80) && at < row.size());
        Cell cell;
        cell.kind = std::min<size_t>(prefix, kTextCell);
        if (prefix >= kTextCell) {
            cell.text = row.substr(at, prefix - kTextCell);
            at += prefix - kTextCell;
        }
        cells.push_back(std::move(cell));
    }
    return cells;
}

void Append(Row& row, const Cell& cell) {
    if (cell.kind == kTextCell)
        Append(row, Value(cell.text));
    else
        AppendPrefix(row, cell.kind);
}

// The parts of a key text, one per key column, into `parts`.
void KeyParts(const std::string& key, std::vector<std::string_view>& parts) {
    parts.clear();
    size_t start = 0;
    for (;;) {
        const size_t end = key.find(kSeparator, start);
        parts.emplace_back(key.data() + start, (end == std::string::npos ? key.size() : end) - start);
        if (end == std::string::npos)
            return;
        start = end + 1;
    }
}

} // namespace

struct ReportObserver::Table {
    using Values = RowWrite::Values;
    const Spec* spec = nullptr;
    bool described = false;
    std::vector<std::string> columns; // upper case
    std::vector<int> scales;          // -1: text
    std::unordered_map<std::string, size_t> index;
    std::vector<size_t> keyColumns;
    std::vector<int> keyOf; // per column: its place in the key, or -1
    bool owns = false;      // the rows of an object the report counts (a section ...)
    // Room reused from row to row.
    struct {
        std::vector<Value> values;
        std::vector<std::string_view> parts;
        std::vector<const db::BoundValue*> bound;
    } scratch;
    std::vector<int> keyScales; // per key column: digits after the point of a number, -1: text

    struct Rows {
        std::vector<Row> before;
        std::vector<Row> after; // valid when changed
        // Rows after counted only, their values not kept: rows of a key the
        // base did not hold, under a norm or entry it did not hold either, are
        // new whatever they hold, and nothing lists them.
        uint32_t counted = 0;
        bool changed = false; // a statement wrote the key
        bool valued = true;   // rows written from now on keep their values
        const std::vector<Row>& After() const { return changed ? after : before; }
        size_t AfterCount() const { return changed ? after.size() + counted : before.size(); }
    };

    // The rows of a table by the first key column (the norm's code of the rows
    // of a norm; the whole key of a one-column key), and under it by the rest
    // of the key text, in the order first written. A norm's rows are written
    // together: the norm met last is remembered, and its few rows searched
    // in turn, so that a row costs neither a node nor a hash of its own.
    using Entry = std::pair<std::string, Rows>;
    std::unordered_map<std::string, std::vector<Entry>> heads;
    std::string lastHead;
    std::vector<Entry>* lastEntries = nullptr;

    static std::pair<std::string_view, std::string_view> SplitHead(const std::string& key) {
        const size_t at = key.find(kSeparator);
        if (at == std::string::npos)
            return {key, std::string_view()};
        return {std::string_view(key).substr(0, at), std::string_view(key).substr(at + 1)};
    }
    std::vector<Entry>* Head(std::string_view head, bool make) {
        if (lastEntries && head == lastHead)
            return lastEntries;
        std::string name(head);
        auto found = heads.find(name);
        if (found == heads.end()) {
            if (!make)
                return nullptr;
            found = heads.emplace(name, std::vector<Entry>()).first;
        }
        lastHead = std::move(name);
        return lastEntries = &found->second;
    }
    // The rows of `rest` among a head's entries (the latest written first).
    template <typename Entries>
    static auto In(Entries& entries, std::string_view rest) -> decltype(&entries.front().second) {
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
            if (entry->first == rest)
                return &entry->second;
        return nullptr;
    }
    // The rows of a key, made empty when the table has none yet.
    Rows& At(const std::string& key) {
        auto [head, rest] = SplitHead(key);
        std::vector<Entry>& entries = *Head(head, true);
        if (Rows* rows = In(entries, rest))
            return *rows;
        entries.emplace_back(std::string(rest), Rows());
        return entries.back().second;
    }
    const Rows* Find(const std::string& key) const {
        auto [head, rest] = SplitHead(key);
        auto found = heads.find(std::string(head));
        return found == heads.end() ? nullptr : In(found->second, rest);
    }
    // Every key with its rows: `action`(key text, rows).
    template <typename F> void Each(F&& action) const {
        for (const auto& [head, entries] : heads)
            for (const Entry& entry : entries)
                action(head, entry.first, entry.second);
    }

    void SetColumns(std::vector<std::string> names) {
        columns.clear();
        scales.clear();
        index.clear();
        keyColumns.clear();
        for (std::string& name : names) {
            name = text::UpperAscii(name);
            index[name] = columns.size();
            columns.push_back(name);
            scales.push_back(ScaleOf(name));
        }
        keyOf.assign(columns.size(), -1);
        for (const char* key : spec->key) {
            auto found = index.find(key);
            keyColumns.push_back(found == index.end() ? SIZE_MAX : found->second);
            if (found != index.end())
                keyOf[found->second] = static_cast<int>(keyColumns.size() - 1);
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
            return CanonicalScaled(value.integer, value.scale, scales[column]);
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
            return CanonicalScaled(value.integer, 0, scale < 0 ? 15 : scale);
        case db::ParamKind::Fixed4:
            return CanonicalScaled(value.integer, 4, scale < 0 ? 15 : scale);
        case db::ParamKind::Decimal:
            return CanonicalNumber(value.ToText(), scale < 0 ? 15 : scale);
        }
        return std::nullopt;
    }

    // Appends the value of column `c` to `row`: a key column that holds the
    // key's part `part` as the key keeps it is written as such.
    void AppendColumn(Row& row, size_t c, const Value& value, std::string_view part) const {
        if (keyOf[c] >= 0 && value && *value == part)
            AppendPrefix(row, kKeyCell);
        else
            Append(row, value);
    }

    // A row read from the base: `value`(column) gives each column's value.
    // Its key text goes to `key`.
    template <typename F> Row Read(F&& value, std::string& key) {
        std::vector<Value>& values = scratch.values;
        values.resize(columns.size());
        for (size_t c = 0; c < columns.size(); ++c)
            values[c] = value(c);
        key.clear();
        for (size_t k = 0; k < keyColumns.size(); ++k) {
            if (k)
                key += kSeparator;
            if (keyColumns[k] < values.size() && values[keyColumns[k]])
                key += Normal(*values[keyColumns[k]]);
        }
        std::vector<std::string_view>& parts = scratch.parts;
        KeyParts(key, parts);
        Row row;
        for (size_t c = 0; c < columns.size(); ++c)
            AppendColumn(row, c, values[c],
                         keyOf[c] >= 0 && static_cast<size_t>(keyOf[c]) < parts.size()
                             ? parts[static_cast<size_t>(keyOf[c])]
                             : std::string_view());
        return row;
    }

    // The key text of the first columns of `key` (all of them, or a prefix).
    std::string KeyOf(const RowKey& key) const {
        std::string text;
        KeyOf(key, text);
        return text;
    }
    void KeyOf(const RowKey& key, std::string& text) const {
        text.clear();
        for (size_t i = 0; i < key.columns.size(); ++i) {
            if (i)
                text += kSeparator;
            const int scale = i < keyScales.size() ? keyScales[i] : -1;
            const std::string& value = key.columns[i].second;
            const size_t at = text.size();
            if (scale < 0 || IsWholeNumber(value))
                text += value;
            else
                text += CanonicalNumber(value, scale);
            size_t end = text.size();
            while (end > at && text[end - 1] == ' ')
                --end;
            text.resize(end);
        }
    }

    // The keys that begin with `prefix` (some key columns, not all) followed by
    // the separator, in the order of their key text: `action`(the key's text
    // after the prefix, the key's rows).
    template <typename F> void EachUnder(const std::string& prefix, F&& action) {
        EachUnder(*this, prefix, std::forward<F>(action));
    }
    template <typename F> void EachUnder(const std::string& prefix, F&& action) const {
        EachUnder(*this, prefix, std::forward<F>(action));
    }
    template <typename Self, typename F>
    static void EachUnder(Self& self, const std::string& prefix, F&& action) {
        const size_t columns =
            static_cast<size_t>(std::count(prefix.begin(), prefix.end(), kSeparator)) + 1;
        if (self.spec->key.size() < 2 || columns >= self.spec->key.size())
            return;
        auto [head, rest] = SplitHead(prefix);
        auto found = self.heads.find(std::string(head));
        if (found == self.heads.end())
            return;
        const std::string start = rest.empty() && columns == 1 ? "" : std::string(rest) + kSeparator;
        std::vector<decltype(&found->second.front())> under;
        for (auto& entry : found->second)
            if (entry.first.compare(0, start.size(), start) == 0)
                under.push_back(&entry);
        std::sort(under.begin(), under.end(),
                  [](const Entry* a, const Entry* b) { return a->first < b->first; });
        for (auto* entry : under)
            action(entry->first.substr(start.size()), entry->second);
    }

    // A key about to be written: its first write starts its rows after from
    // its rows before; `valued` tells then whether rows written to it keep
    // their values (see Rows::counted).
    static void Write(Rows& rows, bool valued) {
        if (!rows.changed) {
            rows.after = rows.before;
            rows.changed = true;
            rows.valued = valued || !rows.before.empty();
        }
    }
    // The same for a delete: the rows after are none, whatever they were.
    static void Clear(Rows& rows, bool valued) {
        if (!rows.changed) {
            rows.changed = true;
            rows.valued = valued || !rows.before.empty();
        }
        rows.after.clear();
        rows.counted = 0;
    }

    // The column of each value a statement binds (SIZE_MAX: none), by its
    // text: a save writes a few texts many times.
    std::unordered_map<std::string, std::vector<size_t>> slots;
    const std::vector<size_t>& SlotsOf(const std::string& sql, const Values& values) {
        auto [at, added] = slots.try_emplace(sql);
        if (added || at->second.size() != values.size()) {
            at->second.clear();
            for (const auto& value : values) {
                auto found = Column(*value.first);
                at->second.push_back(found == index.end() ? SIZE_MAX : found->second);
            }
        }
        return at->second;
    }

    void Insert(Rows& rows, const std::string& key, const RowWrite& write) {
        if (!rows.valued) {
            ++rows.counted;
            return;
        }
        const std::string& sql = write.sql;
        const Values& values = write.values();
        std::vector<const db::BoundValue*>& bound = scratch.bound;
        bound.assign(columns.size(), nullptr);
        const std::vector<size_t>& slot = SlotsOf(sql, values);
        for (size_t v = 0; v < values.size(); ++v)
            if (slot[v] < bound.size())
                bound[slot[v]] = values[v].second;
        std::vector<std::string_view>& parts = scratch.parts;
        KeyParts(key, parts);
        Row row;
        for (size_t c = 0; c < columns.size(); ++c)
            AppendColumn(row, c, bound[c] ? FromBound(c, *bound[c]) : Value(),
                         keyOf[c] >= 0 && static_cast<size_t>(keyOf[c]) < parts.size()
                             ? parts[static_cast<size_t>(keyOf[c])]
                             : std::string_view());
        rows.after.push_back(std::move(row));
    }

    void Update(Rows& rows, const std::string& key, const RowWrite& write) {
        if (!rows.valued || rows.after.empty())
            return;
        const Values& values = write.values();
        std::vector<std::string_view>& parts = scratch.parts;
        KeyParts(key, parts);
        std::vector<std::pair<size_t, Row>> set; // column, its value as kept
        for (const auto& [column, value] : values) {
            auto found = Column(*column);
            if (found == index.end())
                continue;
            const size_t c = found->second;
            Row cell;
            AppendColumn(cell, c, FromBound(c, *value),
                         keyOf[c] >= 0 && static_cast<size_t>(keyOf[c]) < parts.size()
                             ? parts[static_cast<size_t>(keyOf[c])]
                             : std::string_view());
            set.emplace_back(c, std::move(cell));
        }
        for (Row& row : rows.after) {
            std::vector<Cell> current = Decode(row);
            current.resize(columns.size());
            row.clear();
            for (size_t c = 0; c < current.size(); ++c) {
                auto given = std::find_if(set.begin(), set.end(),
                                          [&](const auto& s) { return s.first == c; });
                if (given != set.end())
                    row += given->second;
                else
                    Append(row, current[c]);
            }
        }
    }
};

namespace {

struct Counted {
    int64_t added = 0, changed = 0, unchanged = 0, removed = 0;
};

// Rows of one key before and after: equal rows are unchanged, the others are
// paired as changed, and what is left over is new or removed.
Counted Compare(const ReportObserver::Table::Rows& rows) {
    const std::vector<Row>& beforeRows = rows.before;
    const std::vector<Row>& afterRows = rows.after;
    Counted c;
    if (beforeRows.empty()) {
        c.added = static_cast<int64_t>(rows.AfterCount());
        return c;
    }
    if (beforeRows.size() == 1 && afterRows.size() <= 1) {
        if (afterRows.empty())
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

// The differing columns of two rows of `table` (a missing row has every column
// empty), named `label` + column; key columns left out.
void Differ(const ReportObserver::Table& table, const std::string& label, const Row* before,
            const Row* after, std::vector<ColumnChange>& out) {
    if (before == after || (before && after && *before == *after))
        return; // rows kept alike are alike in every column
    const std::vector<Cell> b = before ? Decode(*before) : std::vector<Cell>();
    const std::vector<Cell> a = after ? Decode(*after) : std::vector<Cell>();
    static const Cell kNone;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (table.keyOf[c] >= 0)
            continue;
        const Cell& was = c < b.size() ? b[c] : kNone;
        const Cell& is = c < a.size() ? a[c] : kNone;
        if (was != is)
            out.push_back({label + table.columns[c], was.text, is.text});
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
        const std::string name = spec.name;
        table->owns = name == "KOD_RAZD" || name == "KOD_SBOR" || name == "KOD_PVR" || name == "KOD_TABL";
        for (const char* column : spec.key)
            table->keyScales.push_back(table->ScaleOf(column));
        m_tables[spec.name] = std::move(table);
    }
    // Room for the rows the patch may write, made at once rather than grown.
    size_t norms = 0;
    for (int c = 0; c < patch.Count(); ++c)
        norms += static_cast<size_t>(patch.GetItem(c)->Count());
    for (auto& [name, table] : m_tables)
        if (table->spec->byNorm)
            table->heads.reserve(norms);
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
        // By name: KOD_PVR and KOD_TABL (handed over or read here) are known
        // before N_PROC, SOST_PVR, TRUDOZ and ZARP, which ask whether the base
        // holds a norm or its entries.
        for (auto& [name, table] : m_tables) {
            if (!table->spec->byNorm)
                continue;
            // What the save handed over is not read again.
            const std::set<std::string>& given = m_given[name];
            // An entry's labour and wage rows are written only after its own
            // row: replacing the entry (its row deleted takes them along) or
            // adding it (then the base holds none under its key, or the insert
            // fails). Only norms whose entries the base holds have such rows
            // that the save changes.
            const bool entryRows = name == "TRUDOZ" || name == "ZARP";
            std::vector<std::string> missing;
            for (const std::string& c : wanted)
                if (!given.count(Normal(c)) && (!entryRows || EntriesHeld(c)))
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

bool ReportObserver::Held(const char* name, const std::string& code) const {
    const Table& table = *m_tables.at(name);
    for (const std::string& head : {Normal(code), text::Trim(code)}) {
        auto found = table.heads.find(head);
        if (found != table.heads.end())
            for (const Table::Entry& entry : found->second)
                if (!entry.second.before.empty())
                    return true;
    }
    return false;
}

bool ReportObserver::NormHeld(const std::string& code) const {
    return Held("KOD_PVR", code) || Held("KOD_TABL", code);
}

bool ReportObserver::EntriesHeld(const std::string& code) const {
    return Held("KOD_TABL", code);
}

void ReportObserver::ReadRows(Table& table, const std::vector<std::string>& wanted) {
    // The norms the base holds are read one select per code: the base finds a
    // code's rows by its index and compares one value per row. The others
    // (new norms, mostly without a row anywhere) are asked in lists of codes,
    // which cost little when they find nothing, but compare every row they
    // find with each code of the list. Both travel together where the
    // connection can. Codes that differ by blanks at the end find the same
    // rows: each is asked once.
    const std::string& name = table.spec->name;
    std::vector<std::string> single, listed;
    std::set<std::string> asked;
    for (const std::string& code : wanted)
        if (asked.insert(Normal(code)).second)
            (NormHeld(code) ? single : listed).push_back(code);
    const std::set<std::string>& given = m_given[name];
    std::string key;
    auto take = [&](db::SelectGroup& group) {
        group.Run();
        if (!table.described && !group.Columns().empty())
            table.SetColumns(group.Columns());
        for (size_t set = 0; set < group.Count(); ++set) {
            if (group.Failed(set))
                throw EDatabaseError(group.Error(set));
            for (size_t r = 0; r < group.RowCount(set); ++r) {
                const std::vector<db::FieldValue>& values = group.Row(set, r);
                Row row = table.Read(
                    [&](size_t c) {
                        return c < values.size() ? table.FromField(c, values[c]) : Value();
                    },
                    key);
                // Rows handed over by the save are kept from there.
                const std::string norm = Normal(key.substr(0, key.find(kSeparator)));
                if (!m_normsRead.count(norm) && !given.count(norm))
                    table.At(key).before.push_back(std::move(row));
            }
        }
    };
    if (!single.empty()) {
        const std::string sql = "select * from " + name + " where kod_pvr = :k";
        db::SelectGroup group(m_connection, sql);
        for (const std::string& code : single)
            group.Add().ByName("k", sql).SetString(code);
        take(group);
    }
    for (size_t start = 0; start < listed.size(); start += kKeysPerQuery) {
        // Lists of 1, 2, 4 ... 128 codes, the last code repeated to fill one:
        // a few statement texts per table, and no list much longer than asked.
        const size_t count = std::min(kKeysPerQuery, listed.size() - start);
        size_t length = 1;
        while (length < count)
            length *= 2;
        std::string sql = "select * from " + name + " where kod_pvr in (";
        for (size_t i = 0; i < length; ++i)
            sql += (i ? ", :k" : ":k") + std::to_string(i);
        sql += ")";
        db::SelectGroup group(m_connection, sql);
        db::ParamList& params = group.Add();
        for (size_t i = 0; i < length; ++i)
            params.ByName("k" + std::to_string(i), sql)
                .SetString(listed[start + std::min(i, count - 1)]);
        take(group);
    }
    if (!table.described)
        Describe(table);
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
    if (!table.described && !rows.empty() && rows.front()->columns)
        table.SetColumns(*rows.front()->columns);
    // Where each column of the table is in the rows (they come as the base
    // describes them, mostly all alike).
    std::vector<size_t> from;
    const std::vector<std::string>* mapped = nullptr;
    std::string key;
    for (const KnownRow* known : rows) {
        if (!known->columns)
            continue;
        if (mapped != known->columns.get()) {
            if (!mapped || *mapped != *known->columns) {
                from.assign(table.columns.size(), SIZE_MAX);
                for (size_t c = 0; c < known->columns->size(); ++c) {
                    auto column = table.Column((*known->columns)[c]);
                    if (column != table.index.end())
                        from[column->second] = c;
                }
            }
            mapped = known->columns.get();
        }
        Row row = table.Read(
            [&](size_t c) {
                return from[c] < known->values.size() ? table.FromField(c, known->values[from[c]])
                                                      : Value();
            },
            key);
        if (fresh.count(Normal(key.substr(0, key.find(kSeparator)))))
            table.At(key).before.push_back(std::move(row));
    }
    given.insert(fresh.begin(), fresh.end());
}

void ReportObserver::Heard(const TSerializeList& object) {
    if (m_current.object == &object)
        return;
    m_current.object = &object;
    if (dynamic_cast<const pvr*>(&object))
        m_current.norm = &object;
}

ReportObserver::Table* ReportObserver::Lookup(const std::string& name) {
    // Every name asked about is remembered as asked, tables the report does
    // not count included (nullptr).
    auto [at, added] = m_named.try_emplace(name, nullptr);
    if (added) {
        auto found = m_tables.find(text::UpperAscii(name));
        at->second = found == m_tables.end() ? nullptr : found->second.get();
    }
    return at->second;
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
    } else if (!table.spec->onlyAdded) {
        Describe(table);
        // The first answer for a key is the row before.
        const std::string text = m_blind ? std::string() : table.KeyOf(key);
        auto [head, rest] = Table::SplitHead(text);
        std::vector<Table::Entry>* entries = m_blind ? nullptr : table.Head(head, true);
        if (entries && !Table::In(*entries, rest)) {
            entries->emplace_back(std::string(rest), Table::Rows());
            if (row) {
                std::string rowKey;
                entries->back().second.before.push_back(table.Read(
                    [&](size_t c) {
                        const db::FieldValue* value = row->Get(table.columns[c]);
                        return value ? table.FromField(c, *value) : Value();
                    },
                    rowKey));
            }
        }
    }
    // The objects the report counts, by the row that is their own.
    if (!table.owns)
        return;
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
    std::string& key = m_key;
    table.KeyOf(write.key, key);
    if (write.kind == WriteKind::Delete) {
        Delete(table, key, write.key.columns.size() < table.spec->key.size());
        // The schema removes an entry's labour, wage and resource rows with it.
        if (table.spec->name == std::string("KOD_TABL")) {
            Delete(TableNamed("TRUDOZ"), key, false);
            Delete(TableNamed("ZARP"), key, false);
            Delete(TableNamed("CNIR"), key, true);
            Delete(TableNamed("MASH"), key, true);
        }
        return;
    }
    Table::Rows& rows = table.At(key);
    Table::Write(rows, !rows.changed && OwnerExisted(table, key));
    if (write.kind == WriteKind::Insert)
        table.Insert(rows, key, write);
    else
        table.Update(rows, key, write);
}

void ReportObserver::Delete(Table& table, const std::string& key, bool prefix) {
    if (prefix) {
        table.EachUnder(key, [&](const std::string& last, Table::Rows& rows) {
            Table::Clear(rows, !rows.changed && OwnerExisted(table, key + kSeparator + last));
        });
        return;
    }
    Table::Rows& rows = table.At(key);
    Table::Clear(rows, !rows.changed && OwnerExisted(table, key));
}

bool ReportObserver::OwnerExisted(const Table& table, const std::string& key) {
    // Rows of a norm: whether the base held the norm (its code as written or
    // trimmed); rows of an entry: the entry, or its norm. The rows before of
    // both are known once the norm was read, and never change: the last
    // answers are kept, as a norm's rows are written together.
    const std::string name = table.spec->name;
    if (!table.spec->byNorm || name == "KOD_PVR" || name == "KOD_TABL")
        return false;
    const size_t first = key.find(kSeparator);
    const std::string_view norm(key.data(), std::min(first, key.size()));
    if (!m_owner.normKnown || norm != m_owner.norm) {
        m_owner.normKnown = true;
        m_owner.norm = norm;
        m_owner.normHeld = Held("KOD_PVR", m_owner.norm);
    }
    if (m_owner.normHeld)
        return true;
    if (first == std::string::npos || name == "N_PROC" || name == "SOST_PVR")
        return false;
    const size_t second = key.find(kSeparator, first + 1);
    const std::string_view entry(key.data(), std::min(second, key.size()));
    if (!m_owner.entryKnown || entry != m_owner.entry) {
        m_owner.entryKnown = true;
        m_owner.entry = entry;
        const Table::Rows* rows = m_tables.at("KOD_TABL")->Find(m_owner.entry);
        m_owner.entryHeld = rows && !rows->before.empty();
    }
    return m_owner.entryHeld;
}

void ReportObserver::Finish(ChangeRecorder& recorder) const {
    if (m_blind)
        return;
    for (const Spec& spec : Specs()) {
        const Table& table = *m_tables.at(spec.name);
        Counted total;
        table.Each([&](const std::string&, const std::string&, const Table::Rows& rows) {
            if (!rows.changed)
                return;
            Counted c = Compare(rows);
            total.added += c.added;
            total.changed += c.changed;
            total.unchanged += c.unchanged;
            total.removed += c.removed;
        });
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
        if (!mine.changed || mine.AfterCount() == 0)
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
