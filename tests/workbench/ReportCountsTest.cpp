// What the change report counts of a real save, compared as a whole with the
// difference of every table's rows before and after the run on an embedded
// base; with statements sent together and one by one. And where a failing
// save names its object and patch line.
#include "tests/workbench/WorkbenchFixture.h"

#include "platform/db/Query.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "workbench/ReportFormat.h"
#include "workbench/UpdateRun.h"

#include <algorithm>
#include <map>
#include <set>

using testsupport::PatchXml;
using testsupport::WorkbenchTest;

namespace {

// The tables a save writes, with their key columns.
const std::vector<std::pair<std::string, std::vector<std::string>>>& Keys() {
    static const std::vector<std::pair<std::string, std::vector<std::string>>> keys = {
        {"KOD_RAZD", {"KOD_RAZD"}},
        {"KOD_SBOR", {"KOD_SB"}},
        {"KOD_PVR", {"KOD_PVR"}},
        {"SOST_PVR", {"KOD_PVR"}},
        {"N_PROC", {"KOD_PVR", "KOD_MEST"}},
        {"KOD_TABL", {"KOD_PVR", "N_TABL"}},
        {"TRUDOZ", {"KOD_PVR", "N_TABL"}},
        {"ZARP", {"KOD_PVR", "N_TABL"}},
        {"CNIR", {"KOD_PVR", "N_TABL", "KOD_CNIR"}},
        {"MASH", {"KOD_PVR", "N_TABL", "KOD_MASH"}},
        {"NOM_MAT", {"KOD_MAT"}},
        {"NOM_MASH", {"KOD_MASH"}},
    };
    return keys;
}

// A table's rows: key text -> the whole row as text.
using Rows = std::map<std::string, std::string>;
using TableRows = std::map<std::string, Rows>;

// What the patch reaches: the rows it writes again even when they stay as
// they were (a section, a collection, a norm with its composition and rates,
// a listed entry with its labour, wage and every resource line under it).
struct Reach {
    std::set<std::string> sections, collections, norms, entries;
    bool Holds(const std::string& table, const std::vector<std::string>& key) const {
        if (table == "KOD_RAZD")
            return sections.count(key[0]) != 0;
        if (table == "KOD_SBOR")
            return collections.count(key[0]) != 0;
        if (table == "KOD_PVR" || table == "SOST_PVR" || table == "N_PROC")
            return norms.count(key[0]) != 0;
        if (table == "NOM_MAT" || table == "NOM_MASH")
            return false; // directory rows are added, never written again
        return entries.count(key[0] + "/" + key[1]) != 0;
    }
};

class ReportCountsTest : public WorkbenchTest, public ::testing::WithParamInterface<bool> {
protected:
    ReportCountsTest() {
        m_form->SQLConnect.SetGrouping(GetParam());
        m_form->ChProch = false; // the report counts the save
    }

    TableRows Take() {
        TableRows dump;
        for (const auto& [table, key] : Keys()) {
            db::Query q(*m_sql);
            q.SetSQL("select * from " + table);
            q.Open();
            for (; !q.Eof(); q.Next()) {
                std::string keyText, row;
                for (const std::string& column : key)
                    keyText += q.FieldByName(column).AsString() + "/";
                for (int c = 0; c < q.FieldCount(); ++c)
                    row += (q.FieldAt(c).IsNull() ? "NULL" : q.FieldAt(c).AsString()) + "|";
                dump[table][keyText] = row;
            }
        }
        return dump;
    }

    // The counts the report must give: new, changed and removed rows from the
    // two dumps; unchanged the rows the patch reaches that stayed as they were.
    static std::map<std::string, TableCounts> Expected(const TableRows& before,
                                                       const TableRows& after, const Reach& reach) {
        std::map<std::string, TableCounts> expected;
        for (const auto& [table, key] : Keys()) {
            TableCounts counts;
            const Rows& b = before.count(table) ? before.at(table) : Rows{};
            const Rows& a = after.count(table) ? after.at(table) : Rows{};
            for (const auto& [k, row] : a) {
                auto old = b.find(k);
                if (old == b.end())
                    ++counts.added;
                else if (old->second != row)
                    ++counts.changed;
                else {
                    std::vector<std::string> parts;
                    std::string part;
                    for (char c : k) {
                        if (c == '/') {
                            parts.push_back(part);
                            part.clear();
                        } else {
                            part += c;
                        }
                    }
                    if (reach.Holds(table, parts))
                        ++counts.unchanged;
                }
            }
            for (const auto& [k, row] : b)
                counts.removed += a.count(k) ? 0 : 1;
            if (!(counts == TableCounts{}))
                expected[table] = counts;
        }
        return expected;
    }

    // Runs the patch and checks the report against the dumps.
    void RunAndCompare(const Reach& reach) {
        const TableRows before = Take();
        EXPECT_EQ(BitCalcClick(*m_form), 2);
        const TableRows after = Take();
        const ChangeReport& report = m_form->Report;
        ASSERT_TRUE(report.saveObserved) << ReportSummary(report);
        EXPECT_FALSE(report.error) << report.error->message;
        EXPECT_EQ(report.tables, Expected(before, after, reach)) << ReportSummary(report);
        EXPECT_EQ(
            report.materialsAdded,
            static_cast<int64_t>(after.at("NOM_MAT").size() -
                                 (before.count("NOM_MAT") ? before.at("NOM_MAT").size() : 0)));
        EXPECT_EQ(m_form->SQLConnect.Groups(), GetParam());
    }

    TableCounts Objects(ObjectKind kind) const {
        return m_form->Report.objects[static_cast<size_t>(kind)];
    }

    void EmptyBase() {
        for (const auto& [table, key] : Keys())
            Sql("delete from " + table);
    }
};

// The demo patch reaches two sections, two collections, three norms and their
// four entries.
Reach DemoReach() {
    Reach reach;
    reach.sections = {"101", "103"};
    reach.collections = {"1", "6"};
    reach.norms = {"01-01-001", "01-03-001", "06-01-001"};
    reach.entries = {"01-01-001/1", "01-01-001/2", "01-03-001/1", "06-01-001/1"};
    return reach;
}

// A patch of one collection with norms, rates, entries and lines whose values
// go through every rule of storing: trimmed codes, blanks kept in a name,
// fixed-point and five-digit figures, NULL for zero wages, tiny consumption.
std::string RichPatch(const std::string& lastLines, const std::string& name = "Норма один") {
    return PatchXml(
        "<razdels><razdel kod=\"7\" name=\" Раздел \" ei=\"м\" k_nakl=\"1.1234567\" "
        "vid_rab=\"СТР\"/></razdels>\n"
        "<sbornik_pvr naim=\"Сборник \" kod=\"9\" vid_rab=\" С \">\n"
        "<pvr kod_razd=\"7\" kod=\" 09-01-001 \" naim=\"" +
        name +
        "\" naim_ed=\"м\" nom_baz=\"1\" priz_ukr=\"ПВР\" sostav_pvr=\"Состав\" priz_stm=\"\">\n"
        "<n_procs><n_proc kod_mest=\"3\" n_p=\"1.23456\" n_z=\"2\" p_p=\"0\" p_z=\"0\" "
        "holost=\"0\" nagr=\"0\"/><n_proc kod_mest=\"1\" n_p=\"0\" n_z=\"0\" p_p=\"0\" "
        "p_z=\"0\" holost=\"0\" nagr=\"0\"/></n_procs>\n"
        "<pvr_popr number=\"1\" kod=\"09-01-001-01\" naim=\"Первая \" kod_er=\"\" "
        "trud_rab=\"1.23456\" trud_mash=\"0\" zarplata=\"0\" razrad=\"3.5\">\n"
        "<popr_res type=\"Материал\" kod=\"901-0001\" matokp_mashpred=\"нет\" kod_ed=\"м3\" "
        "naim=\"Песок\" rashod=\"1.5\" ves=\"1.1234567\"/>\n"
        "<popr_res type=\"Материал\" kod=\"901-0002\" matokp_mashpred=\"нет\" kod_ed=\"м3\" "
        "naim=\"Щебень\" rashod=\"0.00005\" ves=\"0\"/>\n"
        "<popr_res type=\"Машина/механизм\" kod=\"990001\" matokp_mashpred=\"нет\" "
        "naim=\"Каток\" rashod=\"0.123456\" trud_mash=\"2\" sr_razrad=\"0\"/>\n" +
        lastLines +
        "</pvr_popr>\n"
        "<pvr_popr number=\"2\" kod=\"09-01-001-02\" naim=\"Вторая\" kod_er=\"x\" "
        "trud_rab=\"0\" trud_mash=\"0\" zarplata=\"0\" razrad=\"0\"/>\n"
        "</pvr>\n</sbornik_pvr>\n");
}

Reach RichReach() {
    Reach reach;
    reach.sections = {"7"};
    reach.collections = {"9"};
    reach.norms = {"09-01-001", " 09-01-001 "}; // rates keep the code as written
    reach.entries = {"09-01-001/1", "09-01-001/2"};
    return reach;
}

const char* const kExtraLines =
    "<popr_res type=\"Материал\" kod=\"901-0003\" matokp_mashpred=\"нет\" kod_ed=\"т\" "
    "naim=\"Цемент\" rashod=\"2\" ves=\"1\"/>\n"
    "<popr_res type=\"Машина/механизм\" kod=\"990002\" matokp_mashpred=\"нет\" "
    "naim=\"Кран\" rashod=\"3\" trud_mash=\"0\" sr_razrad=\"4\"/>\n";

} // namespace

TEST_P(ReportCountsTest, AFreshBaseGetsEverythingNew) {
    EmptyBase();
    m_form->EdPatch = SOURCE_DIR "/demo/patch.xml";
    RunAndCompare(DemoReach());
    EXPECT_EQ(Objects(ObjectKind::Section), (TableCounts{2, 0, 0, 0}));
    EXPECT_EQ(Objects(ObjectKind::Collection), (TableCounts{2, 0, 0, 0}));
    EXPECT_EQ(Objects(ObjectKind::Norm), (TableCounts{3, 0, 0, 0}));
    EXPECT_EQ(Objects(ObjectKind::Entry), (TableCounts{4, 0, 0, 0}));
    EXPECT_EQ(m_form->Report.materialsAdded, 3);
    EXPECT_EQ(m_form->Report.machinesAdded, 3);
}

// The demo base holds older versions of most of the demo patch: names,
// labour, wages and consumption differ, one material is replaced by another.
TEST_P(ReportCountsTest, AnUpdateOfABaseCountsWhatDiffersAndDetailsItsColumns) {
    m_form->EdPatch = SOURCE_DIR "/demo/patch.xml";
    m_form->Report.detail = true;
    RunAndCompare(DemoReach());
    EXPECT_EQ(Objects(ObjectKind::Norm), (TableCounts{1, 2, 0, 0}));
    EXPECT_EQ(Objects(ObjectKind::Entry), (TableCounts{1, 3, 0, 0}));
    const std::vector<ObjectDetail>& details = m_form->Report.details;
    ASSERT_EQ(details.size(), 7u);
    EXPECT_EQ(details[1].code, "01-01-001-1");
    EXPECT_EQ(details[1].columns,
              (std::vector<ColumnChange>{{"TRUDOZ.TRUD_RAB", "4.55", "4.6"},
                                         {"TRUDOZ.TRUD_MASH", "24.1", "24.3"},
                                         {"ZARP.ZARPL", "275.3", "278.4"},
                                         {"MASH[030101].RASHOD", "24.1", "24.3"}}));
    EXPECT_EQ(details[6].columns,
              (std::vector<ColumnChange>{{"CNIR[401-0066].RASHOD", "102", ""},
                                         {"CNIR[401-0067].RASHOD", "", "102"}}));
}

// Applied again, the same patch rewrites every row with the values it has:
// nothing new, changed or removed, not even rows whose figures the schema
// rounds or codes it trims.
TEST_P(ReportCountsTest, TheSamePatchTwiceReportsNothingChanged) {
    UsePatch(RichPatch(kExtraLines));
    RunAndCompare(RichReach());
    m_form->Report.detail = true;
    RunAndCompare(RichReach());
    for (const auto& [table, counts] : m_form->Report.tables) {
        EXPECT_EQ(counts.added + counts.changed + counts.removed, 0) << table;
        EXPECT_GT(counts.unchanged, 0) << table;
    }
    // One section, one collection, one norm, two entries.
    const int64_t objects[kObjectKinds] = {1, 1, 1, 2};
    for (int k = 0; k < kObjectKinds; ++k)
        EXPECT_EQ(m_form->Report.objects[static_cast<size_t>(k)],
                  (TableCounts{0, 0, objects[k], 0}));
    EXPECT_TRUE(m_form->Report.details.empty());
}

// The second patch no longer lists two resource lines, gives a third a zero
// consumption and renames the norm: the lines are removed rows of a changed
// entry, the norm is changed in its name alone.
TEST_P(ReportCountsTest, APatchThatDropsResourceLinesCountsThemRemoved) {
    UsePatch(RichPatch(kExtraLines));
    RunAndCompare(RichReach());
    std::string second = RichPatch("", "Норма  один");
    const std::string line = "rashod=\"1.5\"";
    second.replace(second.find(line), line.size(), "rashod=\"0\"");
    UsePatch(second);
    m_form->Report.detail = true;
    RunAndCompare(RichReach());
    EXPECT_EQ(m_form->Report.tables["CNIR"].removed, 2);
    EXPECT_EQ(m_form->Report.tables["MASH"].removed, 1);
    EXPECT_EQ(Objects(ObjectKind::Entry), (TableCounts{0, 1, 1, 0}));
    EXPECT_EQ(Objects(ObjectKind::Norm), (TableCounts{0, 1, 0, 0}));
    const std::vector<ObjectDetail>& details = m_form->Report.details;
    ASSERT_EQ(details.size(), 2u);
    EXPECT_EQ(details[0].code, "09-01-001");
    EXPECT_EQ(details[0].columns,
              (std::vector<ColumnChange>{{"NAIM_PVR", "Норма один", "Норма  один"}}));
    EXPECT_EQ(details[1].columns, (std::vector<ColumnChange>{{"CNIR[901-0001].RASHOD", "1.5", ""},
                                                             {"CNIR[901-0003].RASHOD", "2", ""},
                                                             {"MASH[990002].RASHOD", "3", ""}}));
}

// A norm that comes again in a later collection, after a norm the save has
// not met: the save reads the later collection's norms afresh, the first one
// with what the save wrote to it. The report keeps the rows the base held
// before the run, not those the save wrote in between.
TEST_P(ReportCountsTest, ANormMetAgainInALaterCollectionIsComparedWithTheBaseBeforeTheRun) {
    const std::string rich = RichPatch(kExtraLines);
    const size_t from = rich.find("<sbornik_pvr");
    const std::string closing = "</sbornik_pvr>\n";
    const std::string collection = rich.substr(from, rich.find(closing) + closing.size() - from);
    const size_t normFrom = collection.find("<pvr ");
    const std::string norm =
        collection.substr(normFrom, collection.find("</pvr>\n") + 7 - normFrom);
    auto replaced = [](std::string text, const std::string& what, const std::string& with) {
        for (size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + with.size()))
            text.replace(at, what.size(), with);
        return text;
    };
    std::string other = replaced(replaced(norm, " 09-01-001 ", "09-02-001"), "09-01-001-0",
                                 "09-02-001-0");
    std::string again = replaced(norm, "rashod=\"1.5\"", "rashod=\"2.5\"");
    std::string later = replaced(collection, "kod=\"9\"", "kod=\"10\"");
    later.replace(later.find(norm), norm.size(), other + again);
    UsePatch(PatchXml(rich.substr(rich.find("<razdels>"), from - rich.find("<razdels>")) +
                      collection + later));
    Reach reach = RichReach();
    reach.collections.insert("10");
    reach.norms.insert("09-02-001");
    reach.entries.insert({"09-02-001/1", "09-02-001/2"});
    RunAndCompare(reach);
    // Run again: the base now holds the later collection's version.
    RunAndCompare(reach);
    EXPECT_EQ(m_form->Report.tables["CNIR"].changed, 0);
    EXPECT_EQ(m_form->Report.tables["CNIR"].removed, 0);
}

// A composition longer than the part of it read at first (a thousand
// characters) is read again whole: one rewritten as it was is unchanged, one
// that differs past that part is changed, with its whole old text.
TEST_P(ReportCountsTest, ALongCompositionIsComparedWhole) {
    const std::string start(999, 'a');
    auto withComposition = [](const std::string& text) {
        std::string patch = RichPatch(kExtraLines);
        const std::string shortOne = "sostav_pvr=\"Состав\"";
        patch.replace(patch.find(shortOne), shortOne.size(), "sostav_pvr=\"" + text + "\"");
        return patch;
    };
    UsePatch(withComposition(start + "bc"));
    RunAndCompare(RichReach());
    RunAndCompare(RichReach());
    EXPECT_EQ(m_form->Report.tables["SOST_PVR"], (TableCounts{0, 0, 1, 0}));
    UsePatch(withComposition(start + "bd"));
    m_form->Report.detail = true;
    RunAndCompare(RichReach());
    EXPECT_EQ(m_form->Report.tables["SOST_PVR"], (TableCounts{0, 1, 0, 0}));
    ASSERT_EQ(m_form->Report.details.size(), 1u);
    EXPECT_EQ(m_form->Report.details[0].columns,
              (std::vector<ColumnChange>{{"SOST_PVR.SOSTAV_PVR", start + "bc", start + "bd"}}));
}

// Rows a base holds under a norm it does not hold (its own row deleted by hand,
// say): the save replaces the composition and rates it finds there, and the
// report counts them changed and removed, not new; labour rows of an entry
// the patch does not list stay and are not counted.
TEST_P(ReportCountsTest, RowsUnderANormTheBaseDoesNotHoldAreComparedToo) {
    EmptyBase();
    Sql("insert into SOST_PVR (kod_pvr, sostav_pvr) values ('09-01-001', 'Старый состав')");
    Sql("insert into N_PROC (kod_pvr, kod_mest, nakl_pzatr, nakl_zarpl, prib_pzatr, prib_zarpl, "
        "holost, nagruzka) values (' 09-01-001 ', 3, 1.5, 2, 0, 0, 0, 0)");
    Sql("insert into N_PROC (kod_pvr, kod_mest, nakl_pzatr, nakl_zarpl, prib_pzatr, prib_zarpl, "
        "holost, nagruzka) values (' 09-01-001 ', 5, 1, 1, 1, 1, 1, 1)");
    Sql("insert into TRUDOZ (kod_pvr, n_tabl, trud_rab) values ('09-01-001', 5, 7)");
    UsePatch(RichPatch(kExtraLines));
    RunAndCompare(RichReach());
    EXPECT_EQ(m_form->Report.tables["SOST_PVR"], (TableCounts{0, 1, 0, 0}));
    EXPECT_EQ(m_form->Report.tables["N_PROC"], (TableCounts{1, 1, 0, 1}));
    EXPECT_EQ(m_form->Report.tables["TRUDOZ"], (TableCounts{1, 0, 0, 0}));
    EXPECT_EQ(Objects(ObjectKind::Norm), (TableCounts{1, 0, 0, 0}));
}

// A dry run counts what the real run then does.
TEST_P(ReportCountsTest, ADryRunCountsWhatTheRealRunDoes) {
    m_form->EdPatch = SOURCE_DIR "/demo/patch.xml";
    m_form->DryRun = true;
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    const auto dry = m_form->Report.tables;
    const auto dryObjects = m_form->Report.objects;
    m_form->DryRun = false;
    RunAndCompare(DemoReach());
    EXPECT_EQ(m_form->Report.tables, dry);
    EXPECT_EQ(m_form->Report.objects, dryObjects);
}

// A value too long for its column in one resource line of many: the error
// line names the engine's message and the statement, then the line's object
// and its line in the patch; the report holds the same; nothing stays.
TEST_P(ReportCountsTest, AFailingSaveNamesTheObjectAndThePatchLine) {
    std::string lines;
    for (int i = 0; i < 30; ++i)
        lines += "<popr_res type=\"Материал\" kod=\"901-1" + std::to_string(100 + i) +
                 "\" matokp_mashpred=\"нет\" kod_ed=\"т\" naim=\"М\" rashod=\"1\" ves=\"1\"/>\n";
    std::string tooLong;
    for (int i = 0; i < 1001; ++i)
        tooLong += "Я";
    lines += "<popr_res type=\"Материал\" kod=\"901-5000\" matokp_mashpred=\"нет\" "
             "kod_ed=\"т\" naim=\"" +
             tooLong + "\" rashod=\"1\" ves=\"1\"/>\n";
    lines += "<popr_res type=\"Материал\" kod=\"901-9999\" matokp_mashpred=\"нет\" kod_ed=\"т\" "
             "naim=\"После\" rashod=\"1\" ves=\"1\"/>\n";
    const std::string patch = RichPatch(lines);
    UsePatch(patch);
    const TableRows before = Take();
    EXPECT_EQ(BitCalcClick(*m_form), 2);
    EXPECT_EQ(Take(), before);

    // The line of the patch where the failing element starts.
    const size_t at = patch.find(tooLong);
    const int line = 1 + static_cast<int>(std::count(patch.begin(), patch.begin() + at, '\n'));
    const std::string where = "Место ошибки: Сборник нормативов: 9 / Норматив:  09-01-001  / "
                              "поправка: 09-01-001-01 / Материал: 901-5000; строка " +
                              std::to_string(line);
    std::string error;
    for (const std::string& l : Journal())
        if (l.rfind("Ошибка сохранении в базу данных ", 0) == 0)
            error = l;
    ASSERT_FALSE(error.empty());
    EXPECT_NE(error.find("string right truncation"), std::string::npos) << error;
    EXPECT_NE(error.find("insert into NOM_MAT"), std::string::npos) << error;
    EXPECT_EQ(error.substr(error.rfind('\n') + 1), where);

    const ChangeReport& report = m_form->Report;
    ASSERT_TRUE(report.error);
    EXPECT_EQ(report.error->stage, "save");
    EXPECT_EQ(report.error->message, error);
    EXPECT_EQ(report.error->line, line);
    EXPECT_EQ(report.error->path,
              (std::vector<std::string>{"Сборник нормативов: 9", "Норматив:  09-01-001 ",
                                        "поправка: 09-01-001-01", "Материал: 901-5000"}));
    EXPECT_FALSE(report.saveObserved); // nothing stayed to count
    EXPECT_EQ(report.Outcome(), "failed");
}

INSTANTIATE_TEST_SUITE_P(Sending, ReportCountsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Together") : std::string("OneByOne");
                         });
