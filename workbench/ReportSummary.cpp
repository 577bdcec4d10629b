// The change report as a short table for people: stderr of the command line,
// the report box of the window.
#include "workbench/ReportFormat.h"

#include "Serialaze/TSerializeList.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

namespace {

std::string Num(int64_t value) {
    return std::to_string(value);
}

// `text` padded with blanks to `width` characters (not bytes: most names
// here are Cyrillic), on the left or the right.
std::string Padded(const std::string& text, size_t width, bool left) {
    const size_t length = text::Utf8Length(text);
    const std::string blanks(length < width ? width - length : 0, ' ');
    return left ? blanks + text : text + blanks;
}

// A row of the count table: a name column and up to four number columns.
std::string TableRow(const std::string& name, const std::vector<std::string>& cells) {
    static const size_t widths[] = {7, 12, 15, 11};
    std::string row = "  " + Padded(name, 12, false);
    for (size_t i = 0; i < cells.size(); ++i)
        row += Padded(cells[i], widths[i], true);
    return row + "\n";
}

std::vector<std::string> Cells(const TableCounts& c, bool withRemoved) {
    std::vector<std::string> cells{Num(c.added), Num(c.changed), Num(c.unchanged)};
    if (withRemoved)
        cells.push_back(Num(c.removed));
    return cells;
}

std::string StageName(const std::string& stage) {
    static const std::pair<const char*, const char*> names[] = {
        {"price_level", "уровень цен"},           {"renumbering", "перенумерация поправок"},
        {"widening", "расширение поля naim_pvr"}, {"read", "чтение патча"},
        {"check", "проверка набора расценок"},    {"save", "сохранение в БД"},
        {"recalculation", "расчет прочих"}};
    for (const auto& [key, name] : names)
        if (stage == key)
            return name;
    return stage;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::string Header(const ChangeReport& r) {
    std::string out = r.dryRun ? "Отчёт об изменениях: пробный прогон, база не изменена\n"
                               : "Отчёт об изменениях: обновление\n";
    const std::string outcome = r.Outcome();
    if (outcome == "clean")
        out += "  Итог: без ошибок\n";
    else if (outcome == "refused")
        out += "  Итог: отказ, уровень цен базы " + Num(*r.priceLevel) + "\n";
    else
        out += "  Итог: с ошибками\n";
    if (r.patchContents) {
        const ChangeReport::PatchContents& p = *r.patchContents;
        out += "  В патче: разделов " + Num(p.sections) + ", сборников " + Num(p.collections) +
               ", нормативов " + Num(p.norms) + ", поправок " + Num(p.entries) +
               ", строк ресурсов " + Num(p.resourceLines) + "\n";
    }
    return out;
}

std::string SchemaStages(const ChangeReport& r) {
    std::string out;
    if (r.renumbering)
        out += "  Перенумерация поправок: кодов " +
               Num(static_cast<int64_t>(r.renumbering->codes.size())) + ", строк " +
               Num(r.renumbering->rows) + "\n";
    if (r.widening) {
        const ChangeReport::Widening& w = *r.widening;
        out += "  Поле KOD_PVR.NAIM_PVR: ";
        if (w.failed)
            out += "длина не изменена (ошибка)\n";
        else if (w.widthBefore == 0)
            out += "длина " + Num(w.widthAfter) + "\n";
        else
            out += Num(w.widthBefore) +
                   (w.changesWidth.value_or(false) ? " -> " + Num(w.widthAfter) : "") +
                   " символов\n";
        if (!w.namesFittingOnlyAfter.empty())
            out += "  Имена нормативов, которые поместятся только после расширения поля: " +
                   Num(static_cast<int64_t>(w.namesFittingOnlyAfter.size())) + "\n";
    }
    return out;
}

std::string SaveCounts(const ChangeReport& r) {
    if (!r.patchContents)
        return "";
    if (!r.saveObserved)
        return "  Строки таблиц и объекты сохранения не подсчитаны\n";
    std::string out = TableRow("Таблица", {"новых", "изменённых", "без изменений", "удалённых"});
    for (const auto& [table, counts] : r.tables)
        out += TableRow(table, Cells(counts, true));
    out += TableRow("Объекты", {"новых", "изменённых", "без изменений"});
    static const char* const kinds[kObjectKinds] = {"разделы", "сборники", "нормативы", "поправки"};
    for (int k = 0; k < kObjectKinds; ++k)
        out += TableRow(kinds[k], Cells(r.objects[static_cast<size_t>(k)], false));
    out += "  Добавлено в справочники: материалов " + Num(r.materialsAdded) + ", машин " +
           Num(r.machinesAdded) + "\n";
    return out;
}

std::string ErrorLines(const ChangeReport& r) {
    if (!r.error)
        return "";
    const ChangeReport::Error& e = *r.error;
    std::string out = "  Ошибка (" + StageName(e.stage) +
                      "): " + FirstLine(e.cause.empty() ? e.message : e.cause) + "\n";
    ErrorPlace place;
    place.path = e.path;
    place.line = e.line;
    const std::string where = TSerializeList::PlaceText(place);
    return where.empty() ? out : out + "  " + where + "\n";
}

} // namespace

std::string ReportSummary(const ChangeReport& r) {
    if (!r.started)
        return "Отчёт об изменениях: обновление ещё не запускалось\n";
    return Header(r) + SchemaStages(r) + SaveCounts(r) + ErrorLines(r);
}
