// The parse baseline: pugixml's bare parse of a patch file's bytes, as they
// are (no recoding, default options), timed without reading the file. Prints
// the best of three runs as "figure pugixml.seconds S" and the first of them
// (the one that meets fresh memory, as a single read in the update run does)
// as "figure pugixml.first.seconds S". For reference beside it, the reader's
// well-formedness check alone on the decoded text, best of three, as
// "figure wellformed.seconds S".
//
//   bench_parse PATCH.xml
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "platform/xml/WellFormed.h"

#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bench_parse PATCH.xml\n";
        return 2;
    }
    std::string bytes = text::ReadFileBytes(argv[1]);
    double best = 1e9, first = 0;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        pugi::xml_document document;
        pugi::xml_parse_result result = document.load_buffer(
            bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!result) {
            std::cerr << "bench_parse: " << result.description() << "\n";
            return 1;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, seconds);
        if (run == 0)
            first = seconds;
    }
    std::printf("figure pugixml.seconds %.4f\nfigure pugixml.first.seconds %.4f\n", best, first);

    const std::string decoded = text::Cp1251ToUtf8Lines(bytes);
    double check = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        xml::WellFormedFault fault;
        if (!xml::CheckWellFormed(decoded, fault)) {
            std::cerr << "bench_parse: " << fault.reason << "\n";
            return 1;
        }
        check = std::min(check, std::chrono::duration<double>(
                                    std::chrono::steady_clock::now() - start)
                                    .count());
    }
    std::printf("figure wellformed.seconds %.4f\n", check);
    return 0;
}
