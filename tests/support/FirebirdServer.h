// Firebird's own server program, started as a child process for tests and
// benchmarks with a configuration folder of its own: a free TCP port on
// 127.0.0.1, its own security database whose SYSDBA password is made up for the
// run, its own lock and temporary folders, and a data folder for the database
// files it serves. The system's service is neither started nor used.
// The object owns the child and the folder: the destructor kills the server
// and removes the folder. A test process that dies takes the server with it
// (the child asks the kernel for SIGKILL when the thread that started it ends),
// so start servers from a thread that outlives them, as the main thread does.
#pragma once

#include <string>
#include <sys/types.h>

namespace db {
class Connection;
}

namespace testsupport {

class FirebirdServer {
public:
    // Makes the folder (under $TMPDIR, else /tmp), the security database and
    // the configuration, starts the server and returns once it answers a login.
    // Throws std::runtime_error, with what the server or the tools printed,
    // when the server program (see ServerProgram) is missing or does not come up.
    FirebirdServer();
    ~FirebirdServer();
    FirebirdServer(const FirebirdServer&) = delete;
    FirebirdServer& operator=(const FirebirdServer&) = delete;

    // Kills the server with SIGKILL and waits for its end; the folder and the
    // database files stay. Nothing when it is not running. (SIGKILL loses no
    // committed work: the engine writes every page it changes before a commit
    // returns. Firebird 3.0's own SIGTERM handling is not used: a start-up race
    // in it may leave the signal without effect.)
    void Kill();
    // Starts the server again on the same folder, port and files; returns once
    // it answers. Nothing when it runs. Throws as the constructor does.
    void Start();
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    int Port() const { return m_port; }
    // The password of SYSDBA, the one user of the security database.
    const std::string& Password() const { return m_password; }
    const std::string& Folder() const { return m_folder; }
    // Where the database files of this server belong.
    std::string DataFolder() const { return m_folder + "/data"; }
    // "127.0.0.1/<port>": the server part of a database name.
    std::string Host() const;
    // "127.0.0.1/<port>:<path>": how a client names a database file of this server.
    std::string Address(const std::string& path) const;
    // Sets a connection up for a database file of this server: driver Firebird,
    // the connection name given, user SYSDBA with this server's password.
    void Configure(db::Connection& connection, const std::string& path,
                   const std::string& name = "IBConnection") const;
    // What the server printed and logged of its own (its stdout and stderr).
    std::string Output() const;

    // The server program used: $UPDATEDB_FIREBIRD_SERVER when set, else the
    // copy that ./run unpacks into build-deps/, else /usr/sbin/firebird; ""
    // when none exists.
    static std::string ServerProgram();

private:
    void WriteConfiguration() const;
    void CreateSecurityDatabase() const;
    void Spawn();
    // Polls a login until it succeeds; false when the child ended or the
    // deadline passed first.
    bool AwaitAnswer(double seconds);

    std::string m_folder;
    std::string m_program;
    std::string m_password;
    int m_port = 0;
    pid_t m_pid = -1;
};

} // namespace testsupport
