#include "module/ReportLibrary.h"

namespace reportlib {
namespace {
int g_calls = 0;
}

void Entry1(std::string*) {
    ++g_calls;
}

int Entry1Calls() {
    return g_calls;
}

} // namespace reportlib
