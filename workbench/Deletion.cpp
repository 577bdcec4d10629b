#include "workbench/Deletion.h"

#include "platform/host/Application.h"
#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

namespace {

constexpr int Info = TQuorvexLogClient::Info;
constexpr int Error = TQuorvexLogClient::Error;

const char* const FindCodeSql = "select * from kod_tabl where kod_tabl=:kod_tabl";
const char* const DeleteCodeSql = "delete from kod_tabl where kod_tabl=:kod_tabl";
const char* const NamePhrase = "where kod_pvr=";

void ResetQuery(db::Query& q) {
    q.Close();
    q.ClearSQL();
}

// The byte length of the first `count` characters of a UTF-8 text.
size_t Utf8Bytes(const std::string& s, size_t from, size_t count) {
    size_t i = from;
    while (i < s.size() && count > 0) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            ++i;
        --count;
    }
    return i - from;
}

void RunStatement(UpdateForm& form, const std::string& statement) {
    const std::string name = DeletionStatementName(statement);
    try {
        ResetQuery(form.Qdelete);
        form.Qdelete.SetSQL(statement);
        form.Qdelete.ExecSQL();
        LogThenJournal(form, form.MemoDelete, Info, "Удалили расценку " + name);
    } catch (const Exception& e) {
        LogThenJournal(form, form.MemoDelete, Error,
                       "Ошибка при удалиление расценки " + name + " " + e.what());
    }
}

} // namespace

bool DeleteCorrection(UpdateForm& form) {
    const std::string code = form.EdKodPopr;
    db::Query& q = form.Qupdate;
    ResetQuery(q);
    q.SetSQL(FindCodeSql);
    q.ParamByName("kod_tabl").SetString(code);
    q.Open();
    if (q.IsEmpty()) {
        host::CurrentApplication().MessageBox("Данной расценки не существует в базе", "Внимание!",
                                              host::MbIcon::Error, host::MbButtons::Ok);
        if (form.FocusEdKodPopr)
            form.FocusEdKodPopr();
        return false;
    }
    try {
        ResetQuery(q);
        q.SetSQL(DeleteCodeSql);
        q.ParamByName("kod_tabl").SetString(code);
        q.ExecSQL();
        LogThenJournal(form, form.MemoLog, Info, "Удалили поправку из базы " + code);
    } catch (const Exception& e) {
        LogThenJournal(form, form.MemoLog, Error,
                       "Ошибка при удалили поправку из базы " + code + " " + e.what());
    }
    return true;
}

void RunDeletionScript(UpdateForm& form) {
    const std::string script = form.Memo1.Text();
    size_t pieceStart = 0;
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] != '^')
            continue;
        std::string piece = script.substr(pieceStart, i - pieceStart);
        for (char& c : piece)
            if (c == '^')
                c = ' ';
        RunStatement(form, text::Trim(piece));
        pieceStart = i;
    }
    JournalThenLog(form, form.MemoDelete, Info, "Удаление завершенно!!!! ");
}

std::string DeletionStatementName(const std::string& statement) {
    size_t at = statement.find(NamePhrase);
    if (at == std::string::npos)
        return "";
    size_t position = text::Utf8Length(statement.substr(0, at)) + 1;
    size_t from = at + std::char_traits<char>::length(NamePhrase);
    return statement.substr(from, Utf8Bytes(statement, from, position));
}
