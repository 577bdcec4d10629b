#include "workbench/ReportFormat.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

// ---- A small JSON writer: values are rendered texts, nested by indent ----

using Members = std::vector<std::pair<const char*, std::string>>;

std::string Pad(int indent) {
    return std::string(static_cast<size_t>(indent), ' ');
}

std::string Object(const Members& members, int indent) {
    if (members.empty())
        return "{}";
    std::string out = "{\n";
    for (size_t i = 0; i < members.size(); ++i)
        out += Pad(indent + 2) + JsonString(members[i].first) + ": " + members[i].second +
               (i + 1 < members.size() ? ",\n" : "\n");
    return out + Pad(indent) + "}";
}

std::string Array(const std::vector<std::string>& items, int indent) {
    if (items.empty())
        return "[]";
    std::string out = "[\n";
    for (size_t i = 0; i < items.size(); ++i)
        out += Pad(indent + 2) + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
    return out + Pad(indent) + "]";
}

std::string Number(int64_t value) {
    return std::to_string(value);
}

std::string Bool(bool value) {
    return value ? "true" : "false";
}

const char* const kNull = "null";

std::string Strings(const std::vector<std::string>& texts, int indent) {
    std::vector<std::string> items;
    for (const std::string& t : texts)
        items.push_back(JsonString(t));
    return Array(items, indent);
}

const char* ChangeName(RowChange change) {
    switch (change) {
    case RowChange::New:
        return "new";
    case RowChange::Changed:
        return "changed";
    case RowChange::Unchanged:
        return "unchanged";
    case RowChange::Removed:
        return "removed";
    }
    return "";
}

const char* const kKindNames[kObjectKinds] = {"sections", "collections", "norms", "entries"};

std::string Counts(const TableCounts& c, bool withRemoved, int indent) {
    Members m{{"new", Number(c.added)},
              {"changed", Number(c.changed)},
              {"unchanged", Number(c.unchanged)}};
    if (withRemoved)
        m.push_back({"removed", Number(c.removed)});
    return Object(m, indent);
}

// ---- The parts of the report ----

std::string PatchContentsJson(const ChangeReport& r, int indent) {
    if (!r.patchContents)
        return kNull;
    const ChangeReport::PatchContents& p = *r.patchContents;
    return Object({{"sections", Number(p.sections)},
                   {"collections", Number(p.collections)},
                   {"norms", Number(p.norms)},
                   {"entries", Number(p.entries)},
                   {"resource_lines", Number(p.resourceLines)}},
                  indent);
}

std::string RenumberingJson(const ChangeReport& r, int indent) {
    if (!r.renumbering)
        return kNull;
    std::vector<std::string> codes;
    for (const ChangeReport::RenumberedCode& c : r.renumbering->codes)
        codes.push_back(
            Object({{"before", JsonString(c.before)}, {"after", JsonString(c.after)}}, indent + 4));
    return Object({{"codes", Array(codes, indent + 2)}, {"rows", Number(r.renumbering->rows)}},
                  indent);
}

std::string WideningJson(const ChangeReport& r, int indent) {
    if (!r.widening)
        return kNull;
    const ChangeReport::Widening& w = *r.widening;
    return Object({{"column", JsonString("KOD_PVR.NAIM_PVR")},
                   {"width_before", w.widthBefore > 0 ? Number(w.widthBefore) : kNull},
                   {"width_after", Number(w.widthAfter)},
                   {"changes_width", w.changesWidth ? Bool(*w.changesWidth) : kNull},
                   {"failed", Bool(w.failed)},
                   {"names_fitting_only_after", Strings(w.namesFittingOnlyAfter, indent + 2)}},
                  indent);
}

std::string TablesJson(const ChangeReport& r, int indent) {
    if (!r.saveObserved)
        return kNull;
    Members m;
    for (const auto& [table, counts] : r.tables)
        m.push_back({table.c_str(), Counts(counts, true, indent + 2)});
    return Object(m, indent);
}

std::string ObjectsJson(const ChangeReport& r, int indent) {
    if (!r.saveObserved)
        return kNull;
    Members m;
    for (int k = 0; k < kObjectKinds; ++k)
        m.push_back({kKindNames[k], Counts(r.objects[static_cast<size_t>(k)], false, indent + 2)});
    return Object(m, indent);
}

std::string DirectoriesJson(const ChangeReport& r, int indent) {
    if (!r.saveObserved)
        return kNull;
    return Object({{"materials_added", Number(r.materialsAdded)},
                   {"machines_added", Number(r.machinesAdded)}},
                  indent);
}

std::string DetailJson(const ChangeReport& r, int indent) {
    if (!r.detail || !r.saveObserved)
        return kNull;
    std::vector<std::string> items;
    for (const ObjectDetail& d : r.details) {
        std::vector<std::string> columns;
        for (const ColumnChange& c : d.columns)
            columns.push_back(Object({{"column", JsonString(c.column)},
                                      {"old", JsonString(c.before)},
                                      {"new", JsonString(c.after)}},
                                     indent + 6));
        items.push_back(Object({{"kind", JsonString(d.kind == ObjectKind::Norm ? "norm" : "entry")},
                                {"code", JsonString(d.code)},
                                {"change", JsonString(ChangeName(d.change))},
                                {"columns", Array(columns, indent + 4)}},
                               indent + 2));
    }
    return Array(items, indent);
}

std::string ErrorJson(const ChangeReport& r, int indent) {
    if (!r.error)
        return kNull;
    const ChangeReport::Error& e = *r.error;
    return Object({{"stage", JsonString(e.stage)},
                   {"message", JsonString(e.message)},
                   {"cause", e.cause.empty() ? kNull : JsonString(e.cause)},
                   {"path", Strings(e.path, indent + 2)},
                   {"line", e.line > 0 ? Number(e.line) : kNull}},
                  indent);
}

// Appends the UTF-8 sequence starting at s[i] when it is valid and answers its
// length; 0 when it is not.
size_t ValidSequence(const std::string& s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (length == 0 || c > 0xF4 || i + length > s.size())
        return 0;
    uint32_t code = c & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (size_t k = 1; k < length; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (d & 0x3F);
    }
    const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = ValidSequence(text, i);
            out += length ? text.substr(i, length) : "\xEF\xBF\xBD";
            i += length ? length : 1;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        ++i;
    }
    return out + "\"";
}

std::string ReportJson(const ChangeReport& r) {
    const int in = 2;
    return Object({{"format", JsonString("updatedb-change-report")},
                   {"version", Number(1)},
                   {"command", JsonString(r.command)},
                   {"dry_run", Bool(r.dryRun)},
                   {"patch", JsonString(r.patch)},
                   {"outcome", JsonString(r.Outcome())},
                   {"price_level", r.priceLevel ? Number(*r.priceLevel) : kNull},
                   {"finished", Bool(r.finished)},
                   {"error_lines", Number(r.errorLines)},
                   {"patch_contents", PatchContentsJson(r, in)},
                   {"renumbering", RenumberingJson(r, in)},
                   {"widening", WideningJson(r, in)},
                   {"save_observed", Bool(r.saveObserved)},
                   {"tables", TablesJson(r, in)},
                   {"objects", ObjectsJson(r, in)},
                   {"directories", DirectoriesJson(r, in)},
                   {"detail", DetailJson(r, in)},
                   {"error", ErrorJson(r, in)}},
                  0) +
           "\n";
}
