// An ordered list of text lines (UTF-8 in memory), the stand-in for the host
// framework's string list: load and save in windows-1251, whole text joined with
// CR LF, set from a text split at any line break.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace text {

class StringList {
public:
    StringList() = default;

    int Count() const { return static_cast<int>(m_lines.size()); }
    const std::string& operator[](int index) const { return m_lines.at(index); }
    std::string& operator[](int index) { return m_lines.at(index); }
    const std::vector<std::string>& Lines() const { return m_lines; }

    void Add(std::string line) { m_lines.push_back(std::move(line)); }
    // REQUIRES: 0 <= index <= Count().
    void Insert(int index, std::string line);
    void Delete(int index);
    void Clear() { m_lines.clear(); }

    // The lines joined with CR LF, without a line break after the last one.
    std::string Text() const;
    // Replaces the lines by the text split at CR LF, LF or CR. A line break at the
    // very end does not start another (empty) line; an empty text gives no lines.
    void SetText(std::string_view text);

    // Reads the file's bytes as windows-1251 text. On failure throws Exception
    // naming the file and the reason; the list is left unchanged.
    void LoadFromFile(const std::string& path);
    // Writes the lines, each followed by CR LF, as windows-1251. On failure
    // throws Exception naming the file and the reason.
    void SaveToFile(const std::string& path) const;

private:
    std::vector<std::string> m_lines;
};

// The text of the file as LoadFromFile followed by Text() gives it, read
// without building the lines. Throws as LoadFromFile.
std::string LoadTextFromFile(const std::string& path);
// Reads a whole file as bytes. Throws Exception naming the file on failure.
std::string ReadFileBytes(const std::string& path);
// Writes bytes to a file (created or truncated). Throws Exception on failure.
void WriteFileBytes(const std::string& path, std::string_view bytes);

} // namespace text
