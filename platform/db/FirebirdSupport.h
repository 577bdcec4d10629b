// What the Firebird driver's files share: the client library's master
// interface, status objects, and the texts of the engine's errors as the
// layer reports them (the engine's words, a note on lock conflicts, and the
// statement's first line).
#pragma once

#include "platform/db/FirebirdValues.h"

#include <firebird/Interface.h>

#include <string>

namespace db {

// The client library, set up on first use (PrepareFirebirdEnvironment first).
Firebird::IMaster* FirebirdMaster();

class FirebirdStatus : public FbStatus {
public:
    FirebirdStatus() : FbStatus(FirebirdMaster()) {}
};

// Frees a prepared statement on the server (its handle released alone when
// the server cannot be told) and clears the pointer; nothing for nullptr.
void FreeStatement(Firebird::IStatement*& statement);

// Whether the status vector holds the error code.
bool HasCode(const Firebird::IStatus* status, ISC_STATUS code);
// A lock conflict with another connection (a row it changed and has not
// committed, or a lock it holds).
bool IsLockConflict(const Firebird::IStatus* status);
// The connection to the server is gone (the server stopped, the network failed).
bool IsConnectionLost(const Firebird::IStatus* status);

// The engine's text of the status, one message per line; the places inside a
// block ("At block line: ...") left out when `withoutPlaces`.
std::string DescribeStatus(const Firebird::IStatus* status, bool withoutPlaces = false);

// The first line of a statement text, trimmed and cut at 200 characters.
std::string StatementFirstLine(const std::string& sql);

// The message of a failed statement: the note on a lock conflict (naming
// `lockTimeout`, the seconds its transaction waited), the engine's text, and
// "Оператор: " with the statement's first line when `sql` is given.
std::string StatementError(const Firebird::IStatus* status, const std::string& sql, int lockTimeout,
                           bool withoutPlaces = false);

} // namespace db
