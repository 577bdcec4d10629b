// A program a test starts and keeps running beside it (an X server, the demo
// host): its output goes to a file, it gets SIGTERM if the test process dies,
// and it is stopped (SIGTERM, then SIGKILL) when the object goes, on every path.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    // Starts `program` with `args`. `environment` adds or replaces variables
    // (an empty value removes one); stdout and stderr go to `outputFile`;
    // `keepFd`, when not -1, stays open in the child under its own number.
    // Throws std::runtime_error when the program cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment,
                 const std::string& outputFile, int keepFd = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    // The exit status once it ended within `seconds` (128 + signal when a
    // signal ended it), nullopt while it still runs.
    std::optional<int> Wait(double seconds);
    // SIGTERM, SIGKILL after `graceSeconds`; the exit status.
    int Stop(double graceSeconds = 10);

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

} // namespace testsupport
