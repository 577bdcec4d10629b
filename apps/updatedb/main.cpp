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

// Messages of the database and of the XML reader span several lines and may
// quote control characters of a broken file; stderr gets each failure as one
// line of text.
std::string OneLine(std::string message) {
    for (char& c : message)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    std::string out;
    for (char c : message)
        if (!(c == ' ' && !out.empty() && out.back() == ' '))
            out.push_back(c);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// Message boxes of the framework (an unreadable patch, say) as one stderr line
// each, like every other message of the tool.
class OneLineMessageBoxPresenter : public host::MessageBoxPresenter {
public:
    int Show(const host::MessageBoxRequest& request) override {
        std::cerr << request.caption << ": " << OneLine(request.text) << "\n";
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
    applyCommand->add_option("PATCH", apply.patch, "the patch document (windows-1251)")->required();
    applyCommand->add_flag("--renumber", apply.renumber,
                           "first renumber one-digit table codes (\"Обновлять код поправок\")");
    applyCommand->add_flag("--no-others", apply.noOthers,
                           "skip the recalculation of wages and other materials");
    applyCommand->add_option("--journal", apply.journal,
                             "also write the journal to this file (windows-1251, CR LF)");
    applyCommand->callback([&] { action = [&] { return cli::ApplyCommand(options, apply); }; });

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
    OneLineMessageBoxPresenter presenter;
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
    } catch (const Exception& e) {
        std::cerr << "updatedb: " << OneLine(e.what()) << "\n";
        return cli::ExitFailed;
    } catch (const std::exception& e) {
        std::cerr << "updatedb: " << OneLine(e.what()) << "\n";
        return cli::ExitFailed;
    }
}
