// Running a script of statements (a schema file, say) on a connection.
#pragma once

#include "platform/db/Connection.h"

#include <string_view>

namespace db {

// Runs the statements of the script in order with ExecuteDirect (parameters are
// not read: `:name` inside a procedure body is the body's own). The rules of
// SplitScript apply (SET TERM, comments, literals). "COMMIT [WORK]" commits the
// connection's explicit transaction and starts a new one when one is active and
// is a no-op otherwise (each statement is committed anyway); "ROLLBACK [WORK]"
// likewise rolls back. The client-only commands SET NAMES, SET SQL DIALECT,
// SET AUTODDL, SET ECHO, SET BAIL, SET LIST, SET WARNINGS are skipped. Answers
// the number of statements run. On the first failure throws EDatabaseError
// naming the statement's number and line, its text and the database's message.
int ExecuteScript(Connection& connection, std::string_view script);

} // namespace db
