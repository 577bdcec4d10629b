#include "Screenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QTabWidget>

#include <cstdio>

namespace {

template <typename T> T* Part(QWidget* window, const char* name) {
    T* widget = window->findChild<T*>(name);
    if (!widget)
        std::fprintf(stderr, "screenshots: the task window has no %s\n", name);
    return widget;
}

bool Save(HostWindow& hostWindow, const QString& path) {
    QApplication::processEvents();
    if (hostWindow.grab().save(path))
        return true;
    std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

// The deletion tab at work: one table code removed through the button, and a
// two-statement script (as if loaded with the picker) run into its journal.
void DriveDeletion(QWidget* window) {
    auto* code = Part<QLineEdit>(window, "EdKodPopr");
    auto* script = Part<QPlainTextEdit>(window, "Memo1");
    auto* path = Part<QLineEdit>(window, "Edit1");
    auto* run = Part<QAbstractButton>(window, "BitBtn2");
    if (!code || !script || !path || !run)
        return;
    code->setText("01-02-057-2Г");
    path->setText("delete_norms.sql");
    script->setPlainText("delete from KOD_TABL where kod_pvr='01-02-057'^\n"
                         "delete from KOD_TABL where kod_pvr='06-01-001'^\n");
    run->click();
}

} // namespace

bool SaveScreenshots(HostWindow& hostWindow, const QString& folder, const QString& patch) {
    hostWindow.show();
    QApplication::processEvents();
    if (!hostWindow.OpenFirstTask())
        return false;
    QWidget* window = hostWindow.ClientArea()->findChild<QWidget*>("FormUpdate");
    auto* tabs = window ? Part<QTabWidget>(window, "PageControl1") : nullptr;
    if (!tabs)
        return false;
    if (!patch.isEmpty()) {
        if (auto* edit = Part<QLineEdit>(window, "EdPatch"))
            edit->setText(patch);
        if (auto* run = Part<QAbstractButton>(window, "BitCalc"))
            run->click();
    }
    QDir().mkpath(folder);
    if (!Save(hostWindow, folder + "/update-tab.png"))
        return false;
    tabs->setCurrentIndex(1);
    DriveDeletion(window);
    return Save(hostWindow, folder + "/delete-tab.png");
}
