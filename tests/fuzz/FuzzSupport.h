// What both fuzz targets share: message boxes answered silently, and the
// reading of fuzzer bytes as the update run reads a patch file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class kod_pvr;

namespace fuzz {

// Installs a message-box presenter that shows nothing (once per process).
void QuietMessageBoxes();

// The bytes as a patch file's lines (windows-1251) read into a new kod_pvr;
// null when the reader rejects them with its error (an Exception).
std::unique_ptr<kod_pvr> ReadPatch(const uint8_t* data, size_t size);

} // namespace fuzz
