#include "workbench/Memo.h"

Memo::Memo(std::initializer_list<std::string> lines) {
    for (const std::string& line : lines)
        m_lines.Add(line);
}

void Memo::Append(const std::string& line) {
    m_lines.Add(line);
    if (OnAppend)
        OnAppend(line);
}

void Memo::Clear() {
    m_lines.Clear();
    if (OnReset)
        OnReset();
}

void Memo::SetLines(const text::StringList& lines) {
    m_lines = lines;
    if (OnReset)
        OnReset();
}
