// The module's entry points as a host uses them: listing, the single-window
// rule, opening on a connection that fails, re-parenting into the host's
// document area, the copy of the host connection, and the wait windows.
#include "tests/module/TaskTestSupport.h"

#include "module/ReportLibrary.h"
#include "module/TProgressForm.h"
#include "module/Tdlg_Idle.h"
#include "platform/text/Encoding.h"
#include "tests/support/RecordingDriver.h"
#include "workbench/window/TFormUpdate.h"

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QtTest>

#include <dlfcn.h>

using tasktest::TaskHost;

namespace {

const char* const AlreadyRunning = "\nЗадача \"Обновление СНБ \" уже запущена !\n";

QStringList Texts(const std::vector<host::MessageBoxRequest>& boxes) {
    QStringList out;
    for (const auto& box : boxes)
        out << QString::fromStdString(box.caption + ": " + box.text);
    return out;
}

} // namespace

class ModuleTest : public QObject {
    Q_OBJECT
private slots:
    void TheEntryPointsAreCSymbolsAndListTheTaskWithoutAConnection();
    void ASecondOpenShowsTheBoxAndAnsweringTheSameWindow();
    void AfterClosingANewOpenMakesAFreshWindowWithoutTheBox();
    void AnOracleBaseThatCannotBeReachedCannotBeOpened();
    void OnOracleTheNumericFormatIsSetAtOnceOnInterBaseNothingRuns();
    void TheWindowWorksOnACopyOfTheHostConnectionsSettings();
    void TheWindowIsMadeAChildOfTheDocumentAreaAndFillsIt();
    void InAMultiDocumentAreaTheWindowIsAFramedDocumentWindow();
    void ClosingTheDocumentWindowFreesItAndTheNextOpenMakesAFreshOne();
    void ASecondOpenBringsTheOpenDocumentWindowForward();
    void ASecondOpenWithoutAConnectionLeavesTheOpenWindow();
    void AWindowThatFailsToOpenLeavesNoEmptyFrame();
    void OpeningAdoptsTheHostsApplicationObject();
    void TheProgressWindowRefusesToCloseUntilAllowed();
    void TheWaitWindowsHaveTheirLayoutAndStayUnassigned();
};

void ModuleTest::TheEntryPointsAreCSymbolsAndListTheTaskWithoutAConnection() {
    void* library = dlopen(UPDATEDB_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    QVERIFY(library);
    auto getInfo = reinterpret_cast<GetInfoVersion50Func>(dlsym(library, "GetInfoVersion50"));
    QVERIFY(getInfo);
    QVERIFY(dlsym(library, "MyMDIWindow"));
    for (const char* data : {"_FormUpdate", "_ProgressForm", "_dlg_Idle"}) {
        void* symbol = dlsym(library, data);
        QVERIFY2(symbol, data);
        QCOMPARE(*static_cast<void**>(symbol), nullptr);
    }
    TaskInfo info;
    getInfo(&info);
    QCOMPARE(QString::fromStdString(text::Cp1251ToUtf8(info.Group)), QString("База данных"));
    QCOMPARE(QString::fromStdString(text::Cp1251ToUtf8(info.TaskName)), QString("Обновление СНБ"));
    QCOMPARE(info.Version, 5.0f);
    QCOMPARE(info.Flag, 1);
    dlclose(library);
}

void ModuleTest::ASecondOpenShowsTheBoxAndAnsweringTheSameWindow() {
    TaskHost host;
    const host::Handle first = host.Open();
    QVERIFY(first != 0);
    QVERIFY(host.Window() && host.Window()->isVisible());
    QVERIFY(host.boxes.shown.empty());
    QCOMPARE(host.Open(), first);
    QCOMPARE(host.boxes.shown.size(), size_t(1));
    QVERIFY(host.boxes.shown[0] ==
            (host::MessageBoxRequest{host.MainFormHandle(), AlreadyRunning, "Ошибка",
                                     host::MbIcon::Error, host::MbButtons::Ok}));
}

void ModuleTest::AfterClosingANewOpenMakesAFreshWindowWithoutTheBox() {
    TaskHost host;
    const host::Handle first = host.Open();
    QPointer<TFormUpdate> window = host.Window();
    QCOMPARE(host::SendMessage(first, host::WM_CLOSE, 0, 0), host::LResult(0));
    QCOMPARE(host.Window(), nullptr);
    tasktest::FreeClosedWindows();
    QVERIFY(window.isNull());
    QCOMPARE(host::FindTarget(first), nullptr);

    const host::Handle second = host.Open();
    QVERIFY(second != 0 && second != first);
    QVERIFY(host.Window());
    QVERIFY(host.boxes.shown.empty());
}

void ModuleTest::AnOracleBaseThatCannotBeReachedCannotBeOpened() {
    TaskHost host;
    testsupport::RecordingDriver oracle;
    oracle.FailConnect("ORA-12541: TNS:no listener");
    host.Connection().SetConnectionName("OracleConnection");
    host.Connection().SetDriverName("Oracle");
    QCOMPARE(host.Open(), host::Handle(0));
    QCOMPARE(host.Window(), nullptr);
    // The plain message: no owner, the application's title as caption.
    QCOMPARE(Texts(host.boxes.shown), QStringList() << QGuiApplication::applicationDisplayName() +
                                                           ": Извините, но задачу открыть нельзя.");
    QCOMPARE(host.boxes.shown[0].owner, host::Handle(0));
    // Nothing of the failed window is left: the next open works on a good base.
    host.boxes.shown.clear();
    host.Connection().SetConnectionName("IBConnection");
    host.Connection().SetDriverName("Firebird");
    QVERIFY(host.Open() != 0);
    QVERIFY(host.boxes.shown.empty());
}

void ModuleTest::OnOracleTheNumericFormatIsSetAtOnceOnInterBaseNothingRuns() {
    TaskHost host;
    {
        testsupport::RecordingDriver oracle;
        host.Connection().SetConnectionName("OracleConnection");
        host.Connection().SetDriverName("Oracle");
        QVERIFY(host.Open() != 0);
        QCOMPARE(QString::fromStdString(oracle.Dump()),
                 QString("direct: ALTER SESSION SET NLS_NUMERIC_CHARACTERS=\".,\"\n"));
        host.Reset();
        // The name must match exactly.
        oracle.Clear();
        host.Connection().SetConnectionName("oracleconnection");
        QVERIFY(host.Open() != 0);
        QCOMPARE(QString::fromStdString(oracle.Dump()), QString());
        QVERIFY(!host.Window()->State().SQLConnect.Connected());
        host.Reset();
    }
    host.Connection().SetConnectionName("IBConnection");
    host.Connection().SetDriverName("Firebird");
    QVERIFY(host.Open() != 0);
    QVERIFY(!host.Window()->State().SQLConnect.Connected());
}

void ModuleTest::TheWindowWorksOnACopyOfTheHostConnectionsSettings() {
    TaskHost host;
    db::Connection& hostConnection = host.Connection();
    hostConnection.SetGetDriverFunc("getSQLDriverINTERBASE");
    hostConnection.SetLibraryName("dbxint.so");
    hostConnection.SetVendorLib("libfbclient.so.2");
    hostConnection.Params().Add("RoleName=RDB$ADMIN");
    hostConnection.SetLoginPrompt(true);
    const int reportCalls = reportlib::Entry1Calls();
    QVERIFY(host.Open() != 0);
    QCOMPARE(reportlib::Entry1Calls(), reportCalls + 1);
    const db::Connection& copy = host.Window()->State().SQLConnect;
    QVERIFY(!copy.LoginPrompt());
    QCOMPARE(copy.ConnectionName(), hostConnection.ConnectionName());
    QCOMPARE(copy.Params().Text(), hostConnection.Params().Text());
    QCOMPARE(copy.DriverName(), hostConnection.DriverName());
    QCOMPARE(copy.GetDriverFunc(), std::string("getSQLDriverINTERBASE"));
    QCOMPARE(copy.LibraryName(), std::string("dbxint.so"));
    QCOMPARE(copy.VendorLib(), std::string("libfbclient.so.2"));
    QVERIFY(&copy != &hostConnection);
    QCOMPARE(UpdateTransaction.TransactionID, 1);
    QVERIFY(UpdateTransaction.IsolationLevel == db::Isolation::ReadCommitted);
    // The log client is aimed at the host main form.
    QCOMPARE(host.Window()->State().LogClient->Target(), host.MainFormHandle());
}

void ModuleTest::TheWindowIsMadeAChildOfTheDocumentAreaAndFillsIt() {
    QWidget mainForm;
    auto* area = new QWidget(&mainForm);
    area->setGeometry(0, 20, 1000, 600);
    mainForm.resize(1000, 620);
    mainForm.show();
    TaskHost host(area);
    QVERIFY(host.Open() != 0);
    TFormUpdate* window = host.Window();
    QCOMPARE(window->parentWidget(), area);
    QVERIFY(!window->isWindow());
    QCOMPARE(window->geometry(), QRect(0, 0, 1000, 600));
    area->resize(1200, 500);
    QCOMPARE(window->geometry(), QRect(0, 0, 1200, 500));
    // The journal's group box keeps its distance to the right and bottom edges.
    QWidget* group = window->findChild<QWidget*>("Gr");
    QCOMPARE(group->geometry(), QRect(8, 56, 765 + 400, 266 + 112));
    host.Reset();
}

void ModuleTest::InAMultiDocumentAreaTheWindowIsAFramedDocumentWindow() {
    tasktest::MdiMainForm mainForm;
    QMdiArea* area = mainForm.Area();
    TaskHost host(area);
    QVERIFY(host.Open() != 0);
    TFormUpdate* window = host.Window();
    QMdiSubWindow* frame = window->Frame();
    QVERIFY(frame);
    QCOMPARE(area->subWindowList(), QList<QMdiSubWindow*>{frame});
    QCOMPARE(frame->widget(), window);
    QVERIFY(frame->isVisible());
    QCOMPARE(area->activeSubWindow(), frame);
    QCOMPARE(frame->windowTitle(), QString("Обновление базы данных"));
    QVERIFY(!frame->windowIcon().isNull());
    // The usual controls: the system menu offers them.
    QStringList commands;
    for (QAction* action : frame->systemMenu()->actions())
        commands << action->text().remove('&');
    for (const char* command : {"Restore", "Minimize", "Maximize", "Close"})
        QVERIFY2(commands.contains(command), command);
    // The design size is the document window's, centred in the area.
    const QSize room = area->viewport()->size();
    QCOMPARE(frame->geometry(),
             QRect(QPoint((room.width() - 800) / 2, (room.height() - 388) / 2), QSize(800, 388)));
    // The journal keeps its design size inside the frame and follows its edges.
    QWidget* group = window->findChild<QWidget*>("Gr");
    QCOMPARE(group->geometry(), QRect(8, 56, 765, 266));
    QVERIFY(group->mapTo(frame, group->rect().bottomRight()).y() < frame->height());
    frame->resize(900, 450);
    QCOMPARE(group->geometry(), QRect(8, 56, 865, 328));
}

void ModuleTest::ClosingTheDocumentWindowFreesItAndTheNextOpenMakesAFreshOne() {
    tasktest::MdiMainForm mainForm;
    TaskHost host(mainForm.Area());
    // Through the frame's close control, and through WM_CLOSE to the window.
    for (bool closeControl : {true, false}) {
        const host::Handle handle = host.Open();
        QVERIFY(handle != 0);
        QPointer<TFormUpdate> window = host.Window();
        QPointer<QMdiSubWindow> frame = window->Frame();
        if (closeControl)
            QVERIFY(frame->close());
        else
            host::SendMessage(handle, host::WM_CLOSE, 0, 0);
        QCOMPARE(host.Window(), nullptr);
        tasktest::FreeClosedWindows();
        QVERIFY(window.isNull());
        QVERIFY2(frame.isNull(), "no empty frame stays behind");
        QVERIFY(mainForm.Area()->subWindowList().isEmpty());
        QCOMPARE(host::FindTarget(handle), nullptr);
    }
    const host::Handle fresh = host.Open();
    QVERIFY(fresh != 0);
    QVERIFY(host.Window()->Frame());
    QCOMPARE(mainForm.Area()->subWindowList().size(), 1);
    QVERIFY(host.boxes.shown.empty());
}

void ModuleTest::ASecondOpenBringsTheOpenDocumentWindowForward() {
    tasktest::MdiMainForm mainForm;
    QMdiArea* area = mainForm.Area();
    TaskHost host(area);
    const host::Handle first = host.Open();
    QMdiSubWindow* frame = host.Window()->Frame();
    // Another document gets in front, then the task's window is minimised.
    QMdiSubWindow* other = area->addSubWindow(new QWidget);
    other->show();
    area->setActiveSubWindow(other);
    frame->showMinimized();
    QVERIFY(frame->isMinimized());

    QCOMPARE(host.Open(), first);
    QCOMPARE(Texts(host.boxes.shown), QStringList() << QString("Ошибка: ") + AlreadyRunning);
    QVERIFY(!frame->isMinimized());
    QCOMPARE(area->activeSubWindow(), frame);
    QCOMPARE(area->subWindowList().size(), 2);
}

void ModuleTest::ASecondOpenWithoutAConnectionLeavesTheOpenWindow() {
    tasktest::MdiMainForm mainForm;
    TaskHost host(mainForm.Area());
    const host::Handle first = host.Open();
    QPointer<TFormUpdate> window = host.Window();
    TaskContext noConnection{nullptr, &host.Application()};
    QCOMPARE(MyMDIWindow(0, &noConnection), first);
    QCOMPARE(MyMDIWindow(0, nullptr), first);
    tasktest::FreeClosedWindows();
    QVERIFY(!window.isNull() && window->isVisible());
    QCOMPARE(host.Window(), window.data());
    QCOMPARE(Texts(host.boxes.shown), QStringList() << QString("Ошибка: ") + AlreadyRunning
                                                    << QString("Ошибка: ") + AlreadyRunning);
    // Once it is closed, a request without a connection cannot open the task.
    host.Reset();
    host.boxes.shown.clear();
    QCOMPARE(MyMDIWindow(0, &noConnection), host::Handle(0));
    QCOMPARE(host.Window(), nullptr);
    QCOMPARE(host.boxes.shown.size(), size_t(1));
    QCOMPARE(QString::fromStdString(host.boxes.shown[0].text),
             QString("Извините, но задачу открыть нельзя."));
}

void ModuleTest::AWindowThatFailsToOpenLeavesNoEmptyFrame() {
    tasktest::MdiMainForm mainForm;
    TaskHost host(mainForm.Area());
    testsupport::RecordingDriver oracle;
    oracle.FailConnect("ORA-12541: TNS:no listener");
    host.Connection().SetConnectionName("OracleConnection");
    host.Connection().SetDriverName("Oracle");
    QCOMPARE(host.Open(), host::Handle(0));
    QCOMPARE(host.Window(), nullptr);
    tasktest::FreeClosedWindows();
    QVERIFY(mainForm.Area()->subWindowList().isEmpty());
    QVERIFY(mainForm.Area()->findChildren<QMdiSubWindow*>().isEmpty());
}

void ModuleTest::OpeningAdoptsTheHostsApplicationObject() {
    TaskHost host;
    host::Application* before = &host::CurrentApplication();
    QVERIFY(before != &host.Application());
    QVERIFY(host.Open() != 0);
    QCOMPARE(&host::CurrentApplication(), &host.Application());
}

void ModuleTest::TheProgressWindowRefusesToCloseUntilAllowed() {
    std::unique_ptr<ProgressWindow> window = CreateProgressWindow();
    auto* qtWindow = dynamic_cast<QtProgressWindow*>(window.get());
    QVERIFY2(qtWindow, "the module installs the Qt progress window");
    QPointer<TProgressForm> form = qtWindow->Form();
    window->SetCaption("Загрузка");
    window->SetLabel("Загрузка сборника: Земляные работы");
    window->SetMax(7);
    window->SetPosition(3);
    window->Show();
    QVERIFY(form->isVisible());
    QCOMPARE(form->windowTitle(), QString("Загрузка"));
    QCOMPARE(form->Label->text(), QString("Загрузка сборника: Земляные работы"));
    QCOMPARE(form->Progress->maximum(), 7);
    QCOMPARE(form->Progress->value(), 3);
    // Alt+F4 or the host asking: refused while MayClose is false.
    QVERIFY(!form->close());
    window->Close();
    tasktest::FreeClosedWindows();
    QVERIFY(!form.isNull() && form->isVisible());
    window->SetMayClose(true);
    window->Close();
    tasktest::FreeClosedWindows();
    QVERIFY(form.isNull());
}

void ModuleTest::TheWaitWindowsHaveTheirLayoutAndStayUnassigned() {
    TProgressForm progress;
    QCOMPARE(progress.windowTitle(), QString("Подождите, пожалуйста ..."));
    QCOMPARE(progress.size(), QSize(313, 48));
    QVERIFY(!progress.MayClose);
    QVERIFY(progress.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(progress.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(progress.cursor().shape(), Qt::WaitCursor);
    QCOMPARE(progress.Label->geometry(), QRect(4, 4, 305, 17));
    QCOMPARE(progress.Label->text(), QString("Подождите, пожалуйста ..."));
    QCOMPARE(progress.Progress->geometry(), QRect(4, 25, 305, 17));
    QCOMPARE(progress.Progress->maximum(), 100);

    Tdlg_Idle idle;
    QCOMPARE(idle.windowTitle(), QString("Пожалуйста подождите..."));
    QCOMPARE(idle.size(), QSize(277, 54));
    QCOMPARE(idle.ProgressBar1->geometry(), QRect(5, 24, 265, 16));
    QCOMPARE(idle.ProgressBar1->maximum(), 100);
    QCOMPARE(_ProgressForm, nullptr);
    QCOMPARE(_dlg_Idle, nullptr);
}

QTEST_MAIN(ModuleTest)
#include "ModuleTest.moc"
