#include "workbench/window/ReportDialog.h"

#include "platform/host/Application.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "workbench/ReportFormat.h"
#include "workbench/window/FileDialog.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ReportDialog::ReportDialog(QWidget* parent, std::function<FileDialog&()> files)
    : QDialog(parent), m_files(std::move(files)) {
    setObjectName("ReportDialog");
    setWindowTitle(QString::fromUtf8("Отчёт об изменениях"));
    ReportText = new QPlainTextEdit(this);
    ReportText->setObjectName("ReportText");
    ReportText->setReadOnly(true);
    ReportText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    BtnSaveReport = new QPushButton(QString::fromUtf8("Сохранить в файл (JSON)"), this);
    BtnSaveReport->setObjectName("BtnSaveReport");
    BtnClose = new QPushButton(QString::fromUtf8("Закрыть"), this);
    BtnClose->setObjectName("BtnClose");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnSaveReport);
    buttons->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ReportText);
    layout->addLayout(buttons);
    resize(640, 320);
    connect(BtnSaveReport, &QPushButton::clicked, this, [this] { SaveReport(); });
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::close);
}

void ReportDialog::ShowReport(const ChangeReport& report) {
    m_report = report;
    ReportText->setPlainText(QString::fromStdString(ReportSummary(m_report)));
    BtnSaveReport->setEnabled(m_report.started);
}

void ReportDialog::SaveReport() {
    try {
        if (std::optional<std::string> name = m_files().Save("(*.json)|*.json", false))
            text::WriteFileBytes(*name, ReportJson(m_report));
    } catch (const Exception& e) {
        host::ShowMessageBox(host::CurrentApplication().MainFormHandle(), e.what(),
                             "Отчёт об изменениях", host::MbIcon::Error, host::MbButtons::Ok);
    }
}
