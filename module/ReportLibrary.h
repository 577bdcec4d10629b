// The stand-in for entry 1 of the suite's report library, which the task
// window calls once when it is created. The suite's library is not part of
// this system; nothing relies on what the call does or leaves.
#pragma once

#include <string>

namespace reportlib {

// Takes the address of a string variable and leaves it as it is.
void Entry1(std::string* text);
// How many times Entry1 was called in this process (for tests).
int Entry1Calls();

} // namespace reportlib
