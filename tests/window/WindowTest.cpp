// The task window on a real embedded base: its layout, the show event, the
// buttons and pickers driving the workbench procedures with the journals and
// the host log, the journal commands, the window procedure, the one failure
// handler, and the Qt tree-view adapter.
#include "tests/module/TaskTestSupport.h"
#include "tests/support/DemoJournal.h"

#include "model/n_proc.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "workbench/window/QtFileDialog.h"
#include "workbench/window/QtTreeView.h"
#include "workbench/window/ReportDialog.h"
#include "workbench/window/TFormUpdate.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using tasktest::TaskHost;

namespace {

QStringList Q(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines)
        out << QString::fromStdString(line);
    return out;
}

QStringList Shown(const QPlainTextEdit* memo) {
    return memo->toPlainText().split('\n', Qt::SkipEmptyParts);
}

QString Caption(const QWidget* widget) {
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->title();
    return QString();
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void Layout_data();
    void Layout();
    void TheWindowHasItsDesignSizeTabsMemoAndMenu();
    void ChProchIsTickedAtEveryShow();
    void RestoringTheHostOrTheFrameLeavesChProchAsTheUserSetIt();
    void GlyphButtonsSayWhatTheyDo_data();
    void GlyphButtonsSayWhatTheyDo();
    void TheRunButtonAndThePickersWorkFromTheKeyboard();
    void TheDeletionTabIsWalkedInItsOrder();
    void ThePickersShowTheirFilterOnce_data();
    void ThePickersShowTheirFilterOnce();
    void BitCalcAppliesThePatchIntoTheJournalAndTheHostLog();
    void BtnPatchPutsTheChosenFileIntoEdPatch();
    void BtnFindDeletesTheTypedCodeOrSaysItIsMissing();
    void TheLoadedScriptRunsIntoTheDeletionJournal();
    void SaveJournalWritesWhatTheMemoShows();
    void ClearJournalLeavesOneLine();
    void TheReportOfTheLastRunCanBeSeenAndSaved();
    void TheWindowProcedureAnswersTheHelpMessages();
    void AnUncaughtFailureIsShownAndTheWindowStaysOpen();
    void HostFiltersBecomeQtFilters_data();
    void HostFiltersBecomeQtFilters();
    void TheTreeAdapterFillsATreeWidgetWithImages();

private:
    template <typename T> T* Part(const char* name) {
        T* widget = m_window->findChild<T*>(name);
        if (!widget)
            qFatal("no component %s", name);
        return widget;
    }

    std::unique_ptr<TaskHost> m_host;
    TFormUpdate* m_window = nullptr;
    tasktest::ScriptedFileDialog* m_dialog = nullptr;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void WindowTest::init() {
    m_host = std::make_unique<TaskHost>();
    QVERIFY(m_host->Open() != 0);
    m_window = m_host->Window();
    auto dialog = std::make_unique<tasktest::ScriptedFileDialog>();
    m_dialog = dialog.get();
    m_window->SetFileDialog(std::move(dialog));
    m_folder = std::make_unique<QTemporaryDir>();
}

void WindowTest::cleanup() {
    m_host.reset();
    m_window = nullptr;
}

void WindowTest::Layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry"); // an empty size: only the position is fixed
    QTest::addColumn<bool>("bold");
    const auto row = [](const char* name, const char* parent, const char* caption, QRect geometry,
                        bool bold = false) {
        QTest::newRow(name) << name << parent << QString::fromUtf8(caption) << geometry << bold;
    };
    row("Lbltext", "TabSheet1", "Путь к файлу:", {8, 8, 0, 0}, true);
    row("EdPatch", "TabSheet1", "", {120, 8, 577, 21});
    row("BtnPatch", "TabSheet1", "", {704, 6, 33, 25});
    row("BitCalc", "TabSheet1", "", {736, 6, 33, 25});
    row("ChProch", "TabSheet1", "Расчет прочих", {8, 32, 0, 0});
    row("CheckBox1", "TabSheet1", "Обновлять код поправок", {120, 35, 0, 0});
    row("Gr", "TabSheet1", "Журнал сообщений", {8, 56, 765, 266});
    row("MemoLog", "Gr", "", {});
    row("Lbl", "TabSheet2", "Код поправки", {8, 16, 0, 0}, true);
    row("EdKodPopr", "TabSheet2", "", {104, 16, 201, 21});
    row("BtnFind", "TabSheet2", "Удалить", {312, 13, 75, 25});
    row("Label1", "TabSheet2", "Путь к файлу:", {8, 48, 0, 0}, true);
    row("Edit1", "TabSheet2", "", {104, 48, 577, 21});
    row("BitBtn1", "TabSheet2", "", {680, 46, 33, 25});
    row("BitBtn2", "TabSheet2", "", {712, 46, 33, 25});
    row("GroupBox1", "TabSheet2", "Журнал сообщений  для удалений", {8, 80, 765, 242});
    row("MemoDelete", "GroupBox1", "", {});
    row("Memo1", "GroupBox1", "", {});
}

void WindowTest::Layout() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    QFETCH(bool, bold);
    auto* widget = m_window->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(Caption(widget), caption);
    QCOMPARE(widget->font().bold(), bold);
    if (!geometry.isNull()) {
        QCOMPARE(widget->pos(), geometry.topLeft());
        if (!geometry.size().isEmpty())
            QCOMPARE(widget->size(), geometry.size());
    }
    if (qobject_cast<QPushButton*>(widget))
        QVERIFY2(!static_cast<QPushButton*>(widget)->icon().isNull(), "a glyph");
}

void WindowTest::TheWindowHasItsDesignSizeTabsMemoAndMenu() {
    QCOMPARE(m_window->size(), QSize(800, 388));
    QCOMPARE(m_window->windowTitle(), QString("Обновление базы данных"));
    auto* tabs = Part<QTabWidget>("PageControl1");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QString("Обновление расценок"));
    QCOMPARE(tabs->tabText(1), QString("Удаление расценок"));
    QCOMPARE(tabs->widget(0)->objectName(), QString("TabSheet1"));
    QCOMPARE(tabs->widget(1)->objectName(), QString("TabSheet2"));
    auto* memo1 = Part<QPlainTextEdit>("Memo1");
    QVERIFY(memo1->isHidden());
    QCOMPARE(memo1->toPlainText(), QString("Memo1"));
    QVERIFY(!Part<QCheckBox>("CheckBox1")->isChecked());
    auto* menu = Part<QMenu>("PopupMenu1");
    QCOMPARE(menu->actions().size(), 3);
    QCOMPARE(menu->actions()[0]->objectName(), QString("N1"));
    QCOMPARE(menu->actions()[0]->text(), QString("Сохранить журнал в файл"));
    QCOMPARE(menu->actions()[1]->objectName(), QString("N2"));
    QCOMPARE(menu->actions()[1]->text(), QString("Очистить журнал"));
    QCOMPARE(menu->actions()[2]->objectName(), QString("N3"));
    QCOMPARE(menu->actions()[2]->text(), QString("Отчёт об изменениях..."));
    for (const char* memo : {"MemoLog", "MemoDelete"})
        QCOMPARE(Part<QPlainTextEdit>(memo)->contextMenuPolicy(), Qt::CustomContextMenu);
}

void WindowTest::ChProchIsTickedAtEveryShow() {
    auto* box = Part<QCheckBox>("ChProch");
    QVERIFY(box->isChecked());
    box->setChecked(false);
    m_window->hide();
    m_window->show();
    QVERIFY(box->isChecked());
}

void WindowTest::RestoringTheHostOrTheFrameLeavesChProchAsTheUserSetIt() {
    // A top-level window minimised and restored by the window system.
    auto* box = Part<QCheckBox>("ChProch");
    box->setChecked(false);
    m_window->showMinimized();
    QCoreApplication::processEvents();
    m_window->showNormal();
    QCoreApplication::processEvents();
    QVERIFY(!box->isChecked());

    // A document window in a host: the host minimised and restored, the frame
    // minimised, maximised and restored.
    m_host.reset();
    tasktest::MdiMainForm mainForm;
    TaskHost host(mainForm.Area());
    QVERIFY(host.Open() != 0);
    box = host.Window()->ChProch;
    QVERIFY(box->isChecked());
    box->setChecked(false);
    mainForm.Window().showMinimized();
    QCoreApplication::processEvents();
    mainForm.Window().showNormal();
    QCoreApplication::processEvents();
    QVERIFY2(!box->isChecked(), "host restored");
    QMdiSubWindow* frame = host.Window()->Frame();
    for (auto change : {&QWidget::showMinimized, &QWidget::showNormal, &QWidget::showMaximized,
                        &QWidget::showNormal}) {
        (frame->*change)();
        QCoreApplication::processEvents();
    }
    QVERIFY2(!box->isChecked(), "frame minimised, maximised, restored");
    // Hidden and shown again, the window becomes visible: the show step runs.
    frame->hide();
    frame->show();
    QVERIFY(box->isChecked());
}

void WindowTest::GlyphButtonsSayWhatTheyDo_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("hint");
    QTest::newRow("BtnPatch") << "BtnPatch" << "Выбрать файл обновления (*.xml)";
    QTest::newRow("BitCalc") << "BitCalc" << "Обновить базу данных из выбранного файла";
    QTest::newRow("BtnFind") << "BtnFind" << "Удалить из базы расценки с этим кодом поправки";
    QTest::newRow("BitBtn1") << "BitBtn1" << "Выбрать скрипт удаления (*.sql)";
    QTest::newRow("BitBtn2") << "BitBtn2" << "Выполнить скрипт удаления";
}

void WindowTest::GlyphButtonsSayWhatTheyDo() {
    QFETCH(QString, name);
    QFETCH(QString, hint);
    auto* button = m_window->findChild<QPushButton*>(name);
    QCOMPARE(button->toolTip(), hint);
    QCOMPARE(button->accessibleName(), hint);
    QVERIFY(button->focusPolicy() & Qt::TabFocus);
}

void WindowTest::TheRunButtonAndThePickersWorkFromTheKeyboard() {
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    const auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    m_window->setFocus(); // where the host puts the focus when it opens the task
    QCOMPARE(QApplication::focusWidget(), Part<QLineEdit>("EdPatch"));
    QTest::keyClicks(QApplication::focusWidget(), SOURCE_DIR "/demo/patch.xml");
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Part<QPushButton>("BtnPatch"));
    m_dialog->answers = {std::nullopt};
    press(Qt::Key_Space);
    QCOMPARE(Q(m_dialog->requests), QStringList() << "open (*.xml)|*.xml must-exist");
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Part<QPushButton>("BitCalc"));
    press(Qt::Key_Space);
    QCOMPARE(Shown(Part<QPlainTextEdit>("MemoLog")).last(), QString("Обновление завершенно!"));
    QCOMPARE(m_host->Scalar("select count(*) from KOD_PVR where kod_pvr = '06-01-001'"),
             std::string("1"));
    // On through the options into the journal, and out of it again.
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Part<QCheckBox>("ChProch"));
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Part<QCheckBox>("CheckBox1"));
    press(Qt::Key_Tab);
    auto* journal = Part<QPlainTextEdit>("MemoLog");
    QCOMPARE(QApplication::focusWidget(), journal);
    const QString text = journal->toPlainText();
    press(Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != journal);
    QCOMPARE(journal->toPlainText(), text);
}

void WindowTest::TheDeletionTabIsWalkedInItsOrder() {
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    Part<QTabWidget>("PageControl1")->setCurrentIndex(1);
    m_window->setFocus();
    QStringList walked;
    for (int step = 0; step < 5; ++step) {
        walked << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(walked, QStringList() << "EdKodPopr"
                                   << "BtnFind"
                                   << "Edit1"
                                   << "BitBtn1"
                                   << "BitBtn2");
    QCOMPARE(QApplication::focusWidget(), Part<QPlainTextEdit>("MemoDelete"));
}

void WindowTest::ThePickersShowTheirFilterOnce_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("filter");
    QTest::newRow("patch") << "BtnPatch" << "patch.xml" << "EdPatch" << "(*.xml)";
    QTest::newRow("script") << "BitBtn1" << "delete.sql" << "Edit1" << "(*.sql)";
}

// The real Qt file dialog: what its file-type list shows, and the chosen file
// arriving in the edit.
void WindowTest::ThePickersShowTheirFilterOnce() {
    QFETCH(QString, button);
    QFETCH(QString, file);
    QFETCH(QString, edit);
    QFETCH(QString, filter);
    const QString path = m_folder->filePath(file);
    tasktest::WriteCp1251(path.toStdString(), "delete from KOD_TABL where kod_pvr='0'^\r\n");
    m_window->SetFileDialog(std::make_unique<QtFileDialog>(m_window));
    QStringList types;
    // Answers the dialog as a user would; a box in between (a file the dialog
    // did not find yet) is closed and the dialog asked again. After
    // 20 s everything is cancelled, so that a fault fails instead of hanging.
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (types.isEmpty())
                if (auto* list = dialog->findChild<QComboBox*>("fileTypeCombo"))
                    for (int i = 0; i < list->count(); ++i)
                        types << list->itemText(i);
            if (clock.elapsed() > 20000) {
                dialog->reject();
                return;
            }
            // The full path typed into the file name field, as a user may.
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
                name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    poll.start();
    m_window->findChild<QPushButton*>(button)->click();
    QCOMPARE(types, QStringList() << filter);
    QCOMPARE(m_window->findChild<QLineEdit*>(edit)->text(), path);
}

void WindowTest::BitCalcAppliesThePatchIntoTheJournalAndTheHostLog() {
    Part<QLineEdit>("EdPatch")->setText(SOURCE_DIR "/demo/patch.xml");
    Part<QCheckBox>("ChProch")->setChecked(false);
    QTest::mouseClick(Part<QPushButton>("BitCalc"), Qt::LeftButton);
    const QStringList journal = Shown(Part<QPlainTextEdit>("MemoLog"));
    QCOMPARE(journal, Q(m_window->State().MemoLog.Lines().Lines()));
    QCOMPARE(journal, Q(DemoJournal(false)));
    // The host log gets the run's and the norms' lines, in the journal's order.
    QCOMPARE(Q(m_host->log.lines),
             QStringList() << "I: Измененили длину поля naim_pvr "
                           << "I: Проверка на совпадение набора расценок с базой"
                           << "I: У работы 01-03-001 набор расценок не совпадает с базой "
                              "01-03-001-01"
                           << "I: Добавление работы 01-01-001"
                           << "I: Добавление работы 01-03-001"
                           << "I: Добавление работы 06-01-001"
                           << "I: Сохранение в БД");
    QCOMPARE(m_host->Scalar("select count(*) from KOD_PVR where kod_pvr = '01-03-001'"),
             std::string("1"));
}

void WindowTest::BtnPatchPutsTheChosenFileIntoEdPatch() {
    auto* edit = Part<QLineEdit>("EdPatch");
    edit->setText("typed.xml");
    m_dialog->answers = {std::nullopt, std::string("/data/patch.xml")};
    Part<QPushButton>("BtnPatch")->click();
    QCOMPARE(edit->text(), QString("typed.xml"));
    Part<QPushButton>("BtnPatch")->click();
    QCOMPARE(edit->text(), QString("/data/patch.xml"));
    QCOMPARE(Q(m_dialog->requests), QStringList() << "open (*.xml)|*.xml must-exist"
                                                  << "open (*.xml)|*.xml must-exist");
}

void WindowTest::BtnFindDeletesTheTypedCodeOrSaysItIsMissing() {
    auto* code = Part<QLineEdit>("EdKodPopr");
    code->setText("01-01-001-1");
    Part<QPushButton>("BtnFind")->click();
    QCOMPARE(Shown(Part<QPlainTextEdit>("MemoLog")), QStringList()
                                                         << "Удалили поправку из базы 01-01-001-1");
    QCOMPARE(Q(m_host->log.lines), QStringList() << "I: Удалили поправку из базы 01-01-001-1");
    QCOMPARE(m_host->Scalar("select count(*) from KOD_TABL where kod_tabl = '01-01-001-1'"),
             std::string("0"));

    Part<QPushButton>("BtnFind")->setFocus();
    Part<QPushButton>("BtnFind")->click(); // the code is gone now
    QCOMPARE(m_host->boxes.shown.size(), size_t(1));
    QVERIFY(
        m_host->boxes.shown[0] ==
        (host::MessageBoxRequest{m_host->MainFormHandle(), "Данной расценки не существует в базе",
                                 "Внимание!", host::MbIcon::Error, host::MbButtons::Ok}));
    QCOMPARE(m_window->focusWidget(), code);
    QCOMPARE(Shown(Part<QPlainTextEdit>("MemoLog")).size(), 1);
}

void WindowTest::TheLoadedScriptRunsIntoTheDeletionJournal() {
    const std::string script = m_folder->filePath("delete.sql").toStdString();
    tasktest::WriteCp1251(script, "delete from KOD_TABL where kod_pvr='01-02-057'^\r\n"
                                  "delete from NO_SUCH_TABLE where kod_pvr='06-01-001'^\r\n"
                                  "-- Конец\r\n");
    m_dialog->answers = {script};
    Part<QPushButton>("BitBtn1")->click();
    QCOMPARE(Q(m_dialog->requests), QStringList() << "open (*.sql)|*.sql must-exist");
    QCOMPARE(Part<QLineEdit>("Edit1")->text(), QString::fromStdString(script));
    QCOMPARE(Shown(Part<QPlainTextEdit>("Memo1")),
             QStringList() << "delete from KOD_TABL where kod_pvr='01-02-057'^"
                           << "delete from NO_SUCH_TABLE where kod_pvr='06-01-001'^"
                           << "-- Конец");
    QVERIFY(Part<QPlainTextEdit>("Memo1")->isHidden());

    Part<QPushButton>("BitBtn2")->click();
    // An error line carries the database's message, which spans several lines.
    const QStringList journal = Q(m_window->State().MemoDelete.Lines().Lines());
    QCOMPARE(Part<QPlainTextEdit>("MemoDelete")->toPlainText(), journal.join('\n'));
    QCOMPARE(journal.size(), 3);
    QCOMPARE(journal[0], QString("Удалили расценку '01-02-057'"));
    QVERIFY(journal[1].startsWith("Ошибка при удалиление расценки '06-01-001' "));
    QCOMPARE(journal[2], QString("Удаление завершенно!!!! "));
    QCOMPARE(m_host->log.lines.size(), size_t(3));
    QCOMPARE(QString::fromStdString(m_host->log.lines[0]), "I: " + journal[0]);
    QCOMPARE(QString::fromStdString(m_host->log.lines[1]), "E: " + journal[1]);
    QCOMPARE(QString::fromStdString(m_host->log.lines[2]), "I: " + journal[2]);
    QCOMPARE(m_host->Scalar("select count(*) from KOD_TABL where kod_pvr = '01-02-057'"),
             std::string("0"));
    QVERIFY(Shown(Part<QPlainTextEdit>("MemoLog")).isEmpty());
}

// The journal's menu shows the change report of the last run in a box of its
// own; its button saves the report as JSON, and a file that cannot be written
// is said in a message box.
void WindowTest::TheReportOfTheLastRunCanBeSeenAndSaved() {
    m_window->N3->trigger();
    auto* box = Part<ReportDialog>("ReportDialog");
    QVERIFY(box->isVisible());
    QCOMPARE(box->ReportText->toPlainText(),
             QString("Отчёт об изменениях: обновление ещё не запускалось\n"));
    QVERIFY(!box->BtnSaveReport->isEnabled());
    box->close();

    Part<QLineEdit>("EdPatch")->setText(SOURCE_DIR "/demo/patch.xml");
    Part<QCheckBox>("ChProch")->setChecked(false);
    QTest::mouseClick(Part<QPushButton>("BitCalc"), Qt::LeftButton);
    m_window->N3->trigger();
    QVERIFY(box->isVisible());
    QVERIFY(box->ReportText->toPlainText().startsWith(
        "Отчёт об изменениях: обновление\n  Итог: без ошибок\n  В патче: разделов 2"));
    const std::string chosen = m_folder->filePath("report.json").toStdString();
    m_dialog->answers = {chosen, m_folder->filePath("no/such/r.json").toStdString()};
    QTest::mouseClick(box->BtnSaveReport, Qt::LeftButton);
    QCOMPARE(Q(m_dialog->requests), QStringList() << "save (*.json)|*.json");
    const std::string json = text::ReadFileBytes(chosen);
    QVERIFY(json.find("\"command\": \"apply\"") != std::string::npos);
    QVERIFY(json.find("\"outcome\": \"clean\"") != std::string::npos);
    QVERIFY(m_host->boxes.shown.empty());
    QTest::mouseClick(box->BtnSaveReport, Qt::LeftButton);
    QCOMPARE(m_host->boxes.shown.size(), size_t(1));
    QVERIFY(m_host->boxes.shown[0].text.find("no/such/r.json") != std::string::npos);
}

void WindowTest::SaveJournalWritesWhatTheMemoShows() {
    auto* memo = Part<QPlainTextEdit>("MemoLog");
    memo->setPlainText("Строка, набранная вручную");
    const std::string chosen = m_folder->filePath("journal").toStdString();
    m_dialog->answers = {chosen};
    m_window->N1->trigger();
    QCOMPARE(Q(m_dialog->requests), QStringList() << "save (*.txt)|*.txt must-exist");
    const std::string success = "Сохранили диагностику в файл " + chosen + ".txt";
    QCOMPARE(text::ReadFileBytes(chosen + ".txt"),
             text::Utf8ToCp1251("Строка, набранная вручную\r\n" + success));
    QCOMPARE(Shown(memo), QStringList()
                              << "Строка, набранная вручную" << QString::fromStdString(success));
    QCOMPARE(Q(m_host->log.lines), QStringList() << QString::fromStdString("I: " + success));

    // A folder that does not exist: an error line instead of the success line.
    m_dialog->answers = {m_folder->filePath("missing/journal").toStdString()};
    m_window->N1->trigger();
    QVERIFY(Shown(memo).last().startsWith("Ошибка"));
    QVERIFY(m_host->log.lines.back().rfind("E: Ошибка", 0) == 0);
}

void WindowTest::ClearJournalLeavesOneLine() {
    auto* memo = Part<QPlainTextEdit>("MemoLog");
    memo->setPlainText("один\nдва");
    m_window->N2->trigger();
    QCOMPARE(memo->toPlainText(), QString("Очистили журнал"));
    QCOMPARE(Q(m_window->State().MemoLog.Lines().Lines()), QStringList() << "Очистили журнал");
    QVERIFY(m_host->log.lines.empty());
}

void WindowTest::TheWindowProcedureAnswersTheHelpMessages() {
    const host::Handle window = m_window->Handle();
    QCOMPARE(host::SendMessage(window, host::WM_CHILDACTIVATE, 0, 0), host::LResult(0));
    QCOMPARE(host::SendMessage(window, host::WM_USER + 123, 0, 0), host::LResult(0));
    host::SendMessage(window, host::WM_USER + 124, 0, 0);
    host::SendMessage(window, host::WM_USER + 128, 0, 0);
    host::SendMessage(window, host::WM_USER + 125, 0, 0); // not answered
    const std::vector<host::MessageBoxRequest> expected{
        {0, "HELP :)", "HELP", host::MbIcon::None, host::MbButtons::Ok},
        {window, "LOGON :)", "LOGOFF :)", host::MbIcon::None, host::MbButtons::Ok},
        {window, "Calc", "Calc", host::MbIcon::None, host::MbButtons::Ok}};
    QVERIFY(m_host->boxes.shown == expected);
    QCOMPARE(m_host->Window(), m_window);
    QVERIFY(m_window->isVisible());
}

void WindowTest::AnUncaughtFailureIsShownAndTheWindowStaysOpen() {
    Part<QLineEdit>("EdPatch")->setText(m_folder->filePath("missing.xml"));
    Part<QPushButton>("BitCalc")->click();
    QCOMPARE(m_host->boxes.shown.size(), size_t(1));
    const host::MessageBoxRequest& box = m_host->boxes.shown[0];
    QVERIFY2(box.text.find("missing.xml") != std::string::npos, box.text.c_str());
    QCOMPARE(box.icon, host::MbIcon::Error);
    QCOMPARE(m_host->Window(), m_window);
    QVERIFY(m_window->isVisible());
    // The window still works.
    m_window->N2->trigger();
    QCOMPARE(Part<QPlainTextEdit>("MemoLog")->toPlainText(), QString("Очистили журнал"));
}

void WindowTest::HostFiltersBecomeQtFilters_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("qt");
    // A description that already shows its pattern is not followed by it again.
    QTest::newRow("xml") << "(*.xml)|*.xml"
                         << "(*.xml)";
    QTest::newRow("sql") << "(*.sql)|*.sql"
                         << "(*.sql)";
    QTest::newRow("two") << "Patches|*.xml|All|*"
                         << "Patches (*.xml);;All (*)";
    QTest::newRow("other pattern shown") << "Patches (*.xml)|*.XML"
                                         << "Patches (*.xml) (*.XML)";
    QTest::newRow("pattern only") << "|*.txt"
                                  << "(*.txt)";
    QTest::newRow("description only") << "Journal"
                                      << "Journal";
}

void WindowTest::HostFiltersBecomeQtFilters() {
    QFETCH(QString, host);
    QFETCH(QString, qt);
    QCOMPARE(QString::fromStdString(QtNameFilters(host.toStdString())), qt);
}

void WindowTest::TheTreeAdapterFillsATreeWidgetWithImages() {
    QTreeWidget widget;
    QtTreeView view(&widget);
    QPixmap red(16, 16), blue(16, 16);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    view.SetImages({QIcon(red), QIcon(blue)});
    n_proc rate(3, 1.5, 2, 0, 0, 0, 0);
    rate.TreeView(view, nullptr);
    QCOMPARE(widget.topLevelItemCount(), 1);
    QTreeWidgetItem* top = widget.topLevelItem(0);
    QCOMPARE(top->text(0), QString("n_proc"));
    QCOMPARE(view.NodeOf(top)->ImageIndex(), 0);
    QCOMPARE(view.NodeOf(top)->SelectedIndex(), 0);
    QCOMPARE(top->icon(0).pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(top->childCount(), 7);
    QCOMPARE(top->child(0)->text(0), QString("kod_mest = 3"));
    QCOMPARE(view.NodeOf(top->child(0))->ImageIndex(), 1);
    QCOMPARE(top->child(0)->icon(0).pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::blue));

    QTreeWidget plain;
    QtTreeView noImages(&plain);
    QVERIFY(!noImages.HasImages());
    rate.TreeView(noImages, nullptr);
    QCOMPARE(noImages.NodeOf(plain.topLevelItem(0))->ImageIndex(), -1);
    QVERIFY(plain.topLevelItem(0)->icon(0).isNull());
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
