#include "platform/db/ConnectionDefinitions.h"

#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "platform/text/Strings.h"

namespace db {

const ConnectionDefinition* ConnectionDefinitions::Find(const std::string& section) const {
    for (const ConnectionDefinition& definition : m_definitions)
        if (text::EqualsIgnoreCaseAscii(definition.name, section))
            return &definition;
    return nullptr;
}

ConnectionDefinitions LoadConnectionDefinitions(const std::string& iniPath) {
    std::string bytes;
    try {
        bytes = text::ReadFileBytes(iniPath);
    } catch (const Exception& e) {
        throw Exception("Не удалось прочитать файл определений соединений \"" + iniPath +
                        "\": " + e.Message());
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    text::StringList lines;
    lines.SetText(bytes);
    ConnectionDefinitions definitions;
    definitions.m_path = iniPath;
    for (const std::string& raw : lines.Lines()) {
        std::string line = text::Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            definitions.m_definitions.push_back({text::Trim(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || definitions.m_definitions.empty())
            continue;
        definitions.m_definitions.back().keys.emplace_back(text::Trim(line.substr(0, eq)),
                                                           text::Trim(line.substr(eq + 1)));
    }
    return definitions;
}

void ConfigureFromDefinition(Connection& connection, const ConnectionDefinitions& definitions,
                             const std::string& section) {
    const ConnectionDefinition* definition = definitions.Find(section);
    if (!definition)
        throw EDatabaseError("Соединение \"" + section + "\" не описано в файле \"" +
                             definitions.Path() + "\"");
    bool hasDriver = false;
    connection.SetConnectionName(definition->name);
    connection.Params().Clear();
    for (const auto& [key, value] : definition->keys) {
        if (text::EqualsIgnoreCaseAscii(key, "DriverName")) {
            connection.SetDriverName(value);
            hasDriver = true;
        } else {
            connection.SetParamValue(key, value);
        }
    }
    if (!hasDriver)
        throw EDatabaseError("В описании соединения \"" + section + "\" файла \"" +
                             definitions.Path() + "\" нет ключа DriverName");
}

} // namespace db

namespace db {

void ConfigureFromDefinition(Connection& connection, const std::string& iniPath,
                             const std::string& section) {
    ConfigureFromDefinition(connection, LoadConnectionDefinitions(iniPath), section);
}

} // namespace db
