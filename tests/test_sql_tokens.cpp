// The SQL token toolkit: each of Oracle's lexical forms read as one token of the right kind,
// with the value a literal or a quoted name stands for.
#include "core/sql/sqlscript.h"
#include "core/sql/tokenlist.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace qv::sql;

namespace {

const char* kindName(TokenKind kind) {
    switch (kind) {
        case TokenKind::Word:
            return "word";
        case TokenKind::Quoted:
            return "quoted";
        case TokenKind::String:
            return "string";
        case TokenKind::Number:
            return "number";
        case TokenKind::Blob:
            return "blob";
        case TokenKind::Param:
            return "param";
        case TokenKind::Op:
            return "op";
        case TokenKind::Comment:
            return "comment";
        case TokenKind::Hint:
            return "hint";
    }
    return "?";
}

// Each token as "kind text", and for a literal or a quoted name "kind text = value".
QStringList described(const QString& sql) {
    QStringList out;
    for (const Token& t : lex(sql)) {
        QString d = QString::fromLatin1(kindName(t.kind)) + u' ' + t.text.toString();
        if (t.kind == TokenKind::String)
            d += QStringLiteral(" = ") + stringValue(t);
        else if (t.kind == TokenKind::Quoted)
            d += QStringLiteral(" = ") + unquoted(t);
        out << d;
    }
    return out;
}

TEST(SqlTokens, EachLexicalFormIsOneTokenOfItsKind) {
    const struct {
        const char* sql;
        QStringList tokens;
    } cases[] = {
        {"'it''s'", {"string 'it''s' = it's"}},
        {"N'x' nq'[y]'", {"string N'x' = x", "string nq'[y]' = y"}},
        // q-quotes: brackets close with their partner, any other character with itself, and a
        // quote inside needs no doubling.
        {"q'[a]b's]'", {"string q'[a]b's]' = a]b's"}},
        {"Q'{x}' q'(y)' q'<z>'", {"string Q'{x}' = x", "string q'(y)' = y", "string q'<z>' = z"}},
        {"q'!it's!'||q'#a#'", {"string q'!it's!' = it's", "op ||", "string q'#a#' = a"}},
        {"\"a\"\"b\" \"SAL#\" [x y]",
         {"quoted \"a\"\"b\" = a\"b", "quoted \"SAL#\" = SAL#", "quoted [x y] = x y"}},
        {"sal# x'0A' 1.5e3 .5", {"word sal#", "blob x'0A'", "number 1.5e3", "number .5"}},
        {"a -- note 'x\nb /* c */ d",
         {"word a", "comment -- note 'x", "word b", "comment /* c */", "word d"}},
        {"select /*+ FULL(e) */ --+ INDEX(e)\n1",
         {"word select", "hint /*+ FULL(e) */", "hint --+ INDEX(e)", "number 1"}},
        {":name :1 :B1 ? ?2", {"param :name", "param :1", "param :B1", "param ?", "param ?2"}},
        // PL/SQL's assignment and a time inside a literal are no placeholders.
        {"x:=1 '10:30'", {"word x", "op :=", "number 1", "string '10:30' = 10:30"}},
        {"a^=b", {"word a", "op ^=", "word b"}},
        {"'open", {"string 'open = open"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(described(QString::fromUtf8(c.sql)), c.tokens) << c.sql;
    // The tokens a statement is read by leave comments and hints out.
    EXPECT_EQ(tokenize(QStringLiteral("select /*+ x */ 1 -- y")).size(), size_t(2));
}

// Bind variables are read on the tokens: a name once, in the order it first appears, and every
// place it is written, so a driver can put its marker there and nowhere else.
TEST(SqlTokens, PlaceholdersAreOracleBindVariablesOutsideLiteralsAndComments) {
    const struct {
        const char* sql;
        QStringList names;
        QStringList places;  // "begin-end" of each occurrence
    } cases[] = {
        {"select * from t where a = :id and b = :B1 or c = :1",
         {"id", "B1", "1"},
         {"26-29", "38-41", "49-51"}},
        // A variable written twice is one variable at two places, whatever its case.
        {"where a = :x or b = :X or c=:x", {"x"}, {"10-12", "20-22", "28-30"}},
        {"select ':a', \":b\", q'[:c]' /* :d */ -- :e\n, :f from dual", {"f"}, {"44-46"}},
        // PL/SQL's assignment, a time in a literal, PostgreSQL's cast and SQLite's own forms.
        {"x := 1; y:=:v; t = TIME '10:30:00'; z = n::int, ?, ?2, @p, $q", {"v"}, {"11-13"}},
        {"select 1 from dual", {}, {}},
        // A trigger's :new and :old are its rows; a block's variables are the client's.
        {"create or replace trigger t before insert on x for each row begin :new.a := 1; end;",
         {},
         {}},
        {"begin :n := 1; end;", {"n"}, {"6-8"}},
    };
    for (const auto& c : cases) {
        const Placeholders p = placeholders(QString::fromUtf8(c.sql));
        QStringList places;
        for (const Placeholder& o : p.occurrences)
            places << QString::number(o.begin) + u'-' + QString::number(o.end);
        EXPECT_EQ(p.names, c.names) << c.sql;
        EXPECT_EQ(places, c.places) << c.sql;
        EXPECT_EQ(p.empty(), c.places.isEmpty()) << c.sql;
    }
}

// One pass pairs every group as the scan from its opening token does, unbalanced and crossed
// ones included, for what a reader that descends into groups asks: up to the parenthesis
// around the opener. It also knows how deep the closed groups nest.
TEST(SqlTokens, GroupsPairAsTheScanFromEachOpenerDoes) {
    const std::pair<const char*, int> cases[] = {
        {"(a (b) c) (d)", 2},
        {"case when (x) then case y end end", 2},
        {"( case ) end", 1},
        {"case ( end ) end", 2},
        {"case ( case ) end", 2},
        {"case ( end )", 1},
        {"case ) end", 1},
        {"((x)", 1},
        {"(x)) (", 1},
        {"case x", 0},
        {"end ( case", 0},
    };
    for (const auto& [sql, depth] : cases) {
        const QString text = QString::fromUtf8(sql);
        const std::vector<Token> t = tokenize(text);
        const Groups groups(t);
        EXPECT_EQ(groups.depth(), depth) << sql;
        for (size_t i = 0; i < t.size(); ++i) {
            if (!t[i].isOp(u'(') && !t[i].is(u"CASE"))
                continue;
            size_t last = t.size();
            for (size_t j = 0; j < i; ++j) {
                if (t[j].isOp(u'(') && closing(t, j, t.size()) > i)
                    last = qMin(last, closing(t, j, t.size()));
            }
            EXPECT_EQ(groups.closing(i, last), closing(t, i, last)) << sql << " at " << i;
        }
    }
}

// A script is split where SQL*Plus splits it: `;` last on its line outside quotes and comments,
// `/` lines for PL/SQL units, SQL*Plus commands and includes by their first word.
TEST(SqlScript, SplitsAsSqlPlusReadsAScript) {
    const QString script = QStringLiteral(
        "REM it's a remark\n"
        "set echo on\n"
        "create table t (a varchar2(9), -- a; comment\n"
        "  b number);  -- done\n"
        "insert into t values ('x;\n;', 1)\n"
        ";\n"
        "insert into t values (q'[a;]', 2);\n"
        "/\n"
        "set transaction read only;\n"
        "create or replace procedure p is\n"
        "begin\n"
        "  null;\n"
        "end;\n"
        "/\n"
        "exec dbms_stats.gather_table_stats(user, -\n"
        "  'T');\n"
        "@@other.sql\n"
        "/* a comment\n"
        "   over lines; */\n"
        "select &&col. from t where b = &n\n"
        "/\n"
        "select 1 from dual");
    const std::vector<ScriptPiece> pieces = splitScript(script);
    const std::vector<std::pair<ScriptPiece::Kind, QString>> expected = {
        {ScriptPiece::Kind::Command, u"REM it's a remark"_qs},
        {ScriptPiece::Kind::Command, u"set echo on"_qs},
        {ScriptPiece::Kind::Statement,
         u"create table t (a varchar2(9), -- a; comment\n  b number)"_qs},
        {ScriptPiece::Kind::Statement, u"insert into t values ('x;\n;', 1)"_qs},
        {ScriptPiece::Kind::Statement, u"insert into t values (q'[a;]', 2)"_qs},
        {ScriptPiece::Kind::Statement, u"set transaction read only"_qs},
        {ScriptPiece::Kind::Statement,
         u"create or replace procedure p is\nbegin\n  null;\nend;"_qs},
        {ScriptPiece::Kind::Statement, u"BEGIN dbms_stats.gather_table_stats(user, 'T'); END;"_qs},
        {ScriptPiece::Kind::Include, u"other.sql"_qs},
        {ScriptPiece::Kind::Statement, u"select &&col. from t where b = &n"_qs},
        {ScriptPiece::Kind::Statement, u"select 1 from dual"_qs},
    };
    ASSERT_EQ(pieces.size(), expected.size());
    for (size_t k = 0; k < pieces.size(); ++k) {
        EXPECT_EQ(pieces[k].kind, expected[k].first) << k;
        EXPECT_EQ(pieces[k].text, expected[k].second) << k;
    }
    EXPECT_EQ(pieces[2].line, 3);
    EXPECT_TRUE(pieces[8].nested);

    QStringList missing;
    EXPECT_EQ(substitute(u"select &&col. from t where b = &n and c = 'AT&T'"_qs,
                         {{u"COL"_qs, u"name"_qs}, {u"N"_qs, u"7"_qs}}, missing),
              u"select name from t where b = 7 and c = 'AT&T'"_qs);
    EXPECT_EQ(missing, QStringList{u"T"_qs});
}

}  // namespace
