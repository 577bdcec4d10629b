// The drivers that come with the layer; the registry installs them on first use.
#pragma once

#include "platform/db/Driver.h"

namespace db {

// Firebird's client library (embedded file or host:/path on a server).
Driver FirebirdDriver();
// unixODBC: Database is a data source name or a connection string with '='.
Driver OdbcDriver();

} // namespace db
