#include "workbench/window/FileDialog.h"

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Qt shows a filter as written and reads its patterns from the last
// parentheses. A description that already ends with its pattern in
// parentheses, as "(*.xml)" does, is shown once.
std::string QtNameFilter(const std::string& description, const std::string& pattern) {
    if (pattern.empty())
        return description;
    const std::string inParentheses = "(" + pattern + ")";
    if (EndsWith(description, inParentheses))
        return description;
    return description.empty() ? inParentheses : description + " " + inParentheses;
}

} // namespace

std::string QtNameFilters(const std::string& hostFilter) {
    std::string out;
    size_t start = 0;
    while (start <= hostFilter.size()) {
        size_t bar = hostFilter.find('|', start);
        std::string description = hostFilter.substr(start, bar - start);
        std::string pattern;
        if (bar != std::string::npos) {
            size_t next = hostFilter.find('|', bar + 1);
            pattern = hostFilter.substr(bar + 1, next == std::string::npos ? next : next - bar - 1);
            start = next == std::string::npos ? hostFilter.size() + 1 : next + 1;
        } else {
            start = hostFilter.size() + 1;
        }
        if (!out.empty())
            out += ";;";
        out += QtNameFilter(description, pattern);
    }
    return out;
}
