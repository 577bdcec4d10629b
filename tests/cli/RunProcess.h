// Runs a program to its end and keeps what it printed: for tests that drive the
// command line as a user would.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int status = -1;    // exit status, or 128 + signal
    std::string out;    // stdout
    std::string err;    // stderr
};

// Runs `program` with `args`, stdin from /dev/null. Throws std::runtime_error
// when it cannot be started.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args);

} // namespace testsupport
