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

const std::vector<BaseTable>& BaseTables() {
    static const std::vector<BaseTable> tables = {
        {"NAME_BASE", "name"},
        {"KOD_RAZD", "kod_razd"},
        {"KOD_SBOR", "kod_sb"},
        {"KOD_PVR", "kod_pvr"},
        {"SOST_PVR", "kod_pvr"},
        {"N_PROC", "kod_pvr, kod_mest"},
        {"KOD_TABL", "kod_pvr, n_tabl"},
        {"TRUDOZ", "kod_pvr, n_tabl"},
        {"ZARP", "kod_pvr, n_tabl"},
        {"CNIR", "kod_pvr, n_tabl, kod_cnir"},
        {"MASH", "kod_pvr, n_tabl, kod_mash"},
        {"NOM_MAT", "kod_mat"},
        {"NOM_MASH", "kod_mash"},
        {"KOD_OKP", "kod_okp"},
        {"N_MASHP", "kod_mashp"},
    };
    return tables;
}

std::string DumpBase(db::Connection& connection) {
    std::string out;
    for (const BaseTable& table : BaseTables())
        out += std::string(table.name) + ":\n" + DumpTable(connection, table.name, table.orderBy);
    return out;
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
