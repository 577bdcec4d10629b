#include "workbench/window/FileDialog.h"

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
        // Qt reads the patterns from the last parentheses of a filter.
        out += pattern.empty() ? description : description + " (" + pattern + ")";
    }
    return out;
}
