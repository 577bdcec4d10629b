// Fresh folders for tests. Every folder comes from mkdtemp, so tests that run at
// the same time in separate processes (ctest -j, or two builds at once) never
// share one, whatever their names or addresses.
#pragma once

#include <string>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp); removed by nobody: callers clean up.
std::string MakeTempFolder(const std::string& prefix);

// A fresh folder that goes, with everything in it, when the object does.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of `name` inside the folder.
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace testsupport
