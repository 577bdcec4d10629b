#include "tests/workbench/WorkbenchFixture.h"
#include "tests/support/QueryText.h"

#include "module/TQuorvexLogClient.h"
#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

#include <algorithm>

namespace testsupport {

host::LResult HostLog::HandleMessage(unsigned message, host::WParam w, host::LParam l) {
    if (message == HostLogMessage)
        lines.push_back((w == 0 ? "E: " : "I: ") + TQuorvexLogClient::DecodeMessageText(l));
    return 0;
}

WorkbenchTest::WorkbenchTest()
    : m_db(std::make_unique<TempDatabase>(SOURCE_DIR "/model/schema/firebird.sql")),
      m_sql(m_db->NewConnection()) {
    db::ExecuteScript(*m_sql, "insert into NAME_BASE (name, base_god, type_code) values "
                              "('База', '2026', 2);");
    db::ExecuteScript(*m_sql, text::ReadFileBytes(SOURCE_DIR "/demo/base.sql"));
    m_form = std::make_unique<UpdateForm>();
    m_form->SQLConnect.AssignSettings(*m_db->NewConnection());
    m_form->LogClient = std::make_unique<TQuorvexLogClient>(m_hostWindow.GetHandle());
}

WorkbenchTest::~WorkbenchTest() {
    m_form.reset();
    m_sql.reset();
}

void WorkbenchTest::UsePatch(const std::string& xml) {
    std::string path = m_db->Folder() + "/patch.xml";
    text::WriteFileBytes(path, text::Utf8ToCp1251(xml));
    m_form->EdPatch = path;
}

void WorkbenchTest::Sql(const std::string& statement) { m_sql->ExecuteDirect(statement); }

std::string WorkbenchTest::Scalar(const std::string& sql) {
    db::Query q(*m_sql);
    q.SetSQL(sql);
    q.Open();
    return q.FieldAt(0).AsString();
}

std::string WorkbenchTest::Dump(const std::string& table) {
    return QueryText(*m_sql, "select * from " + table, "NULL", true);
}

std::string WorkbenchTest::DumpAll() {
    std::string out;
    for (const char* table : {"NAME_BASE", "KOD_SBOR", "KOD_RAZD", "KOD_PVR", "SOST_PVR",
                              "KOD_TABL", "TRUDOZ", "ZARP", "CNIR", "MASH", "NOM_MAT",
                              "NOM_MASH", "KOD_OKP", "N_MASHP", "N_PROC"})
        out += std::string("[") + table + "]\n" + Dump(table);
    return out;
}

std::string WorkbenchTest::Schema() {
    return QueryText(*m_sql,
                     "select trim(rf.rdb$relation_name) || '.' || trim(rf.rdb$field_name), "
                     "f.rdb$field_type, f.rdb$field_length, f.rdb$character_length, "
                     "f.rdb$field_scale, rf.rdb$null_flag, rf.rdb$field_position "
                     "from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = "
                     "rf.rdb$field_source join rdb$relations r on r.rdb$relation_name = "
                     "rf.rdb$relation_name where coalesce(r.rdb$system_flag, 0) = 0",
                     "NULL", true) +
           QueryText(*m_sql,
                     "select trim(rdb$relation_name), rdb$format from rdb$relations "
                     "where coalesce(rdb$system_flag, 0) = 0",
                     "NULL", true);
}

std::string PatchXml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
           "<kod_pvr base_name=\"База\" base_code=\"База-2026\" base_date=\"2026\" "
           "base_typecode=\"2\">\n" +
           body + "</kod_pvr>\n";
}

} // namespace testsupport
