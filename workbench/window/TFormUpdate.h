// The task window "Обновление базы данных": two tabs (the update run, the
// deletions), each with its journal. It owns the procedures' state
// (UpdateForm: its own connection, the journals, the base of the last run),
// mirrors its widgets into that state and calls the workbench procedures from
// its slots. It is a message target; its handle is what the host talks to.
// Closed, it frees itself and clears FormUpdate.
#pragma once

#include "module/TMDIClientForm.h"
#include "module/public/UpdateDbTask.h"
#include "platform/host/Messages.h"
#include "workbench/UpdateForm.h"
#include "workbench/window/FileDialog.h"

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The module-wide reference to the open task window (exported as
// _FormUpdate); null while none is open.
inline TFormUpdate*& FormUpdate = _FormUpdate;

class TFormUpdate : public TMDIClientForm, public host::MessageTarget {
public:
    // The notifications the window sends when it closes or is activated.
    static constexpr unsigned HelpMessage = host::WM_USER + 123;
    static constexpr unsigned LogonMessage = host::WM_USER + 124;
    static constexpr unsigned CalcMessage = host::WM_USER + 128;

    // Works on a copy of the host connection's settings (not yet connected).
    // Throws what the numeric-format statement raises on an "OracleConnection".
    TFormUpdate(host::Application* owner, QWidget* mainFormClientArea,
                const db::Connection& hostConnection);
    ~TFormUpdate() override;

    // The window's handle; 0 once the window has closed.
    host::Handle Handle() const;
    // The window procedure.
    host::LResult HandleMessage(unsigned message, host::WParam wParam,
                                host::LParam lParam) override;

    UpdateForm& State() { return *m_form; }
    // Replaces the file pickers (the Qt dialogs by default).
    void SetFileDialog(std::unique_ptr<FileDialog> dialog) { m_fileDialog = std::move(dialog); }

    // Where command-state notifications go; never assigned, so they go nowhere.
    host::Handle HostCommandWindow = 0;

    // The handlers of the buttons and the popup menu.
    void BtnPatchClick();
    void BitBtn1Click();
    void BitCalcClick();
    void BtnFindClick();
    void BitBtn2Click();
    void N1Click(); // SaveJournal
    void N2Click(); // ClearJournal
    void N3Click(); // shows the change report of the last update run

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QLabel* Lbltext = nullptr;
    QLineEdit* EdPatch = nullptr;
    QPushButton* BtnPatch = nullptr;
    QPushButton* BitCalc = nullptr;
    QCheckBox* ChProch = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QGroupBox* Gr = nullptr;
    QPlainTextEdit* MemoLog = nullptr;
    QWidget* TabSheet2 = nullptr;
    QLabel* Lbl = nullptr;
    QLineEdit* EdKodPopr = nullptr;
    QPushButton* BtnFind = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPlainTextEdit* MemoDelete = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;

protected:
    void FormShow() override;                     // ticks ChProch
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery, FormClose
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateFirstTab();
    void CreateSecondTab();
    void CreatePopupMenu();
    void SetKeyboardOrder();
    void MirrorMemo(Memo& memo, QPlainTextEdit* widget);
    void CopyHostConnection(const db::Connection& hostConnection);
    // Copies what the user typed, ticked or edited into the procedures' state.
    void GatherInput();
    // Runs a handler; a failure it lets through is shown in one message box
    // and the window stays open.
    void Guarded(const std::function<void()>& handler);
    void ShowFailure(const std::string& message);

    std::unique_ptr<UpdateForm> m_form;
    std::unique_ptr<FileDialog> m_fileDialog;
    class ReportDialog* m_reportDialog = nullptr; // a child, made when first shown
    std::optional<host::ScopedTarget> m_target;
};
