// The task window opened on a connection to a private Firebird server, driven
// through its widgets (offscreen), against the same clicks on an embedded copy
// of the same base: the same journals, host-log lines and rows.
#include "tests/module/TaskTestSupport.h"
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/support/FirebirdServer.h"

#include "platform/text/StringList.h"
#include "tests/cli/RunProcess.h"
#include "tests/support/TempFolder.h"
#include "workbench/window/TFormUpdate.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>

namespace {

// What one session of clicks left: the two journals, the host log and the base.
struct Outcome {
    QString journal;
    QString deletions;
    QStringList hostLog;
    std::string rows;
};

template <typename T> T* Part(TFormUpdate* window, const char* name) {
    T* widget = window->findChild<T*>(name);
    if (!widget)
        qFatal("no component %s", name);
    return widget;
}

// Applies the demo patch with the recalculation, then deletes one table code,
// through the window the host opens on its connection.
Outcome Click(tasktest::TaskHost& host, db::Connection& rows) {
    host.Open();
    TFormUpdate* window = host.Window();
    Part<QLineEdit>(window, "EdPatch")->setText(SOURCE_DIR "/demo/patch.xml");
    Part<QCheckBox>(window, "ChProch")->setChecked(true);
    QTest::mouseClick(Part<QPushButton>(window, "BitCalc"), Qt::LeftButton);
    Part<QLineEdit>(window, "EdKodPopr")->setText("06-02-001-01");
    Part<QPushButton>(window, "BtnFind")->click();
    Outcome outcome;
    outcome.journal = Part<QPlainTextEdit>(window, "MemoLog")->toPlainText();
    outcome.deletions = Part<QPlainTextEdit>(window, "MemoDelete")->toPlainText();
    for (const std::string& line : host.log.lines)
        outcome.hostLog << QString::fromStdString(line);
    host.Reset();
    outcome.rows = reliability::Snapshot(rows);
    return outcome;
}

} // namespace

class ServerWindowTest : public QObject {
    Q_OBJECT
private slots:
    void TheTaskOnAServerConnectionWorksAsOnAnEmbeddedBase();
};

void ServerWindowTest::TheTaskOnAServerConnectionWorksAsOnAnEmbeddedBase() {
    testsupport::FirebirdServer server;
    testsupport::TempFolder folder("server-window");
    // The demo base, made by the command line; one copy served, one embedded.
    const std::string made = folder.File("demo.fdb");
    QCOMPARE(testsupport::RunProcess(UPDATEDB_BIN, {"init", made}).status, 0);
    QCOMPARE(testsupport::RunProcess(UPDATEDB_BIN, {"--database", made, "run-sql",
                                                    SOURCE_DIR "/demo/base.sql"})
                 .status,
             0);
    const std::string served = server.DataFolder() + "/demo.fdb";
    std::filesystem::copy_file(made, served);

    tasktest::TaskHost host;
    testsupport::ConfigureFirebird(host.Connection(), made);
    db::Connection localRows;
    testsupport::ConfigureFirebird(localRows, made);
    const Outcome local = Click(host, localRows);

    host.log.lines.clear();
    server.Configure(host.Connection(), served);
    db::Connection serverRows;
    server.Configure(serverRows, served);
    const Outcome remote = Click(host, serverRows);

    QCOMPARE(remote.journal, local.journal);
    QVERIFY(remote.journal.contains(QString::fromUtf8("Сохранение в БД\n")));
    QVERIFY(remote.journal.contains(QString::fromUtf8("Пересчет зарплаты у работы 06-01-001")));
    QVERIFY(remote.journal.endsWith(QString::fromUtf8("\nУдалили поправку из базы 06-02-001-01")));
    QCOMPARE(remote.deletions, local.deletions);
    QCOMPARE(remote.hostLog, local.hostLog);
    QCOMPARE(QString::fromStdString(reliability::LineDiff(local.rows, remote.rows)), QString());
    QVERIFY(local.rows.find("06-02-001-01") == std::string::npos);
}

QTEST_MAIN(ServerWindowTest)
#include "ServerWindowTest.moc"
