// The argument and environment arrays of execve: pointers into `texts`,
// closed by a null pointer. `texts` must outlive the array and stay unchanged.
#pragma once

#include <string>
#include <vector>

inline std::vector<char*> ExecArgs(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}
