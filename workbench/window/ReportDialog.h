// The change report of the last update run, in a small window of the task
// window: the report's short table, and a button that saves it as JSON. The
// task window opens it from the journal's popup menu.
#pragma once

#include "workbench/ChangeReport.h"

#include <QDialog>

#include <functional>

class FileDialog;
class QPlainTextEdit;
class QPushButton;

class ReportDialog : public QDialog {
public:
    // `files` gives the picker of the file to save into, when one is needed.
    ReportDialog(QWidget* parent, std::function<FileDialog&()> files);

    // Shows `report` in place of what was shown; saving needs a report of a
    // run that started.
    void ShowReport(const ChangeReport& report);
    // Asks for a file and writes the report there as JSON. A failure to write
    // is shown in a message box; the report stays.
    void SaveReport();

    QPlainTextEdit* ReportText = nullptr;
    QPushButton* BtnSaveReport = nullptr;
    QPushButton* BtnClose = nullptr;

private:
    std::function<FileDialog&()> m_files;
    ChangeReport m_report;
};
