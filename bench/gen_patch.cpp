// Writes a realistic patch document (windows-1251) of a chosen size, and beside
// it the directory file that bench_apply loads into a fresh base first: the
// classifier codes and about two thirds of the resources the patch uses, so
// that the rest are new to the directories. The same seed gives the same bytes.
//
//   bench_gen_patch SIZE SEED OUT.xml OUT.dir      SIZE: small, medium, large
//                                                  or a number of norms
#include "platform/text/Encoding.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

// A small deterministic generator (splitmix64), so that the output does not
// depend on the standard library's distributions.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    // A figure with `decimals` decimals below `limit`, written as the writer
    // of the program writes doubles (no trailing zeros).
    std::string Figure(int limit, int decimals) {
        int scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale *= 10;
        long long v = static_cast<long long>(Next() % static_cast<uint64_t>(limit * scale));
        std::string s = std::to_string(v / scale);
        long long frac = v % scale;
        if (frac != 0) {
            std::string f = std::to_string(frac);
            f.insert(0, static_cast<size_t>(decimals) - f.size(), '0');
            while (!f.empty() && f.back() == '0')
                f.pop_back();
            s += "." + f;
        }
        return s;
    }
    template <size_t N> const char* Pick(const char* const (&words)[N]) { return words[Below(N)]; }

private:
    uint64_t m_state;
};

const char* const kWorks[] = {"Разработка грунта",
                              "Устройство бетонной подготовки",
                              "Монтаж стальных конструкций",
                              "Кладка стен из кирпича",
                              "Устройство кровли из рулонных материалов",
                              "Прокладка трубопроводов",
                              "Окраска поверхностей",
                              "Устройство полов",
                              "Монтаж оборудования",
                              "Укладка асфальтобетона"};
const char* const kDetails[] = {"с погрузкой на автомобили-самосвалы",
                                "вручную в траншеях",
                                "высотой до 15 м",
                                "толщиной 100 мм",
                                "диаметром до 300 мм",
                                "в зимних условиях",
                                "с применением крана",
                                "на отметке до 5 м"};
const char* const kUnits[] = {"100 м3 грунта",      "100 м2", "1 т конструкций", "10 м3 кладки",
                              "100 м трубопровода", "1 шт."};
const char* const kMaterials[] = {
    "Бетон тяжелый, класс В15", "Раствор цементный М100", "Кирпич керамический", "Сталь листовая",
    "Трубы стальные",           "Битум нефтяной",         "Краска масляная",     "Доски обрезные",
    "Щебень гранитный",         "Песок природный"};
const char* const kMachines[] = {"Экскаватор одноковшовый",
                                 "Кран на автомобильном ходу",
                                 "Бульдозер",
                                 "Автомобиль бортовой",
                                 "Каток дорожный",
                                 "Компрессор передвижной",
                                 "Трактор на гусеничном ходу"};
const char* const kMatUnits[] = {"м3", "т", "м2", "шт.", "кг"};

struct Shape {
    int norms;
};

Shape ShapeFor(const std::string& size) {
    // About 71 lines per norm: rate rows, four entries of six resource lines.
    if (size == "small")
        return {28};
    if (size == "medium")
        return {2800};
    if (size == "large")
        return {28000};
    return {std::atoi(size.c_str())};
}

std::string Code(int value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<size_t>(width) - s.size(), '0');
    return s;
}

// The resources of the patch. Index i is a material for i < materials and a
// machine otherwise; every third one (i % 3 == 0) is not in the directories.
struct Catalogue {
    int materials;
    int machines;
    std::string MaterialCode(int i) const {
        return Code(100 + i / 9000, 3) + "-" + Code(i % 9000, 4);
    }
    std::string MachineCode(int i) const { return Code(10000 + i, 6); }
    static std::string Okp(int i) { return Code(500000 + i % 700, 6); }
    static std::string MashPred(int i) { return Code(300 + i % 60, 4); }
    static bool Known(int i) { return i % 3 != 0; }
};

std::string MaterialName(int i) {
    return std::string(kMaterials[i % 10]) + ", марка " + std::to_string(100 + i % 400);
}
std::string MachineName(int i) {
    return std::string(kMachines[i % 7]) + ", мощность " + std::to_string(50 + i % 200) + " кВт";
}

void WriteResources(std::string& out, Random& rnd, const Catalogue& cat, bool otherMaterials) {
    int count = rnd.Between(3, 9);
    std::vector<int> used;
    for (int r = 0; r < count; ++r) {
        if (r > 0)
            out += "\n";
        bool machine = rnd.Below(3) == 0;
        int i = machine ? rnd.Below(cat.machines) : rnd.Below(cat.materials);
        bool repeat = false;
        for (int u : used)
            repeat = repeat || u == (machine ? -1 - i : i);
        if (repeat)
            i = (i + 1) % (machine ? cat.machines : cat.materials);
        used.push_back(machine ? -1 - i : i);
        if (machine) {
            out += "<popr_res type=\"Машина/механизм\" kod=\"" + cat.MachineCode(i) +
                   "\" kod_norvel=\"" + cat.MachineCode(i) + "\" matokp_mashpred=\"" +
                   Catalogue::MashPred(i) + "\" kod_ed=\"?\" naim=\"" + MachineName(i) +
                   "\" rashod=\"" + rnd.Figure(60, 2) + "\" k91_01=\"1\" ves=\"0\" trud_mash=\"" +
                   rnd.Figure(3, 1) + "\" sr_razrad=\"" + std::to_string(rnd.Between(0, 6)) +
                   "\" st_shasa=\"" + rnd.Figure(500, 2) + "\"/>\n";
        } else {
            out += "<popr_res type=\"Материал\" kod=\"" + cat.MaterialCode(i) + "\" kod_norvel=\"" +
                   cat.MaterialCode(i) + "\" matokp_mashpred=\"" + Catalogue::Okp(i) +
                   "\" kod_ed=\"" + kMatUnits[i % 5] + "\" naim=\"" + MaterialName(i) +
                   "\" rashod=\"" + rnd.Figure(200, 3) + "\" k91_01=\"1\" ves=\"" +
                   rnd.Figure(3, 2) + "\" trud_mash=\"0\" sr_razrad=\"0\" st_shasa=\"0\"/>\n";
        }
    }
    if (otherMaterials)
        out += "\n<popr_res type=\"Материал\" kod=\"00-00\" kod_norvel=\"00-00\" "
               "matokp_mashpred=\"000000\" kod_ed=\"руб.\" naim=\"Прочие материалы\" rashod=\"" +
               rnd.Figure(300, 2) +
               "\" k91_01=\"1\" ves=\"0\" trud_mash=\"0\" sr_razrad=\"0\" st_shasa=\"0\"/>\n";
}

void WriteEntry(std::string& out, Random& rnd, const Catalogue& cat, const std::string& norm,
                int number, const std::string& normName, bool otherMaterials) {
    bool labour = rnd.Chance(90);
    std::string kod = norm + "-" + Code(number, 2);
    out += "<pvr_popr number=\"" + std::to_string(number) + "\" kod=\"" + kod + "\" naim=\"" +
           normName + ", вариант " + std::to_string(number) + "\" kod_er=\"\" trud_rab=\"" +
           (labour ? rnd.Figure(400, 2) : "0") + "\" trud_mash=\"" + rnd.Figure(40, 2) +
           "\" zarplata=\"" + (labour ? rnd.Figure(20000, 2) : "0") + "\" razrad=\"" +
           (labour ? rnd.Figure(6, 1) : "0") + "\">\n";
    out += rnd.Chance(30) ? "<kt1>" + norm + "</kt1>\n" : "<kt1></kt1>\n";
    bool extra = rnd.Chance(20);
    out +=
        "<tr r1=\"" + (extra ? rnd.Figure(50, 2) : std::string("0")) +
        "\" r2=\"0\" r3=\"0\" r4=\"0\" r5=\"0\" r5s=\"0\" r6=\"0\" r6s=\"0\" r7s=\"0\" r8s=\"0\" "
        "r9s=\"0\" r10s=\"0\" r11s=\"0\"/>\n";
    WriteResources(out, rnd, cat, otherMaterials);
    out += "</pvr_popr>\n";
}

void WriteNorm(std::string& out, Random& rnd, const Catalogue& cat, int collection, int section,
               int number) {
    std::string kod = Code(collection, 2) + "-" + Code(section, 2) + "-" + Code(number, 3);
    std::string name = std::string(rnd.Pick(kWorks)) + " " + rnd.Pick(kDetails);
    const char* stm = rnd.Chance(10) ? "MM" : "";
    out += "<pvr kod_razd=\"" + std::to_string(collection * 100 + section) + "\" kod=\"" + kod +
           "\" naim=\"" + name + "\" naim_ed=\"" + rnd.Pick(kUnits) +
           "\" nom_baz=\"1\" priz_ukr=\"\" sostav_pvr=\"" +
           (rnd.Chance(80) ? "Подготовка рабочего места. " + name + ". Уборка отходов."
                           : std::string()) +
           "\" priz_stm=\"" + stm + "\">\n<n_procs>\n";
    int rates = rnd.Between(1, 3);
    for (int r = 1; r <= rates; ++r) {
        if (r > 1)
            out += "\n";
        out += "<n_proc kod_mest=\"" + std::to_string(r) + "\" n_p=\"0\" n_z=\"" +
               std::to_string(rnd.Between(60, 130)) + "\" p_p=\"0\" p_z=\"" +
               std::to_string(rnd.Between(40, 80)) + "\" holost=\"0\" nagr=\"0\"/>\n";
    }
    out += "</n_procs>\n\n";
    bool others = collection >= 70 && collection <= 109;
    int entries = rnd.Between(2, 6);
    for (int e = 1; e <= entries; ++e) {
        if (e > 1)
            out += "\n";
        WriteEntry(out, rnd, cat, kod, e, name, others);
    }
    out += "</pvr>\n";
}

std::vector<int> CollectionCodes(int count) {
    // Ordinary collections first, then the ones of the other-material pass.
    std::vector<int> codes;
    for (int c = 0; c < count; ++c)
        codes.push_back(c % 4 == 1 ? 70 + c : 1 + c);
    return codes;
}

void WriteDirectories(std::ofstream& dir, const Catalogue& cat) {
    std::string out;
    for (int i = 0; i < 700; ++i)
        out += "O|" + Catalogue::Okp(i) + "\n";
    for (int i = 0; i < 60; ++i)
        out += "P|" + Catalogue::MashPred(i) + "\n";
    out += "M|00-00|Прочие материалы|000000|руб.|0\n";
    for (int i = 0; i < cat.materials; ++i)
        if (Catalogue::Known(i))
            out += "M|" + cat.MaterialCode(i) + "|" + MaterialName(i) + "|" + Catalogue::Okp(i) +
                   "|" + kMatUnits[i % 5] + "|1.5\n";
    for (int i = 0; i < cat.machines; ++i)
        if (Catalogue::Known(i))
            out += "S|" + cat.MachineCode(i) + "|" + MachineName(i) + "|" + Catalogue::MashPred(i) +
                   "\n";
    dir << text::Utf8ToCp1251(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: bench_gen_patch small|medium|large|NORMS SEED OUT.xml OUT.dir\n";
        return 2;
    }
    Shape shape = ShapeFor(argv[1]);
    if (shape.norms <= 0) {
        std::cerr << "bench_gen_patch: bad size " << argv[1] << "\n";
        return 2;
    }
    Random rnd(std::strtoull(argv[2], nullptr, 10));
    int entries = shape.norms * 4;
    Catalogue cat{std::max(30, entries / 2), std::max(10, entries / 8)};
    std::ofstream xml(argv[3], std::ios::binary);
    std::ofstream dir(argv[4], std::ios::binary);

    int collections = std::max(2, std::min(47, shape.norms / 60));
    int sectionsPerCollection = std::max(1, std::min(9, shape.norms / collections / 10));
    std::vector<int> codes = CollectionCodes(collections);
    std::string out =
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
        "<kod_pvr base_name=\"Сметно-нормативная база\" base_code=\"Сметно-нормативная база-2026\" "
        "base_date=\"2026\" base_typecode=\"2\">\n<razdels>\n";
    bool first = true;
    for (int c : codes)
        for (int s = 1; s <= sectionsPerCollection; ++s) {
            out += first ? "" : "\n";
            first = false;
            out += "<razdel kod=\"" + std::to_string(c * 100 + s) + "\" name=\"" +
                   rnd.Pick(kWorks) + ", раздел " + std::to_string(s) + "\" ei=\"" +
                   rnd.Pick(kUnits) + "\" k_nakl=\"" + "1." + std::to_string(rnd.Between(1, 25)) +
                   "\" vid_rab=\"СТР\"/>\n";
        }
    out += "</razdels>\n";
    int norm = 0;
    for (int c = 0; c < collections; ++c) {
        out += "\n<sbornik_pvr naim=\"Сборник " + std::to_string(codes[c]) + ". " +
               rnd.Pick(kWorks) + "\" kod=\"" + std::to_string(codes[c]) + "\" vid_rab=\"СТР\">\n";
        int here = shape.norms / collections + (c < shape.norms % collections ? 1 : 0);
        for (int n = 0; n < here; ++n, ++norm) {
            out += "\n";
            WriteNorm(out, rnd, cat, codes[c], 1 + n % sectionsPerCollection,
                      1 + n / sectionsPerCollection);
            if (out.size() > (1u << 20)) {
                xml << text::Utf8ToCp1251(out);
                out.clear();
            }
        }
        out += "</sbornik_pvr>\n";
    }
    out += "</kod_pvr>";
    xml << text::Utf8ToCp1251(out);
    WriteDirectories(dir, cat);
    if (!xml || !dir) {
        std::cerr << "bench_gen_patch: cannot write the output files\n";
        return 1;
    }
    return 0;
}
