#include "workbench/window/QtFileDialog.h"

#include <QFileDialog>

namespace {

std::optional<std::string> Run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

} // namespace

std::optional<std::string> QtFileDialog::Open(const std::string& filter, bool fileMustExist) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(QtNameFilters(filter)));
    return Run(dialog);
}

std::optional<std::string> QtFileDialog::Save(const std::string& filter, bool) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(QtNameFilters(filter)));
    // The journal command asks about nothing itself: an existing file is moved
    // aside, not overwritten.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    return Run(dialog);
}
