#include "platform/text/Encoding.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace text {
namespace {

unsigned Ctz(unsigned m) {
    return static_cast<unsigned>(__builtin_ctz(m));
}

// Every windows-1251 byte as UTF-8 (one to three bytes, padded to four), the
// upper half built once through iconv. A table makes decoding a patch of
// hundreds of megabytes a simple loop.
struct DecodeTable {
    std::array<std::array<char, 4>, 256> bytes{};
    std::array<unsigned char, 256> length{};
    // Whether every letter (0xC0 to 0xFF) takes two bytes, as it does unless
    // iconv is missing and everything beyond ASCII became U+FFFD.
    bool lettersTakeTwo = true;

    DecodeTable() {
        for (int i = 0; i < 0x80; ++i) {
            bytes[i][0] = static_cast<char>(i);
            length[i] = 1;
        }
        iconv_t cd = iconv_open("UTF-8", "WINDOWS-1251");
        for (int i = 0x80; i < 0x100; ++i) {
            char in = static_cast<char>(i);
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
        for (int i = 0xC0; i < 0x100; ++i)
            lettersTakeTwo = lettersTakeTwo && length[i] == 2;
    }
};

const DecodeTable& Table() {
    static const DecodeTable table;
    return table;
}

// Bytes are taken sixteen at a time: a block of plain ASCII (and, for lines,
// no CR or LF) is copied as it is; only the others are looked up one by one.
constexpr size_t kBlock = 16;

struct BlockMasks {
    unsigned high;   // bytes beyond ASCII
    unsigned punct;  // of those, 0x80 to 0xBF: the letters are 0xC0 to 0xFF
    unsigned breaks; // CR and LF
};

BlockMasks Masks(const char* p) {
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i cr = _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'));
    const __m128i lf = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
    // As signed bytes 0x80 to 0xBF are -128 to -65.
    const __m128i punct = _mm_cmplt_epi8(v, _mm_set1_epi8(-64));
    return {static_cast<unsigned>(_mm_movemask_epi8(v)),
            static_cast<unsigned>(_mm_movemask_epi8(punct)),
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(cr, lf)))};
#else
    BlockMasks masks{0, 0, 0};
    for (size_t k = 0; k < kBlock; ++k) {
        const unsigned char c = static_cast<unsigned char>(p[k]);
        masks.high |= static_cast<unsigned>(c >= 0x80) << k;
        masks.punct |= static_cast<unsigned>(c >= 0x80 && c < 0xC0) << k;
        masks.breaks |= static_cast<unsigned>(c == '\r' || c == '\n') << k;
    }
    return masks;
#endif
}

// The set bits of a 16-bit mask (without a library call where the processor
// has no popcount instruction by default).
unsigned Popcount(unsigned m) {
    m = m - ((m >> 1) & 0x5555u);
    m = (m & 0x3333u) + ((m >> 2) & 0x3333u);
    m = (m + (m >> 4)) & 0x0F0Fu;
    return (m + (m >> 8)) & 0x1Fu;
}

// How many bytes the line break at `i` adds to the text: a lone CR or LF
// becomes CR LF (one more), a CR LF stays as it is.
size_t BreakGrowth(std::string_view bytes, size_t i) {
    if (bytes[i] == '\r')
        return i + 1 < bytes.size() && bytes[i + 1] == '\n' ? 0 : 1;
    return i > 0 && bytes[i - 1] == '\r' ? 0 : 1;
}

// The UTF-8 size of the bytes, each line break counted as CR LF when `lines`.
size_t DecodedSize(const DecodeTable& table, std::string_view bytes, bool lines) {
    size_t size = bytes.size();
    size_t i = 0;
    for (; i + kBlock <= bytes.size(); i += kBlock) {
        const BlockMasks masks = Masks(bytes.data() + i);
        // Every letter takes two bytes; the rest beyond ASCII are looked up.
        unsigned lookUp = masks.high;
        if (table.lettersTakeTwo) {
            size += Popcount(masks.high & ~masks.punct);
            lookUp = masks.punct;
        }
        for (unsigned m = lookUp; m != 0; m &= m - 1)
            size += table.length[static_cast<unsigned char>(bytes[i + Ctz(m)])] - 1u;
        if (lines)
            for (unsigned m = masks.breaks; m != 0; m &= m - 1)
                size += BreakGrowth(bytes, i + Ctz(m));
    }
    for (; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        size += table.length[c] - 1u;
        if (lines && (c == '\r' || c == '\n'))
            size += BreakGrowth(bytes, i);
    }
    return size;
}

// Decodes bytes [i, end) one at a time; returns the new output position.
// Without `kBreaks` CR and LF are plain bytes, and the loop has no branch.
template <bool kBreaks>
char* DecodeBytes(const DecodeTable& table, std::string_view bytes, size_t i, size_t end,
                  char* out) {
    for (; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (kBreaks && (c == '\r' || c == '\n')) {
            // A CR LF pair is written when its CR is met; its LF adds nothing.
            if (c == '\n' && i > 0 && bytes[i - 1] == '\r')
                continue;
            *out++ = '\r';
            *out++ = '\n';
            continue;
        }
        std::memcpy(out, table.bytes[c].data(), 4);
        out += table.length[c];
    }
    return out;
}

// Decodes all bytes into `out`, which holds their DecodedSize and kBlock
// spare bytes (a block or a character is stored whole, then the cursor moves
// by its real length). Returns the end of the text written.
char* Decode(const DecodeTable& table, std::string_view bytes, bool lines, char* out) {
    size_t i = 0;
    for (; i + kBlock <= bytes.size(); i += kBlock) {
        const BlockMasks masks = Masks(bytes.data() + i);
        const bool breaks = lines && masks.breaks != 0;
        if (masks.high == 0 && !breaks) {
            std::memcpy(out, bytes.data() + i, kBlock);
            out += kBlock;
        } else {
            out = breaks ? DecodeBytes<true>(table, bytes, i, i + kBlock, out)
                         : DecodeBytes<false>(table, bytes, i, i + kBlock, out);
        }
    }
    return lines ? DecodeBytes<true>(table, bytes, i, bytes.size(), out)
                 : DecodeBytes<false>(table, bytes, i, bytes.size(), out);
}

// Asks the kernel for all pages of a large buffer at once, instead of one
// fault per page as they are first written. Only a hint: a kernel without
// MADV_POPULATE_WRITE just lets the pages fault in.
void PopulatePages(char* data, size_t size) {
#if defined(__linux__)
    constexpr int kPopulateWrite = 23; // MADV_POPULATE_WRITE, Linux 5.14
    constexpr size_t kLarge = size_t(1) << 20;
    if (size < kLarge)
        return;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite);
#else
    (void)data;
    (void)size;
#endif
}

std::string DecodeAll(std::string_view bytes, bool lines) {
    const DecodeTable& table = Table();
    const size_t size = DecodedSize(table, bytes, lines) + kBlock;
    std::string out;
    out.reserve(size);
    PopulatePages(out.data(), size);
    out.resize(size);
    const char* end = Decode(table, bytes, lines, out.data());
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
}

} // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
    return DecodeAll(bytes, false);
}

std::string Cp1251ToUtf8Lines(std::string_view bytes) {
    std::string out = DecodeAll(bytes, true);
    // The line break after the last line ends it; it does not start another.
    if (out.size() >= 2 && out[out.size() - 2] == '\r' && out.back() == '\n')
        out.resize(out.size() - 2);
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
