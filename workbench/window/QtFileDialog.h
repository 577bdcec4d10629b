// The Qt side of the file-dialog interface: modal QFileDialogs owned by the
// given parent widget (the task window).
#pragma once

#include "workbench/window/FileDialog.h"

class QWidget;

class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent) : m_parent(parent) {}
    std::optional<std::string> Open(const std::string& filter, bool fileMustExist) override;
    std::optional<std::string> Save(const std::string& filter, bool fileMustExist) override;

private:
    QWidget* m_parent;
};
