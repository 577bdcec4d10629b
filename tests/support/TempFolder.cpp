#include "tests/support/TempFolder.h"

#include "platform/text/Exception.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace testsupport {

std::string MakeTempFolder(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw Exception("Не удалось создать временную папку " + pattern);
    return buffer.data();
}

TempFolder::TempFolder(const std::string& prefix) : m_path(MakeTempFolder(prefix)) {}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace testsupport
