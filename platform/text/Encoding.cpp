#include "platform/text/Encoding.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>

namespace text {
namespace {

// The upper half of windows-1251 as UTF-8 (two or three bytes each), built once
// through iconv. A table makes decoding a patch of hundreds of megabytes a
// simple loop.
struct DecodeTable {
    std::array<std::array<char, 4>, 128> bytes{};
    std::array<unsigned char, 128> length{};

    DecodeTable() {
        iconv_t cd = iconv_open("UTF-8", "WINDOWS-1251");
        for (int i = 0; i < 128; ++i) {
            char in = static_cast<char>(0x80 + i);
            char out[8];
            char* inPtr = &in;
            char* outPtr = out;
            size_t inLeft = 1, outLeft = sizeof out;
            std::string_view utf8 = "\xEF\xBF\xBD"; // U+FFFD
            if (cd != reinterpret_cast<iconv_t>(-1) &&
                iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
                outPtr - out <= 4)
                utf8 = std::string_view(out, static_cast<size_t>(outPtr - out));
            std::copy(utf8.begin(), utf8.end(), bytes[i].begin());
            length[i] = static_cast<unsigned char>(utf8.size());
        }
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
};

const DecodeTable& Table() {
    static const DecodeTable table;
    return table;
}

// Whether the eight bytes at `p` are all ASCII and none is CR or LF: such a
// run is copied as it is.
bool PlainWord(const char* p, bool lineBreaks) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    auto hasZeroByte = [](uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    if ((w & kHighs) != 0)
        return false;
    return !lineBreaks || (!hasZeroByte(w ^ (kOnes * '\r')) && !hasZeroByte(w ^ (kOnes * '\n')));
}

// The UTF-8 size of the bytes, line breaks counted as `lineBreak` bytes each
// when `lineBreak` is not 0.
size_t DecodedSize(const DecodeTable& table, std::string_view bytes, size_t lineBreak) {
    size_t size = 0;
    size_t i = 0;
    while (i < bytes.size()) {
        if (i + 8 <= bytes.size() && PlainWord(bytes.data() + i, lineBreak != 0)) {
            size += 8;
            i += 8;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
            size += table.length[c - 0x80];
        } else if (lineBreak != 0 && (c == '\r' || c == '\n')) {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            size += lineBreak;
        } else {
            ++size;
        }
        ++i;
    }
    return size;
}

char* DecodeByte(const DecodeTable& table, unsigned char c, char* out) {
    if (c < 0x80) {
        *out = static_cast<char>(c);
        return out + 1;
    }
    const auto& utf8 = table.bytes[c - 0x80];
    std::memcpy(out, utf8.data(), 4);
    return out + table.length[c - 0x80];
}

} // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
    const DecodeTable& table = Table();
    // Three spare bytes: every character is copied as four and the cursor then
    // moves by its real length.
    std::string out(DecodedSize(table, bytes, 0) + 3, '\0');
    char* cursor = out.data();
    for (size_t i = 0; i < bytes.size();) {
        if (i + 8 <= bytes.size() && PlainWord(bytes.data() + i, false)) {
            std::memcpy(cursor, bytes.data() + i, 8);
            cursor += 8;
            i += 8;
        } else {
            cursor = DecodeByte(table, static_cast<unsigned char>(bytes[i++]), cursor);
        }
    }
    out.resize(static_cast<size_t>(cursor - out.data()));
    return out;
}

std::string Cp1251ToUtf8Lines(std::string_view bytes) {
    const DecodeTable& table = Table();
    std::string out(DecodedSize(table, bytes, 2) + 3, '\0');
    char* cursor = out.data();
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i + 8 <= bytes.size() && PlainWord(bytes.data() + i, true)) {
            std::memcpy(cursor, bytes.data() + i, 8);
            cursor += 8;
            i += 7;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            *cursor++ = '\r';
            *cursor++ = '\n';
        } else {
            cursor = DecodeByte(table, c, cursor);
        }
    }
    size_t size = static_cast<size_t>(cursor - out.data());
    // The line break after the last line ends it; it does not start another.
    if (size >= 2 && out[size - 2] == '\r' && out[size - 1] == '\n')
        size -= 2;
    out.resize(size);
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
