#include "tests/host/ChildProcess.h"

#include "tests/support/ExecArgs.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace {

// The environment of the child, built before fork: after fork only
// async-signal-safe calls are allowed.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (!changes.count(text.substr(0, text.find('='))))
            entries.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty())
            entries.push_back(name + "=" + value);
    return entries;
}

int StatusOf(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& environment,
                           const std::string& outputFile, int keepFd) {
    std::vector<std::string> argTexts{program};
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    std::vector<std::string> envTexts = ChildEnvironment(environment);
    std::vector<char*> argv = ExecArgs(argTexts);
    std::vector<char*> envp = ExecArgs(envTexts);
    const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (output < 0)
        throw std::runtime_error(outputFile + ": " + std::strerror(errno));
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid < 0) {
        close(output);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (m_pid == 0) {
        // Dies with the test, even when the test is killed.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(output, 1);
        dup2(output, 2);
        if (keepFd >= 0)
            fcntl(keepFd, F_SETFD, 0);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(output);
}

ChildProcess::~ChildProcess() {
    Stop();
}

std::optional<int> ChildProcess::Wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!m_status) {
        int raw = 0;
        const pid_t done = waitpid(m_pid, &raw, WNOHANG);
        if (done == m_pid)
            m_status = StatusOf(raw);
        else if (done < 0 && errno != EINTR)
            m_status = 127;
        else if (std::chrono::steady_clock::now() >= deadline)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return m_status;
}

int ChildProcess::Stop(double graceSeconds) {
    if (m_pid > 0 && !m_status) {
        kill(m_pid, SIGTERM);
        if (!Wait(graceSeconds)) {
            kill(m_pid, SIGKILL);
            int raw = 0;
            while (waitpid(m_pid, &raw, 0) < 0 && errno == EINTR) {
            }
            m_status = StatusOf(raw);
        }
    }
    return m_status.value_or(-1);
}

} // namespace testsupport
