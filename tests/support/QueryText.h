// A select's result as text, for tests that compare whole results in one
// assertion: one line per row, the columns joined with "|".
#pragma once

#include "platform/db/Connection.h"

#include <string>
#include <vector>

namespace testsupport {

// Each row of `sql` as "a|b|c", in the order the database returns them; a NULL
// column reads as `nullText`.
std::vector<std::string> QueryRows(db::Connection& connection, const std::string& sql,
                                   const std::string& nullText = "");

// The rows, each followed by a line feed; sorted first when `sorted`.
std::string QueryText(db::Connection& connection, const std::string& sql,
                      const std::string& nullText = "", bool sorted = false);

} // namespace testsupport
