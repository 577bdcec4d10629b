// Sets the locale variables of the environment for one test (and for the
// programs it starts) and puts the previous values back. The locales the tests
// name are made in the build tree (tests/host/CMakeLists.txt) and found
// through LOCPATH.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace testsupport {

class LocaleEnvironment {
public:
    // Clears LC_ALL, LC_NUMERIC and LANG and points LOCPATH at the test
    // locales (UPDATEDB_TEST_LOCALES); Ready() tells whether they were made.
    LocaleEnvironment() {
        for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG", "LOCPATH"}) {
            const char* value = std::getenv(name);
            m_saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(name);
        }
        const char* folder = std::getenv("UPDATEDB_TEST_LOCALES");
        m_folder = folder ? folder : "";
        if (!m_folder.empty())
            setenv("LOCPATH", m_folder.c_str(), 1);
    }
    ~LocaleEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    LocaleEnvironment(const LocaleEnvironment&) = delete;
    LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;

    // An empty value unsets the variable.
    void Set(const char* name, const std::string& value) {
        if (value.empty())
            unsetenv(name);
        else
            setenv(name, value.c_str(), 1);
    }
    // The comma locale was made: its numeric category is there.
    bool Ready() const {
        return !m_folder.empty() &&
               std::filesystem::exists(m_folder + "/ru_RU.UTF-8/LC_NUMERIC");
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
    std::string m_folder;
};

} // namespace testsupport
