// The two faces of a change report: the JSON document (`--report FILE.json`,
// the window's "save") and the short table for people (stderr, the window).
// The JSON shape is documented in docs/change-report.md; every key is always
// present, null where the run did not get that far.
#pragma once

#include "workbench/ChangeReport.h"

#include <string>

// The report as one JSON document (UTF-8, two-space indent, a line break at
// the end).
std::string ReportJson(const ChangeReport& report);

// The report as a few lines of text (UTF-8, each ended by a line break).
std::string ReportSummary(const ChangeReport& report);

// `text` as a JSON string literal, quotes included. Bytes that are not UTF-8
// become U+FFFD, so the document is valid whatever a message quotes.
std::string JsonString(const std::string& text);
