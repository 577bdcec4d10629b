// The wait window shown while collections are loaded from the database: a
// caption, the label Label and the bar Progress. It refuses to close until
// MayClose is set, and frees itself once closed. QtProgressWindow is the
// model's progress interface over it; the module installs a factory of those
// while it is loaded.
#pragma once

#include "model/ProgressWindow.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;

class TProgressForm : public QWidget {
public:
    // No owner; centred on the current host main form when there is one.
    TProgressForm();

    QLabel* Label;
    QProgressBar* Progress;
    bool MayClose = false;

protected:
    // FormCloseQuery: closing only when MayClose; FormClose: the window frees
    // itself (it is created with delete-on-close).
    void closeEvent(QCloseEvent* event) override;

private:
    void CentreOnMainForm();
};

class QtProgressWindow : public ProgressWindow {
public:
    QtProgressWindow();
    // Frees a window still open (MayClose is forced, so it goes).
    ~QtProgressWindow() override;

    void SetCaption(const std::string& caption) override;
    void SetLabel(const std::string& text) override;
    void SetMax(int max) override;
    void SetPosition(int position) override;
    void Show() override;
    void SetMayClose(bool mayClose) override;
    void Close() override;

    TProgressForm* Form() const { return m_form; }

private:
    QPointer<TProgressForm> m_form;
};
