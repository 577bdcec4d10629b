// Reading statement texts: the `:name` parameters of a statement, and a script
// split into its statements. Both skip string literals ('...' with '' inside),
// double-quoted identifiers and comments (-- to the end of the line, /* */).
#pragma once

#include "platform/db/Driver.h"

#include <string>
#include <string_view>
#include <vector>

namespace db {

// Finds the parameters: a ':' followed by a letter or '_' starts a name that
// runs over letters, digits, '_' and '$'. "::" and ":=" are left alone. Tokens
// inside literals, quoted identifiers and comments are not parameters.
ParsedSql ParseParameters(std::string_view sql);

// The offsets of the '?' marks of a driver's text (ParsedSql::positional) that
// stand for parameters: those outside literals, quoted identifiers and comments.
std::vector<size_t> ParameterMarks(std::string_view positional);

// How many times the word occurs in the text's code (outside literals, quoted
// identifiers and comments), without regard to letter case.
size_t CountWord(std::string_view sql, std::string_view word);

// A statement text read once for every Query that sets it: the driver's split,
// the distinct parameter names (compared without regard to letter case, each
// spelt as it first occurs) and, for each '?' mark, the index of its name
// among them. `blank` tells whether the text holds nothing but blanks.
struct SqlPlan {
    ParsedSql parsed;
    std::vector<std::string> params;
    std::vector<size_t> positions;
    bool blank = true;
};
SqlPlan PlanStatement(std::string_view sql);

struct ScriptStatement {
    std::string text; // without the terminator, trimmed
    int number = 0;   // 1-based position among the statements of the script
    int line = 0;     // 1-based line where the statement starts
};

// Splits a script at its terminator (';' until a "SET TERM x ;" changes it; the
// SET TERM statements themselves are consumed). Empty statements are dropped;
// a last statement without a terminator is kept.
std::vector<ScriptStatement> SplitScript(std::string_view script);

} // namespace db
