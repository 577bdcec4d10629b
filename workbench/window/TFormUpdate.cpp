#include "workbench/window/TFormUpdate.h"

#include "module/ReportLibrary.h"
#include "platform/db/Dialect.h"
#include "workbench/Deletion.h"
#include "workbench/JournalFile.h"
#include "workbench/UpdateRun.h"
#include "workbench/window/QtFileDialog.h"
#include "workbench/window/ReportDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The window as laid out at design time; anchored widgets keep their distance
// to the right and bottom edges when it is resized.
constexpr int DesignWidth = 800;
constexpr int DesignHeight = 388;
constexpr int EditHeight = 21;
constexpr int CheckHeight = 17;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QLabel* BoldLabel(QWidget* parent, const char* name, const char* caption, int x, int y) {
    QLabel* label = Named(new QLabel(Q(caption), parent), name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QLineEdit* Edit(QWidget* parent, const char* name, int x, int y, int width) {
    QLineEdit* edit = Named(new QLineEdit(parent), name);
    edit->setGeometry(x, y, width, EditHeight);
    return edit;
}

// A button with a glyph; `hint` says what it does (its tooltip, and its name
// for screen readers). Reachable with Tab like the edits.
QPushButton* GlyphButton(QWidget* parent, const char* name, QStyle::StandardPixmap glyph,
                         const QRect& geometry, const char* hint, const char* caption = "") {
    QPushButton* button = Named(new QPushButton(Q(caption), parent), name);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setGeometry(geometry);
    button->setToolTip(Q(hint));
    button->setAccessibleName(Q(hint));
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

void ChainTabOrder(std::initializer_list<QWidget*> chain) {
    QWidget* previous = nullptr;
    for (QWidget* widget : chain) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

QCheckBox* Check(QWidget* parent, const char* name, const char* caption, int x, int y) {
    QCheckBox* box = Named(new QCheckBox(Q(caption), parent), name);
    box->setGeometry(x, y, box->sizeHint().width(), CheckHeight);
    return box;
}

QPlainTextEdit* MemoIn(QGroupBox* group, const char* name) {
    QPlainTextEdit* memo = Named(new QPlainTextEdit(group), name);
    group->layout()->addWidget(memo);
    return memo;
}

QGroupBox* Group(QWidget* parent, const char* name, const char* caption) {
    QGroupBox* group = Named(new QGroupBox(Q(caption), parent), name);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(2, 2, 2, 2);
    return group;
}

text::StringList LinesOf(const QPlainTextEdit* widget) {
    text::StringList lines;
    lines.SetText(widget->toPlainText().toStdString());
    return lines;
}

} // namespace

TFormUpdate::TFormUpdate(host::Application* owner, QWidget* mainFormClientArea,
                         const db::Connection& hostConnection)
    : TMDIClientForm(owner, mainFormClientArea), m_form(std::make_unique<UpdateForm>()),
      m_fileDialog(std::make_unique<QtFileDialog>(this)) {
    setObjectName("FormUpdate");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Q("Обновление базы данных"));
    SetIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
    setFont(QFont("MS Sans Serif", 8));
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);
    CreateFirstTab();
    CreateSecondTab();
    CreatePopupMenu();
    PageControl1->setCurrentIndex(0);
    SetKeyboardOrder();
    SetDesignSize({DesignWidth, DesignHeight});

    m_target.emplace(this); // the window procedure
    CopyHostConnection(hostConnection);
    m_form->LogClient = std::make_unique<TQuorvexLogClient>(owner->MainFormHandle());
    UpdateTransaction = db::TransactionDesc{1, db::Isolation::ReadCommitted, 0};
    std::string reportText;
    reportlib::Entry1(&reportText);
    db::SetOracleNumericFormat(m_form->SQLConnect);
}

TFormUpdate::~TFormUpdate() {
    if (FormUpdate == this)
        FormUpdate = nullptr;
}

void TFormUpdate::CreateFirstTab() {
    TabSheet1 = Named(new QWidget, "TabSheet1");
    PageControl1->addTab(TabSheet1, Q("Обновление расценок"));
    Lbltext = BoldLabel(TabSheet1, "Lbltext", "Путь к файлу:", 8, 8);
    EdPatch = Edit(TabSheet1, "EdPatch", 120, 8, 577);
    BtnPatch = GlyphButton(TabSheet1, "BtnPatch", QStyle::SP_DialogOpenButton, {704, 6, 33, 25},
                           "Выбрать файл обновления (*.xml)");
    BitCalc = GlyphButton(TabSheet1, "BitCalc", QStyle::SP_MediaPlay, {736, 6, 33, 25},
                          "Обновить базу данных из выбранного файла");
    ChProch = Check(TabSheet1, "ChProch", "Расчет прочих", 8, 32);
    CheckBox1 = Check(TabSheet1, "CheckBox1", "Обновлять код поправок", 120, 35);
    Gr = Group(TabSheet1, "Gr", "Журнал сообщений");
    Gr->setGeometry(8, 56, 765, 266);
    MemoLog = MemoIn(Gr, "MemoLog");
    MirrorMemo(m_form->MemoLog, MemoLog);

    connect(BtnPatch, &QPushButton::clicked, this, [this] { BtnPatchClick(); });
    connect(BitCalc, &QPushButton::clicked, this, [this] { BitCalcClick(); });
}

void TFormUpdate::CreateSecondTab() {
    TabSheet2 = Named(new QWidget, "TabSheet2");
    PageControl1->addTab(TabSheet2, Q("Удаление расценок"));
    Lbl = BoldLabel(TabSheet2, "Lbl", "Код поправки", 8, 16);
    EdKodPopr = Edit(TabSheet2, "EdKodPopr", 104, 16, 201);
    BtnFind = GlyphButton(TabSheet2, "BtnFind", QStyle::SP_TrashIcon, {312, 13, 75, 25},
                          "Удалить из базы расценки с этим кодом поправки", "Удалить");
    Label1 = BoldLabel(TabSheet2, "Label1", "Путь к файлу:", 8, 48);
    Edit1 = Edit(TabSheet2, "Edit1", 104, 48, 577);
    BitBtn1 = GlyphButton(TabSheet2, "BitBtn1", QStyle::SP_DialogOpenButton, {680, 46, 33, 25},
                          "Выбрать скрипт удаления (*.sql)");
    BitBtn2 = GlyphButton(TabSheet2, "BitBtn2", QStyle::SP_MediaPlay, {712, 46, 33, 25},
                          "Выполнить скрипт удаления");
    GroupBox1 = Group(TabSheet2, "GroupBox1", "Журнал сообщений  для удалений");
    GroupBox1->setGeometry(8, 80, 765, 242);
    MemoDelete = MemoIn(GroupBox1, "MemoDelete");
    Memo1 = MemoIn(GroupBox1, "Memo1");
    Memo1->setVisible(false);
    MirrorMemo(m_form->MemoDelete, MemoDelete);
    MirrorMemo(m_form->Memo1, Memo1);
    m_form->FocusEdKodPopr = [this] { EdKodPopr->setFocus(); };

    connect(BtnFind, &QPushButton::clicked, this, [this] { BtnFindClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
}

// One menu for both journals; the journal commands act on MemoLog.
void TFormUpdate::CreatePopupMenu() {
    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    N1 = Named(PopupMenu1->addAction(Q("Сохранить журнал в файл")), "N1");
    N2 = Named(PopupMenu1->addAction(Q("Очистить журнал")), "N2");
    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
    N3 = Named(PopupMenu1->addAction(Q("Отчёт об изменениях...")), "N3");
    connect(N3, &QAction::triggered, this, [this] { N3Click(); });
    for (QPlainTextEdit* memo : {MemoLog, MemoDelete}) {
        memo->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(memo, &QWidget::customContextMenuRequested, this,
                [this, memo](const QPoint& at) { PopupMenu1->popup(memo->mapToGlobal(at)); });
    }
}

// Tab walks each tab from the path through its buttons and options to the
// journal, and leaves the journal again (no tab characters typed into it).
// The window's input focus goes to the first edit of the tab shown.
void TFormUpdate::SetKeyboardOrder() {
    ChainTabOrder({EdPatch, BtnPatch, BitCalc, ChProch, CheckBox1, MemoLog});
    ChainTabOrder({EdKodPopr, BtnFind, Edit1, BitBtn1, BitBtn2, MemoDelete});
    MemoLog->setTabChangesFocus(true);
    MemoDelete->setTabChangesFocus(true);
    setFocusProxy(EdPatch);
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { setFocusProxy(index == 0 ? EdPatch : EdKodPopr); });
}

// The procedures write into the Memo; the widget follows it line by line.
void TFormUpdate::MirrorMemo(Memo& memo, QPlainTextEdit* widget) {
    widget->setPlainText(QString::fromStdString(memo.Lines().Text()).replace("\r\n", "\n"));
    memo.OnAppend = [widget](const std::string& line) {
        widget->appendPlainText(QString::fromStdString(line));
    };
    memo.OnReset = [widget, &memo] {
        widget->setPlainText(QString::fromStdString(memo.Text()).replace("\r\n", "\n"));
    };
}

void TFormUpdate::CopyHostConnection(const db::Connection& hostConnection) {
    db::Connection& connection = m_form->SQLConnect;
    connection.SetLoginPrompt(false);
    connection.SetConnectionName(hostConnection.ConnectionName());
    connection.Params().SetText(hostConnection.Params().Text());
    connection.SetDriverName(hostConnection.DriverName());
    connection.SetGetDriverFunc(hostConnection.GetDriverFunc());
    connection.SetLibraryName(hostConnection.LibraryName());
    connection.SetVendorLib(hostConnection.VendorLib());
}

host::Handle TFormUpdate::Handle() const {
    return m_target ? m_target->GetHandle() : 0;
}

host::LResult TFormUpdate::HandleMessage(unsigned message, host::WParam, host::LParam) {
    switch (message) {
    case host::WM_CLOSE:
        for (unsigned n = 1; n <= 9; ++n)
            host::SendMessage(HostCommandWindow, host::WM_USER + n, 1, 0);
        host::SendMessage(HostCommandWindow, host::WM_USER + 12, 1, 0);
        close();
        return 0;
    case host::WM_CHILDACTIVATE:
        for (unsigned n = 1; n <= 6; ++n)
            host::SendMessage(HostCommandWindow, host::WM_USER + n, 0, 0);
        host::SendMessage(HostCommandWindow, host::WM_USER + 12, 0, 0);
        return 0; // the standard handler does nothing more here
    case HelpMessage:
        host::ShowMessageBox(0, "HELP :)", "HELP");
        return 0;
    case LogonMessage:
        host::ShowMessageBox(Handle(), "LOGON :)", "LOGOFF :)");
        return 0;
    case CalcMessage:
        host::ShowMessageBox(Handle(), "Calc", "Calc");
        return 0;
    default:
        return 0;
    }
}

void TFormUpdate::FormShow() {
    ChProch->setChecked(true);
}

void TFormUpdate::closeEvent(QCloseEvent* event) {
    event->accept(); // closing is always allowed
    m_form->LogClient.reset();
    m_target.reset(); // later messages to the handle go nowhere
    if (FormUpdate == this)
        FormUpdate = nullptr;
    // Freed after closing: the window was created with delete-on-close; its
    // frame goes with it.
    TMDIClientForm::closeEvent(event);
}

// The journals' group boxes are anchored on all four sides: they keep their
// distances to the edges they had at the design size.
void TFormUpdate::resizeEvent(QResizeEvent* event) {
    const QSize design = DesignClientSize();
    if (design.isValid()) {
        const int dw = width() - design.width();
        const int dh = height() - design.height();
        Gr->setGeometry(8, 56, 765 + dw, 266 + dh);
        GroupBox1->setGeometry(8, 80, 765 + dw, 242 + dh);
    }
    TMDIClientForm::resizeEvent(event);
}

void TFormUpdate::GatherInput() {
    m_form->EdPatch = EdPatch->text().toStdString();
    m_form->EdKodPopr = EdKodPopr->text().toStdString();
    m_form->Edit1 = Edit1->text().toStdString();
    m_form->ChProch = ChProch->isChecked();
    m_form->CheckBox1 = CheckBox1->isChecked();
    // The memos can be edited by hand; what they show is what the procedures get.
    const std::pair<Memo*, QPlainTextEdit*> memos[] = {
        {&m_form->MemoLog, MemoLog}, {&m_form->MemoDelete, MemoDelete}, {&m_form->Memo1, Memo1}};
    for (const auto& [memo, widget] : memos) {
        text::StringList shown = LinesOf(widget);
        if (shown.Lines() != memo->Lines().Lines())
            memo->SetLines(shown);
    }
}

void TFormUpdate::Guarded(const std::function<void()>& handler) {
    try {
        GatherInput();
        handler();
    } catch (const std::exception& error) {
        ShowFailure(error.what());
    } catch (...) {
        ShowFailure("Unknown failure");
    }
}

void TFormUpdate::ShowFailure(const std::string& message) {
    Owner()->Presenter().Show({Handle(), message,
                               QGuiApplication::applicationDisplayName().toStdString(),
                               host::MbIcon::Error, host::MbButtons::Ok});
}

void TFormUpdate::BtnPatchClick() {
    Guarded([this] {
        if (auto name = m_fileDialog->Open("(*.xml)|*.xml", true))
            EdPatch->setText(QString::fromStdString(*name));
    });
}

void TFormUpdate::BitBtn1Click() {
    Guarded([this] {
        auto name = m_fileDialog->Open("(*.sql)|*.sql", true);
        if (!name)
            return;
        Edit1->setText(QString::fromStdString(*name));
        text::StringList script;
        script.LoadFromFile(*name);
        m_form->Memo1.SetLines(script);
    });
}

void TFormUpdate::BitCalcClick() {
    Guarded([this] { ::BitCalcClick(*m_form); });
}

void TFormUpdate::BtnFindClick() {
    Guarded([this] { DeleteCorrection(*m_form); });
}

void TFormUpdate::BitBtn2Click() {
    Guarded([this] { RunDeletionScript(*m_form); });
}

void TFormUpdate::N1Click() {
    Guarded([this] {
        if (auto name = m_fileDialog->Save("(*.txt)|*.txt", true))
            SaveJournal(*m_form, *name);
    });
}

void TFormUpdate::N2Click() {
    Guarded([this] { ClearJournal(*m_form); });
}

void TFormUpdate::N3Click() {
    Guarded([this] {
        if (!m_reportDialog)
            m_reportDialog =
                new ReportDialog(this, [this]() -> FileDialog& { return *m_fileDialog; });
        m_reportDialog->ShowReport(m_form->Report);
        m_reportDialog->show();
        m_reportDialog->raise();
    });
}
