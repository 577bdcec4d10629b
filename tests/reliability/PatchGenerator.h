// Generates patch documents of a chosen size in the shape of the sample patch:
// collections of norms, each norm with its rates and table entries, each entry
// with its resource lines. Text in UTF-8; the caller stores it as windows-1251.
#pragma once

#include <string>

namespace reliability {

struct PatchShape {
    int collections = 1;
    int normsPerCollection = 10;
    int entriesPerNorm = 3;
    int resourcesPerEntry = 3;
    int firstCollection = 50; // collection codes start here, clear of the demo base's
};

// The whole document, declaration line included.
std::string GeneratePatch(const PatchShape& shape);

} // namespace reliability
