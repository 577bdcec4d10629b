// updatedb-host: the demo host of the task module. It opens one database
// connection from the same options as the command line, loads the module,
// lists its task under its group and hands the connection to the task window.
//   updatedb-host [--database FILE | --connections INI --connection NAME]
//                 [--user NAME] [--password TEXT] [--module LIB] [--open]
//                 [--screenshots FOLDER [--patch FILE]]
#include "HostWindow.h"
#include "QuitOnSignals.h"
#include "Screenshots.h"

#include "apps/updatedb/Cli.h"
#include "platform/text/Numbers.h"
#include "workbench/window/QtMessageBoxPresenter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMdiArea>
#include <QMessageBox>

#include <cstdio>

namespace {

struct Options {
    cli::GlobalOptions connection;
    QString module = UPDATEDB_MODULE_PATH;
    QString screenshots;
    QString patch;
    bool open = false;
};

Options ParseOptions(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Demo host of the UpdateDb task module");
    parser.addHelpOption();
    const QCommandLineOption database("database", "Firebird database file (embedded)", "FILE");
    const QCommandLineOption connections("connections", "INI file of connection definitions",
                                         "INI");
    const QCommandLineOption connection("connection", "section of the INI file", "NAME");
    const QCommandLineOption user("user", "user name (SYSDBA for --database)", "NAME");
    const QCommandLineOption password("password", "password", "TEXT");
    const QCommandLineOption module("module", "the task module to load", "LIB");
    const QCommandLineOption open("open", "open the task at start");
    const QCommandLineOption screenshots("screenshots", "save screenshots and quit", "FOLDER");
    const QCommandLineOption patch("patch", "patch the screenshots' update run applies", "FILE");
    parser.addOptions(
        {database, connections, connection, user, password, module, open, screenshots, patch});
    parser.process(app);

    Options options;
    options.connection.database = parser.value(database).toStdString();
    options.connection.connectionsIni = parser.value(connections).toStdString();
    options.connection.connectionName = parser.value(connection).toStdString();
    options.connection.user = parser.value(user).toStdString();
    options.connection.userGiven = parser.isSet(user);
    options.connection.password = parser.value(password).toStdString();
    options.connection.passwordGiven = parser.isSet(password);
    if (parser.isSet(module))
        options.module = parser.value(module);
    options.screenshots = parser.value(screenshots);
    options.patch = parser.value(patch);
    options.open = parser.isSet(open);
    return options;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "updatedb-host: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8("UpdateDb"));
    text::SetDecimalSeparator(text::UserDecimalSeparator());
    const Options options = ParseOptions(app);

    std::unique_ptr<db::Connection> connection;
    try {
        connection = cli::MakeConnection(options.connection);
        connection->Open();
    } catch (const cli::UsageError& error) {
        return Fail(error.message);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }

    HostWindow hostWindow;
    QtMessageBoxPresenter presenter;
    TaskHostApplication application(hostWindow.Handle(), &presenter, hostWindow.ClientArea());
    TaskContext context{connection.get(), &application};
    try {
        hostWindow.AddTask(std::make_unique<TaskModule>(options.module.toStdString()), &context);
    } catch (const std::exception& error) {
        return Fail(std::string("cannot load the module: ") + error.what());
    }
    hostWindow.resize(1040, 700);

    int status = 0;
    if (!options.screenshots.isEmpty()) {
        status = SaveScreenshots(hostWindow, options.screenshots, options.patch) ? 0 : 1;
    } else {
        QuitOnSignals(app);
        hostWindow.show();
        if (options.open)
            hostWindow.OpenFirstTask();
        status = app.exec();
    }
    // The task windows go while the application object they work for exists.
    hostWindow.FreeTaskWindows();
    return status;
}
