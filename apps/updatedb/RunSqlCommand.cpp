#include "apps/updatedb/Commands.h"

#include "platform/db/Script.h"
#include "platform/text/StringList.h"

#include <iostream>

namespace cli {

int RunSqlCommand(const GlobalOptions& options, const std::string& file) {
    // Scripts of this project are UTF-8, as the program's own text is.
    std::string script = text::ReadFileBytes(file);
    auto connection = OpenConnection(options);
    int statements = db::ExecuteScript(*connection, script);
    std::cerr << "Выполнено операторов: " << statements << "\n";
    return ExitOk;
}

} // namespace cli
