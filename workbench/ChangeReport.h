// The change report of one update run (a real one or a dry run): what the
// patch holds, what the renumbering and the widening change, what the save
// wrote table by table and object by object, and the first failure with its
// place. ChangeReport is plain data; the run fills what it knows itself, and
// ChangeRecorder is the one way in for what the save found and wrote.
// ReportJson and ReportSummary (ReportFormat.h) present it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ErrorPlace;
class kod_pvr;

// What saving one row or one object did to the base.
enum class RowChange {
    New,       // it was not there
    Changed,   // it was there with other values
    Unchanged, // it was there and was rewritten with the same values
    Removed    // it was there and is gone
};

// The kinds of objects the report counts.
enum class ObjectKind { Section, Collection, Norm, Entry };
constexpr int kObjectKinds = 4;

struct TableCounts {
    int64_t added = 0;
    int64_t changed = 0;
    int64_t unchanged = 0;
    int64_t removed = 0;
    bool operator==(const TableCounts& o) const {
        return added == o.added && changed == o.changed && unchanged == o.unchanged &&
               removed == o.removed;
    }
};

// One column of a changed object: its value before and after, as text.
struct ColumnChange {
    std::string column;
    std::string before;
    std::string after;
    bool operator==(const ColumnChange& o) const {
        return column == o.column && before == o.before && after == o.after;
    }
};

// A new or changed norm or table entry, kept when the report asks for detail.
struct ObjectDetail {
    ObjectKind kind = ObjectKind::Norm;
    std::string code;
    RowChange change = RowChange::New;
    std::vector<ColumnChange> columns; // only for a changed object
};

struct ChangeReport {
    // ---- The run ----
    std::string command = "apply"; // "apply" or "check"
    bool dryRun = false;
    bool detail = false; // keep an ObjectDetail per new or changed norm and entry
    std::string patch;
    bool started = false;          // false: no run made this report yet
    std::optional<int> priceLevel; // absent when it was not read
    // The stage the run is in: "price_level", "renumbering", "widening",
    // "read", "check", "save", "recalculation"; a failure is counted to it.
    std::string stage;
    bool finished = false; // the run went on to its closing line
    int errorLines = 0;    // lines beginning "Ошибка" the run wrote in the journal

    // ---- What the run knows without the save ----
    struct PatchContents {
        int64_t sections = 0;
        int64_t collections = 0;
        int64_t norms = 0;
        int64_t entries = 0;
        int64_t resourceLines = 0;
    };
    std::optional<PatchContents> patchContents; // absent when the patch was not read

    struct RenumberedCode {
        std::string before;
        std::string after;
    };
    struct Renumbering {
        std::vector<RenumberedCode> codes; // as the listing gave them
        int64_t rows = 0;                  // rows the updates changed
    };
    std::optional<Renumbering> renumbering; // absent when it did not run

    struct Widening {
        int widthBefore = 0; // characters; 0 when not read (a real run does not read it)
        int widthAfter = 400;
        // The column is narrower than widthAfter; unknown on a real run, which
        // does not read the width before it widens.
        std::optional<bool> changesWidth;
        bool failed = false; // the widening wrote its error line
        // Norms whose names fit the column only once it is widened (dry run).
        std::vector<std::string> namesFittingOnlyAfter;
    };
    std::optional<Widening> widening; // absent when it did not run

    // ---- What the save found and wrote (through ChangeRecorder) ----
    bool saveObserved = false; // false: the counts below were not gathered
    std::map<std::string, TableCounts> tables;
    std::array<TableCounts, kObjectKinds> objects{}; // `removed` unused
    int64_t materialsAdded = 0;
    int64_t machinesAdded = 0;
    std::vector<ObjectDetail> details;

    // ---- The first failure of the run ----
    struct Error {
        std::string stage;
        std::string message;           // as the journal line or the message box shows it
        std::string cause;             // the innermost message, when known
        std::vector<std::string> path; // the object's codes, from the outside inwards
        int line = 0;                  // line of the patch file; 0 when unknown
    };
    std::optional<Error> error;

    // "clean": the run went to its end without an error line; "refused": the
    // price level is not 2; "not_run": no run started; "failed": anything else.
    std::string Outcome() const;

    // Starts the report of a new run, keeping the command and detail.
    void Restart(bool dryRun, const std::string& patch);
    // Notes a failure in the current stage, unless an earlier one is noted.
    void NoteError(const std::string& message, const ErrorPlace* place);
    // Counts what the patch holds.
    void CountPatch(const kod_pvr& base);
};

// The way in for what the save found and wrote: one call per row and per
// object, told by the save's observer. Creating one marks the report's save
// counts as gathered. Counting, comparing and detail live here, never in the
// model.
class ChangeRecorder {
public:
    explicit ChangeRecorder(ChangeReport& report);

    // `rows` rows of `table` (upper case, as the schema names it) had `change`.
    void Row(const std::string& table, RowChange change, int64_t rows = 1);
    // An object the save wrote, with what it found. For a changed norm or
    // entry, `columns` are the columns whose values differ; they are kept with
    // the object when the report asks for detail. RowChange::Removed is not an
    // object's change and is ignored.
    void Object(ObjectKind kind, const std::string& code, RowChange change,
                std::vector<ColumnChange> columns = {});
    // A material (or machine) the save added to its directory.
    void DirectoryAdded(bool material);

    // The columns whose texts differ between `before` and `after`, in the
    // order of `names`. REQUIRES: the three have the same size.
    static std::vector<ColumnChange> Differences(const std::vector<std::string>& names,
                                                 const std::vector<std::string>& before,
                                                 const std::vector<std::string>& after);
    // Changed or Unchanged for a row that was found, by its differences; New
    // for one that was not.
    static RowChange Classify(bool found, const std::vector<ColumnChange>& differences);

private:
    ChangeReport& m_report;
};
