#include "tests/support/QueryText.h"

#include "platform/db/Query.h"

#include <algorithm>

namespace testsupport {

std::vector<std::string> QueryRows(db::Connection& connection, const std::string& sql,
                                   const std::string& nullText) {
    db::Query query(connection);
    query.SetSQL(sql);
    std::vector<std::string> rows;
    for (query.Open(); !query.Eof(); query.Next()) {
        std::string row;
        for (int i = 0; i < query.FieldCount(); ++i) {
            const db::Field& field = query.FieldAt(i);
            row += (i ? "|" : "") + (field.IsNull() ? nullText : field.AsString());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string QueryText(db::Connection& connection, const std::string& sql,
                      const std::string& nullText, bool sorted) {
    std::vector<std::string> rows = QueryRows(connection, sql, nullText);
    if (sorted)
        std::sort(rows.begin(), rows.end());
    std::string text;
    for (const std::string& row : rows)
        text += row + "\n";
    return text;
}

} // namespace testsupport
