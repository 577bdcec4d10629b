#include "model/Recode.h"

#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

const char* const kRecodeUserName = "V31_MERIDAN_2002";
const char* const kRecodePassword = "1";

namespace {

const char* const kSelectMaterialCode = "select kod_compare from perexod_mat where kod=:kod";
const char* const kSelectMachineCode = "select kod_compare from perexod_mash where kod=:kod";

// The host's own parameter when it sets one, else the module's value.
std::string Override(const db::Connection& host, const char* name, const char* fallback) {
    std::string value = host.ParamValue(name);
    return value.empty() ? fallback : value;
}

} // namespace

std::unique_ptr<db::Connection> MakeRecodeConnection(const db::Connection& host) {
    auto connection = std::make_unique<db::Connection>();
    connection->SetConnectionName("OracleConnection");
    connection->SetLoginPrompt(false);
    connection->SetDriverName("Oracle");
    connection->SetGetDriverFunc("getSQLDriverORACLE");
    connection->SetLibraryName("dbexpora.dll");
    connection->SetVendorLib("oci.dll");
    connection->SetParamValue("Database", host.ParamValue("Database"));
    connection->SetParamValue("User_Name", Override(host, "Recode_User_Name", kRecodeUserName));
    connection->SetParamValue("Password", Override(host, "Recode_Password", kRecodePassword));
    connection->SetParamValue("RowsetSize", "0");
    return connection;
}

std::unique_ptr<db::Connection> OpenRecodeConnection(const db::Connection& host) {
    std::unique_ptr<db::Connection> connection = MakeRecodeConnection(host);
    try {
        connection->Open();
    } catch (const Exception&) {
        // Recoding is then unavailable: every lookup keeps its code.
    }
    return connection;
}

std::string RecodeResource(db::Connection* recode, ResourceTable table, const std::string& code) {
    // An unconnected connection would try to connect again on every lookup.
    if (recode == nullptr || !recode->Connected())
        return code;
    try {
        db::Query query(*recode);
        query.SetSQL(table == ResourceTable::Material ? kSelectMaterialCode : kSelectMachineCode);
        query.ParamByName("kod").SetString(code);
        query.Open();
        if (query.Eof())
            return code;
        std::string answer = text::Trim(query.FieldByName("kod_compare").AsString());
        return answer.empty() ? code : answer;
    } catch (const Exception&) {
        return code;
    }
}
