// A multi-line journal as the procedures see the window's memo: an ordered
// list of lines that a procedure appends to. Whoever shows it (the Qt memo, the
// command line's stdout) listens for changes.
#pragma once

#include "model/Journal.h"
#include "platform/text/StringList.h"

#include <functional>
#include <string>

class Memo : public Journal {
public:
    Memo() = default;
    explicit Memo(std::initializer_list<std::string> lines);

    // Called after a line was appended, with that line.
    std::function<void(const std::string&)> OnAppend;
    // Called after the whole content was replaced or cleared.
    std::function<void()> OnReset;

    void Append(const std::string& line) override;
    void Clear();
    // Replaces the content (the loaded deletion script, say).
    void SetLines(const text::StringList& lines);

    const text::StringList& Lines() const { return m_lines; }
    // The lines joined with CR LF.
    std::string Text() const { return m_lines.Text(); }

private:
    text::StringList m_lines;
};
