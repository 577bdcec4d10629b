#include "workbench/ReportObserver.h"

#include "model/kod_pvr.h"
#include "model/n_proc.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/razdel.h"
#include "model/sbornik_pvr.h"
#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
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
std::string_view TrimEnd(std::string_view value) {
    while (!value.empty() && value.back() == ' ')
        value.remove_suffix(1);
    return value;
}

std::string Normal(const std::string& value) {
    return std::string(TrimEnd(value));
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
// digits after the point, written into `out` (room for 24 characters) without
// parsing a text; its length. REQUIRES: 0 <= scale <= min(digits, 18) (the
// scale of a column is at least the value's mostly: no digit is dropped).
size_t CanonicalScaledInto(char* out, int64_t integer, int scale) {
    const bool negative = integer < 0;
    uint64_t magnitude =
        negative ? uint64_t(0) - static_cast<uint64_t>(integer) : static_cast<uint64_t>(integer);
    char reversed[24]; // the digits, the last one first
    size_t count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    const size_t fraction = static_cast<size_t>(scale);
    while (count <= fraction)
        reversed[count++] = '0'; // one digit before the point at least
    size_t zeros = 0;            // zeros at the end of the fraction, which do not count
    while (zeros < fraction && reversed[zeros] == '0')
        ++zeros;
    size_t length = 0;
    if (negative) // the value is not zero
        out[length++] = '-';
    for (size_t i = count; i-- > fraction;)
        out[length++] = reversed[i];
    if (zeros < fraction) {
        out[length++] = '.';
        for (size_t i = fraction; i-- > zeros;)
            out[length++] = reversed[i];
    }
    return length;
}

bool ScaledFits(int scale, int digits) {
    return scale >= 0 && scale <= digits && scale <= 18;
}

} // namespace

// ---- The rows of one table ----

namespace {

// A column's value as the report keeps it, made without allocating where it
// can: NULL, a view of the value's own text (valid while the value lives), or
// a number's digits written into the cell itself.
class Canon {
public:
    bool Null() const { return m_kind == Kind::Null; }
    std::string_view View() const {
        switch (m_kind) {
        case Kind::Null:
            break;
        case Kind::View:
            return m_view;
        case Kind::Room:
            return std::string_view(m_room, m_length);
        case Kind::Owned:
            return m_owned;
        }
        return std::string_view();
    }
    void SetNull() { m_kind = Kind::Null; }
    void SetView(std::string_view text) {
        m_kind = Kind::View;
        m_view = text;
    }
    void SetOwned(std::string text) {
        m_kind = Kind::Owned;
        m_owned = std::move(text);
    }
    // integer x 10^-scale kept to `digits` digits after the point.
    void SetScaled(int64_t integer, int scale, int digits) {
        if (!ScaledFits(scale, digits)) {
            SetOwned(CanonicalNumber(db::ScaledToString(integer, std::max(scale, 0), '.'), digits));
            return;
        }
        m_kind = Kind::Room;
        m_length = CanonicalScaledInto(m_room, integer, scale);
    }
    // A number's text kept to `digits` digits after the point.
    void SetNumber(const std::string& text, int digits) {
        if (IsWholeNumber(text))
            SetView(text);
        else
            SetOwned(CanonicalNumber(text, digits));
    }

private:
    enum class Kind { Null, View, Room, Owned };
    Kind m_kind = Kind::Null;
    std::string_view m_view;
    char m_room[24];
    size_t m_length = 0;
    std::string m_owned;
};

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

// A variable-length prefix at `at` of `text`, moved past.
size_t ReadPrefix(std::string_view text, size_t& at) {
    size_t prefix = 0;
    int shift = 0;
    unsigned char byte = 0;
    do {
        byte = static_cast<unsigned char>(text[at++]);
        prefix |= static_cast<size_t>(byte & 0x7f) << shift;
        shift += 7;
    } while ((byte & 0x80) && at < text.size());
    return prefix;
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

std::vector<Cell> Decode(std::string_view row) {
    std::vector<Cell> cells;
    size_t at = 0;
    while (at < row.size()) {
        const size_t prefix = ReadPrefix(row, at);
        Cell cell;
        cell.kind = std::min<size_t>(prefix, kTextCell);
        if (prefix >= kTextCell) {
            cell.text = std::string(row.substr(at, prefix - kTextCell));
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
        parts.emplace_back(key.data() + start,
                           (end == std::string::npos ? key.size() : end) - start);
        if (end == std::string::npos)
            return;
        start = end + 1;
    }
}

// The rows of one key, each behind its length in one string: most keys have
// one row, and a short one costs no allocation of its own.
class RowList {
public:
    bool empty() const { return m_count == 0; }
    size_t size() const { return m_count; }
    void push_back(std::string_view row) {
        AppendPrefix(m_text, row.size());
        m_text.append(row);
        ++m_count;
    }
    void clear() {
        m_text.clear();
        m_count = 0;
    }
    // The first row; nullopt when there is none.
    std::optional<std::string_view> First() const {
        if (empty())
            return std::nullopt;
        size_t at = 0;
        const size_t length = ReadPrefix(m_text, at);
        return std::string_view(m_text).substr(at, length);
    }
    std::vector<std::string_view> Rows() const {
        std::vector<std::string_view> rows;
        rows.reserve(m_count);
        for (size_t at = 0; at < m_text.size();) {
            const size_t length = ReadPrefix(m_text, at);
            rows.push_back(std::string_view(m_text).substr(at, length));
            at += length;
        }
        return rows;
    }

private:
    std::string m_text;
    uint32_t m_count = 0;
};

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
        std::vector<Canon> cells;
        Canon cell;
        Row row;
        std::vector<std::string_view> parts;
        std::vector<const db::BoundValue*> bound;
    } scratch;
    std::vector<int> keyScales; // per key column: digits after the point of a number, -1: text

    struct Rows {
        RowList before;
        RowList after;        // valid when changed
        bool changed = false; // a statement wrote the key
        const RowList& After() const { return changed ? after : before; }
    };

    // The rows of a table by the first key column (the norm's code of the rows
    // of a norm; the whole key of a one-column key), and under it by the rest
    // of the key text, in the order first written. A norm's rows are written
    // together: the norm met last is remembered, and its few rows searched
    // in turn, so that a row costs neither a node nor a hash of its own.
    using Entry = std::pair<std::string, Rows>;
    struct Head {
        std::vector<Entry> entries;
        // Under a norm the base held nothing of (not the norm, no entry of it,
        // no row of this table under its code), every row written is new
        // whatever it holds, and nothing lists it: such a head keeps no
        // values. The rows of the objects (a norm's, its entries') are kept
        // as empty rows, by key; of the other tables only the rest of the key
        // of each row written is kept.
        bool fresh = false;
        RowList written;
    };
    std::unordered_map<std::string, Head> heads;
    std::string lastName;
    Head* last = nullptr;

    static std::pair<std::string_view, std::string_view> SplitHead(const std::string& key) {
        const size_t at = key.find(kSeparator);
        if (at == std::string::npos)
            return {key, std::string_view()};
        return {std::string_view(key).substr(0, at), std::string_view(key).substr(at + 1)};
    }
    // The head of that name; made when `make` (then `made` tells so).
    Head* HeadNamed(std::string_view name, bool make, bool* made = nullptr) {
        if (last && name == lastName)
            return last;
        std::string text(name);
        auto found = heads.find(text);
        if (found == heads.end()) {
            if (!make)
                return nullptr;
            found = heads.emplace(text, Head()).first;
            if (made)
                *made = true;
        }
        lastName = std::move(text);
        return last = &found->second;
    }
    // The rows of `rest` among a head's entries (the latest written first).
    template <typename Entries>
    static auto In(Entries& entries, std::string_view rest) -> decltype(&entries.front().second) {
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
            if (entry->first == rest)
                return &entry->second;
        return nullptr;
    }
    // The rows of `rest` under `head`, made empty when it has none yet.
    static Rows& At(Head& head, std::string_view rest) {
        if (Rows* rows = In(head.entries, rest))
            return *rows;
        head.entries.emplace_back(std::string(rest), Rows());
        return head.entries.back().second;
    }
    Rows& At(const std::string& key) {
        auto [name, rest] = SplitHead(key);
        return At(*HeadNamed(name, true), rest);
    }
    const Rows* Find(const std::string& key) const {
        auto [name, rest] = SplitHead(key);
        auto found = heads.find(std::string(name));
        return found == heads.end() ? nullptr : In(found->second.entries, rest);
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

    // The value of column `column` as kept, into `out` (a view of `value`'s
    // text at most: valid while `value` lives).
    void FromField(size_t column, const db::FieldValue& value, Canon& out) {
        switch (value.kind) {
        case db::FieldKind::Null:
            break;
        case db::FieldKind::String:
            if (scales[column] < 0)
                out.SetView(value.text);
            else
                out.SetNumber(value.text, scales[column]);
            return;
        case db::FieldKind::Integer:
            out.SetScaled(value.integer, 0, 0);
            return;
        case db::FieldKind::Scaled:
            if (scales[column] < 0)
                scales[column] = value.scale; // a number the schema did not name
            out.SetScaled(value.integer, value.scale, scales[column]);
            return;
        case db::FieldKind::Double:
            out.SetOwned(
                CanonicalNumber(value.AsString(), scales[column] < 0 ? 15 : scales[column]));
            return;
        }
        out.SetNull();
    }

    void FromBound(size_t column, const db::BoundValue& value, Canon& out) const {
        const int scale = scales[column];
        switch (value.kind) {
        case db::ParamKind::Unbound:
        case db::ParamKind::Null:
            break;
        case db::ParamKind::String:
            if (scale < 0)
                out.SetView(value.text);
            else
                out.SetNumber(value.text, scale);
            return;
        case db::ParamKind::Integer:
            out.SetScaled(value.integer, 0, scale < 0 ? 15 : scale);
            return;
        case db::ParamKind::Fixed4:
            out.SetScaled(value.integer, 4, scale < 0 ? 15 : scale);
            return;
        case db::ParamKind::Decimal:
            out.SetOwned(CanonicalNumber(value.ToText(), scale < 0 ? 15 : scale));
            return;
        }
        out.SetNull();
    }

    // The key's part that column `c` holds (empty for a column not in the key).
    std::string_view PartOf(size_t c, const std::vector<std::string_view>& parts) const {
        return keyOf[c] >= 0 && static_cast<size_t>(keyOf[c]) < parts.size()
                   ? parts[static_cast<size_t>(keyOf[c])]
                   : std::string_view();
    }

    // Appends the value of column `c` to `row`: a key column that holds the
    // key's part `part` as the key keeps it is written as such.
    void AppendColumn(Row& row, size_t c, const Canon& value, std::string_view part) const {
        if (value.Null()) {
            AppendPrefix(row, kNullCell);
            return;
        }
        const std::string_view text = value.View();
        if (keyOf[c] >= 0 && text == part) {
            AppendPrefix(row, kKeyCell);
            return;
        }
        AppendPrefix(row, text.size() + kTextCell);
        row.append(text);
    }

    // A row read from the base: `fill`(column, cell) gives each column's value.
    // Its key text goes to `key`. The row is valid until the next one.
    template <typename F> const Row& Read(F&& fill, std::string& key) {
        std::vector<Canon>& cells = scratch.cells;
        cells.resize(columns.size());
        for (size_t c = 0; c < columns.size(); ++c)
            fill(c, cells[c]);
        key.clear();
        for (size_t k = 0; k < keyColumns.size(); ++k) {
            if (k)
                key += kSeparator;
            if (keyColumns[k] < cells.size() && !cells[keyColumns[k]].Null())
                key += TrimEnd(cells[keyColumns[k]].View());
        }
        std::vector<std::string_view>& parts = scratch.parts;
        KeyParts(key, parts);
        Row& row = scratch.row;
        row.clear();
        for (size_t c = 0; c < columns.size(); ++c)
            AppendColumn(row, c, cells[c], PartOf(c, parts));
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
        auto [name, rest] = SplitHead(prefix);
        auto found = self.heads.find(std::string(name));
        std::string start;
        if (found == self.heads.end() || !self.Under(prefix, start))
            return;
        std::vector<decltype(&found->second.entries.front())> under;
        for (auto& entry : found->second.entries)
            if (entry.first.compare(0, start.size(), start) == 0)
                under.push_back(&entry);
        std::sort(under.begin(), under.end(),
                  [](const Entry* a, const Entry* b) { return a->first < b->first; });
        for (auto* entry : under)
            action(std::string_view(entry->first).substr(start.size()), entry->second);
    }
    // Whether `prefix` names some key columns of the table, not all; then the
    // keys under it are those whose rest after their head begins with `start`.
    bool Under(const std::string& prefix, std::string& start) const {
        const size_t columns =
            static_cast<size_t>(std::count(prefix.begin(), prefix.end(), kSeparator)) + 1;
        if (spec->key.size() < 2 || columns >= spec->key.size())
            return false;
        const std::string_view rest = SplitHead(prefix).second;
        start = columns == 1 ? std::string() : std::string(rest) + kSeparator;
        return true;
    }

    // A key about to be written: its first write starts its rows after from
    // its rows before.
    static void Write(Rows& rows) {
        if (!rows.changed) {
            rows.after = rows.before;
            rows.changed = true;
        }
    }
    // The same for a delete: the rows after are none, whatever they were.
    static void Clear(Rows& rows) {
        rows.changed = true;
        rows.after.clear();
    }

    // A fresh head: a row written under `rest`; the rows of `rest` deleted,
    // or with `prefix` those of the keys under the prefix `key`.
    static void Count(Head& head, std::string_view rest) { head.written.push_back(rest); }
    void Forget(Head& head, const std::string& key, bool prefix) const {
        std::string start;
        if (prefix && !Under(key, start))
            return;
        const std::string_view rest = SplitHead(key).second;
        RowList kept;
        for (std::string_view one : head.written.Rows())
            if (!(prefix ? one.substr(0, start.size()) == start : one == rest))
                kept.push_back(one);
        head.written = std::move(kept);
    }

    // The column of each value a statement binds (SIZE_MAX: none), by its
    // text: a save writes a few texts many times. The names of a text's
    // values are the same strings each time (RowWrite): the first one's
    // address stands for the text.
    std::unordered_map<const std::string*, std::vector<size_t>> slots;
    const std::vector<size_t>& SlotsOf(const Values& values) {
        static const std::vector<size_t> kNone;
        if (values.empty())
            return kNone;
        auto [at, added] = slots.try_emplace(values.front().first);
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
        const Values& values = write.values();
        std::vector<const db::BoundValue*>& bound = scratch.bound;
        bound.assign(columns.size(), nullptr);
        const std::vector<size_t>& slot = SlotsOf(values);
        for (size_t v = 0; v < values.size(); ++v)
            if (slot[v] < bound.size())
                bound[slot[v]] = values[v].second;
        std::vector<std::string_view>& parts = scratch.parts;
        KeyParts(key, parts);
        Row& row = scratch.row;
        row.clear();
        Canon& cell = scratch.cell;
        for (size_t c = 0; c < columns.size(); ++c) {
            if (bound[c])
                FromBound(c, *bound[c], cell);
            else
                cell.SetNull();
            AppendColumn(row, c, cell, PartOf(c, parts));
        }
        rows.after.push_back(row);
    }

    void Update(Rows& rows, const std::string& key, const RowWrite& write) {
        if (rows.after.empty())
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
            Canon& given = scratch.cell;
            FromBound(c, *value, given);
            Row cell;
            AppendColumn(cell, c, given, PartOf(c, parts));
            set.emplace_back(c, std::move(cell));
        }
        RowList updated;
        for (std::string_view before : rows.after.Rows()) {
            std::vector<Cell> current = Decode(before);
            current.resize(columns.size());
            Row row;
            for (size_t c = 0; c < current.size(); ++c) {
                auto given = std::find_if(set.begin(), set.end(),
                                          [&](const auto& s) { return s.first == c; });
                if (given != set.end())
                    row += given->second;
                else
                    Append(row, current[c]);
            }
            updated.push_back(row);
        }
        rows.after = std::move(updated);
    }
};

namespace {

struct Counted {
    int64_t added = 0, changed = 0, unchanged = 0, removed = 0;
};

// Rows of one key before and after: equal rows are unchanged, the others are
// paired as changed, and what is left over is new or removed.
Counted Compare(const ReportObserver::Table::Rows& rows) {
    const RowList& beforeRows = rows.before;
    const RowList& afterRows = rows.after;
    Counted c;
    if (beforeRows.empty()) {
        c.added = static_cast<int64_t>(rows.After().size());
        return c;
    }
    if (beforeRows.size() == 1 && afterRows.size() <= 1) {
        if (afterRows.empty())
            c.removed = 1;
        else if (beforeRows.First() == afterRows.First())
            c.unchanged = 1;
        else
            c.changed = 1;
        return c;
    }
    std::vector<std::string_view> before = beforeRows.Rows(), after = afterRows.Rows();
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    std::vector<std::string_view> same;
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
template <typename Label>
void Differ(const ReportObserver::Table& table, Label&& labelOf,
            std::optional<std::string_view> before, std::optional<std::string_view> after,
            std::vector<ColumnChange>& out) {
    if (before == after)
        return; // rows kept alike are alike in every column
    const std::string label = labelOf();
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

// The last key column's text of a key (a line's resource, a rate's place).
std::string LastPart(std::string_view key) {
    const size_t at = key.rfind(kSeparator);
    return std::string(at == std::string_view::npos ? key : key.substr(at + 1));
}

// The select of the rows of `table` whose norm code is one of the parameters
// :k0 ... :k<length - 1> (a NULL one finds nothing): lists of 1, 2, 4 ... 128
// codes give a table a few statement texts. On Firebird the codes are a
// derived table joined to the table: the base finds each code's rows by its
// index and compares one value per row, where a list `in (...)` would compare
// every row it finds with each code of the list. The join is a left one, so
// that the codes are read first whatever the index statistics say; a code
// that finds nothing gives no row.
std::string ListSelect(const std::string& table, size_t length, bool joined) {
    std::string sql;
    if (joined) {
        sql = "select t.* from (";
        for (size_t i = 0; i < length; ++i)
            sql += (i ? " union all select cast(:k" : "select cast(:k") + std::to_string(i) +
                   " as type of column " + table + ".KOD_PVR) k from rdb$database";
        sql += ") c left join " + table + " t on t.kod_pvr = c.k where t.kod_pvr is not null";
    } else {
        sql = "select * from " + table + " where kod_pvr in (";
        for (size_t i = 0; i < length; ++i)
            sql += (i ? ", :k" : ":k") + std::to_string(i);
        sql += ")";
    }
    return sql;
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
        table->owns =
            name == "KOD_RAZD" || name == "KOD_SBOR" || name == "KOD_PVR" || name == "KOD_TABL";
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
            const Codes& given = m_given[name];
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
            for (const Table::Entry& entry : found->second.entries)
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
    // Codes that differ by blanks at the end find the same rows: each is
    // asked once.
    const std::string& name = table.spec->name;
    std::vector<std::string> codes;
    std::set<std::string> asked;
    for (const std::string& code : wanted)
        if (asked.insert(Normal(code)).second)
            codes.push_back(code);
    const Codes& given = m_given[name];
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
                const Row& row = table.Read(
                    [&](size_t c, Canon& cell) {
                        if (c < values.size())
                            table.FromField(c, values[c], cell);
                        else
                            cell.SetNull();
                    },
                    key);
                // Rows handed over by the save are kept from there.
                const std::string_view norm = Table::SplitHead(key).first;
                if (!m_normsRead.count(norm) && !given.count(norm))
                    table.At(key).before.push_back(row);
            }
        }
    };
    const bool joined = db::IsFirebird(m_connection);
    for (size_t start = 0; start < codes.size(); start += kKeysPerQuery) {
        const size_t count = std::min(kKeysPerQuery, codes.size() - start);
        size_t length = 1;
        while (length < count)
            length *= 2;
        const std::string sql = ListSelect(name, length, joined);
        db::SelectGroup group(m_connection, sql);
        db::ParamList& params = group.Add();
        for (size_t i = 0; i < length; ++i) {
            db::Param& param = params.ByName("k" + std::to_string(i), sql);
            if (i < count)
                param.SetString(codes[start + i]);
            else
                param.SetNull();
        }
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
    Codes fresh;
    Codes& given = m_given[table.spec->name];
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
    std::string key, lastHead;
    bool lastFresh = false;
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
        const Row& row = table.Read(
            [&](size_t c, Canon& cell) {
                if (from[c] < known->values.size())
                    table.FromField(c, known->values[from[c]], cell);
                else
                    cell.SetNull();
            },
            key);
        // The save's rows come in the order of their keys: a norm's together.
        const std::string_view head = Table::SplitHead(key).first;
        if (head != lastHead) {
            lastHead = head;
            lastFresh = fresh.count(head) > 0;
        }
        if (lastFresh)
            table.At(key).before.push_back(row);
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
    // not count included (nullptr): a save names a dozen tables, each many
    // times, and a short list is searched fastest.
    for (const auto& [asked, table] : m_named)
        if (asked == name)
            return table;
    auto found = m_tables.find(text::UpperAscii(name));
    m_named.emplace_back(name, found == m_tables.end() ? nullptr : found->second.get());
    return m_named.back().second;
}

bool ReportObserver::NormRead(const std::string& code) {
    // The codes of one norm come as written and trimmed, in turn.
    const std::string_view norm = TrimEnd(code);
    if (norm == m_lastNormRead)
        return true;
    if (!m_normsRead.count(norm))
        return false;
    m_lastNormRead = norm;
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
        std::vector<Table::Entry>* entries =
            m_blind ? nullptr : &table.HeadNamed(head, true)->entries;
        if (entries && !Table::In(*entries, rest)) {
            entries->emplace_back(std::string(rest), Table::Rows());
            if (row) {
                std::string rowKey;
                entries->back().second.before.push_back(table.Read(
                    [&](size_t c, Canon& cell) {
                        if (const db::FieldValue* value = row->Get(table.columns[c]))
                            table.FromField(c, *value, cell);
                        else
                            cell.SetNull();
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
    if (m_objectKeys.insert(static_cast<char>('0' + kind) + text).second)
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
    auto [name, rest] = Table::SplitHead(key);
    const bool fresh = Fresh(table, name);
    Table::Head& head = *table.HeadNamed(name, true);
    if (fresh && !table.owns) {
        if (write.kind == WriteKind::Insert)
            Table::Count(head, rest);
        return; // an update changes nothing that is counted
    }
    Table::Rows& rows = Table::At(head, rest);
    Table::Write(rows);
    if (write.kind == WriteKind::Insert) {
        if (fresh)
            rows.after.push_back(
                std::string_view()); // a new object's row: its values are not listed
        else
            table.Insert(rows, key, write);
    } else if (!fresh) {
        table.Update(rows, key, write);
    }
}

void ReportObserver::Delete(Table& table, const std::string& key, bool prefix) {
    const std::string_view name = Table::SplitHead(key).first;
    const bool fresh = Fresh(table, name);
    Table::Head& head = *table.HeadNamed(name, true);
    if (fresh && !table.owns)
        table.Forget(head, key, prefix);
    else if (prefix)
        table.EachUnder(key, [&](std::string_view, Table::Rows& rows) { Table::Clear(rows); });
    else
        Table::Clear(Table::At(head, Table::SplitHead(key).second));
}

bool ReportObserver::Fresh(Table& table, std::string_view name) {
    bool made = false;
    Table::Head& head = *table.HeadNamed(name, true, &made);
    // A head first met by a write has no rows before: it is fresh when the
    // base held neither the norm nor an entry of it.
    if (made)
        head.fresh = table.spec->byNorm && !NormHeld(std::string(name));
    return head.fresh;
}

void ReportObserver::Finish(ChangeRecorder& recorder) const {
    if (m_blind)
        return;
    for (const Spec& spec : Specs()) {
        const Table& table = *m_tables.at(spec.name);
        Counted total;
        for (const auto& [name, head] : table.heads) {
            total.added += static_cast<int64_t>(head.written.size());
            for (const Table::Entry& entry : head.entries) {
                if (!entry.second.changed)
                    continue;
                Counted c = Compare(entry.second);
                total.added += c.added;
                total.changed += c.changed;
                total.unchanged += c.unchanged;
                total.removed += c.removed;
            }
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
    auto rowsOf = [&](const Table& table, const std::string& key) -> const Table::Rows& {
        const Table::Rows* found = table.Find(key);
        return found ? *found : kNone;
    };
    const Table& sections = *m_tables.at("KOD_RAZD");
    const Table& collections = *m_tables.at("KOD_SBOR");
    const Table& norms = *m_tables.at("KOD_PVR");
    const Table& entries = *m_tables.at("KOD_TABL");
    for (const Object& object : m_objects) {
        const ObjectKind kind = static_cast<ObjectKind>(object.kind);
        const Table& own = kind == ObjectKind::Section      ? sections
                           : kind == ObjectKind::Collection ? collections
                           : kind == ObjectKind::Norm       ? norms
                                                            : entries;
        const Table::Rows& mine = rowsOf(own, object.key);
        if (!mine.changed || mine.after.empty())
            continue; // found, never written (no parent), or gone
        if (mine.before.empty()) {
            recorder.Object(kind, object.code, RowChange::New);
            continue;
        }
        std::vector<ColumnChange> columns;
        Differ(
            own, [] { return std::string(); }, mine.before.First(), mine.after.First(), columns);
        // The rows that belong to a norm or an entry besides its own. The
        // labels are made only for rows that differ.
        auto single = [&](const char* name) {
            const Table& table = *m_tables.at(name);
            const Table::Rows& rows = rowsOf(table, object.key);
            if (rows.changed)
                Differ(
                    table, [&] { return std::string(name) + "."; }, rows.before.First(),
                    rows.After().First(), columns);
        };
        auto several = [&](const char* name, const std::string& prefix) {
            const Table& table = *m_tables.at(name);
            table.EachUnder(prefix, [&](std::string_view key, const Table::Rows& rows) {
                if (rows.changed)
                    Differ(
                        table, [&] { return std::string(name) + "[" + LastPart(key) + "]."; },
                        rows.before.First(), rows.After().First(), columns);
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
