// The base root: reading collections from a patch, loading the base from the
// database behind the progress window, the recoding probe (Oracle through the
// recording driver), the sections of the loaded norms and the tree.
#include "model/ProgressWindow.h"
#include "model/kod_pvr.h"
#include "model/sbornik_pvr.h"

#include "tests/model/ModelTestSupport.h"
#include "tests/support/RecordingDriver.h"

#include "Serialaze/TextTreeView.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

using modeltest::ReadXml;
using testsupport::RecordingDriver;
using testsupport::ScriptedResult;

namespace {

// Records what the loader does with its progress window, one line per call.
class ProgressRecorder {
public:
    ProgressRecorder() {
        m_previous = SetProgressWindowFactory([this] { return std::make_unique<Window>(m_calls); });
    }
    ~ProgressRecorder() { SetProgressWindowFactory(std::move(m_previous)); }
    std::string Calls() const {
        std::string out;
        for (const std::string& call : m_calls)
            out += call + "\n";
        return out;
    }

private:
    struct Window : ProgressWindow {
        explicit Window(std::vector<std::string>& calls) : calls(calls) {}
        void SetCaption(const std::string& caption) override {
            calls.push_back("caption " + caption);
        }
        void SetLabel(const std::string& text) override { calls.push_back("label " + text); }
        void SetMax(int max) override { calls.push_back("max " + std::to_string(max)); }
        void SetPosition(int position) override {
            calls.push_back("position " + std::to_string(position));
        }
        void Show() override { calls.push_back("show"); }
        void SetMayClose(bool mayClose) override {
            calls.push_back(std::string("mayclose ") + (mayClose ? "1" : "0"));
        }
        void Close() override { calls.push_back("close"); }
        std::vector<std::string>& calls;
    };
    std::vector<std::string> m_calls;
    ProgressWindowFactory m_previous;
};

void AddCollection(kod_pvr& base, int kod, const std::string& naim = "") {
    auto collection = std::make_unique<sbornik_pvr>();
    collection->set_kod(kod);
    collection->set_naim(naim);
    base.AddItem(std::move(collection));
}

void AddNorm(sbornik_pvr& collection, const std::string& kod, int kodRazd) {
    auto norm = std::make_unique<pvr>();
    norm->set_kod(kod);
    norm->set_kod_razd(kodRazd);
    collection.AddItem(std::move(norm));
}

class BaseTest : public modeltest::ModelTest {};

// A host connection to an "Oracle" database served by the recording driver.
std::unique_ptr<db::Connection> OracleHost(const std::string& name = "OracleConnection") {
    auto host = std::make_unique<db::Connection>();
    host->SetConnectionName(name);
    host->SetDriverName("Oracle");
    host->SetParamValue("Database", "ORCL");
    host->SetParamValue("User_Name", "HOST");
    return host;
}

} // namespace

TEST(BaseRootTest, CollectionsComeFromExactlyNamedElementsInDocumentOrder) {
    kod_pvr base;
    EXPECT_EQ(base.AddNewElement("Sbornik_pvr"), nullptr);
    EXPECT_EQ(base.AddNewElement("pvr"), nullptr);
    EXPECT_EQ(base.Count(), 0);

    ReadXml(base, "<kod_pvr base_name='Б' base_typecode='2'>"
                  "<sbornik_pvr kod='3' naim='Третий'/><SBORNIK_PVR kod='4'/>"
                  "<sbornik_pvr kod='1'/><razdels><razdel kod='7'/></razdels></kod_pvr>");
    ASSERT_EQ(base.Count(), 2);
    EXPECT_EQ(base.ItemClassName(0), "sbornik_pvr");
    EXPECT_EQ(base.GetItem(0)->kod(), 3);
    EXPECT_EQ(base.GetItem(1)->kod(), 1);
    EXPECT_EQ(base.GetItem(1)->vid_rab(), "С");
    EXPECT_EQ(base.GetItem(1)->GetParent(), &base);
    EXPECT_EQ(base.razdels()->Count(), 1);
    EXPECT_EQ(base.razdels()->GetParent(), nullptr);
    EXPECT_EQ(base.base_typecode(), 2);

    base.DeleteItem(0);
    EXPECT_EQ(base.GetItem(0)->kod(), 1);
    base.Clear();
    EXPECT_EQ(base.Count(), 0);
    EXPECT_EQ(base.razdels()->Count(), 1);
}

TEST_F(BaseTest, LoadingShowsEachCollectionInTheProgressWindowAndClosesIt) {
    Exec({"insert into NAME_BASE values ('База', '2001', 2)",
          "insert into KOD_SBOR values (1, 'Первый', 'С')",
          "insert into KOD_SBOR values (2, 'Второй', 'М')",
          "insert into KOD_RAZD values (5, 'Пятый', 'шт', 1, 'С')",
          "insert into KOD_PVR (kod_razd, kod_pvr, kod_sb) values (5, '02-01-001', 2)"});
    kod_pvr base;
    AddCollection(base, 1, "из патча");
    AddCollection(base, 2);
    AddNorm(*base.GetItem(1), "уже был", 5);
    ProgressRecorder progress;
    base.LoadFromDB(Db());

    EXPECT_EQ(progress.Calls(), "caption Загрузка сборников\nshow\n"
                                "max 0\nlabel Загрузка сборника: из патча\n"
                                "max 1\nlabel Загрузка сборника: \n"
                                "mayclose 1\nclose\n");
    EXPECT_EQ(base.base_name(), "База");
    EXPECT_EQ(base.base_code(), "База-2001");
    EXPECT_EQ(base.GetItem(0)->naim(), "Первый");
    ASSERT_EQ(base.GetItem(1)->Count(), 2);
    EXPECT_EQ(base.GetItem(1)->GetItem(1)->kod(), "02-01-001");
    EXPECT_EQ(base.razdels()->Count(), 1);
}

TEST_F(BaseTest, AMissingCollectionEndsTheLoadAndStillClosesTheWindow) {
    Exec({"insert into NAME_BASE values ('База', '2001', 2)",
          "insert into KOD_SBOR values (1, 'Первый', 'С')"});
    kod_pvr base;
    AddCollection(base, 1);
    AddCollection(base, 9);
    ProgressRecorder progress;
    try {
        base.LoadFromDB(Db());
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Ошибка загрузки параметров по сборника работ.");
    }
    EXPECT_EQ(progress.Calls(), "caption Загрузка сборников\nshow\n"
                                "max 0\nlabel Загрузка сборника: \n"
                                "max 0\nlabel Загрузка сборника: \n"
                                "mayclose 1\nclose\n");
}

TEST_F(BaseTest, BaseInfoWithoutAnIntegerTypeCodeFailsBeforeAnythingElse) {
    Exec({"insert into NAME_BASE values ('База', '2001', NULL)"});
    kod_pvr base;
    AddCollection(base, 1);
    ProgressRecorder progress;
    EXPECT_THROW(base.LoadFromDB(Db()), EConvertError);
    EXPECT_EQ(progress.Calls(), "");
}

TEST_F(BaseTest, SectionsAreLoadedOnceInTheOrderOfFirstUse) {
    Exec({"insert into KOD_RAZD values (5, 'Пятый', 'шт', 1.5, 'С')",
          "insert into KOD_RAZD values (3, 'Третий', 'м', 2, 'М')"});
    kod_pvr base;
    AddCollection(base, 1);
    AddCollection(base, 2);
    AddNorm(*base.GetItem(0), "a", 5);
    AddNorm(*base.GetItem(1), "b", 3);
    AddNorm(*base.GetItem(1), "c", 5);
    base.LoadRazdels(Db());
    serialaze::TextTreeView view;
    base.razdels()->TreeView(view, nullptr);
    EXPECT_EQ(view.Render(), "Справочник разделов\n  Раздел 5  Пятый\n  Раздел 3  Третий");

    AddNorm(*base.GetItem(0), "d", 8);
    try {
        base.LoadRazdels(Db());
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Раздел с кодом 8 не найден в базе.");
    }
    // The section added for the missing code stays with its new values.
    ASSERT_EQ(base.razdels()->Count(), 3);
    EXPECT_EQ(base.razdels()->GetItem(2)->kod(), 0);
}

TEST(RecodeProbeTest, OnlyAnExactOracleConnectionNameProbesTheRecodingLogin) {
    RecordingDriver oracle;
    kod_pvr base;
    EXPECT_FALSE(base.CanRecode(*OracleHost("IBConnection")));
    EXPECT_FALSE(base.CanRecode(*OracleHost("oracleconnection")));
    EXPECT_EQ(oracle.Connects(), 0);

    auto host = OracleHost();
    EXPECT_TRUE(base.CanRecode(*host));
    EXPECT_EQ(oracle.Connects(), 1);
    EXPECT_FALSE(host->Connected());

    oracle.FailConnect("ORA-01017: invalid username/password");
    try {
        base.CanRecode(*host);
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("ORA-01017"), std::string::npos) << message;
        EXPECT_NE(message.find("ORCL"), std::string::npos) << message;
    }
}

// The recode flag of a price-level-1 base on Oracle reaches the resource lines.
TEST(RecodeProbeTest, ABaseOfTypeOneOnOracleLoadsRecodedResourceCodes) {
    for (const char* typeCode : {"1", "2"}) {
        SCOPED_TRACE(typeCode);
        RecordingDriver oracle;
        oracle.Answer("select * from NAME_BASE", ScriptedResult{{"name", "base_god", "type_code"},
                                                                {{"База", "2001", typeCode}}});
        oracle.Answer("select * from KOD_SBOR where kod_sb = :kod_sb",
                      ScriptedResult{{"kod_sb", "naim_sb", "vid_rab"}, {{"1", "Сборник", "С"}}});
        oracle.Answer("select * from KOD_PVR where kod_sb = :kod_sb order by KOD_PVR.kod_pvr",
                      ScriptedResult{{"kod_razd", "kod_pvr", "naim_pvr", "naim_ed", "nom_baz",
                                      "priz_ukr", "priz_stm"},
                                     {{"5", "01-01-001", "Норма", "шт", "1", "", ""}}});
        oracle.Answer("select * from KOD_TABL where kod_pvr = :kod_pvr order by KOD_TABL.n_tabl",
                      ScriptedResult{{"kod_pvr", "n_tabl", "kod_tabl", "naim_tabl", "kod_er"},
                                     {{"01-01-001", "1", "01-01-001-01", "Запись", ""}}});
        oracle.Answer(
            "select CNIR.*, NOM_MAT.naim_mat, NOM_MAT.ves, NOM_MAT.kod_okp, NOM_MAT.kod_ed from "
            "CNIR,NOM_MAT where CNIR.kod_pvr = :kod_pvr and CNIR.n_tabl = :n_tabl and "
            "NOM_MAT.kod_mat = CNIR.kod_cnir",
            ScriptedResult{
                {"kod_pvr", "n_tabl", "kod_cnir", "rashod", "naim_mat", "ves", "kod_okp", "kod_ed"},
                {{"01-01-001", "1", "M-1", "2", "Материал", "0", "1", "т"}}});
        oracle.Answer("select kod_compare from perexod_mat where kod=:kod",
                      ScriptedResult{{"kod_compare"}, {{" N-1 "}}});
        oracle.Answer("select * from KOD_RAZD where kod_razd = :kod",
                      ScriptedResult{{"kod_razd", "naim_razd", "edin_izm", "koef_nakl", "vid_rab"},
                                     {{"5", "Раздел", "шт", "1", "С"}}});
        auto host = OracleHost();
        kod_pvr base;
        AddCollection(base, 1);
        base.LoadFromDB(*host);

        const bool recoded = std::string(typeCode) == "1";
        const popr_res* line = base.GetItem(0)->GetItem(0)->GetItem(0)->GetItem(0);
        EXPECT_EQ(line->kod(), "M-1");
        EXPECT_EQ(line->kod_norvel(), recoded ? "N-1" : "M-1");
        // The host, then for type 1 the probe and the entry's recoding connection.
        EXPECT_EQ(oracle.Connects(), recoded ? 3 : 1);
        EXPECT_EQ(base.razdels()->GetItem(0)->name(), "Раздел");
    }
}

// The tree of demo/patch.xml: sections, then collections, norms, entries (the
// number right-aligned in five places) and their resource lines.
const char* const DemoTree =
    "Нормативная база Сметно-нормативная база от 2026\n"
    "  Справочник разделов\n"
    "    Раздел 101  Разработка грунта экскаваторами\n"
    "    Раздел 103  Засыпка траншей и котлованов\n"
    "  Сборник нормативов: 1 Земляные работы\n"
    "    Норматив: 01-01-001 Разработка грунта в отвал экскаваторами «драглайн» или «обратная лопата» с ковшом вместимостью 0,5 м3\n"
    "          1 поправка: 01-01-001-1 Экскаваторы с ковшом вместимостью 0,5 м3, группа грунтов 1\n"
    "        Машина/механизм: 030101 Экскаваторы одноковшовые дизельные на гусеничном ходу 0,5 м3 Расход ресурса: 24.3\n"
    "          2 поправка: 01-01-001-2 Экскаваторы с ковшом вместимостью 0,5 м3, группа грунтов 2\n"
    "        Машина/механизм: 030101 Экскаваторы одноковшовые дизельные на гусеничном ходу 0,5 м3 Расход ресурса: 31.5\n"
    "    Норматив: 01-03-001 Засыпка траншей и котлованов бульдозерами мощностью 79 кВт\n"
    "          1 поправка: 01-03-001-01 Перемещение грунта до 5 м, группа грунтов 1\n"
    "        Машина/механизм: 030201 Бульдозеры при работе на строительстве 79 кВт (108 л.с.) Расход ресурса: 5.04\n"
    "  Сборник нормативов: 6 Бетонные и железобетонные конструкции монолитные\n"
    "    Норматив: 06-01-001 Устройство бетонной подготовки\n"
    "          1 поправка: 06-01-001-01 Бетонная подготовка\n"
    "        Материал: 401-0067 Бетон тяжелый, класс В20 (М250) Расход ресурса: 102\n"
    "        Материал: 102-0061 Доски обрезные хвойных пород длиной 4-6,5 м, толщиной 25 мм Расход ресурса: 0.09\n"
    "        Материал: 00-00 Прочие материалы Расход ресурса: 234\n"
    "        Машина/механизм: 040502 Вибраторы поверхностные Расход ресурса: 18.07";

TEST(BaseTreeTest, TheDemoPatchShowsAsTheseNodes) {
    text::StringList lines;
    lines.LoadFromFile(SOURCE_DIR "/demo/patch.xml");
    kod_pvr base;
    base.DeSerialize(lines);
    serialaze::TextTreeView view;
    base.TreeView(view, nullptr);
    EXPECT_EQ(view.Render(), DemoTree);
    EXPECT_EQ(view.Roots()[0]->Data(), nullptr);
    EXPECT_EQ(base.Node(), view.Roots()[0].get());
    EXPECT_EQ(view.Roots()[0]->Children()[1]->Data(), base.GetItem(0));
}
