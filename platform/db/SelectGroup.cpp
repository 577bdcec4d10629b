#include "platform/db/SelectGroup.h"

#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

namespace db {

SelectGroup::SelectGroup(Connection& connection, const std::string& sql)
    : m_connection(connection), m_plan(connection.Plan(sql)) {}

ParamList& SelectGroup::Add() {
    m_sets.emplace_back(*m_plan);
    return m_sets.back();
}

void SelectGroup::Run() {
    std::vector<std::vector<BoundValue>> runnable;
    std::vector<size_t> index; // the set of each runnable one
    m_errors.assign(m_sets.size(), std::string());
    for (size_t i = 0; i < m_sets.size(); ++i) {
        try {
            runnable.push_back(m_sets[i].Positional(*m_plan));
            index.push_back(i);
        } catch (const EDatabaseError& e) {
            m_errors[i] = e.Message();
        }
    }
    GroupedRows rows;
    std::vector<std::string> errors;
    if (!runnable.empty())
        m_connection.RunSelectGroup(*m_plan, runnable, rows, errors);
    m_rows = GroupedRows();
    m_rows.columns = std::move(rows.columns);
    m_rows.sets.resize(m_sets.size());
    for (size_t r = 0; r < index.size(); ++r) {
        m_rows.sets[index[r]] = std::move(rows.sets[r]);
        m_errors[index[r]] = std::move(errors[r]);
    }
}

const FieldValue& SelectGroup::Value(size_t set, size_t row, std::string_view column) const {
    for (size_t c = 0; c < m_rows.columns.size(); ++c)
        if (text::EqualsIgnoreCaseAscii(m_rows.columns[c], column))
            return m_rows.sets[set][row][c];
    throw EDatabaseError("Поле \"" + std::string(column) + "\" не найдено");
}

} // namespace db
