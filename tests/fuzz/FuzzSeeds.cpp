// Writes the seed corpus of the fuzz targets into a folder: the sample patch,
// generated patches of a few shapes, and small documents at the edges of the
// reader (empty collections, a lone norm, an entry with text).
#include "tests/reliability/PatchGenerator.h"

#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    int written = 0;
    auto write = [&](const std::string& name, const std::string& bytes) {
        text::WriteFileBytes(folder + "/" + name, bytes);
        ++written;
    };
    write("demo.xml", text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml"));
    const reliability::PatchShape shapes[] = {
        {1, 1, 1, 1, 50}, {1, 2, 2, 3, 60}, {2, 2, 1, 4, 70}, {1, 3, 3, 2, 80}};
    for (const auto& shape : shapes)
        write("generated-" + std::to_string(written) + ".xml",
              text::Utf8ToCp1251(reliability::GeneratePatch(shape)));
    const std::string head = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n";
    write("empty-root.xml", head + "<kod_pvr base_typecode=\"2\"/>\n");
    write("empty-collection.xml",
          head +
              text::Utf8ToCp1251("<kod_pvr><sbornik_pvr kod=\"9\" naim=\"Сборник\"/></kod_pvr>\n"));
    write("entry-text.xml",
          head + text::Utf8ToCp1251(
                     "<kod_pvr><sbornik_pvr kod=\"9\"><pvr kod=\"09-01-001\">"
                     "<pvr_popr number=\"1\" kod=\"09-01-001-1\"><kt1>09-01-001</kt1>"
                     "<tr r1=\"1.5\"/><popr_res type=\"Материал\" kod=\"101-0001\" "
                     "rashod=\"0.00005\"/></pvr_popr></pvr></sbornik_pvr></kod_pvr>\n"));
    std::printf("%d seed files in %s\n", written, folder.c_str());
    return 0;
}
