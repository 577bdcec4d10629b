#include "apps/updatedb/Commands.h"

#include "module/TQuorvexLogClient.h"
#include "platform/db/Dialect.h"
#include "platform/host/Application.h"
#include "platform/host/Messages.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "workbench/Deletion.h"
#include "workbench/ReportFormat.h"
#include "workbench/UpdateForm.h"
#include "workbench/UpdateRun.h"

#include <cstdio>
#include <iostream>

namespace cli {
namespace {

// The host's activity log for the command line: every line sent to it goes
// to stderr, marked with its kind.
class StderrHostLog : public host::MessageTarget {
public:
    host::LResult HandleMessage(unsigned message, host::WParam wParam,
                                host::LParam lParam) override {
        if (message != HostLogMessage)
            return 0;
        static const char* const kinds[] = {"error", "notice", "info"};
        const char* kind = wParam < 3 ? kinds[wParam] : "info";
        std::cerr << "log " << kind << ": " << TQuorvexLogClient::DecodeMessageText(lParam)
                  << std::endl;
        return 0;
    }
};

// A task window's state for one command: the connection of the options, the
// journals printed to stdout line by line as they are written, the host log on
// stderr (also for the lines the model sends itself).
class Session {
public:
    explicit Session(const GlobalOptions& options)
        : m_hostWindow(&m_hostLog),
          m_application(m_hostWindow.GetHandle(), &host::CurrentApplication().Presenter()),
          m_previous(host::SetCurrentApplication(&m_application)) {
        m_form.SQLConnect.AssignSettings(*MakeConnection(options));
        db::SetOracleNumericFormat(m_form.SQLConnect);
        m_form.LogClient = std::make_unique<TQuorvexLogClient>(m_hostWindow.GetHandle());
        m_form.MemoLog.OnAppend = [this](const std::string& line) { Print(line); };
        m_form.MemoDelete.OnAppend = [this](const std::string& line) { Print(line); };
    }
    ~Session() { host::SetCurrentApplication(m_previous); }

    UpdateForm& Form() { return m_form; }
    const ChangeReport& Report() const { return m_form.Report; }
    bool ErrorLineWritten() const { return m_errorLines > 0; }

    // The update journal as a file: windows-1251, CR LF line ends.
    void SaveJournal(const std::string& path) const { m_form.MemoLog.Lines().SaveToFile(path); }

private:
    void Print(const std::string& line) {
        std::cout << line << std::endl;
        if (line.rfind("Ошибка", 0) == 0)
            ++m_errorLines;
    }

    StderrHostLog m_hostLog;
    host::ScopedTarget m_hostWindow;
    host::Application m_application;
    host::Application* m_previous;
    UpdateForm m_form;
    int m_errorLines = 0;
};

} // namespace

namespace {

// The files a run leaves when asked: the journal and the JSON report.
void SaveRunFiles(const Session& session, const ApplyOptions& apply) {
    if (!apply.journal.empty())
        session.SaveJournal(apply.journal);
    if (!apply.report.empty())
        text::WriteFileBytes(apply.report, ReportJson(session.Report()));
}

} // namespace

int ApplyCommand(const GlobalOptions& options, const ApplyOptions& apply) {
    // Checked before the run starts, so that a missing patch changes nothing
    // (the run itself widens a column before it reads the patch).
    text::ReadFileBytes(apply.patch);
    Session session(options);
    UpdateForm& form = session.Form();
    form.EdPatch = apply.patch;
    form.CheckBox1 = apply.renumber;
    form.ChProch = !apply.noOthers;
    form.DryRun = apply.dryRun;
    form.Report.command = apply.command;
    form.Report.detail = apply.detail;
    form.ObserveSave = !apply.noCounts;
    int level = 0;
    try {
        level = BitCalcClick(form);
    } catch (const std::exception&) {
        try {
            SaveRunFiles(session, apply);
        } catch (const Exception& e) {
            // The run's own failure is the one to report; this one is said too.
            std::cerr << "updatedb: " << e.what() << "\n";
        }
        throw;
    }
    // A refused run changed nothing and has nothing to report but its refusal.
    if (level == 2)
        std::cerr << ReportSummary(form.Report);
    SaveRunFiles(session, apply);
    if (level != 2) {
        std::cerr << "updatedb: уровень цен базы " << level << ", обновление не выполнено\n";
        return ExitFailed;
    }
    if (session.ErrorLineWritten()) {
        std::cerr << "updatedb: обновление завершено с ошибками (см. строки \"Ошибка\")\n";
        return ExitFailed;
    }
    return ExitOk;
}

int DeleteCodeCommand(const GlobalOptions& options, const std::string& code) {
    Session session(options);
    session.Form().EdKodPopr = code;
    if (!DeleteCorrection(session.Form()))
        return ExitFailed;
    return session.ErrorLineWritten() ? ExitFailed : ExitOk;
}

int RunScriptCommand(const GlobalOptions& options, const std::string& file) {
    text::StringList script;
    script.LoadFromFile(file);
    Session session(options);
    session.Form().Edit1 = file;
    session.Form().Memo1.SetLines(script);
    RunDeletionScript(session.Form());
    return session.ErrorLineWritten() ? ExitFailed : ExitOk;
}

} // namespace cli
