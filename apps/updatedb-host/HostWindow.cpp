#include "HostWindow.h"

#include "module/TQuorvexLogClient.h"

#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>

#include <cstdio>

HostWindow::HostWindow() {
    setObjectName("HostWindow");
    setWindowTitle(QString::fromUtf8("Демонстрационный хост UpdateDb"));
    m_clientArea = new QMdiArea(this);
    m_clientArea->setObjectName("ClientArea");
    setCentralWidget(m_clientArea);

    auto* dock = new QDockWidget(QString::fromUtf8("Журнал действий"), this);
    dock->setObjectName("ActivityLogDock");
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    m_log = new QPlainTextEdit(dock);
    m_log->setObjectName("ActivityLog");
    m_log->setReadOnly(true);
    dock->setWidget(m_log);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    statusBar()->showMessage(QString::fromUtf8("Готово"));
}

HostWindow::~HostWindow() {
    FreeTaskWindows();
}

void HostWindow::FreeTaskWindows() {
    qDeleteAll(m_clientArea->subWindowList());
}

void HostWindow::AddTask(std::unique_ptr<TaskModule> module, TaskContext* context) {
    const QString group = QString::fromStdString(module->Group());
    QMenu* menu = nullptr;
    for (QAction* action : menuBar()->actions())
        if (action->menu() && action->text() == group)
            menu = action->menu();
    if (!menu)
        menu = menuBar()->addMenu(group);
    QAction* open = menu->addAction(QString::fromStdString(module->TaskName()));
    const size_t index = m_tasks.size();
    m_tasks.push_back({std::move(module), context});
    connect(open, &QAction::triggered, this, [this, index] { OpenTask(m_tasks[index]); });
}

host::Handle HostWindow::OpenFirstTask() {
    return m_tasks.empty() ? 0 : OpenTask(m_tasks[0]);
}

// Handles are never reused: the same handle again is the window already open.
host::Handle HostWindow::OpenTask(Task& task) {
    host::Handle window = task.module->Open(*task.context);
    const char* text = !window                   ? "Задача \"%1\" не открыта"
                       : window == task.lastWindow ? "Задача \"%1\" уже открыта"
                                                   : "Открыта задача \"%1\"";
    Log(TQuorvexLogClient::Notice,
        QString::fromUtf8(text).arg(QString::fromStdString(task.module->TaskName())));
    task.lastWindow = window;
    return window;
}

void HostWindow::Log(int kind, const QString& text) {
    static const char* const kinds[] = {"ошибка", "замечание", "информация"};
    const char* name = kind >= 0 && kind < 3 ? kinds[kind] : "?";
    const QString line = QString::fromUtf8("[%1] %2").arg(QString::fromUtf8(name), text);
    m_log->appendPlainText(line);
    // A copy for the terminal the host was started from, as the command line
    // sends its host-log copies to stderr.
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

host::LResult HostWindow::HandleMessage(unsigned message, host::WParam wParam,
                                        host::LParam lParam) {
    if (message == HostLogMessage)
        Log(static_cast<int>(wParam),
            QString::fromStdString(TQuorvexLogClient::DecodeMessageText(lParam)));
    return 0;
}
