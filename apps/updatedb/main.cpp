// updatedb: the command-line front end of UpdateDb. Parses the global options
// and the command, runs it, and maps failures to a one-line message on stderr
// and an exit status (0 done, 1 failed, 2 wrong usage).
#include "apps/updatedb/Commands.h"

#include "platform/host/Application.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <iostream>
#include <vector>

namespace {

// Messages of the database and of the XML reader span several lines (the
// reader's three-line headers, the place of a failure, the engine's lines):
// each is printed as its lines, the first after `prefix`. Control characters
// that a broken file may quote are shown as blanks; blanks ending a line and
// empty lines are left out.
void PrintMessage(std::ostream& out, const std::string& prefix, const std::string& message) {
    std::vector<std::string> lines(1);
    for (char c : message) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c);
    }
    bool printed = false;
    for (std::string& line : lines) {
        line.erase(line.find_last_not_of(' ') + 1);
        if (line.empty())
            continue;
        out << (printed ? "" : prefix) << line << "\n";
        printed = true;
    }
    if (!printed)
        out << prefix << "\n";
}

// Message boxes of the framework (an unreadable patch, say) on stderr, like
// every other message of the tool.
class StderrMessageBoxPresenter : public host::MessageBoxPresenter {
public:
    int Show(const host::MessageBoxRequest& request) override {
        PrintMessage(std::cerr, request.caption + ": ", request.text);
        return host::IDOK;
    }
};

using Action = std::function<int()>;

void AddGlobalOptions(CLI::App& app, cli::GlobalOptions& options) {
    app.add_option("--database", options.database,
                   "Firebird database as the connection \"IBConnection\": a file, opened by "
                   "the embedded engine, or HOST/PORT:PATH (HOST:PATH) of a server");
    app.add_option("--connections", options.connectionsIni, "INI file of connection definitions");
    app.add_option("--connection", options.connectionName, "section of the INI file to use");
    app.add_option("--user", options.user, "user name (SYSDBA for --database)");
    app.add_option("--password", options.password,
                   "password (visible to other users of the machine; prefer --password-file "
                   "or the environment variable UPDATEDB_PASSWORD)");
    app.add_option("--password-file", options.passwordFile,
                   "file whose first line is the password");
    app.add_option("--lock-timeout", options.lockTimeout,
                   "seconds a statement waits for a row that another connection holds "
                   "(0: no waiting; default: LockTimeout of the connection definition, else 60)")
        ->check(CLI::Range(0, 32767));
    app.add_flag("--one-statement-per-round-trip", options.oneByOne,
                 "send every statement on its own and ask the base about every row it "
                 "writes (slower on a server; the rows written are the same)");
}

void AddCommands(CLI::App& app, cli::GlobalOptions& options, Action& action) {
    static std::string file;
    auto* init = app.add_subcommand("init", "create a Firebird database file with the schema");
    init->add_option("FILE", file, "the new database file")->required();
    init->callback([&] { action = [&] { return cli::InitCommand(options, file); }; });

    auto* runSql = app.add_subcommand("run-sql", "run an SQL script (';' ends a statement, "
                                                 "SET TERM understood) on the database");
    runSql->add_option("FILE", file, "the script, UTF-8")->required()->check(CLI::ExistingFile);
    runSql->callback([&] { action = [&] { return cli::RunSqlCommand(options, file); }; });

    auto* summary = app.add_subcommand("summary", "print what the normative base holds");
    summary->callback([&] { action = [&] { return cli::SummaryCommand(options); }; });

    static std::vector<int> collections;
    static std::string outFile;
    auto* exportCommand = app.add_subcommand(
        "export", "load collections from the database and write them as a patch document");
    exportCommand->add_option("--collection", collections, "code of a collection (kod_sb)")
        ->required();
    exportCommand->add_option("-o", outFile,
                              "the patch file to write (windows-1251); stdout "
                              "when not given");
    exportCommand->callback(
        [&] { action = [&] { return cli::ExportCommand(options, collections, outFile); }; });

    static cli::ApplyOptions apply;
    auto* applyCommand = app.add_subcommand("apply", "apply a patch file: the update run");
    auto* checkCommand = app.add_subcommand(
        "check", "a dry run of apply: everything up to and including the save, then all of it "
                 "rolled back; nothing in the base changes");
    for (CLI::App* command : {applyCommand, checkCommand}) {
        command->add_option("PATCH", apply.patch, "the patch document (windows-1251)")->required();
        command->add_flag("--renumber", apply.renumber,
                          "first renumber one-digit table codes (\"Обновлять код поправок\")");
        command->add_option("--journal", apply.journal,
                            "also write the journal to this file (windows-1251, CR LF)");
        command->add_option("--report", apply.report,
                            "write the change report to this file as JSON");
        command->add_flag("--detail", apply.detail,
                          "list each new or changed norm and table entry in the report");
        command->add_flag("--no-counts", apply.noCounts,
                          "do not count what the save changes, table by table and object by "
                          "object (the report then says so); the save runs a little faster");
    }
    applyCommand->add_flag("--no-others", apply.noOthers,
                           "skip the recalculation of wages and other materials");
    applyCommand->add_flag("--dry-run", apply.dryRun, "the same as the command check");
    applyCommand->callback([&] {
        action = [&] {
            apply.command = apply.dryRun ? "check" : "apply";
            return cli::ApplyCommand(options, apply);
        };
    });
    checkCommand->callback([&] {
        action = [&] {
            apply.command = "check";
            apply.dryRun = true;
            return cli::ApplyCommand(options, apply);
        };
    });

    static std::string code;
    auto* deleteCode = app.add_subcommand("delete-code", "delete the table entries with that code");
    deleteCode->add_option("CODE", code, "the table code (kod_tabl)")->required();
    deleteCode->callback([&] { action = [&] { return cli::DeleteCodeCommand(options, code); }; });

    auto* runScript =
        app.add_subcommand("run-script", "run a deletion script of statements separated by \"^\"");
    runScript->add_option("FILE", file, "the script (windows-1251)")->required();
    runScript->callback([&] { action = [&] { return cli::RunScriptCommand(options, file); }; });

    auto* show = app.add_subcommand("show", "print the object tree of a patch document");
    show->add_option("PATCH", file, "the patch document")->required()->check(CLI::ExistingFile);
    show->callback([&] { action = [&] { return cli::ShowCommand(file); }; });
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"updatedb: applies XML patch files to an estimate-normative base", "updatedb"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "updatedb " UPDATEDB_VERSION);
    cli::GlobalOptions options;
    Action action;
    StderrMessageBoxPresenter presenter;
    host::CurrentApplication().SetPresenter(&presenter);
    // Numbers in what the user reads (the tree of show, journal lines) take
    // the separator of the user's locale; patches are read and written with '.'.
    text::SetDecimalSeparator(text::UserDecimalSeparator());
    AddGlobalOptions(app, options);
    AddCommands(app, options, action);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        return status == 0 ? cli::ExitOk : cli::ExitUsage;
    }
    options.userGiven = app.count("--user") > 0;
    options.passwordGiven = app.count("--password") > 0;
    try {
        return action();
    } catch (const cli::UsageError& e) {
        std::cerr << "updatedb: " << e.message << "\n";
        return cli::ExitUsage;
    } catch (const std::exception& e) {
        PrintMessage(std::cerr, "updatedb: ", e.what());
        return cli::ExitFailed;
    }
}
