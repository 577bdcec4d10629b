// Reading parameters and splitting scripts.
#include "platform/db/SqlText.h"

#include <gtest/gtest.h>

namespace {

std::string Names(const db::ParsedSql& parsed) {
    std::string out;
    for (const std::string& name : parsed.names)
        out += (out.empty() ? "" : ",") + name;
    return out;
}

TEST(DbSqlText, ParametersOutsideLiteralsAndComments) {
    struct Case {
        const char* sql;
        const char* positional;
        const char* names;
    } cases[] = {
        {"select * from T where a=:a and b = :B_2", "select * from T where a=? and b = ?", "a,B_2"},
        {"values(:kod_pvr,:n_tabl,:kod_pvr)", "values(?,?,?)", "kod_pvr,n_tabl,kod_pvr"},
        {"select ':x', 'it''s :y' from T where c=:c", "select ':x', 'it''s :y' from T where c=?",
         "c"},
        {"select \"A:B\" from T -- :comment\n where d=:d",
         "select \"A:B\" from T -- :comment\n where d=?", "d"},
        {"select /* :a */ 1 from T where e = :e$1", "select /* :a */ 1 from T where e = ?", "e$1"},
        {"select a::int, x := 1, time '10:30', t:9 from T",
         "select a::int, x := 1, time '10:30', t:9 from T", ""},
        {"select 'unterminated :a", "select 'unterminated :a", ""},
    };
    for (const Case& c : cases) {
        db::ParsedSql parsed = db::ParseParameters(c.sql);
        EXPECT_EQ(parsed.positional, c.positional) << c.sql;
        EXPECT_EQ(Names(parsed), c.names) << c.sql;
        EXPECT_EQ(parsed.original, c.sql);
    }
}

std::string Split(const char* script) {
    std::string out;
    for (const db::ScriptStatement& s : db::SplitScript(script))
        out += std::to_string(s.number) + "@" + std::to_string(s.line) + ":" + s.text + "\n";
    return out;
}

TEST(DbSqlText, ScriptSplitsAtItsTerminator) {
    EXPECT_EQ(Split("create table A (x varchar(5) default ';');\n"
                    "-- a comment; with a semicolon\n"
                    "insert into A values ('a;b'); /* ; */\n"
                    "\n"
                    "SET TERM ^ ;\n"
                    "create procedure P returns (v integer) as begin v = 1; suspend; end^\n"
                    "set term ; ^\n"
                    "commit;\n"
                    "select 1 from A"),
              "1@1:create table A (x varchar(5) default ';')\n"
              "2@2:-- a comment; with a semicolon\ninsert into A values ('a;b')\n"
              "3@6:create procedure P returns (v integer) as begin v = 1; suspend; end\n"
              "4@8:commit\n"
              "5@9:select 1 from A\n");
    EXPECT_EQ(Split("  ;; -- only a comment\n"), "");
}

} // namespace
