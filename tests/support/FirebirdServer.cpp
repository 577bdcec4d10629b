#include "tests/support/FirebirdServer.h"

#include "platform/db/Connection.h"
#include "platform/db/FirebirdEnvironment.h"
#include "tests/support/ExecArgs.h"
#include "tests/support/TempFolder.h"

#include <firebird/Interface.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace testsupport {
namespace {

// How long a start may take before the server counts as not coming up. The
// first login usually answers after half a second; a loaded machine running
// the sanitizer build beside it needs more.
constexpr double StartSeconds = 30;

std::string RandomHex(int length) {
    std::random_device device;
    std::uniform_int_distribution<int> digit(0, 15);
    std::string text;
    for (int i = 0; i < length; ++i)
        text += "0123456789abcdef"[digit(device)];
    return text;
}

// A TCP port on 127.0.0.1 that nothing holds now, below the range the kernel
// hands out to outgoing connections (so a client socket cannot take it later).
int FreePort() {
    std::random_device device;
    std::uniform_int_distribution<int> pick(20000, 31999);
    for (int attempt = 0; attempt < 100; ++attempt) {
        int port = pick(device);
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (free)
            return port;
    }
    throw std::runtime_error("no free TCP port on 127.0.0.1 for the Firebird server");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

bool Executable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// The environment of the server and its tools: the configuration folder and
// its lock and temporary folders, nothing of the caller's Firebird settings.
std::vector<std::string> ServerEnvironment(const std::string& folder) {
    return {"FIREBIRD=" + folder, "FIREBIRD_LOCK=" + folder + "/lock",
            "FIREBIRD_TMP=" + folder + "/tmp", "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
            "LANG=C"};
}

// Forks and runs `program` with that environment, stdin from `inputFd` (or
// /dev/null), stdout and stderr into `logPath`. The child gets SIGKILL when
// the calling thread ends. Everything the child needs is prepared before the
// fork: after it only async-signal-safe calls are made.
pid_t SpawnChild(const std::string& program, std::vector<std::string> args,
                 std::vector<std::string> environment, const std::string& logPath,
                 int inputFd = -1) {
    args.insert(args.begin(), program);
    std::vector<char*> argv = ExecArgs(args);
    std::vector<char*> envp = ExecArgs(environment);
    int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || devNull < 0)
        throw std::runtime_error("cannot open " + logPath + ": " + std::strerror(errno));
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(inputFd >= 0 ? inputFd : devNull, 0);
        dup2(log, 1);
        dup2(log, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int error = errno;
    close(log);
    close(devNull);
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(error));
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string IsqlProgram() {
    const char* configured = std::getenv("UPDATEDB_FIREBIRD_ISQL");
    if (configured && Executable(configured))
        return configured;
    for (const char* path : {"/usr/bin/isql-fb", "/opt/firebird/bin/isql"})
        if (Executable(path))
            return path;
    throw std::runtime_error("isql-fb (Debian package firebird3.0-utils) is missing: run ./run setup");
}

// One login at the server's service manager: whether the server answers.
bool ServiceLogin(const std::string& host, const std::string& password) {
    using namespace Firebird;
    db::PrepareFirebirdEnvironment(); // the process's own client configuration comes first
    IMaster* master = fb_get_master_interface();
    ThrowStatusWrapper status(master->getStatus());
    IXpbBuilder* spb = nullptr;
    IProvider* provider = nullptr;
    bool answered = false;
    try {
        spb = master->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::SPB_ATTACH,
                                                        nullptr, 0);
        spb->insertString(&status, isc_spb_user_name, "SYSDBA");
        spb->insertString(&status, isc_spb_password, password.c_str());
        spb->insertString(&status, isc_spb_config, "ConnectionTimeout=5");
        provider = master->getDispatcher();
        IService* service = provider->attachServiceManager(
            &status, (host + ":service_mgr").c_str(), spb->getBufferLength(&status),
            spb->getBuffer(&status));
        service->detach(&status);
        answered = true;
    } catch (const FbException&) {
        answered = false;
    }
    if (spb)
        spb->dispose();
    if (provider)
        provider->release();
    status.dispose();
    return answered;
}

} // namespace

std::string FirebirdServer::ServerProgram() {
    const char* configured = std::getenv("UPDATEDB_FIREBIRD_SERVER");
    if (configured && *configured)
        return Executable(configured) ? configured : "";
#ifdef UPDATEDB_FIREBIRD_SERVER_COPY
    if (Executable(UPDATEDB_FIREBIRD_SERVER_COPY))
        return UPDATEDB_FIREBIRD_SERVER_COPY;
#endif
    for (const char* path : {"/usr/sbin/firebird", "/opt/firebird/bin/firebird"})
        if (Executable(path))
            return path;
    return "";
}

FirebirdServer::FirebirdServer() : m_program(ServerProgram()), m_password(RandomHex(20)) {
    if (m_program.empty())
        throw std::runtime_error("Firebird's server program is missing: ./run setup unpacks it "
                                 "into build-deps/, or set UPDATEDB_FIREBIRD_SERVER");
    m_folder = MakeTempFolder("updatedb-server");
    try {
        for (const char* sub : {"lock", "tmp", "data"})
            fs::create_directory(m_folder + "/" + sub);
        CreateSecurityDatabase();
        // A port that was free when picked may be taken before the server
        // binds it; then it gives up on its own, and another port is tried.
        for (int attempt = 1;; ++attempt) {
            m_port = FreePort();
            WriteConfiguration();
            try {
                Start();
                break;
            } catch (const std::runtime_error&) {
                if (attempt == 3)
                    throw;
            }
        }
    } catch (...) {
        Kill();
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
        throw;
    }
}

FirebirdServer::~FirebirdServer() {
    Kill();
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
}

void FirebirdServer::WriteConfiguration() const {
    const std::string root = db::FindSystemFirebirdRoot();
    if (root.empty())
        throw std::runtime_error("the system's Firebird files (plugins, firebird.msg, intl) "
                                 "are missing: run ./run setup");
    WriteFile(m_folder + "/firebird.conf",
              "# A private server for tests and benchmarks.\n"
              "RemoteServicePort = " + std::to_string(m_port) + "\n"
              "RemoteBindAddress = 127.0.0.1\n"
              "SecurityDatabase = " + m_folder + "/security3.fdb\n"
              "ServerMode = Super\n");
    WriteFile(m_folder + "/databases.conf", "");
    std::error_code ec;
    for (const char* name : {"plugins.conf", "firebird.msg"}) {
        fs::remove(m_folder + "/" + name, ec);
        fs::create_symlink(root + "/" + name, m_folder + "/" + name, ec);
    }
    // A real copy: the engine does not load its character sets through a link.
    fs::copy(root + "/intl", m_folder + "/intl",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec)
        throw std::runtime_error("cannot copy " + root + "/intl: " + ec.message());
}

// An empty database is enough: the user manager makes its tables on first use.
// The script goes through a pipe, so the password is in no command line.
void FirebirdServer::CreateSecurityDatabase() const {
    WriteConfiguration(); // isql runs on the same configuration, port 0 for now
    const std::string path = m_folder + "/security3.fdb";
    const std::string script = "CREATE DATABASE '" + path + "' USER SYSDBA;\n"
                               "CREATE USER SYSDBA PASSWORD '" + m_password + "';\n"
                               "COMMIT;\nQUIT;\n";
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    pid_t pid = SpawnChild(IsqlProgram(), {"-q"}, ServerEnvironment(m_folder),
                           m_folder + "/isql.log", input[0]);
    close(input[0]);
    bool written = write(input[1], script.data(), script.size()) ==
                   static_cast<ssize_t>(script.size());
    close(input[1]);
    int status = WaitFor(pid);
    if (!written || status != 0 || !fs::exists(path))
        throw std::runtime_error("the security database was not made (isql status " +
                                 std::to_string(status) + "): " + ReadFile(m_folder + "/isql.log"));
}

void FirebirdServer::Spawn() {
    m_pid = SpawnChild(m_program, {}, ServerEnvironment(m_folder), m_folder + "/server.log");
}

bool FirebirdServer::AwaitAnswer(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        if (ServiceLogin(Host(), m_password))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return false;
}

void FirebirdServer::Start() {
    if (Running())
        return;
    Spawn();
    if (!AwaitAnswer(StartSeconds)) {
        Kill();
        throw std::runtime_error("the Firebird server " + m_program + " on port " +
                                 std::to_string(m_port) + " did not come up: " + Output());
    }
}

void FirebirdServer::Kill() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    WaitFor(m_pid);
    m_pid = -1;
}

std::string FirebirdServer::Host() const {
    return "127.0.0.1/" + std::to_string(m_port);
}

std::string FirebirdServer::Address(const std::string& path) const {
    return Host() + ":" + path;
}

void FirebirdServer::Configure(db::Connection& connection, const std::string& path,
                               const std::string& name) const {
    connection.SetConnectionName(name);
    connection.SetDriverName("Firebird");
    connection.SetLoginPrompt(false);
    connection.Params().Clear();
    connection.SetParamValue("Database", Address(path));
    connection.SetParamValue("User_Name", "SYSDBA");
    connection.SetParamValue("Password", m_password);
}

std::string FirebirdServer::Output() const {
    return ReadFile(m_folder + "/server.log");
}

} // namespace testsupport
