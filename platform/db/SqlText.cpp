#include "platform/db/SqlText.h"

#include "platform/text/Strings.h"

namespace db {
namespace {

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$';
}

// Answers the position just after the literal, quoted identifier or comment that
// starts at i, or i itself when none starts there.
size_t SkipNonCode(std::string_view s, size_t i) {
    char c = s[i];
    if (c == '\'' || c == '"') {
        size_t j = i + 1;
        while (j < s.size()) {
            if (s[j] == c) {
                if (j + 1 < s.size() && s[j + 1] == c) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return s.size();
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
        size_t end = s.find('\n', i);
        return end == std::string_view::npos ? s.size() : end;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
        size_t end = s.find("*/", i + 2);
        return end == std::string_view::npos ? s.size() : end + 2;
    }
    return i;
}

// The text from its first character that is neither blank nor inside a comment;
// empty when the text holds nothing else.
std::string_view SkipLeadingComments(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) <= ' ') {
            ++i;
            continue;
        }
        bool comment = s[i] == '-' || s[i] == '/';
        size_t skipped = comment ? SkipNonCode(s, i) : i;
        if (skipped == i)
            return s.substr(i);
        i = skipped;
    }
    return {};
}

// "SET TERM x" (any case, any blanks), with the new terminator in `terminator`.
bool IsSetTerm(std::string_view statement, std::string& terminator) {
    std::string t = text::Trim(statement);
    std::string upper = text::UpperAscii(t);
    if (upper.compare(0, 3, "SET") != 0)
        return false;
    size_t i = 3;
    size_t blanks = i;
    while (i < t.size() && static_cast<unsigned char>(t[i]) <= ' ')
        ++i;
    if (i == blanks || upper.compare(i, 4, "TERM") != 0)
        return false;
    i += 4;
    blanks = i;
    while (i < t.size() && static_cast<unsigned char>(t[i]) <= ' ')
        ++i;
    if (i == blanks || i >= t.size())
        return false;
    terminator = text::Trim(t.substr(i));
    return !terminator.empty();
}

} // namespace

std::vector<size_t> ParameterMarks(std::string_view positional) {
    std::vector<size_t> marks;
    for (size_t i = 0; i < positional.size();) {
        size_t skipped = SkipNonCode(positional, i);
        if (skipped != i) {
            i = skipped;
            continue;
        }
        if (positional[i] == '?')
            marks.push_back(i);
        ++i;
    }
    return marks;
}

size_t CountWord(std::string_view sql, std::string_view word) {
    size_t count = 0;
    for (size_t i = 0; i < sql.size();) {
        size_t skipped = SkipNonCode(sql, i);
        if (skipped != i) {
            i = skipped;
            continue;
        }
        if (!IsNameChar(sql[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < sql.size() && IsNameChar(sql[end]))
            ++end;
        if (text::EqualsIgnoreCaseAscii(sql.substr(i, end - i), word))
            ++count;
        i = end;
    }
    return count;
}

ParsedSql ParseParameters(std::string_view sql) {
    ParsedSql parsed;
    parsed.original = std::string(sql);
    std::string& out = parsed.positional;
    size_t i = 0;
    while (i < sql.size()) {
        size_t skipped = SkipNonCode(sql, i);
        if (skipped != i) {
            out.append(sql.substr(i, skipped - i));
            i = skipped;
            continue;
        }
        char c = sql[i];
        if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            out.append("::");
            i += 2;
            continue;
        }
        if (c == ':' && i + 1 < sql.size() && IsNameStart(sql[i + 1]) &&
            (i == 0 || !IsNameChar(sql[i - 1]))) {
            size_t end = i + 1;
            while (end < sql.size() && IsNameChar(sql[end]))
                ++end;
            parsed.names.emplace_back(sql.substr(i + 1, end - i - 1));
            out.push_back('?');
            i = end;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return parsed;
}

SqlPlan PlanStatement(std::string_view sql) {
    SqlPlan plan;
    plan.parsed = ParseParameters(sql);
    plan.blank = text::Trim(sql).empty();
    for (const std::string& name : plan.parsed.names) {
        size_t index = 0;
        while (index < plan.params.size() && !text::EqualsIgnoreCaseAscii(plan.params[index], name))
            ++index;
        if (index == plan.params.size())
            plan.params.push_back(name);
        plan.positions.push_back(index);
    }
    return plan;
}

std::vector<ScriptStatement> SplitScript(std::string_view script) {
    std::vector<ScriptStatement> statements;
    std::string terminator = ";";
    size_t start = 0;
    size_t i = 0;
    int line = 1;
    int startLine = 1;
    bool startSeen = false; // whether the current statement has started (non-blank)
    auto finish = [&](size_t end) {
        std::string textOf = text::Trim(script.substr(start, end - start));
        std::string newTerminator;
        if (IsSetTerm(SkipLeadingComments(textOf), newTerminator)) {
            terminator = newTerminator;
        } else if (!SkipLeadingComments(textOf).empty()) {
            int number = static_cast<int>(statements.size()) + 1;
            statements.push_back({std::move(textOf), number, startLine});
        }
        startSeen = false;
    };
    while (i < script.size()) {
        if (!startSeen && static_cast<unsigned char>(script[i]) > ' ') {
            startSeen = true;
            startLine = line;
        }
        size_t skipped = SkipNonCode(script, i);
        if (skipped != i) {
            for (size_t k = i; k < skipped; ++k)
                line += script[k] == '\n';
            i = skipped;
            continue;
        }
        if (script.compare(i, terminator.size(), terminator) == 0) {
            finish(i);
            i += terminator.size();
            start = i;
            continue;
        }
        line += script[i] == '\n';
        ++i;
    }
    finish(script.size());
    return statements;
}

} // namespace db
