#include "platform/db/Script.h"

#include "platform/db/SqlText.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

#include <sstream>

namespace db {
namespace {

// The statement's leading words in upper case, blanks collapsed.
std::string Words(const std::string& statement, int count) {
    std::istringstream in(text::UpperAscii(statement));
    std::string word;
    std::string words;
    for (int i = 0; i < count && in >> word; ++i)
        words += (i ? " " : "") + word;
    return words;
}

bool IsClientCommand(const std::string& statement) {
    std::string two = Words(statement, 2);
    for (const char* command : {"SET NAMES", "SET SQL", "SET AUTODDL", "SET ECHO", "SET BAIL",
                                "SET LIST", "SET WARNINGS"})
        if (two == command)
            return true;
    return false;
}

} // namespace

int ExecuteScript(Connection& connection, std::string_view script) {
    TransactionDesc desc;
    int run = 0;
    for (const ScriptStatement& statement : SplitScript(script)) {
        std::string words = Words(statement.text, 3);
        try {
            if (words == "COMMIT" || words == "COMMIT WORK") {
                if (connection.InTransaction()) {
                    connection.Commit(desc);
                    connection.StartTransaction(desc);
                }
            } else if (words == "ROLLBACK" || words == "ROLLBACK WORK") {
                if (connection.InTransaction()) {
                    connection.Rollback(desc);
                    connection.StartTransaction(desc);
                }
            } else if (IsClientCommand(statement.text)) {
                continue;
            } else {
                connection.ExecuteDirect(statement.text);
            }
            ++run;
        } catch (const Exception& e) {
            throw EDatabaseError("Ошибка в операторе " + std::to_string(statement.number) +
                                 " (строка " + std::to_string(statement.line) + ") скрипта:\n" +
                                 statement.text + "\n" + e.Message());
        }
    }
    return run;
}

} // namespace db
