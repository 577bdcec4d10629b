// The change report without a base: what the recorder counts and keeps, the
// JSON document as a whole, and the short table.
#include "workbench/ChangeReport.h"
#include "workbench/ReportFormat.h"

#include "platform/text/Exception.h"

#include <gtest/gtest.h>

namespace {

// A dry run that renumbered one code, would widen the column and saved what
// the recorder was told.
ChangeReport Recorded(bool detail) {
    ChangeReport report;
    report.command = "check";
    report.detail = detail;
    report.Restart(true, "p.xml");
    report.priceLevel = 2;
    report.patchContents = ChangeReport::PatchContents{1, 1, 2, 3, 4};
    report.renumbering = ChangeReport::Renumbering{{{"01-01-001-1", "01-01-001-01"}}, 1};
    ChangeReport::Widening widening;
    widening.widthBefore = 250;
    widening.changesWidth = true;
    widening.namesFittingOnlyAfter = {"01-01-002"};
    report.widening = widening;
    ChangeRecorder recorder(report);
    recorder.Row("KOD_PVR", RowChange::New);
    recorder.Row("KOD_PVR", RowChange::Changed);
    recorder.Row("CNIR", RowChange::Removed, 3);
    recorder.Row("CNIR", RowChange::Unchanged, 2);
    recorder.Object(ObjectKind::Norm, "01-01-001", RowChange::New);
    recorder.Object(ObjectKind::Norm, "01-01-002", RowChange::Changed,
                    ChangeRecorder::Differences({"NAIM_PVR", "NAIM_ED"}, {"Старое", "м3"},
                                                {"Новое \"имя\"", "м3"}));
    recorder.Object(ObjectKind::Entry, "01-01-001-01", RowChange::Unchanged);
    recorder.Object(ObjectKind::Section, "101", RowChange::Changed);
    recorder.Object(ObjectKind::Entry, "x", RowChange::Removed); // not an object's change
    recorder.DirectoryAdded(true);
    recorder.DirectoryAdded(false);
    recorder.DirectoryAdded(false);
    report.finished = true;
    return report;
}

TEST(ReportTest, TheRecorderCountsRowsAndObjectsAndKeepsDetailOnlyWhenAsked) {
    ChangeReport report = Recorded(true);
    EXPECT_TRUE(report.saveObserved);
    EXPECT_EQ(report.tables["KOD_PVR"], (TableCounts{1, 1, 0, 0}));
    EXPECT_EQ(report.tables["CNIR"], (TableCounts{0, 0, 2, 3}));
    EXPECT_EQ(report.objects[static_cast<size_t>(ObjectKind::Norm)], (TableCounts{1, 1, 0, 0}));
    EXPECT_EQ(report.objects[static_cast<size_t>(ObjectKind::Entry)], (TableCounts{0, 0, 1, 0}));
    EXPECT_EQ(report.objects[static_cast<size_t>(ObjectKind::Section)], (TableCounts{0, 1, 0, 0}));
    EXPECT_EQ(report.materialsAdded, 1);
    EXPECT_EQ(report.machinesAdded, 2);
    // Norms and entries, new or changed; a section is counted, not detailed.
    ASSERT_EQ(report.details.size(), 2u);
    EXPECT_EQ(report.details[0].code, "01-01-001");
    EXPECT_TRUE(report.details[0].columns.empty());
    EXPECT_EQ(report.details[1].columns,
              (std::vector<ColumnChange>{{"NAIM_PVR", "Старое", "Новое \"имя\""}}));
    EXPECT_TRUE(Recorded(false).details.empty());

    EXPECT_EQ(ChangeRecorder::Classify(false, {}), RowChange::New);
    EXPECT_EQ(ChangeRecorder::Classify(true, {}), RowChange::Unchanged);
    EXPECT_EQ(ChangeRecorder::Classify(true, {{"A", "1", "2"}}), RowChange::Changed);
}

// The document's shape is what docs/change-report.md promises; one comparison
// of the whole text holds it.
TEST(ReportTest, TheJsonDocumentHasItsStableShape) {
    EXPECT_EQ(ReportJson(Recorded(true)), R"({
  "format": "updatedb-change-report",
  "version": 1,
  "command": "check",
  "dry_run": true,
  "patch": "p.xml",
  "outcome": "clean",
  "price_level": 2,
  "finished": true,
  "error_lines": 0,
  "patch_contents": {
    "sections": 1,
    "collections": 1,
    "norms": 2,
    "entries": 3,
    "resource_lines": 4
  },
  "renumbering": {
    "codes": [
      {
        "before": "01-01-001-1",
        "after": "01-01-001-01"
      }
    ],
    "rows": 1
  },
  "widening": {
    "column": "KOD_PVR.NAIM_PVR",
    "width_before": 250,
    "width_after": 400,
    "changes_width": true,
    "failed": false,
    "names_fitting_only_after": [
      "01-01-002"
    ]
  },
  "save_observed": true,
  "tables": {
    "CNIR": {
      "new": 0,
      "changed": 0,
      "unchanged": 2,
      "removed": 3
    },
    "KOD_PVR": {
      "new": 1,
      "changed": 1,
      "unchanged": 0,
      "removed": 0
    }
  },
  "objects": {
    "sections": {
      "new": 0,
      "changed": 1,
      "unchanged": 0
    },
    "collections": {
      "new": 0,
      "changed": 0,
      "unchanged": 0
    },
    "norms": {
      "new": 1,
      "changed": 1,
      "unchanged": 0
    },
    "entries": {
      "new": 0,
      "changed": 0,
      "unchanged": 1
    }
  },
  "directories": {
    "materials_added": 1,
    "machines_added": 2
  },
  "detail": [
    {
      "kind": "norm",
      "code": "01-01-001",
      "change": "new",
      "columns": []
    },
    {
      "kind": "norm",
      "code": "01-01-002",
      "change": "changed",
      "columns": [
        {
          "column": "NAIM_PVR",
          "old": "Старое",
          "new": "Новое \"имя\""
        }
      ]
    }
  ],
  "error": null
}
)");
}

// Before the save is observed and after a failure: the counts are null, the
// error says where.
TEST(ReportTest, AFailedRunHasNullCountsAndItsError) {
    ChangeReport report;
    report.Restart(false, "p.xml");
    report.priceLevel = 2;
    report.stage = "read";
    ErrorPlace place;
    place.path = {"Сборник нормативов: 1", "Норматив: 01-01-001"};
    place.line = 17;
    place.cause = "\"4,6\" не является числом";
    report.NoteError("Ошибка объекта: kod_pvr\n...", &place);
    report.stage = "save";
    report.NoteError("Ошибка сохранении в базу данных x", nullptr); // the first one stays
    const std::string json = ReportJson(report);
    for (const char* part :
         {"\"outcome\": \"failed\"", "\"finished\": false", "\"patch_contents\": null",
          "\"renumbering\": null", "\"widening\": null", "\"save_observed\": false",
          "\"tables\": null", "\"objects\": null", "\"directories\": null", "\"detail\": null",
          "\"error\": {\n    \"stage\": \"read\",\n    \"message\": \"Ошибка объекта: "
          "kod_pvr\\n...\",\n    \"cause\": \"\\\"4,6\\\" не является числом\",\n    \"path\": "
          "[\n      \"Сборник нормативов: 1\",\n      \"Норматив: 01-01-001\"\n    ],\n    "
          "\"line\": 17\n  }"})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    EXPECT_EQ(ReportSummary(report), "Отчёт об изменениях: обновление\n"
                                     "  Итог: с ошибками\n"
                                     "  Ошибка (чтение патча): \"4,6\" не является числом\n"
                                     "  Место ошибки: Сборник нормативов: 1 / Норматив: "
                                     "01-01-001; строка 17\n");
}

TEST(ReportTest, TheShortTableShowsWhatIsKnown) {
    EXPECT_EQ(ReportSummary(Recorded(false)),
              "Отчёт об изменениях: пробный прогон, база не изменена\n"
              "  Итог: без ошибок\n"
              "  В патче: разделов 1, сборников 1, нормативов 2, поправок 3, строк ресурсов 4\n"
              "  Перенумерация поправок: кодов 1, строк 1\n"
              "  Поле KOD_PVR.NAIM_PVR: 250 -> 400 символов\n"
              "  Имена нормативов, которые поместятся только после расширения поля: 1\n"
              "  Таблица       новых  изменённых  без изменений  удалённых\n"
              "  CNIR              0           0              2          3\n"
              "  KOD_PVR           1           1              0          0\n"
              "  Объекты       новых  изменённых  без изменений\n"
              "  разделы           0           1              0\n"
              "  сборники          0           0              0\n"
              "  нормативы         1           1              0\n"
              "  поправки          0           0              1\n"
              "  Добавлено в справочники: материалов 1, машин 2\n");
    EXPECT_EQ(ReportSummary(ChangeReport{}),
              "Отчёт об изменениях: обновление ещё не запускалось\n");
}

// Whatever a message quotes, the document stays valid JSON: escapes for
// quotes, backslashes and control characters, U+FFFD for bytes that are not
// UTF-8 (a stray byte, a cut sequence, an overlong form, a surrogate).
TEST(ReportTest, JsonStringsEscapeAndRepairWhatTheyQuote) {
    EXPECT_EQ(JsonString("a\"b\\c\n\r\t\x01"), "\"a\\\"b\\\\c\\n\\r\\t\\u0001\"");
    EXPECT_EQ(JsonString("Ж€𝄞"), "\"Ж€𝄞\"");
    EXPECT_EQ(JsonString("x\xff"
                         "y\xd0"),
              "\"x\xEF\xBF\xBDy\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xc0\xaf"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

} // namespace
