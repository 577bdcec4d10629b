#include "tests/module/TaskTestSupport.h"

#include "module/TQuorvexLogClient.h"
#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"
#include "workbench/window/TFormUpdate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>

namespace tasktest {

host::LResult HostLog::HandleMessage(unsigned message, host::WParam w, host::LParam l) {
    static const char* const kinds[] = {"E: ", "N: ", "I: "};
    if (message == HostLogMessage)
        lines.push_back((w < 3 ? kinds[w] : "?: ") + TQuorvexLogClient::DecodeMessageText(l));
    return 0;
}

std::optional<std::string> ScriptedFileDialog::Next(const std::string& request) {
    requests.push_back(request);
    if (answers.empty())
        return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedFileDialog::Open(const std::string& filter, bool mustExist) {
    return Next("open " + filter + (mustExist ? " must-exist" : ""));
}

std::optional<std::string> ScriptedFileDialog::Save(const std::string& filter, bool mustExist) {
    return Next("save " + filter + (mustExist ? " must-exist" : ""));
}

TaskHost::TaskHost(QWidget* clientArea)
    : m_db(std::make_unique<testsupport::TempDatabase>(SOURCE_DIR "/model/schema/firebird.sql")),
      m_connection(m_db->NewConnection()), m_sql(m_db->NewConnection()) {
    db::ExecuteScript(*m_sql, "insert into NAME_BASE (name, base_god, type_code) values "
                              "('База', '2026', 2);");
    db::ExecuteScript(*m_sql, text::ReadFileBytes(SOURCE_DIR "/demo/base.sql"));
    if (clientArea)
        m_application = std::make_unique<TaskHostApplication>(MainFormHandle(), &boxes, clientArea);
    else
        m_application = std::make_unique<host::Application>(MainFormHandle(), &boxes);
}

TaskHost::~TaskHost() {
    Reset();
    host::SetCurrentApplication(nullptr);
}

host::Handle TaskHost::Open() {
    TaskContext context{m_connection.get(), m_application.get()};
    return MyMDIWindow(0, &context);
}

TFormUpdate* TaskHost::Window() const {
    return _FormUpdate;
}

void TaskHost::Reset() {
    if (_FormUpdate)
        host::SendMessage(_FormUpdate->Handle(), host::WM_CLOSE, 0, 0);
    FreeClosedWindows();
}

std::string TaskHost::Scalar(const std::string& sql) {
    db::Query q(*m_sql);
    q.SetSQL(sql);
    q.Open();
    return q.FieldAt(0).AsString();
}

void TaskHost::Sql(const std::string& statement) {
    m_sql->ExecuteDirect(statement);
}

MdiMainForm::MdiMainForm() : m_window(std::make_unique<QMainWindow>()), m_area(new QMdiArea) {
    m_area->setObjectName("ClientArea");
    m_window->setCentralWidget(m_area);
    m_window->resize(1000, 640);
    m_window->show();
    QCoreApplication::processEvents();
}

MdiMainForm::~MdiMainForm() = default;

void FreeClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void WriteCp1251(const std::string& path, const std::string& utf8) {
    text::WriteFileBytes(path, text::Utf8ToCp1251(utf8));
}

} // namespace tasktest
