// Connection definitions kept in an INI file, one section per connection: the
// section name is the connection name; keys DriverName, Database, User_Name,
// Password, and any further keys, which become connection parameters (such as
// LockTimeout and ConnectTimeout of the Firebird driver).
#pragma once

#include "platform/db/Connection.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace db {

struct ConnectionDefinition {
    std::string name;                                      // the section name
    std::vector<std::pair<std::string, std::string>> keys; // in file order
};

class ConnectionDefinitions {
public:
    // REQUIRES: nothing. Answers nullptr when no section has that name (letter
    // case ignored, as INI readers do).
    const ConnectionDefinition* Find(const std::string& section) const;
    const std::vector<ConnectionDefinition>& All() const { return m_definitions; }
    const std::string& Path() const { return m_path; }

private:
    friend ConnectionDefinitions LoadConnectionDefinitions(const std::string& iniPath);
    std::string m_path;
    std::vector<ConnectionDefinition> m_definitions;
};

// Reads the file (UTF-8; "; " and "#" lines are comments; blanks around names
// and values are dropped). Throws Exception naming the file when it cannot be
// read.
ConnectionDefinitions LoadConnectionDefinitions(const std::string& iniPath);

// Sets ConnectionName to the section's name, DriverName from its key, and every
// other key (Database, User_Name, Password, ...) as a parameter. Throws
// EDatabaseError naming the section and the file when there is no such section
// or it has no DriverName.
void ConfigureFromDefinition(Connection& connection, const ConnectionDefinitions& definitions,
                             const std::string& section);

// The same, reading the file first (errors as LoadConnectionDefinitions).
void ConfigureFromDefinition(Connection& connection, const std::string& iniPath,
                             const std::string& section);

} // namespace db
