#include "tests/reliability/PatchGenerator.h"

#include <cstdio>

namespace reliability {
namespace {

std::string Code(const char* format, int a, int b = 0, int c = 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return buffer;
}

// A material, a machine and further materials in turn; the line of other
// materials ("00-00") comes last when there is room for it.
std::string Resource(int entry, int index, int count) {
    if (index == count - 1 && count > 2)
        return "<popr_res type=\"Материал\" kod=\"00-00\" kod_norvel=\"00-00\" matokp_mashpred=\"000000\" "
               "kod_ed=\"руб.\" naim=\"Прочие материалы\" rashod=\"12.5\" k91_01=\"1\" ves=\"0\" "
               "trud_mash=\"0\" sr_razrad=\"0\" st_shasa=\"0\"/>\n";
    if (index % 2 == 1)
        return "<popr_res type=\"Машина/механизм\" kod=\"" +
               Code("%02d%04d", 90, entry % 50 + index) +
               "\" kod_norvel=\"\" matokp_mashpred=\"0301\" kod_ed=\"?\" naim=\"Машина " +
               std::to_string(index) +
               "\" rashod=\"3.25\" k91_01=\"1\" ves=\"0\" trud_mash=\"1\" "
               "sr_razrad=\"4\" st_shasa=\"95.5\"/>\n";
    return "<popr_res type=\"Материал\" kod=\"" + Code("%03d-%04d", 900, entry % 50 + index) +
           "\" kod_norvel=\"\" matokp_mashpred=\"571100\" kod_ed=\"м3\" naim=\"Материал " +
           std::to_string(index) +
           "\" rashod=\"0.75\" k91_01=\"1\" ves=\"1.5\" trud_mash=\"0\" "
           "sr_razrad=\"0\" st_shasa=\"0\"/>\n";
}

std::string Entry(const std::string& norm, int number, int resources) {
    std::string xml = "<pvr_popr number=\"" + std::to_string(number) + "\" kod=\"" + norm +
                      Code("-%02d", number) + "\" naim=\"Вариант " + std::to_string(number) +
                      "\" kod_er=\"\" trud_rab=\"4.6\" trud_mash=\"2.5\" zarplata=\"278.4\" "
                      "razrad=\"3.5\">\n<kt1></kt1>\n"
                      "<tr r1=\"0\" r2=\"0\" r3=\"1.5\" r4=\"0\" r5=\"0\" r5s=\"0\" r6=\"0\" "
                      "r6s=\"0\" r7s=\"0\" r8s=\"0\" r9s=\"0\" r10s=\"0\" r11s=\"0\"/>\n";
    for (int i = 0; i < resources; ++i)
        xml += Resource(number, i, resources);
    return xml + "</pvr_popr>\n";
}

std::string Norm(int collection, int index, const PatchShape& shape) {
    const std::string code = Code("%02d-%02d-%03d", collection, index / 1000 + 1, index % 1000 + 1);
    std::string xml = "<pvr kod_razd=\"" + std::to_string(collection * 100 + 1) + "\" kod=\"" +
                      code + "\" naim=\"Работа " + code +
                      "\" naim_ed=\"100 м3\" nom_baz=\"1\" "
                      "priz_ukr=\"нет\" sostav_pvr=\"Состав работ " +
                      code +
                      ".\" priz_stm=\"\">\n"
                      "<n_procs>\n<n_proc kod_mest=\"1\" n_p=\"0\" n_z=\"95\" p_p=\"0\" p_z=\"50\" "
                      "holost=\"0\" nagr=\"0\"/>\n</n_procs>\n";
    for (int e = 1; e <= shape.entriesPerNorm; ++e)
        xml += Entry(code, e, shape.resourcesPerEntry);
    return xml + "</pvr>\n";
}

} // namespace

std::string GeneratePatch(const PatchShape& shape) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
        "<kod_pvr base_name=\"Сметно-нормативная база\" base_code=\"Сметно-нормативная "
        "база-2026\" base_date=\"2026\" base_typecode=\"2\">\n<razdels>\n";
    for (int c = 0; c < shape.collections; ++c)
        xml += "<razdel kod=\"" + std::to_string((shape.firstCollection + c) * 100 + 1) +
               "\" name=\"Раздел " + std::to_string(c + 1) +
               "\" ei=\"100 м3\" k_nakl=\"1.05\" vid_rab=\"общ\"/>\n";
    xml += "</razdels>\n";
    for (int c = 0; c < shape.collections; ++c) {
        const int kod = shape.firstCollection + c;
        xml += "<sbornik_pvr naim=\"Сборник " + std::to_string(kod) + "\" kod=\"" +
               std::to_string(kod) + "\" vid_rab=\"общ\">\n";
        for (int n = 0; n < shape.normsPerCollection; ++n)
            xml += Norm(kod, n, shape);
        xml += "</sbornik_pvr>\n";
    }
    return xml + "</kod_pvr>\n";
}

} // namespace reliability
