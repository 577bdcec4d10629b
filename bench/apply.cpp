// Applies a generated patch the way `updatedb apply` does (the stages of the
// update run on an UpdateForm, the journal and the host log fed line by line)
// and prints, per phase, wall time, statements, rows written per table and the
// peak resident memory, as "figure NAME VALUE" lines that bench/run reads.
//
//   bench_apply fresh  SCHEMA.sql PATCH.xml PATCH.dir BASE.fdb BEFORE.fdb [--no-cache]
//       creates BASE.fdb from the schema with the directories of PATCH.dir,
//       copies it to BEFORE.fdb (for the bulk-load baseline), applies the patch
//   bench_apply update PATCH.xml BASE.fdb [--no-cache]
//       applies the patch again over the filled base (the update path)
//   bench_apply read PATCH.xml [RUNS]
//       only reads the file and DeSerializes it, best of RUNS (default 3), for
//       profiling the reading stage on its own
//   --no-recalc (either mode) stops after the save, for profiling the stages
//   before it.
#include "module/TQuorvexLogClient.h"
#include "platform/db/Query.h"
#include "platform/db/Script.h"
#include "platform/host/Application.h"
#include "platform/host/Messages.h"
#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "tests/support/ForwardingDriver.h"
#include "tests/support/TempDatabase.h"
#include "workbench/Recalculate.h"
#include "workbench/Renumber.h"
#include "workbench/UpdateForm.h"
#include "workbench/UpdateRun.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Rows changed per "verb TABLE", counted by a driver wrapped around the real
// Firebird driver: the engine's own count of every executed statement.
std::map<std::string, int64_t> g_rows;
// One statement per round trip (no grouping, every row asked about).
bool g_oneByOne = false;

std::string StatementKey(const std::string& sql) {
    std::istringstream in(sql);
    std::string verb, word, table;
    in >> verb;
    std::transform(verb.begin(), verb.end(), verb.begin(), ::tolower);
    if (verb == "insert" || verb == "delete")
        in >> word >> table;
    else if (verb == "update")
        in >> table;
    else
        return "";
    table = table.substr(0, table.find('('));
    std::transform(table.begin(), table.end(), table.begin(), ::toupper);
    return verb + " " + table;
}

class CountingStatement : public testsupport::ForwardingStatement {
public:
    CountingStatement(std::unique_ptr<db::DriverStatement> inner, std::string key)
        : ForwardingStatement(std::move(inner)), m_key(std::move(key)) {}
    int64_t Execute(const std::vector<db::BoundValue>& params) override {
        int64_t rows = ForwardingStatement::Execute(params);
        if (!m_key.empty())
            g_rows[m_key] += rows >= 0 ? rows : m_key.rfind("insert", 0) == 0 ? 1 : 0;
        return rows;
    }

private:
    std::string m_key;
};

class CountingConnection : public testsupport::ForwardingConnection {
public:
    using ForwardingConnection::ForwardingConnection;
    std::unique_ptr<db::DriverStatement> Prepare(const db::ParsedSql& sql) override {
        return std::make_unique<CountingStatement>(ForwardingConnection::Prepare(sql),
                                                   StatementKey(sql.original));
    }
    // Statements sent together: an insert of values adds its one row (a
    // failing group fails the save, which the benchmark reports).
    void ExecuteGroup(const std::vector<db::GroupedStatement>& statements) override {
        ForwardingConnection::ExecuteGroup(statements);
        for (const db::GroupedStatement& statement : statements) {
            const std::string key = StatementKey(statement.sql->original);
            if (key.rfind("insert", 0) == 0)
                ++g_rows[key];
        }
    }
};

// Through the private server when bench/run says so (BENCH_SERVER holds its
// address, UPDATEDB_PASSWORD the password): the same files, opened by it.
std::string ServerAddress() {
    const char* server = std::getenv("BENCH_SERVER");
    return server ? server : "";
}

void ConfigureBase(db::Connection& connection, const std::string& path) {
    if (ServerAddress().empty()) {
        testsupport::ConfigureFirebird(connection, path);
        return;
    }
    testsupport::ConfigureFirebird(connection, ServerAddress() + ":" + path);
    const char* password = std::getenv("UPDATEDB_PASSWORD");
    connection.SetParamValue("Password", password ? password : "");
}

void InstallCountingDriver() {
    db::Driver real = *db::FindDriver("Firebird");
    db::Driver counting = real;
    counting.connect = [real](const db::ConnectSettings& settings) {
        return std::unique_ptr<db::DriverConnection>(
            std::make_unique<CountingConnection>(real.connect(settings)));
    };
    db::RegisterDriver("Firebird", counting);
}

// The peak resident memory since the last reset, in bytes (VmHWM).
int64_t PeakRss() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}

// The resident memory now, in bytes (VmRSS).
int64_t Rss() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}

void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The host's activity log of the command line, minus the terminal: every line
// is decoded from its message as the command line does, then dropped.
class DiscardingHostLog : public host::MessageTarget {
public:
    host::LResult HandleMessage(unsigned message, host::WParam, host::LParam lParam) override {
        if (message == HostLogMessage)
            m_bytes += TQuorvexLogClient::DecodeMessageText(lParam).size();
        return 0;
    }
    size_t m_bytes = 0;
};

std::string Field(const std::string& line, size_t& pos) {
    size_t end = line.find('|', pos);
    std::string value = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? line.size() : end + 1;
    return value;
}

// The classifiers and the known resources of the generator's directory file.
void FillDirectories(db::Connection& connection, const std::string& dirFile) {
    text::StringList lines;
    lines.LoadFromFile(dirFile);
    db::TransactionDesc desc;
    connection.StartTransaction(desc);
    for (int i = 0; i < lines.Count(); ++i) {
        const std::string& line = lines[i];
        size_t pos = 2;
        db::Query q(connection);
        if (line[0] == 'O') {
            q.SetSQL("insert into KOD_OKP (kod_okp) values (:kod)");
            q.ParamByName("kod").SetString(Field(line, pos));
        } else if (line[0] == 'P') {
            q.SetSQL("insert into N_MASHP (kod_mashp) values (:kod)");
            q.ParamByName("kod").SetString(Field(line, pos));
        } else if (line[0] == 'M') {
            q.SetSQL("insert into NOM_MAT (kod_mat, naim_mat, kod_okp, kod_ed, sm_zena, ves) "
                     "values (:kod, :naim, :okp, :ed, 10, :ves)");
            q.ParamByName("kod").SetString(Field(line, pos));
            q.ParamByName("naim").SetString(Field(line, pos));
            q.ParamByName("okp").SetString(Field(line, pos));
            q.ParamByName("ed").SetString(Field(line, pos));
            q.ParamByName("ves").SetString(Field(line, pos));
        } else if (line[0] == 'S') {
            q.SetSQL(
                "insert into NOM_MASH (kod_mash, naim_mash, kod_mash_pred, st_shasa, sr_razrad, "
                "trud, zarp_mash, k91_01) values (:kod, :naim, :pred, 100, 4, 1, 20, 1)");
            q.ParamByName("kod").SetString(Field(line, pos));
            q.ParamByName("naim").SetString(Field(line, pos));
            q.ParamByName("pred").SetString(Field(line, pos));
        } else {
            continue;
        }
        q.ExecSQL();
    }
    connection.Commit(desc);
}

void CreateBase(const std::string& schemaFile, const std::string& dirFile,
                const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    db::Connection connection;
    ConfigureBase(connection, path);
    connection.CreateDatabase();
    db::ExecuteScript(connection, text::ReadFileBytes(schemaFile));
    db::Query q(connection);
    q.SetSQL("insert into NAME_BASE (name, base_god, type_code) values ('Бенчмарк', '2026', 2)");
    q.ExecSQL();
    FillDirectories(connection, dirFile);
}

struct Phase {
    std::string name;
    double seconds = 0;
    db::ConnectionStatistics statistics;
    int64_t peakRss = 0;
    std::map<std::string, int64_t> rows;
};

template <typename F> Phase Measure(const std::string& name, db::Connection& connection, F&& step) {
    connection.ResetStatistics();
    g_rows.clear();
    ResetPeakRss();
    auto start = std::chrono::steady_clock::now();
    step();
    Phase phase;
    phase.name = name;
    phase.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    phase.statistics = connection.Statistics();
    phase.peakRss = PeakRss();
    phase.rows = g_rows;
    return phase;
}

void Print(const std::string& mode, const Phase& phase) {
    std::printf("figure %s.%s.seconds %.4f\n", mode.c_str(), phase.name.c_str(), phase.seconds);
    std::printf("figure %s.%s.executions %lld\n", mode.c_str(), phase.name.c_str(),
                static_cast<long long>(phase.statistics.executions));
    std::printf("figure %s.%s.prepares %lld\n", mode.c_str(), phase.name.c_str(),
                static_cast<long long>(phase.statistics.prepares));
    std::printf("figure %s.%s.round_trips %lld\n", mode.c_str(), phase.name.c_str(),
                static_cast<long long>(phase.statistics.roundTrips));
    std::printf("figure %s.%s.grouped %lld\n", mode.c_str(), phase.name.c_str(),
                static_cast<long long>(phase.statistics.grouped));
    std::printf("figure %s.%s.peak_rss %lld\n", mode.c_str(), phase.name.c_str(),
                static_cast<long long>(phase.peakRss));
    for (const auto& [key, rows] : phase.rows) {
        std::string k = key;
        std::replace(k.begin(), k.end(), ' ', '.');
        std::printf("figure %s.%s.rows.%s %lld\n", mode.c_str(), phase.name.c_str(), k.c_str(),
                    static_cast<long long>(rows));
    }
}

int Apply(const std::string& mode, const std::string& patch, const std::string& base, bool cache,
          bool recalc) {
    DiscardingHostLog hostLog;
    host::ScopedTarget hostWindow(&hostLog);
    host::Application application(hostWindow.GetHandle(), &host::CurrentApplication().Presenter());
    host::Application* previous = host::SetCurrentApplication(&application);
    int64_t journalLines = 0, journalBytes = 0, errorLines = 0;
    {
        UpdateForm form;
        ConfigureBase(form.SQLConnect, base);
        form.SQLConnect.Open();
        form.SQLConnect.SetStatementCache(cache);
        form.SQLConnect.SetGrouping(!g_oneByOne);
        form.LogClient = std::make_unique<TQuorvexLogClient>(hostWindow.GetHandle());
        form.MemoLog.OnAppend = [&](const std::string& line) {
            ++journalLines;
            journalBytes += static_cast<int64_t>(line.size()) + 1;
            if (line.rfind("Ошибка", 0) == 0)
                ++errorLines;
        };
        form.EdPatch = patch;
        db::Connection& c = form.SQLConnect;
        // The stages of BitCalcClick at price level 2, "Расчет прочих" ticked.
        std::vector<Phase> phases;
        phases.push_back(Measure("widen", c, [&] { WidenNormName(form); }));
        // What the process holds before the patch is read (the engine, its
        // cache, the libraries): the run's own memory is measured above it.
        std::printf("figure %s.rss_before_read %lld\n", mode.c_str(),
                    static_cast<long long>(Rss()));
        phases.push_back(Measure("read", c, [&] {
            JournalThenLog(form, form.MemoLog, TQuorvexLogClient::Info,
                           "Проверка на совпадение набора расценок с базой");
            LoadPatch(form);
        }));
        phases.push_back(Measure("check", c, [&] { CheckPatch(form); }));
        bool saved = false;
        phases.push_back(Measure("save", c, [&] { saved = SavePatch(form); }));
        if (recalc)
            phases.push_back(Measure("recalc", c, [&] { RecalculateOthers(form); }));
        form.MemoLog.Append("Обновление завершенно!");
        for (const Phase& phase : phases)
            Print(mode, phase);
        std::printf("figure %s.saved %d\n", mode.c_str(), saved ? 1 : 0);
        form.SQLConnect.Close();
    }
    host::SetCurrentApplication(previous);
    std::printf(
        "figure %s.journal.lines %lld\nfigure %s.journal.bytes %lld\nfigure %s.journal.errors %lld\n",
        mode.c_str(), static_cast<long long>(journalLines), mode.c_str(),
        static_cast<long long>(journalBytes), mode.c_str(), static_cast<long long>(errorLines));
    std::printf("figure %s.host_log.bytes %zu\n", mode.c_str(), hostLog.m_bytes);
    std::printf("figure %s.patch.bytes %lld\n", mode.c_str(),
                static_cast<long long>(std::filesystem::file_size(patch)));
    return errorLines == 0 ? 0 : 1;
}

} // namespace

// Reading and DeSerialize alone, exactly as the update run does it.
int ReadOnly(const std::string& patch, int runs) {
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        UpdateForm form;
        form.EdPatch = patch;
        auto start = std::chrono::steady_clock::now();
        LoadPatch(form);
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("figure read.seconds %.4f\nfigure read.peak_rss %lld\n", best,
                static_cast<long long>(PeakRss()));
    return 0;
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool cache = std::find(args.begin(), args.end(), "--no-cache") == args.end();
    args.erase(std::remove(args.begin(), args.end(), "--no-cache"), args.end());
    bool recalc = std::find(args.begin(), args.end(), "--no-recalc") == args.end();
    args.erase(std::remove(args.begin(), args.end(), "--no-recalc"), args.end());
    bool single = std::find(args.begin(), args.end(), "--one-by-one") != args.end();
    args.erase(std::remove(args.begin(), args.end(), "--one-by-one"), args.end());
    g_oneByOne = single;
    std::string suffix = std::string(cache ? "" : "_nocache") + (single ? "_single" : "") +
                         (ServerAddress().empty() ? "" : "_server");
    try {
        InstallCountingDriver();
        if (args.size() == 6 && args[0] == "fresh") {
            CreateBase(args[1], args[3], args[4]);
            std::error_code ec;
            std::filesystem::remove(args[5], ec);
            std::filesystem::copy_file(args[4], args[5]);
            return Apply("fresh" + suffix, args[2], args[4], cache, recalc);
        }
        if ((args.size() == 2 || args.size() == 3) && args[0] == "read")
            return ReadOnly(args[1], args.size() == 3 ? std::stoi(args[2]) : 3);
        if (args.size() == 3 && args[0] == "update")
            return Apply("update" + suffix, args[1], args[2], cache, recalc);
    } catch (const std::exception& e) {
        std::cerr << "bench_apply: " << e.what() << "\n";
        return 1;
    }
    std::cerr
        << "usage: bench_apply fresh SCHEMA PATCH DIR BASE BEFORE [--no-cache] [--no-recalc] | "
           "update PATCH BASE [--no-cache] [--no-recalc] | read PATCH [RUNS]\n"
           "  --one-by-one: one statement per round trip; BENCH_SERVER=ADDRESS: through a server\n";
    return 2;
}
