// The save with its one knowledge of what the base holds, against real
// embedded bases: grouped (the statements travel together, the rows are
// learned per collection) and one statement per round trip (every row asked
// about on its own) write the same rows, the same journal, and tell the
// observer the same things in the same order; a failing statement names the
// object that wrote it either way.
#include "tests/model/ModelTestSupport.h"

#include "model/SaveSession.h"
#include "model/kod_pvr.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/sbornik_pvr.h"
#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

#include <algorithm>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace modeltest {
namespace {

std::string KeyText(const RowKey& key) {
    std::string text = key.table;
    for (const auto& column : key.columns)
        text += " " + column.first + "=" + column.second;
    return text;
}

// Every call, as a line.
class Recorder : public SaveObserver {
public:
    void Found(const TSerializeList&, const RowKey& key, const KnownRow* row) override {
        lines.push_back("found " + KeyText(key) + (row ? " yes" : " no"));
    }
    void Wrote(const TSerializeList&, const RowWrite& write) override {
        static const char* const kinds[] = {"insert", "update", "delete"};
        std::string line = std::string("wrote ") + kinds[static_cast<int>(write.kind)] + " " +
                           KeyText(write.key) + " | " + write.sql;
        for (const auto& [column, value] : write.values())
            line += " " + *column + "=" + value->ToText();
        lines.push_back(line);
    }
    // Kept apart: only a save that groups learns rows.
    void Learned(const std::string& table, const std::vector<std::string>& codes,
                 const std::vector<const KnownRow*>& rows) override {
        for (const std::string& code : codes)
            learned.push_back({table, code, 0});
        for (const KnownRow* row : rows) {
            const db::FieldValue* code = row->Get("kod_pvr");
            ASSERT_NE(code, nullptr) << table;
            auto counted = std::find_if(learned.begin(), learned.end(), [&](const Learning& l) {
                return l.table == table && l.code == code->AsString();
            });
            ASSERT_NE(counted, learned.end()) << table << " " << code->AsString();
            ++counted->rows;
        }
    }
    std::vector<std::string> lines;
    struct Learning {
        std::string table, code;
        int rows;
    };
    std::vector<Learning> learned;
};

std::unique_ptr<kod_pvr> DemoPatch() {
    auto patch = std::make_unique<kod_pvr>();
    const std::string path = SOURCE_DIR "/demo/patch.xml";
    patch->DeSerializeText(text::LoadTextFromFile(path),
                           [path] { return text::LoadTextFromFile(path); });
    return patch;
}

class SaveSessionTest : public ModelTest {
protected:
    SaveSessionTest() : m_other(SOURCE_DIR "/model/schema/firebird.sql") {
        // The embedded file is told to group as a server connection does.
        Db().Close();
        Db().SetParamValue("GroupStatements", "always");
        m_other.Connection().SetGrouping(false);
    }

    // One save of the patch in its transaction, watched; answers what the
    // observer saw. Throws what the save throws (after the rollback).
    std::vector<std::string> Save(db::Connection& connection, kod_pvr& patch,
                                  std::vector<Recorder::Learning>* learned = nullptr) {
        Recorder recorder;
        db::TransactionDesc transaction;
        connection.StartTransaction(transaction);
        try {
            SaveSession session(connection, patch, &recorder);
            patch.SaveIntoDB(connection);
            connection.Commit(transaction);
        } catch (const Exception&) {
            connection.Rollback(transaction);
            throw;
        }
        if (learned)
            *learned = recorder.learned;
        return recorder.lines;
    }

    testsupport::TempDatabase m_other;
};

TEST_F(SaveSessionTest, GroupedAndOneByOneWriteTheSameRowsJournalAndObserverCalls) {
    std::vector<std::string> seen[2][2];
    std::string journal[2];
    db::Connection* connections[2] = {&Db(), &m_other.Connection()};
    for (int mode = 0; mode < 2; ++mode) {
        m_journal.Clear();
        // Each save reads the patch anew, as a run does (the save fills in
        // codes it does not find).
        seen[mode][0] = Save(*connections[mode], *DemoPatch()); // a fresh base
        seen[mode][1] = Save(*connections[mode], *DemoPatch()); // over itself
        journal[mode] = m_journal.Text();
    }
    EXPECT_EQ(DumpBase(Db()), DumpBase(m_other.Connection()));
    EXPECT_NE(DumpBase(Db()).find("01-03-001|1|"), std::string::npos);
    EXPECT_EQ(journal[0], journal[1]);
    EXPECT_NE(journal[0].find("Добавление работы 01-01-001\n"), std::string::npos) << journal[0];
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run ? "over itself" : "fresh");
        const std::vector<std::string>& grouped = seen[0][run];
        const std::vector<std::string>& single = seen[1][run];
        EXPECT_EQ(grouped.size(), single.size());
        for (size_t i = 0; i < grouped.size() && i < single.size(); ++i)
            if (grouped[i] != single[i]) {
                ADD_FAILURE() << "call " << i << ":\n" << grouped[i] << "\n" << single[i];
                break;
            }
        EXPECT_GT(seen[0][run].size(), 20u);
    }
    // Fresh, the norm was not there; over itself it was, and was replaced.
    EXPECT_NE(std::find(seen[0][0].begin(), seen[0][0].end(), "found KOD_PVR kod_pvr=01-01-001 no"),
              seen[0][0].end());
    EXPECT_NE(
        std::find(seen[0][1].begin(), seen[0][1].end(), "found KOD_PVR kod_pvr=01-01-001 yes"),
        seen[0][1].end());
    // The grouped save asked far fewer questions of the base.
    EXPECT_GT(m_other.Connection().Statistics().executions, Db().Statistics().executions);
}

// What the grouped save reads of a collection's norms it hands to the
// observer once, as the base holds it before the save writes: every row of
// those norms in KOD_PVR, KOD_TABL, CNIR and MASH. One by one it reads
// nothing of the kind and hands over nothing.
TEST_F(SaveSessionTest, TheGroupedSaveHandsItsObserverTheNormRowsItRead) {
    Save(Db(), *DemoPatch());
    std::map<std::pair<std::string, std::string>, int> held;
    for (const char* table : {"KOD_PVR", "KOD_TABL", "CNIR", "MASH"})
        for (const char* code : {"01-01-001", "01-03-001", "06-01-001"}) {
            db::Query count(Db());
            count.SetSQL(std::string("select count(*) from ") + table + " where kod_pvr = :k");
            count.ParamByName("k").SetString(code);
            count.Open();
            held[{table, code}] = static_cast<int>(count.FieldAt(0).AsInteger());
        }
    EXPECT_GT((held[{"CNIR", "06-01-001"}] + held[{"CNIR", "01-03-001"}]), 0);
    EXPECT_GT((held[{"MASH", "01-01-001"}]), 0);
    // The patch changes some of those rows: what is handed over is the base
    // before, not what the save left.
    db::ExecuteScript(Db(), "insert into MASH (kod_pvr, n_tabl, kod_mash, rashod) "
                            "values ('06-01-001', 1, 'LEFT-OVER', 1);");
    ++held[{"MASH", "06-01-001"}];
    std::vector<Recorder::Learning> learned;
    Save(Db(), *DemoPatch(), &learned);
    std::map<std::pair<std::string, std::string>, int> told;
    for (const Recorder::Learning& l : learned) {
        EXPECT_TRUE(told.emplace(std::make_pair(l.table, l.code), l.rows).second)
            << l.table << " " << l.code << " handed over twice";
    }
    EXPECT_EQ(told, held);

    std::vector<Recorder::Learning> single;
    Save(m_other.Connection(), *DemoPatch(), &single);
    EXPECT_TRUE(single.empty());
}

// The second entry of a norm cannot be written (the base refuses an n_tabl
// above 1): the save fails naming the entry object that wrote the statement,
// with the engine's message and the statement; nothing stays.
TEST_F(SaveSessionTest, AFailingStatementNamesTheObjectThatWroteIt) {
    for (db::Connection* connection : {&Db(), &m_other.Connection()}) {
        auto patch = DemoPatch();
        SCOPED_TRACE(connection == &Db() ? "grouped" : "one by one");
        db::ExecuteScript(*connection,
                          "alter table KOD_TABL add constraint ONE_ENTRY check (n_tabl < 2);");
        const std::string before = DumpBase(*connection);
        try {
            Save(*connection, *patch);
            FAIL() << "the second entry went through";
        } catch (const db::EStatementFailed& e) {
            const auto* writer = static_cast<const TSerializeList*>(e.Origin());
            ASSERT_NE(writer, nullptr);
            const auto* entry = dynamic_cast<const pvr_popr*>(writer);
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->number(), 2);
            EXPECT_NE(e.Message().find("ONE_ENTRY"), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find("Оператор: insert into KOD_TABL"), std::string::npos)
                << e.Message();
        }
        EXPECT_FALSE(connection->InTransaction());
        EXPECT_EQ(DumpBase(*connection), before);
    }
}

// A code too long for its column is refused when the save learns the
// collection's rows in one list: the norm's own select then fails as it
// always did, and the save with it.
TEST_F(SaveSessionTest, AKeyTheBaseRefusesInAListFailsTheSaveThroughItsOwnSelect) {
    auto patch = DemoPatch();
    pvr& norm = *patch->GetItem(0)->GetItem(0);
    norm.set_kod(std::string(40, '7'));
    const std::string before = DumpBase(Db());
    try {
        Save(Db(), *patch);
        FAIL() << "the long code went through";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("truncation"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("Оператор: select * from KOD_PVR where kod_pvr = :kod_pvr"),
                  std::string::npos)
            << e.Message();
    }
    EXPECT_EQ(DumpBase(Db()), before);
}

} // namespace
} // namespace modeltest
