// firebird_server_run: runs a command beside a private Firebird server, for
// shell scripts such as the benchmarks.
//
//   firebird_server_run COMMAND [ARGS...]
//
// Starts the server (see FirebirdServer), runs COMMAND with these variables
// added to its environment, stops the server when COMMAND ends, and exits with
// COMMAND's status (125 when the server did not come up):
//   UPDATEDB_SERVER        127.0.0.1/<port>: a database there is named
//                          $UPDATEDB_SERVER:/path/file.fdb
//   UPDATEDB_SERVER_DATA   a folder for the server's database files (removed
//                          with the server)
//   UPDATEDB_SERVER_PID    the server's process id (kill -9 it to test a crash)
//   UPDATEDB_PASSWORD      SYSDBA's password, as updatedb reads it
//   ISC_USER, ISC_PASSWORD SYSDBA and the password, as Firebird's tools read them
// SIGINT, SIGTERM and SIGHUP are passed on to COMMAND; the server goes with it.
#include "tests/support/FirebirdServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t g_command = 0;

void PassOn(int signal) {
    if (g_command > 0)
        kill(g_command, signal);
}

int RunCommand(char** argv) {
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    if (pid < 0) {
        std::perror("fork");
        return 125;
    }
    g_command = pid;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    g_command = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: firebird_server_run COMMAND [ARGS...]\n");
        return 2;
    }
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, PassOn);
    try {
        testsupport::FirebirdServer server;
        setenv("UPDATEDB_SERVER", server.Host().c_str(), 1);
        setenv("UPDATEDB_SERVER_DATA", server.DataFolder().c_str(), 1);
        setenv("UPDATEDB_SERVER_PID", std::to_string(server.Pid()).c_str(), 1);
        setenv("UPDATEDB_PASSWORD", server.Password().c_str(), 1);
        setenv("ISC_USER", "SYSDBA", 1);
        setenv("ISC_PASSWORD", server.Password().c_str(), 1);
        return RunCommand(argv + 1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "firebird_server_run: %s\n", e.what());
        return 125;
    }
}
