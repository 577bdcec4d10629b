// One select text run for many sets of parameter values at once: where the
// driver can, the sets travel together (a round trip for many of them), else
// they run one by one. Each set gets the rows it would get run on its own, or
// its own error. Statements waiting on the connection are sent first. The
// Connection must outlive the group.
#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Query.h"

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class SelectGroup {
public:
    SelectGroup(Connection& connection, const std::string& sql);
    SelectGroup(const SelectGroup&) = delete;
    SelectGroup& operator=(const SelectGroup&) = delete;

    // A new set of values, its parameters bound by name as a Query's are; the
    // reference stays valid while the group lives.
    ParamList& Add();
    size_t Count() const { return m_sets.size(); }

    // Runs every set added since the last Run (earlier results are dropped).
    // A set with an unbound parameter fails alone with that error. Throws
    // EStatementFailed when a statement sent first fails, EDatabaseError when
    // the connection cannot be opened.
    void Run();

    // REQUIRES for all below: Run has run and set < Count().
    bool Failed(size_t set) const { return !m_errors[set].empty(); }
    // The set's error message; "" when it has rows.
    const std::string& Error(size_t set) const { return m_errors[set]; }
    size_t RowCount(size_t set) const { return m_rows.sets[set].size(); }
    // A column of one row of the set, by name without regard to letter case.
    // Throws EDatabaseError naming the column when the result has none.
    // REQUIRES: row < RowCount(set).
    const FieldValue& Value(size_t set, size_t row, std::string_view column) const;
    // The columns of the result (upper case, as it describes them); empty when
    // no set ran.
    const std::vector<std::string>& Columns() const { return m_rows.columns; }
    // One row of the set, a value per column. REQUIRES: row < RowCount(set).
    const std::vector<FieldValue>& Row(size_t set, size_t row) const { return m_rows.sets[set][row]; }

private:
    Connection& m_connection;
    std::shared_ptr<const SqlPlan> m_plan;
    std::deque<ParamList> m_sets;
    GroupedRows m_rows;
    std::vector<std::string> m_errors;
};

} // namespace db
