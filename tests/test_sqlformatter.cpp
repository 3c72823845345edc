// 整形: each clause on its line, keywords in capitals (functions and names as typed), and nothing
// but blanks and the case of keywords changed. That the laid-out text is the same statement to the
// engine is tried on generated queries in test_differential.
#include "core/sql/sqlformatter.h"
#include "support/checks.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using qv::sql::formatSql;

TEST(SqlFormatter, LaysOutClausesJoinsConditionsAndSubqueries) {
    const struct {
        QString typed;
        QString laidOut;
    } cases[] = {
        {u"select c.name,o.total from customers c join orders o on o.id=c.id and o.x = 1 "
         u"where c.city = '札幌' and (o.a = 1 or o.b = 2) or o.c between 1 and 2 "
         u"group by c.name having count(*) > 1 order by 2 desc"_s,
         u"SELECT c.name, o.total\nFROM customers c\nJOIN orders o ON o.id=c.id\n  AND o.x = 1\n"
         u"WHERE c.city = '札幌'\n  AND (o.a = 1 OR o.b = 2)\n  OR o.c BETWEEN 1 AND 2\n"
         u"GROUP BY c.name\nHAVING count(*) > 1\nORDER BY 2 DESC"_s},
        {u"select a from t left outer join u using (id) cross join v where t.x in (select y from "
         u"w where z = 1)"_s,
         u"SELECT a\nFROM t\nLEFT OUTER JOIN u USING (id)\nCROSS JOIN v\nWHERE t.x IN (\n"
         u"    SELECT y\n    FROM w\n    WHERE z = 1\n)"_s},
        // Window clauses and CASE stay on their line; a set operator has its own.
        {u"select row_number() over (partition by a order by b), case when x = 1 and y = 2 then "
         u"'a' end from t union all select 1, 'b' from dual"_s,
         u"SELECT row_number() OVER (PARTITION BY a ORDER BY b), CASE WHEN x = 1 AND y = 2 THEN "
         u"'a' END\nFROM t\nUNION ALL\nSELECT 1, 'b'\nFROM dual"_s},
        {u"update t set a = 1 where b = 2; delete from t where c = 3"_s,
         u"UPDATE t\nSET a = 1\nWHERE b = 2;\nDELETE FROM t\nWHERE c = 3"_s},
        {u"insert into t (a, b) values (1, 2)"_s, u"INSERT INTO t (a, b)\nVALUES (1, 2)"_s},
        // Hints stay after their keyword, comments as written, a -- comment ends its line,
        // literals, quoted names and binds keep their case.
        {u"select /*+ full(t) */ a -- the key\n, \"Mixed\" , q'[from x]' from t where b = :Bind "
         u"/* keep  this */"_s,
         u"SELECT /*+ full(t) */ a -- the key\n  , \"Mixed\", q'[from x]'\nFROM t\n"
         u"WHERE b = :Bind /* keep  this */"_s},
        // Line ends as the text has them.
        {u"select a\r\nfrom t\r\n"_s, u"SELECT a\r\nFROM t\r\n"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatSql(c.typed), c.laidOut) << c.typed.toStdString();
}

TEST(SqlFormatter, LeavesPlSqlBlocksAsWritten) {
    const QString unchanged[] = {
        u"begin\n  update t set a = 1;\nend;"_s,
        u"create or replace procedure p is begin null; end;\n/"_s,
        u" \n "_s,
    };
    for (const QString& sql : unchanged)
        EXPECT_EQ(formatSql(sql), sql) << sql.toStdString();
    EXPECT_EQ(formatSql(u"select 1 from dual\n/\nbegin null; end;\n/\n"_s),
              u"SELECT 1\nFROM dual\n/\nbegin null; end;\n/\n"_s);
}
