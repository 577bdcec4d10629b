#include "workbench/Recalculate.h"

#include "model/kod_pvr.h"
#include "model/popr_res.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/sbornik_pvr.h"
#include "platform/db/Dialect.h"
#include "platform/db/Query.h"
#include "platform/db/SelectGroup.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int Info = TQuorvexLogClient::Info;
constexpr int Error = TQuorvexLogClient::Error;

const char* const OracleWageSql = "update ZARP set zarpl = SR_RAZRAD2ZARPL(sr_razrad,(select trud_rab from TRUDOZ where TRUDOZ.kod_pvr(+) = ZARP.kod_pvr and TRUDOZ.n_tabl(+) = ZARP.n_tabl and TRUDOZ.trud_rab is not NULL)) where sr_razrad is not NULL and kod_pvr=:kod_pvr and kod_pvr not like '91%'";
const char* const IbLabourSql = "select A.kod_pvr, A.n_tabl, A.trud_rab, (select sr_razrad from ZARP where ZARP.kod_pvr = A.kod_pvr and ZARP.n_tabl = A.n_tabl and ZARP.sr_razrad <> 0 and ZARP.sr_razrad is not NULL) as razrad from TRUDOZ A where A.trud_rab <> 0 and A.trud_rab is not NULL and A.kod_pvr=:kod_pvr and A.kod_pvr not like '91%'";
const char* const IbWageSql = "select * from SR_RAZRAD2ZARPL(:Razrad,:tmpTrud)";
const char* const IbSetWageSql = "update ZARP set zarpl = :tmpZarpl where ZARP.kod_pvr = :tmpKod_pvr and ZARP.n_tabl = :tmpN_tabl";
const char* const EntryWageSql = "select zarpl from zarp where kod_pvr=:kod_pvr and n_tabl=:n_tabl";
const char* const OthersSql = "update cnir set rashod=:rashod where kod_pvr=:kod_pvr and n_tabl=:n_tabl and kod_cnir='00-00'";

constexpr double OthersShare = 0.02;

void ResetQuery(db::Query& q) {
    q.Close();
    q.ClearSQL();
}

bool SkipsWagePass(const std::string& prizStm) {
    return prizStm == "SR" || prizStm == "MM" || prizStm == "MR" || prizStm == "MP" ||
           prizStm == "SM";
}

// The lines of the norm being recalculated, held while its transaction is
// open: written once it is committed, so that the journal never reports a row
// as recalculated that the commit then lost. `step` names the step a line
// belongs to; `failed` is the start of its error line, for a commit that fails.
struct PendingLine {
    int kind;
    std::string line;
    std::string step;
    std::string failed;
};
std::vector<PendingLine>* g_pending = nullptr;

void StepLine(UpdateForm& form, int kind, const std::string& line, const std::string& step,
              const std::string& failed) {
    if (g_pending)
        g_pending->push_back({kind, line, step, failed});
    else
        LogThenJournal(form, form.MemoLog, kind, line);
}

void WageLine(UpdateForm& form, int kind, const std::string& code, const std::string& message) {
    const std::string failed = "Ошибка при пересчете зарплаты у работы " + code + " ";
    StepLine(form, kind, kind == Error ? failed + message : "Пересчет зарплаты у работы " + code,
             code, failed);
}

void OthersLine(UpdateForm& form, int kind, const std::string& code, const std::string& entry,
                const std::string& message) {
    const std::string failed =
        "Ошибка при пересчете  расхода у прочего материала " + code + " " + entry + " ";
    StepLine(form, kind,
             kind == Error ? failed + message
                           : "Пересчет расхода у прочего материала " + code + " " + entry,
             code + " " + entry, failed);
}

void OracleWage(UpdateForm& form, const std::string& code) {
    try {
        ResetQuery(form.Qupdate);
        form.Qupdate.SetSQL(OracleWageSql);
        form.Qupdate.ParamByName("kod_pvr").SetString(code);
        form.Qupdate.ExecSQLNow();
        WageLine(form, Info, code, "");
    } catch (const Exception& e) {
        WageLine(form, Error, code, e.what());
    }
}

// Row by row through the selectable procedure: one line per TRUDOZ row. A
// failure ends this norm's rows. The procedure only computes, so the wages of
// all the norm's rows are asked together first; the updates may then wait and
// travel together, each row's line written once its update has taken effect.
void InterBaseWage(UpdateForm& form, const std::string& code) {
    db::Connection& connection = form.SQLConnect;
    try {
        struct Row {
            std::string kod;
            std::string n;
        };
        std::vector<Row> rows;
        db::SelectGroup wages(connection, IbWageSql);
        {
            db::Query labour(connection);
            labour.SetSQL(IbLabourSql);
            labour.ParamByName("kod_pvr").SetString(code);
            labour.Open();
            for (labour.First(); !labour.Eof(); labour.Next()) {
                db::ParamList& params = wages.Add();
                params.ByName("razrad", IbWageSql)
                    .SetDecimal(labour.FieldByName("razrad").AsFloat());
                params.ByName("tmpTrud", IbWageSql)
                    .SetDecimal(labour.FieldByName("trud_rab").AsFloat());
                rows.push_back({labour.FieldByName("kod_pvr").AsString(),
                                labour.FieldByName("n_tabl").AsString()});
            }
        }
        if (rows.empty())
            return;
        wages.Run();
        db::Query wage(connection);
        wage.SetSQL(IbSetWageSql);
        for (size_t i = 0; i < rows.size(); ++i) {
            if (wages.Failed(i)) {
                connection.Flush(); // the rows before it first, as they ran first
                throw EDatabaseError(wages.Error(i));
            }
            const double newWage = wages.RowCount(i) ? wages.Value(i, 0, "v_return").AsFloat() : 0;
            wage.ParamByName("tmpKod_pvr").SetString(rows[i].kod);
            wage.ParamByName("tmpN_tabl").SetString(rows[i].n);
            wage.ParamByName("tmpZarpl").SetDecimal(newWage);
            wage.ExecSQL();
            connection.WhenSent([&form, code] { WageLine(form, Info, code, ""); });
        }
        connection.Flush();
    } catch (const Exception& e) {
        WageLine(form, Error, code, e.what());
    }
}

// The recalculation's work on one norm in one transaction, committed when
// the norm is done: a statement that fails is undone alone (the engine undoes
// a failed statement and the transaction goes on), so the rows changed before
// it stay changed, as they would with a commit per statement, at one commit
// per norm. On an InterBase connection only (elsewhere each statement is
// committed as it runs, as before); inside a transaction already (nothing else
// runs then) it does nothing. A failure that ends the norm's work early rolls
// it back.
class NormTransaction {
public:
    explicit NormTransaction(UpdateForm& form)
        : m_form(form),
          m_own(db::IsInterBase(form.SQLConnect) && !form.SQLConnect.InTransaction()) {
        if (!m_own)
            return;
        try {
            m_form.SQLConnect.StartTransaction(RecalculationTransaction);
        } catch (const Exception&) {
            // Without a transaction each statement commits as it runs, and
            // fails with its own line when the connection is gone.
            m_own = false;
            return;
        }
        g_pending = &m_lines;
    }
    ~NormTransaction() {
        if (g_pending == &m_lines)
            g_pending = nullptr;
        if (m_own && m_form.SQLConnect.InTransaction()) {
            try {
                m_form.SQLConnect.Rollback(RecalculationTransaction);
            } catch (const Exception&) {
                // Leaving on a failure already.
            }
        }
    }
    NormTransaction(const NormTransaction&) = delete;
    NormTransaction& operator=(const NormTransaction&) = delete;
    // Commits the norm's work and writes its lines. When the commit fails,
    // nothing of the norm stays: each of its steps gets one error line, its
    // own when it had failed already, else the commit's.
    void Commit() {
        if (!m_own)
            return;
        g_pending = nullptr;
        std::string message;
        try {
            m_form.SQLConnect.Commit(RecalculationTransaction);
        } catch (const Exception& e) {
            message = e.what();
        }
        if (message.empty()) {
            for (const PendingLine& line : m_lines)
                LogThenJournal(m_form, m_form.MemoLog, line.kind, line.line);
            return;
        }
        std::set<std::string> failedSteps, written;
        for (const PendingLine& line : m_lines)
            if (line.kind == Error)
                failedSteps.insert(line.step);
        for (const PendingLine& line : m_lines) {
            if (failedSteps.count(line.step) && line.kind != Error)
                continue;
            if (!written.insert(line.step).second)
                continue;
            LogThenJournal(m_form, m_form.MemoLog, Error,
                           line.kind == Error ? line.line : line.failed + message);
        }
    }

private:
    static constexpr db::TransactionDesc RecalculationTransaction{};
    UpdateForm& m_form;
    bool m_own;
    std::vector<PendingLine> m_lines;
};

void WagePass(UpdateForm& form, kod_pvr& base) {
    for (int c = 0; c < base.Count(); ++c) {
        sbornik_pvr& collection = *base.GetItem(c);
        for (int n = 0; n < collection.Count(); ++n) {
            pvr& norm = *collection.GetItem(n);
            if (SkipsWagePass(norm.priz_stm()))
                continue;
            NormTransaction transaction(form);
            if (db::IsOracle(form.SQLConnect))
                OracleWage(form, norm.kod());
            if (db::IsInterBase(form.SQLConnect))
                InterBaseWage(form, norm.kod());
            transaction.Commit();
        }
    }
}

// Sets the other-materials line of one entry to 2 % of its wage. On a
// connection that is neither Oracle nor InterBase the consumption stays
// unbound, which the query layer refuses: the line reports that failure and
// nothing is written.
void OtherMaterials(UpdateForm& form, const std::string& code, int number) {
    const std::string entry = text::IntToStr(number);
    db::Query& q = form.Qupdate;
    try {
        double value = 0;
        ResetQuery(q);
        q.SetSQL(EntryWageSql);
        q.ParamByName("kod_pvr").SetString(code);
        q.ParamByName("n_tabl").SetString(entry);
        q.Open();
        std::string wage = q.FieldByName("zarpl").AsString();
        if (!wage.empty())
            value = text::StrToFloat(wage) * OthersShare;
        ResetQuery(q);
        q.SetSQL(OthersSql);
        q.ParamByName("kod_pvr").SetString(code);
        q.ParamByName("n_tabl").SetString(entry);
        if (db::IsInterBase(form.SQLConnect))
            q.ParamByName("rashod").SetDecimal(RoundByText(value, 2));
        else if (db::IsOracle(form.SQLConnect))
            q.ParamByName("rashod").SetFixed4(ToCurrency(RoundByText(value, 2)));
        q.ExecSQLNow();
        OthersLine(form, Info, code, entry, "");
    } catch (const Exception& e) {
        OthersLine(form, Error, code, entry, e.what());
    }
}

void OtherMaterialsPass(UpdateForm& form, kod_pvr& base) {
    for (int c = 0; c < base.Count(); ++c) {
        sbornik_pvr& collection = *base.GetItem(c);
        if (collection.kod() < 70 || collection.kod() > 109)
            continue;
        for (int n = 0; n < collection.Count(); ++n) {
            pvr& norm = *collection.GetItem(n);
            if (norm.kod_razd() == 86)
                continue;
            NormTransaction transaction(form);
            for (int e = 0; e < norm.Count(); ++e) {
                pvr_popr& entry = *norm.GetItem(e);
                for (int r = 0; r < entry.Count(); ++r)
                    if (entry.GetItem(r)->kod() == "00-00")
                        OtherMaterials(form, norm.kod(), entry.number());
            }
            transaction.Commit();
        }
    }
}

} // namespace

void RecalculateOthers(UpdateForm& form) {
    JournalThenLog(form, form.MemoLog, Info, "Запустили расчет прочих");
    if (!form.Base)
        return;
    WagePass(form, *form.Base);
    OtherMaterialsPass(form, *form.Base);
}

double RoundByText(double value, int decimals) {
    char buffer[256];
    auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, value,
                                std::chars_format::fixed, 6);
    if (result.ec != std::errc())
        return value;
    std::string textValue(buffer, result.ptr);
    size_t point = textValue.find('.');
    if (point == std::string::npos)
        return value;
    // Nothing is cut when the text has no digit at that place: the value comes
    // back as its six-decimal text.
    size_t cut = std::min(point + static_cast<size_t>(decimals) + 1, textValue.size());
    char first = cut < textValue.size() ? textValue[cut] : '\0';
    textValue.resize(cut);
    double rounded = 0;
    std::from_chars(textValue.data(), textValue.data() + textValue.size(), rounded);
    if (first >= '5' && first <= '9')
        rounded += std::pow(10.0, -decimals);
    return rounded;
}

int64_t ToCurrency(double value) { return text::ToFixed4(value); }
