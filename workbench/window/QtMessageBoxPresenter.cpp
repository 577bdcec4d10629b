#include "workbench/window/QtMessageBoxPresenter.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon IconOf(host::MbIcon icon) {
    switch (icon) {
    case host::MbIcon::Error:
        return QMessageBox::Critical;
    case host::MbIcon::Warning:
        return QMessageBox::Warning;
    case host::MbIcon::Information:
        return QMessageBox::Information;
    case host::MbIcon::Question:
        return QMessageBox::Question;
    case host::MbIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(host::MbButtons buttons) {
    switch (buttons) {
    case host::MbButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case host::MbButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case host::MbButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case host::MbButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

int AnswerOf(int button) {
    switch (button) {
    case QMessageBox::Cancel:
        return host::IDCANCEL;
    case QMessageBox::Yes:
        return host::IDYES;
    case QMessageBox::No:
        return host::IDNO;
    default:
        return host::IDOK;
    }
}

} // namespace

int QtMessageBoxPresenter::Show(const host::MessageBoxRequest& request) {
    QWidget* parent = request.owner ? QApplication::activeWindow() : nullptr;
    QMessageBox box(IconOf(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), ButtonsOf(request.buttons), parent);
    return AnswerOf(box.exec());
}
