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
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"
#include "platform/text/Strings.h"
#include "workbench/ChangeReport.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

const char kSeparator = '\x1f';
constexpr size_t kKeysPerQuery = 128;
constexpr int64_t kLongTextRead = 1000; // characters of a long text read at first

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
    // A text column far wider than its values mostly are (see ReadRows).
    const char* longText = nullptr;
};

const std::vector<Spec>& Specs() {
    static const std::vector<Spec> specs = {
        {"KOD_RAZD", {"KOD_RAZD"}, false, {{"KOD_RAZD", 0}, {"KOEF_NAKL", 5}}},
        {"KOD_SBOR", {"KOD_SB"}, false, {{"KOD_SB", 0}}},
        {"KOD_PVR",
         {"KOD_PVR"},
         true,
         {{"KOD_RAZD", 0}, {"NOM_BAZ", 0}, {"KOD_SB", 0}, {"KOL_STB", 0}, {"PRIZ_FOR_KOR", 0}}},
        {"SOST_PVR", {"KOD_PVR"}, true, {}, false, "SOSTAV_PVR"},
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
    // An exact decimal kept to `digits` digits after the point: one that fits
    // 18 digits and needs no rounding is written from its digits, as a scaled
    // integer, without a text to parse.
    void SetDecimal(const text::Decimal& number, int digits) {
        const std::string& all = number.Digits();
        if (all.size() > 18 || !ScaledFits(number.Scale(), digits)) {
            SetOwned(CanonicalNumber(number.ToString(), digits));
            return;
        }
        int64_t integer = 0;
        for (char digit : all)
            integer = integer * 10 + (digit - '0');
        SetScaled(number.Negative() ? -integer : integer, number.Scale(), digits);
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

// The bytes of a prefix: seven bits each, the high bit set on all but the
// last.
size_t PrefixSize(size_t prefix) {
    size_t size = 1;
    while (prefix >>= 7)
        ++size;
    return size;
}

void WritePrefix(char*& out, size_t prefix) {
    do {
        const unsigned char low = static_cast<unsigned char>(prefix & 0x7f);
        prefix >>= 7;
        *out++ = static_cast<char>(prefix ? low | 0x80 : low);
    } while (prefix);
}

void AppendPrefix(Row& row, size_t prefix) {
    if (prefix < 0x80) { // most: a cell's kind or a short text's length
        row += static_cast<char>(prefix);
        return;
    }
    char bytes[10];
    char* end = bytes;
    WritePrefix(end, prefix);
    row.append(bytes, static_cast<size_t>(end - bytes));
}

// A prefix at `at`, moved past. The text is one this file wrote.
size_t TakePrefix(const char*& at) {
    size_t prefix = 0;
    int shift = 0;
    unsigned char byte = 0;
    do {
        byte = static_cast<unsigned char>(*at++);
        prefix |= static_cast<size_t>(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    return prefix;
}

size_t ReadPrefix(std::string_view text, size_t& at) {
    const char* from = text.data() + at;
    const size_t prefix = TakePrefix(from);
    at = static_cast<size_t>(from - text.data());
    return prefix;
}

// One column of a row as kept: NULL, the key's text, or a text.
struct Cell {
    size_t kind = kNullCell;
    std::string text;
    bool operator!=(const Cell& other) const { return kind != other.kind || text != other.text; }
};

// The bytes of the cell at `at` of `row` (its prefix and its text), moved
// past.
std::string_view NextCell(std::string_view row, size_t& at) {
    const size_t start = at;
    const size_t prefix = ReadPrefix(row, at);
    if (prefix >= kTextCell)
        at += prefix - kTextCell;
    return row.substr(start, at - start);
}

std::vector<Cell> Decode(std::string_view row) {
    std::vector<Cell> cells;
    for (size_t at = 0; at < row.size();) {
        const std::string_view bytes = NextCell(row, at);
        size_t from = 0;
        const size_t prefix = ReadPrefix(bytes, from);
        Cell cell;
        cell.kind = std::min<size_t>(prefix, kTextCell);
        if (prefix >= kTextCell)
            cell.text = std::string(bytes.substr(from));
        cells.push_back(std::move(cell));
    }
    return cells;
}

// A question asked of a norm's code, answered once while the same code
// comes again: the rows of a norm mostly come together.
class LastNorm {
public:
    template <typename F> bool Answer(std::string_view norm, F&& ask) {
        if (!m_code || norm != *m_code) {
            m_code = std::string(norm);
            m_answer = ask(norm);
        }
        return m_answer;
    }

private:
    std::optional<std::string> m_code; // none before the first
    bool m_answer = false;
};

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

    // What the save did under one head (the first key column's value: a
    // norm's code, or the whole key of a one-column key), as a log of records
    // in the order heard: the rows the base held (read or found), and each
    // statement written, by the rest of its key. Appending costs no lookup of
    // the key; the rows as they were and as they are left are made from the
    // log once, at the end (Replay). A norm's rows are written together: the
    // head met last is remembered. The records of all heads of the table are
    // kept in its blocks (Blocks), each head's linked from its first.
    struct Head {
        uint32_t number = 0;         // in the order the table's heads were made
        const char* first = nullptr; // the first record, or none
        char* last = nullptr;        // the last record: its link is filled in
        uint32_t befores = 0;        // rows the base held
        // Under a norm the base held nothing of (not the norm, no entry of it,
        // no row of this table under its code), every row written is new
        // whatever it holds, and nothing lists it: its values are not kept.
        bool fresh = false;
        // A one-column key's head: the base was asked about it (the first
        // answer is the row before).
        bool found = false;
    };
    // Room for records that never moves: blocks growing from 4 KiB to 1 MiB,
    // a record in one block. A log of its own per head would grow by copying
    // itself and cost an allocation every time it outgrew its room.
    class Blocks {
    public:
        char* Take(size_t size) {
            if (size > m_left) {
                m_size = std::min<size_t>(m_size ? m_size * 2 : 4096, size_t(1) << 20);
                const size_t room = std::max(m_size, size);
                m_blocks.emplace_back(new char[room]); // not zeroed: written before read
                m_free = m_blocks.back().get();
                m_left = room;
            }
            char* taken = m_free;
            m_free += size;
            m_left -= size;
            return taken;
        }

    private:
        std::vector<std::unique_ptr<char[]>> m_blocks;
        char* m_free = nullptr;
        size_t m_left = 0;
        size_t m_size = 0;
    };
    Blocks blocks;
    enum Op : char {
        kBefore = 'B',     // a row the base held: the rest of its key, the row
        kInsert = 'I',     // the rest of the key, the row
        kUpdate = 'U',     // the rest of the key, the columns set (Update)
        kDelete = 'D',     // the rest of the key
        kDeleteUnder = 'P' // the start of the rest of the keys deleted
    };
    std::unordered_map<std::string, Head> heads;
    std::string lastName;
    Head* last = nullptr;

    static std::pair<std::string_view, std::string_view> SplitHead(std::string_view key) {
        const size_t at = key.find(kSeparator);
        if (at == std::string::npos)
            return {key, std::string_view()};
        return {key.substr(0, at), key.substr(at + 1)};
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
            found->second.number = static_cast<uint32_t>(heads.size() - 1);
            if (made)
                *made = true;
        }
        lastName = std::move(text);
        return last = &found->second;
    }
    // The head of `name` a statement writes to, made when new. A head first
    // met by a write has no rows before: it is fresh when `held`(name) says
    // the base held neither the norm nor an entry of it.
    template <typename Held> Head& Written(std::string_view name, Held&& held) {
        bool made = false;
        Head& head = *HeadNamed(name, true, &made);
        if (made)
            head.fresh = spec->byNorm && !held(name);
        return head;
    }
    const Head* HeadNamed(std::string_view name) const {
        auto found = heads.find(std::string(name));
        return found == heads.end() ? nullptr : &found->second;
    }

    // Whether a record of `op` carries a payload: a row, or the columns an
    // update sets.
    static bool Carries(Op op) { return op == kBefore || op == kInsert || op == kUpdate; }
    // A record: the link to the head's next record (none yet), the op, the
    // rest of the key and the payload if the op carries one, each after its
    // length.
    void Record(Head& head, Op op, std::string_view rest, std::string_view payload = {}) {
        const bool carries = Carries(op);
        const size_t size = sizeof(const char*) + 1 + PrefixSize(rest.size()) + rest.size() +
                            (carries ? PrefixSize(payload.size()) + payload.size() : 0);
        char* record = blocks.Take(size);
        const char* none = nullptr;
        std::memcpy(record, &none, sizeof none);
        char* out = record + sizeof none;
        *out++ = static_cast<char>(op);
        WritePrefix(out, rest.size());
        out = std::copy(rest.begin(), rest.end(), out);
        if (carries) {
            WritePrefix(out, payload.size());
            std::copy(payload.begin(), payload.end(), out);
        }
        if (head.last)
            std::memcpy(head.last, &record, sizeof record);
        else
            head.first = record;
        head.last = record;
    }
    void Before(Head& head, std::string_view rest, std::string_view row) {
        Record(head, kBefore, rest, row);
        ++head.befores;
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
            out.SetDecimal(value.decimal, scale < 0 ? 15 : scale);
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

    // A row the statement inserts under `rest` of `key`, logged.
    void Insert(Head& head, std::string_view rest, const std::string& key, const RowWrite& write) {
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
        Record(head, kInsert, rest, row);
    }

    // The columns the statement sets in the rows of `rest` of `key`, logged:
    // the number of columns, then each column's place and its value as a row
    // keeps it.
    void Update(Head& head, std::string_view rest, const std::string& key, const RowWrite& write) {
        const Values& values = write.values();
        std::vector<std::string_view>& parts = scratch.parts;
        KeyParts(key, parts);
        Row& set = scratch.row;
        set.clear();
        size_t count = 0;
        Row cells;
        for (const auto& [column, value] : values) {
            auto found = Column(*column);
            if (found == index.end())
                continue;
            const size_t c = found->second;
            Canon& given = scratch.cell;
            FromBound(c, *value, given);
            AppendPrefix(cells, c);
            AppendColumn(cells, c, given, PartOf(c, parts));
            ++count;
        }
        AppendPrefix(set, count);
        set += cells;
        Record(head, kUpdate, rest, set);
    }

    // A row as an update (Update's record) leaves it: the columns it sets
    // take its values (the first one given for a column), the others keep
    // theirs.
    std::string Updated(std::string_view row, std::string_view set) const {
        size_t at = 0;
        const size_t count = ReadPrefix(set, at);
        std::vector<std::pair<size_t, std::string_view>> given; // column, its cell
        for (size_t i = 0; i < count; ++i) {
            const size_t c = ReadPrefix(set, at);
            given.emplace_back(c, NextCell(set, at));
        }
        Row updated;
        size_t from = 0;
        for (size_t c = 0; c < columns.size(); ++c) {
            // The row's own cell (NULL past its end) is kept unless given.
            const std::string_view own =
                from < row.size() ? NextCell(row, from) : std::string_view();
            auto one = std::find_if(given.begin(), given.end(),
                                    [&](const auto& g) { return g.first == c; });
            if (one != given.end())
                updated += one->second;
            else if (own.empty())
                AppendPrefix(updated, kNullCell);
            else
                updated += own;
        }
        return updated;
    }
};

namespace {

// The rows of one head as they were and as the save leaves them, made from
// its log: its keys in the order of their text, each with its rows before and
// after (its first write starts the rows after from the rows before; a delete
// leaves none). Reused from head to head.
class Replay {
public:
    using Table = ReportObserver::Table;
    struct Key {
        std::string_view rest;
        uint32_t before = 0, befores = 0; // the first of its rows before, their count
        uint32_t after = 0, afters = 0;   // valid when changed
        bool changed = false;             // a statement wrote the key
        bool seen = false;                // heard of so far (a delete under a prefix)
    };

    void Run(const Table& table, const Table::Head* head) {
        m_head = head;
        m_keys.clear();
        m_before.clear();
        m_after.clear();
        m_owned.clear();
        m_records.clear();
        if (!head)
            return;
        const char* next = head->first;
        while (next) {
            const char* at = next;
            std::memcpy(&next, at, sizeof next);
            at += sizeof next;
            Record record;
            record.op = static_cast<Table::Op>(*at++);
            size_t length = TakePrefix(at);
            record.rest = std::string_view(at, length);
            at += length;
            if (Table::Carries(record.op)) {
                length = TakePrefix(at);
                record.payload = std::string_view(at, length);
            }
            m_records.push_back(record);
            if (record.op != Table::kDeleteUnder)
                m_keys.push_back({record.rest});
        }
        // The keys mostly come as two runs in order (the rows read, then
        // those written): merged, not sorted anew.
        const auto less = [](const Key& a, const Key& b) { return a.rest < b.rest; };
        const auto run = std::is_sorted_until(m_keys.begin(), m_keys.end(), less);
        if (run != m_keys.end()) {
            if (std::is_sorted(run, m_keys.end(), less)) {
                m_merged.clear();
                std::merge(m_keys.begin(), run, run, m_keys.end(), std::back_inserter(m_merged),
                           less);
                m_keys.swap(m_merged);
            } else {
                std::sort(m_keys.begin(), m_keys.end(), less);
            }
        }
        m_keys.erase(std::unique(m_keys.begin(), m_keys.end(),
                                 [](const Key& a, const Key& b) { return a.rest == b.rest; }),
                     m_keys.end());
        for (const Record& record : m_records) {
            if (record.op == Table::kDeleteUnder) {
                for (auto key = Lower(m_keys, record.rest); Under(key, record.rest); ++key)
                    if (key->seen) {
                        key->changed = true;
                        key->afters = 0;
                    }
                continue;
            }
            Key& key = *Lower(m_keys, record.rest);
            key.seen = true;
            switch (record.op) {
            case Table::kBefore:
                Push(m_before, key.before, key.befores, record.payload);
                break;
            case Table::kInsert:
                Write(key);
                Push(m_after, key.after, key.afters, record.payload);
                break;
            case Table::kUpdate:
                Write(key);
                for (uint32_t i = 0; i < key.afters; ++i) {
                    std::string_view& row = m_after[key.after + i];
                    row = m_owned.emplace_back(table.Updated(row, record.payload));
                }
                break;
            case Table::kDelete:
                key.changed = true;
                key.afters = 0;
                break;
            case Table::kDeleteUnder:
                break;
            }
        }
    }

    const Table::Head* Head() const { return m_head; }
    const std::vector<Key>& Keys() const { return m_keys; }
    const Key* Find(std::string_view rest) const {
        auto key = Lower(m_keys, rest);
        return key != m_keys.end() && key->rest == rest ? &*key : nullptr;
    }
    // The keys whose rest begins with `start`, in order: `action`(the key).
    template <typename F> void EachUnder(std::string_view start, F&& action) const {
        for (auto key = Lower(m_keys, start); Under(key, start); ++key)
            action(*key);
    }

    size_t Befores(const Key& key) const { return key.befores; }
    size_t Afters(const Key& key) const { return key.changed ? key.afters : key.befores; }
    const std::string_view* BeforeRows(const Key& key) const {
        return m_before.data() + key.before;
    }
    const std::string_view* AfterRows(const Key& key) const {
        return key.changed ? m_after.data() + key.after : BeforeRows(key);
    }
    std::optional<std::string_view> FirstBefore(const Key& key) const {
        return Befores(key) ? std::optional<std::string_view>(*BeforeRows(key)) : std::nullopt;
    }
    std::optional<std::string_view> FirstAfter(const Key& key) const {
        return Afters(key) ? std::optional<std::string_view>(*AfterRows(key)) : std::nullopt;
    }

private:
    struct Record {
        Table::Op op = Table::kBefore;
        std::string_view rest, payload;
    };

    // The first key whose rest is not before `rest`, of `keys` (m_keys).
    template <typename Keys>
    static auto Lower(Keys& keys, std::string_view rest) -> decltype(keys.begin()) {
        return std::lower_bound(keys.begin(), keys.end(), rest,
                                [](const Key& key, std::string_view r) { return key.rest < r; });
    }
    // Whether `key` (from Lower(start) on) is one whose rest begins with
    // `start`.
    template <typename It> bool Under(It key, std::string_view start) const {
        return key != m_keys.end() && key->rest.substr(0, start.size()) == start;
    }
    // A row added to a key's rows in `rows`: they are moved to the end first
    // when other rows came after them (a key's rows mostly come together).
    static void Push(std::vector<std::string_view>& rows, uint32_t& first, uint32_t& count,
                     std::string_view row) {
        if (count == 0) {
            first = static_cast<uint32_t>(rows.size());
        } else if (first + count != rows.size()) {
            const uint32_t from = first;
            first = static_cast<uint32_t>(rows.size());
            for (uint32_t i = 0; i < count; ++i) {
                const std::string_view moved = rows[from + i];
                rows.push_back(moved);
            }
        }
        rows.push_back(row);
        ++count;
    }
    // The first write of a key starts its rows after from its rows before.
    void Write(Key& key) {
        if (key.changed)
            return;
        key.changed = true;
        key.after = static_cast<uint32_t>(m_after.size());
        key.afters = key.befores;
        for (uint32_t i = 0; i < key.befores; ++i) {
            const std::string_view row = m_before[key.before + i];
            m_after.push_back(row);
        }
    }

    const Table::Head* m_head = nullptr;
    std::vector<Record> m_records;
    std::vector<Key> m_keys;
    std::vector<Key> m_merged; // room for merging them, reused
    std::vector<std::string_view> m_before, m_after;
    std::deque<std::string> m_owned; // rows an update made
};

struct Counted {
    int64_t added = 0, changed = 0, unchanged = 0, removed = 0;
};

// Rows of one key before and after: equal rows are unchanged, the others are
// paired as changed, and what is left over is new or removed.
Counted Compare(const Replay& replay, const Replay::Key& key) {
    const size_t befores = replay.Befores(key), afters = replay.Afters(key);
    Counted c;
    if (befores == 0) {
        c.added = static_cast<int64_t>(afters);
        return c;
    }
    if (befores == 1 && afters <= 1) {
        if (afters == 0)
            c.removed = 1;
        else if (*replay.BeforeRows(key) == *replay.AfterRows(key))
            c.unchanged = 1;
        else
            c.changed = 1;
        return c;
    }
    std::vector<std::string_view> before(replay.BeforeRows(key), replay.BeforeRows(key) + befores);
    std::vector<std::string_view> after(replay.AfterRows(key), replay.AfterRows(key) + afters);
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
// that finds nothing gives no row. `columns` is the select list of the join
// (of the table `t`).
std::string ListSelect(const std::string& table, size_t length, bool joined,
                       const std::string& columns = "t.*") {
    std::string sql;
    if (joined) {
        sql = "select " + columns + " from (";
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
    : m_connection(connection) {
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
    m_norms = &TableNamed("KOD_PVR");
    m_entries = &TableNamed("KOD_TABL");
    m_labour = &TableNamed("TRUDOZ");
    m_wages = &TableNamed("ZARP");
    m_materials = &TableNamed("CNIR");
    m_machines = &TableNamed("MASH");
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

bool ReportObserver::Held(const Table& table, const std::string& code) const {
    for (const std::string& head : {Normal(code), text::Trim(code)}) {
        const Table::Head* found = table.HeadNamed(head);
        if (found && found->befores > 0)
            return true;
    }
    return false;
}

bool ReportObserver::NormHeld(const std::string& code) const {
    return Held(*m_norms, code) || Held(*m_entries, code);
}

bool ReportObserver::EntriesHeld(const std::string& code) const {
    return Held(*m_entries, code);
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
    LastNorm kept;
    const bool joined = db::IsFirebird(m_connection);
    // A long text column is read by its first characters and its length: a
    // row is handed over as wide as its columns are declared (four bytes a
    // character), and a composition of 8000 characters mostly holds a few
    // hundred. The norms whose text is longer are read again whole.
    const char* longText = joined ? table.spec->longText : nullptr;
    std::string narrow;
    if (longText) {
        Describe(table);
        if (m_blind)
            return;
        for (const std::string& column : table.columns)
            narrow += (narrow.empty() ? "" : ", ") +
                      (column == longText ? "substring(t." + column + " from 1 for " +
                                                std::to_string(kLongTextRead) + ")"
                                          : "t." + column);
        narrow += std::string(", char_length(t.") + longText + ")";
    }
    std::vector<std::string> longer;
    // The rows are taken one by one as they come, not gathered first: a list
    // of codes finds hundreds of rows.
    db::Query query(m_connection);
    auto take = [&](bool narrowed) {
        query.Open();
        if (!table.described) {
            std::vector<std::string> names;
            for (int c = 0; c < query.FieldCount(); ++c)
                names.push_back(query.FieldAt(c).Name());
            table.SetColumns(std::move(names));
        }
        const size_t columns =
            narrowed ? table.columns.size() : static_cast<size_t>(query.FieldCount());
        for (; !query.Eof(); query.Next()) {
            const Row& row = table.Read(
                [&](size_t c, Canon& cell) {
                    if (c < columns)
                        table.FromField(c, query.FieldAt(static_cast<int>(c)).Value(), cell);
                    else
                        cell.SetNull();
                },
                key);
            const auto [norm, rest] = Table::SplitHead(key);
            if (narrowed) {
                const db::FieldValue& length = query.FieldAt(static_cast<int>(columns)).Value();
                if (length.kind == db::FieldKind::Integer && length.integer > kLongTextRead) {
                    longer.emplace_back(norm);
                    continue;
                }
            }
            // Rows handed over by the save are kept from there.
            if (kept.Answer(norm, [&](std::string_view code) {
                    return !m_normsRead.count(code) && !given.count(code);
                }))
                table.Before(*table.HeadNamed(norm, true), rest, row);
        }
        query.Close();
    };
    auto read = [&](const std::vector<std::string>& list, bool narrowed) {
        for (size_t start = 0; start < list.size(); start += kKeysPerQuery) {
            const size_t count = std::min(kKeysPerQuery, list.size() - start);
            size_t length = 1;
            while (length < count)
                length *= 2;
            query.SetSQL(narrowed ? ListSelect(name, length, joined, narrow)
                                  : ListSelect(name, length, joined));
            for (size_t i = 0; i < length; ++i) {
                // The parameters :k0, :k1 ... come in the order of the text.
                db::Param& param = query.ParamAt(static_cast<int>(i));
                if (i < count)
                    param.SetString(list[start + i]);
                else
                    param.SetNull();
            }
            take(narrowed);
        }
    };
    read(codes, longText != nullptr);
    read(longer, false);
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
    std::string key;
    LastNorm firstReading;
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
        const auto [head, rest] = Table::SplitHead(key);
        if (firstReading.Answer(head, [&](std::string_view code) { return fresh.count(code) > 0; }))
            table.Before(*table.HeadNamed(head, true), rest, row);
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
    if (m_lastNormRead && norm == *m_lastNormRead)
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
        // The first answer for a key is the row before. These tables have
        // one key column: the head is the key.
        Table::Head* head = m_blind ? nullptr : table.HeadNamed(table.KeyOf(key), true);
        if (head && !head->found) {
            head->found = true;
            if (row) {
                std::string rowKey;
                table.Before(*head, std::string_view(),
                             table.Read(
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
    const std::string_view name = table.spec->name;
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
        if (&table == m_entries) {
            Delete(*m_labour, key, false);
            Delete(*m_wages, key, false);
            Delete(*m_materials, key, true);
            Delete(*m_machines, key, true);
        }
        return;
    }
    auto [name, rest] = Table::SplitHead(key);
    Table::Head& head =
        table.Written(name, [&](std::string_view norm) { return NormHeld(std::string(norm)); });
    if (write.kind == WriteKind::Insert) {
        if (head.fresh)
            table.Record(head, Table::kInsert, rest); // counted only: no values
        else
            table.Insert(head, rest, key, write);
    } else if (!head.fresh) {
        table.Update(head, rest, key, write); // under a fresh head it changes nothing counted
    }
}

void ReportObserver::Delete(Table& table, const std::string& key, bool prefix) {
    auto [name, rest] = Table::SplitHead(key);
    Table::Head& head =
        table.Written(name, [&](std::string_view norm) { return NormHeld(std::string(norm)); });
    std::string start;
    if (!prefix)
        table.Record(head, Table::kDelete, rest);
    else if (table.Under(key, start))
        table.Record(head, Table::kDeleteUnder, start);
}

void ReportObserver::Finish(ChangeRecorder& recorder) const {
    if (m_blind)
        return;
    // Each head's rows are made from its log once, mostly: a replay per table
    // keeps the head asked for last, and the objects of one norm come in
    // turn. A head is counted the first time it is made; the heads no object
    // asked for are made and counted at the end.
    struct PerTable {
        Counted total;
        std::vector<bool> counted; // by the number of the head
        Replay replay;
        // The name of the replay's head: the objects of one norm, asking in
        // turn, look it up once.
        std::string replayed;
    };
    std::map<const Table*, PerTable> per;
    for (const auto& [name, table] : m_tables)
        per[table.get()].counted.resize(table->heads.size());
    auto count = [&](const Table& table, const Replay& replay) {
        if (!replay.Head())
            return;
        PerTable& mine = per[&table];
        std::vector<bool>::reference once = mine.counted[replay.Head()->number];
        if (once)
            return;
        once = true;
        Counted& total = mine.total;
        for (const Replay::Key& key : replay.Keys()) {
            if (!key.changed)
                continue;
            const Counted c = Compare(replay, key);
            total.added += c.added;
            total.changed += c.changed;
            total.unchanged += c.unchanged;
            total.removed += c.removed;
        }
    };
    auto replayOf = [&](const Table& table, std::string_view name) -> const Replay& {
        PerTable& mine = per[&table];
        Replay& made = mine.replay;
        if (made.Head() && mine.replayed == name)
            return made;
        const Table::Head* head = table.HeadNamed(name);
        if (!head || made.Head() != head) {
            made.Run(table, head);
            count(table, made);
        }
        mine.replayed = name;
        return made;
    };
    // The replay of a key's head, and the key in it (nullptr: none).
    auto keyOf = [&](const Table& table, const std::string& key) {
        auto [name, rest] = Table::SplitHead(key);
        const Replay& replay = replayOf(table, name);
        return std::make_pair(&replay, replay.Find(rest));
    };

    struct Told {
        ObjectKind kind;
        const std::string* code;
        RowChange change;
        std::vector<ColumnChange> columns;
    };
    std::vector<Told> objects;
    const Table& sections = *m_tables.at("KOD_RAZD");
    const Table& collections = *m_tables.at("KOD_SBOR");
    const Table& norms = *m_norms;
    const Table& entries = *m_entries;
    const Table& composition = *m_tables.at("SOST_PVR");
    const Table& rates = *m_tables.at("N_PROC");
    for (const Object& object : m_objects) {
        const ObjectKind kind = static_cast<ObjectKind>(object.kind);
        const Table& own = kind == ObjectKind::Section      ? sections
                           : kind == ObjectKind::Collection ? collections
                           : kind == ObjectKind::Norm       ? norms
                                                            : entries;
        const auto [ownRows, mine] = keyOf(own, object.key);
        if (!mine || !mine->changed || mine->afters == 0)
            continue; // found, never written (no parent), or gone
        if (mine->befores == 0) {
            objects.push_back({kind, &object.code, RowChange::New, {}});
            continue;
        }
        std::vector<ColumnChange> columns;
        Differ(
            own, [] { return std::string(); }, ownRows->FirstBefore(*mine),
            ownRows->FirstAfter(*mine), columns);
        // The rows that belong to a norm or an entry besides its own. The
        // labels are made only for rows that differ.
        auto single = [&](const Table& table) {
            const char* name = table.spec->name;
            const auto [rows, key] = keyOf(table, object.key);
            if (key && key->changed)
                Differ(
                    table, [&] { return std::string(name) + "."; }, rows->FirstBefore(*key),
                    rows->FirstAfter(*key), columns);
        };
        auto several = [&](const Table& table, const std::string& prefix) {
            const char* name = table.spec->name;
            std::string start;
            if (!table.Under(prefix, start))
                return;
            const Replay& rows = replayOf(table, Table::SplitHead(prefix).first);
            rows.EachUnder(start, [&](const Replay::Key& key) {
                if (key.changed)
                    Differ(
                        table, [&] { return std::string(name) + "[" + LastPart(key.rest) + "]."; },
                        rows.FirstBefore(key), rows.FirstAfter(key), columns);
            });
        };
        if (kind == ObjectKind::Norm) {
            single(composition);
            several(rates, object.ratesCode);
        } else if (kind == ObjectKind::Entry) {
            single(*m_labour);
            single(*m_wages);
            several(*m_materials, object.key);
            several(*m_machines, object.key);
        }
        const RowChange change = ChangeRecorder::Classify(true, columns);
        objects.push_back({kind, &object.code, change, std::move(columns)});
    }

    Replay rest;
    for (const Spec& spec : Specs()) {
        const Table& table = *m_tables.at(spec.name);
        for (const auto& [name, head] : table.heads)
            if (!per[&table].counted[head.number]) {
                rest.Run(table, &head);
                count(table, rest);
            }
        const Counted& total = per[&table].total;
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
    for (Told& told : objects)
        recorder.Object(told.kind, *told.code, told.change, std::move(told.columns));
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
