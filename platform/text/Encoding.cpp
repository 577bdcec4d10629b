#include "platform/text/Encoding.h"

#include <array>
#include <cerrno>
#include <iconv.h>
#include <algorithm>

namespace text {
namespace {

// The upper half of windows-1251 as UTF-8, built once through iconv. A table
// makes decoding a patch of hundreds of megabytes a simple loop.
struct DecodeTable {
    std::array<std::string, 128> upper;

    DecodeTable() {
        iconv_t cd = iconv_open("UTF-8", "WINDOWS-1251");
        for (int i = 0; i < 128; ++i) {
            char in = static_cast<char>(0x80 + i);
            char out[8];
            char* inPtr = &in;
            char* outPtr = out;
            size_t inLeft = 1, outLeft = sizeof out;
            if (cd != reinterpret_cast<iconv_t>(-1) &&
                iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
                upper[i].assign(out, outPtr);
            } else {
                upper[i] = "\xEF\xBF\xBD"; // U+FFFD
            }
        }
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
};

const DecodeTable& Table() {
    static const DecodeTable table;
    return table;
}

} // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
    const DecodeTable& table = Table();
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (unsigned char c : bytes) {
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else
            out += table.upper[c - 0x80];
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    iconv_t cd = iconv_open("WINDOWS-1251", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (unsigned char c : utf8)
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return out;
    }
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        // EILSEQ (no such character, or bad UTF-8) or EINVAL (cut sequence):
        // write '?' and skip the whole UTF-8 sequence.
        out.push_back('?');
        size_t skip = 1;
        while (skip < inLeft && skip < 4 && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
            ++skip;
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    return out;
}

} // namespace text
