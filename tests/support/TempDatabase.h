// A fresh embedded Firebird database file for one test: made in a folder of its
// own, optionally filled by a schema script, reached through a connection named
// "IBConnection"; the folder and everything in it go when the fixture does.
#pragma once

#include "platform/db/Connection.h"
#include "tests/support/TempFolder.h"

#include <memory>
#include <string>

namespace testsupport {

class TempDatabase {
public:
    // Creates the file (and runs the script file when a path is given). Throws
    // EDatabaseError when the engine fails, Exception when the script cannot be
    // read.
    explicit TempDatabase(const std::string& schemaScriptPath = "");
    ~TempDatabase();
    TempDatabase(const TempDatabase&) = delete;
    TempDatabase& operator=(const TempDatabase&) = delete;

    // Open on the file, named "IBConnection", user SYSDBA.
    db::Connection& Connection() { return *m_connection; }
    const std::string& Path() const { return m_path; }
    const std::string& Folder() const { return m_folder; }
    // Another connection to the same file with the same settings, not yet open.
    std::unique_ptr<db::Connection> NewConnection(const std::string& name = "IBConnection") const;

private:
    std::string m_folder;
    std::string m_path;
    std::unique_ptr<db::Connection> m_connection;
};

// Configures a connection for an embedded Firebird file.
void ConfigureFirebird(db::Connection& connection, const std::string& path,
                       const std::string& name = "IBConnection");

} // namespace testsupport
