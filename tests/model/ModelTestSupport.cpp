#include "tests/model/ModelTestSupport.h"
#include "tests/support/QueryText.h"

#include "module/TQuorvexLogClient.h"
#include "platform/db/Query.h"
#include "platform/text/StringList.h"

namespace modeltest {

namespace {
std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}
} // namespace

std::string JournalLines::Text() const {
    return JoinLines(m_lines);
}

host::LResult HostLogRecorder::HandleMessage(unsigned message, host::WParam wParam,
                                             host::LParam lParam) {
    if (message == HostLogMessage)
        m_lines.push_back(std::to_string(wParam) + ":" +
                          TQuorvexLogClient::DecodeMessageText(lParam));
    return 0;
}

std::string HostLogRecorder::Text() const {
    return JoinLines(m_lines);
}

std::string DumpTable(db::Connection& connection, const std::string& table,
                      const std::string& orderBy) {
    return testsupport::QueryText(connection, "select * from " + table + " order by " + orderBy,
                                  "NULL");
}

void ReadXml(TSerializeList& object, const std::string& xml) {
    text::StringList lines;
    lines.SetText(xml);
    object.DeSerialize(lines);
}

std::string WriteXml(TSerializeList& object) {
    text::StringList lines;
    object.Serialize(lines);
    text::StringList split;
    split.SetText(lines.Text());
    std::string out;
    for (int i = 0; i < split.Count(); ++i)
        if (!split[i].empty())
            out += (out.empty() ? "" : "\n") + split[i];
    return out;
}

ModelTest::ModelTest() : m_database(SOURCE_DIR "/model/schema/firebird.sql") {
    m_application.SetMainFormHandle(m_mainForm.GetHandle());
    m_previousApplication = host::SetCurrentApplication(&m_application);
}

ModelTest::~ModelTest() {
    host::SetCurrentApplication(m_previousApplication);
}

void ModelTest::Exec(const std::vector<std::string>& statements) {
    for (const std::string& sql : statements)
        Db().ExecuteDirect(sql);
}

} // namespace modeltest
