#include "workbench/ChangeReport.h"

#include "model/kod_pvr.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/sbornik_pvr.h"
#include "platform/text/Exception.h"

std::string ChangeReport::Outcome() const {
    if (!started)
        return "not_run";
    if (priceLevel && *priceLevel != 2)
        return "refused";
    return finished && errorLines == 0 && !error ? "clean" : "failed";
}

void ChangeReport::Restart(bool dryRunNow, const std::string& patchNow) {
    ChangeReport fresh;
    fresh.command = command;
    fresh.detail = detail;
    fresh.dryRun = dryRunNow;
    fresh.patch = patchNow;
    fresh.started = true;
    *this = std::move(fresh);
}

void ChangeReport::NoteError(const std::string& message, const ErrorPlace* place) {
    if (error)
        return;
    Error e;
    e.stage = stage;
    e.message = message;
    if (place) {
        e.cause = place->cause;
        e.path = place->path;
        e.line = place->line;
    }
    error = std::move(e);
}

void ChangeReport::CountPatch(const kod_pvr& base) {
    PatchContents contents;
    contents.sections = base.razdels()->Count();
    contents.collections = base.Count();
    for (int c = 0; c < base.Count(); ++c) {
        const sbornik_pvr& collection = *base.GetItem(c);
        contents.norms += collection.Count();
        for (int n = 0; n < collection.Count(); ++n) {
            const pvr& norm = *collection.GetItem(n);
            contents.entries += norm.Count();
            for (int e = 0; e < norm.Count(); ++e)
                contents.resourceLines += norm.GetItem(e)->Count();
        }
    }
    patchContents = contents;
}

ChangeRecorder::ChangeRecorder(ChangeReport& report) : m_report(report) {
    m_report.saveObserved = true;
}

namespace {

void Count(TableCounts& counts, RowChange change, int64_t n) {
    switch (change) {
    case RowChange::New:
        counts.added += n;
        break;
    case RowChange::Changed:
        counts.changed += n;
        break;
    case RowChange::Unchanged:
        counts.unchanged += n;
        break;
    case RowChange::Removed:
        counts.removed += n;
        break;
    }
}

} // namespace

void ChangeRecorder::Row(const std::string& table, RowChange change, int64_t rows) {
    Count(m_report.tables[table], change, rows);
}

void ChangeRecorder::Object(ObjectKind kind, const std::string& code, RowChange change,
                            std::vector<ColumnChange> columns) {
    if (change == RowChange::Removed)
        return;
    Count(m_report.objects[static_cast<size_t>(kind)], change, 1);
    const bool detailed = kind == ObjectKind::Norm || kind == ObjectKind::Entry;
    if (!m_report.detail || !detailed || change == RowChange::Unchanged)
        return;
    ObjectDetail detail{kind, code, change, {}};
    if (change == RowChange::Changed)
        detail.columns = std::move(columns);
    m_report.details.push_back(std::move(detail));
}

void ChangeRecorder::DirectoryAdded(bool material) {
    ++(material ? m_report.materialsAdded : m_report.machinesAdded);
}

std::vector<ColumnChange> ChangeRecorder::Differences(const std::vector<std::string>& names,
                                                      const std::vector<std::string>& before,
                                                      const std::vector<std::string>& after) {
    std::vector<ColumnChange> changes;
    for (size_t i = 0; i < names.size(); ++i)
        if (before.at(i) != after.at(i))
            changes.push_back({names[i], before[i], after[i]});
    return changes;
}

RowChange ChangeRecorder::Classify(bool found, const std::vector<ColumnChange>& differences) {
    if (!found)
        return RowChange::New;
    return differences.empty() ? RowChange::Unchanged : RowChange::Changed;
}
