// The recoding of resource codes into a second code system on Oracle: a
// dedicated connection of its own (built afresh each time, owned by the caller
// for one operation) reads perexod_mat and perexod_mash as the fixed recoding
// user. The host connection is only read for its settings.
#pragma once

#include <memory>
#include <string>

namespace db {
class Connection;
}

enum class ResourceTable { Material, Machine };

// The recoding user and its one-character password. A host connection may name
// another user and password with its own parameters Recode_User_Name and
// Recode_Password (sites whose recoding user differs).
extern const char* const kRecodeUserName;
extern const char* const kRecodePassword;

// A connection, not connected, named "OracleConnection" with the Oracle driver
// settings, the host's Database parameter, the recoding user and password and
// RowsetSize 0.
std::unique_ptr<db::Connection> MakeRecodeConnection(const db::Connection& host);

// MakeRecodeConnection, then connects it. A failing connect is swallowed: the
// connection comes back unconnected. Never throws.
std::unique_ptr<db::Connection> OpenRecodeConnection(const db::Connection& host);

// The code of `code` in the second code system: kod_compare of its row, trimmed.
// Answers the code itself when `recode` is null or not connected, when there is
// no row, when kod_compare is blank, or when the lookup fails (not reported).
std::string RecodeResource(db::Connection* recode, ResourceTable table, const std::string& code);
