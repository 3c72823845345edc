#include "core/embedded/translate/merge.h"

#include "core/embedded/values/oracleerrors.h"
#include "core/sql/tokenlist.h"

#include <QStringList>

#include <optional>

namespace qv::embedded {

namespace {

using sql::Range;
using sql::Token;
using sql::TokenKind;

[[noreturn]] void missing(int code, const char* words) {
    throw oracleError(
        code,
        QStringLiteral("ORA-%1: %2").arg(code, 5, 10, QChar(u'0')).arg(QLatin1StringView(words)));
}

[[noreturn]] void missingKeyword() {
    missing(905, "missing keyword");
}

QString upperName(const Token& t) {
    return t.kind == TokenKind::Quoted ? sql::unquoted(t) : t.text.toString().toUpper();
}

// One MERGE read from its tokens.
class MergeReader {
  public:
    MergeReader(const QString& sql, const std::vector<Token>& t, const QStringList& key)
        : sql_(sql), t_(t), key_(key) {
        end_ = t.size();
        while (end_ > 0 && t[end_ - 1].isOp(u';'))
            --end_;
    }

    MergePlan plan();

  private:
    bool at(size_t i, QStringView word) const { return i < end_ && t_[i].is(word); }
    void expect(size_t& i, QStringView word) const {
        if (!at(i, word))
            missingKeyword();
        ++i;
    }
    QString text(Range r) const { return sql::textOf(sql_, t_, r.first, r.last); }
    // A table name ([schema.]name) from `i`; past it. `name` is where its last name stands.
    size_t tableName(size_t i, size_t& name) const;
    // An alias at `i` unless the word there is `next`; past it.
    size_t alias(size_t i, QStringView next, std::optional<size_t>& alias) const;
    // The text of `r` with the target's alias, where it qualifies a column, as the table's name.
    QString retargeted(Range r) const;
    // The name of a column written as name or qualifier.name, checked to be the target's.
    QString targetColumn(Range r) const;
    void readUpdate(size_t first, size_t last);
    void readInsert(size_t first, size_t last);
    void checkOnColumns() const;

    // What tells the target's rows apart, each qualified by `qualifier` (empty: none): its
    // ROWID, or the columns of its key.
    QStringList identity(const QString& qualifier) const;

    const QString& sql_;
    const std::vector<Token>& t_;
    const QStringList& key_;
    size_t end_ = 0;
    QString target_;      // as written
    QString targetName_;  // the last of its names, as written
    QString ref_;         // what qualifies the target's columns, upper case
    QString targetFrom_;  // target [alias]
    QString sourceFrom_;  // source [alias]
    Range on_;
    std::vector<std::pair<QString, Range>> sets_;  // column, value
    Range updateWhere_, deleteWhere_;
    bool matched_ = false, notMatched_ = false;
    QStringList insertColumns_;
    Range values_, insertWhere_;
};

size_t MergeReader::tableName(size_t i, size_t& name) const {
    if (i >= end_ || !sql::isName(t_[i]) || sql::isKeyword(t_[i]))
        missing(903, "invalid table name");
    name = i++;
    while (i + 1 < end_ && t_[i].isOp(u'.') && sql::isName(t_[i + 1])) {
        name = i + 1;
        i += 2;
    }
    return i;
}

size_t MergeReader::alias(size_t i, QStringView next, std::optional<size_t>& alias) const {
    if (i < end_ && sql::isName(t_[i]) && !t_[i].is(next) && !t_[i].is(u"AS")) {
        alias = i;
        return i + 1;
    }
    return i;
}

QStringList MergeReader::identity(const QString& qualifier) const {
    const QString prefix = qualifier.isEmpty() ? QString() : qualifier + u'.';
    if (key_.isEmpty())
        return {prefix + QStringLiteral("ROWID")};
    QStringList columns;
    for (const QString& column : key_)
        columns << prefix + sql::quotedName(column);
    return columns;
}

MergePlan MergeReader::plan() {
    size_t i = 1;
    if (!at(i, u"INTO"))
        missing(925, "missing INTO keyword");
    size_t name = 0;
    const size_t targetFirst = ++i;
    i = tableName(i, name);
    target_ = text({targetFirst, i});
    targetName_ = t_[name].text.toString();
    const QString unquotedTarget = sql::unquoted(t_[name]);
    std::optional<size_t> targetAlias;
    i = alias(i, u"USING", targetAlias);
    ref_ = upperName(t_[targetAlias.value_or(name)]);
    targetFrom_ = text({targetFirst, i});
    expect(i, u"USING");
    const size_t sourceFirst = i;
    if (i < end_ && t_[i].isOp(u'(')) {
        const size_t close = sql::closing(t_, i, end_);
        if (close >= end_)
            missing(907, "missing right parenthesis");
        i = close + 1;
    } else {
        i = tableName(i, name);
    }
    std::optional<size_t> sourceAlias;
    i = alias(i, u"ON", sourceAlias);
    sourceFrom_ = text({sourceFirst, i});
    if (!at(i, u"ON"))
        missing(969, "missing ON keyword");
    if (++i >= end_ || !t_[i].isOp(u'('))
        missing(906, "missing left parenthesis");
    const size_t close = sql::closing(t_, i, end_);
    if (close >= end_ || close == i + 1)
        missing(936, "missing expression");
    on_ = {i + 1, close};
    i = close + 1;
    if (i >= end_)
        missingKeyword();
    while (i < end_) {
        expect(i, u"WHEN");
        const bool notMatched = at(i, u"NOT");
        i += notMatched ? 1 : 0;
        expect(i, u"MATCHED");
        expect(i, u"THEN");
        const size_t next = sql::findTopLevel(t_, i, end_, u"WHEN");
        if (notMatched ? notMatched_ : matched_)
            missingKeyword();  // a branch given twice
        if (notMatched)
            readInsert(i, next);
        else
            readUpdate(i, next);
        i = next;
    }
    checkOnColumns();

    MergePlan plan;
    plan.target = target_;
    plan.targetName = unquotedTarget;
    plan.identity = identity(QString());
    const QString on = u'(' + text(on_) + u')';
    plan.joined = QStringLiteral("SELECT * FROM %1 %2 JOIN %3 ON %4")
                      .arg(sourceFrom_, notMatched_ ? QStringLiteral("LEFT OUTER") : QString(),
                           targetFrom_, on);
    if (matched_) {
        QString when = on;
        if (!updateWhere_.empty())
            when += QStringLiteral(" AND (%1)").arg(text(updateWhere_));
        const QString rows = identity(sql::quotedName(ref_)).join(u", ");
        plan.duplicates = QStringLiteral(
                              "SELECT 1 FROM %1, %2 WHERE %3 GROUP BY %4 "
                              "HAVING COUNT(*) > 1")
                              .arg(targetFrom_, sourceFrom_, when, rows);
        // SQLite's UPDATE takes no alias without AS: the target is named by its table.
        QString matchedHere = retargeted(on_);
        if (!updateWhere_.empty())
            matchedHere += QStringLiteral(" AND (%1)").arg(retargeted(updateWhere_));
        QStringList sets;
        for (const auto& [column, value] : sets_)
            sets << QStringLiteral("%1 = (SELECT %2 FROM %3 WHERE %4)")
                        .arg(column, retargeted(value), sourceFrom_, matchedHere);
        plan.update = QStringLiteral("UPDATE %1 SET %2 WHERE EXISTS (SELECT 1 FROM %3 WHERE %4)")
                          .arg(target_, sets.join(u", "), sourceFrom_, matchedHere);
        if (!deleteWhere_.empty()) {
            plan.updated = QStringLiteral("SELECT DISTINCT %1 FROM %2, %3 WHERE %4")
                               .arg(rows, targetFrom_, sourceFrom_, when);
            plan.doomed = QStringLiteral(
                              "SELECT %1 FROM %2 WHERE EXISTS (SELECT 1 FROM %3 "
                              "WHERE %4 AND (%5)) AND (")
                              .arg(rows, targetFrom_, sourceFrom_, on, text(deleteWhere_));
            plan.doomedIdentity = identity(sql::quotedName(ref_));
        }
    }
    if (notMatched_) {
        QString columns;
        if (!insertColumns_.isEmpty())
            columns = QStringLiteral(" (%1)").arg(insertColumns_.join(u", "));
        plan.insert = QStringLiteral(
                          "INSERT INTO %1%2 SELECT %3 FROM %4 WHERE NOT EXISTS "
                          "(SELECT 1 FROM %5 WHERE %6)")
                          .arg(target_, columns, text(values_), sourceFrom_, targetFrom_, on);
        if (!insertWhere_.empty())
            plan.insert += QStringLiteral(" AND (%1)").arg(text(insertWhere_));
    }
    return plan;
}

QString MergeReader::targetColumn(Range r) const {
    if (r.size() == 1 && sql::isName(t_[r.first]))
        return t_[r.first].text.toString();
    if (r.size() == 3 && t_[r.first + 1].isOp(u'.') && sql::isName(t_[r.first + 2])) {
        if (upperName(t_[r.first]) != ref_)
            throw oracleError(904, QStringLiteral("ORA-00904: \"%1\": invalid identifier")
                                       .arg(upperName(t_[r.first])));
        return t_[r.first + 2].text.toString();
    }
    missing(904, "invalid identifier");
}

// UPDATE SET column = value, ... [WHERE condition] [DELETE WHERE condition]
void MergeReader::readUpdate(size_t first, size_t last) {
    size_t i = first;
    expect(i, u"UPDATE");
    expect(i, u"SET");
    matched_ = true;
    const size_t del = sql::findTopLevel(t_, i, last, u"DELETE");
    const size_t where = sql::findTopLevel(t_, i, del, u"WHERE");
    for (const Range& a : sql::splitTopLevel(t_, i, where)) {
        size_t eq = a.first;
        while (eq < a.last && !t_[eq].isOp(u'='))
            ++eq;
        if (eq == a.first || eq + 1 >= a.last)
            missing(927, "missing equal sign");
        sets_.emplace_back(targetColumn({a.first, eq}), Range{eq + 1, a.last});
    }
    if (where < del) {
        updateWhere_ = {where + 1, del};
        if (updateWhere_.empty())
            missing(936, "missing expression");
    }
    if (del < last) {
        size_t j = del + 1;
        expect(j, u"WHERE");
        deleteWhere_ = {j, last};
        if (deleteWhere_.empty())
            missing(936, "missing expression");
    }
}

// INSERT [(columns)] VALUES (values) [WHERE condition]
void MergeReader::readInsert(size_t first, size_t last) {
    size_t i = first;
    expect(i, u"INSERT");
    notMatched_ = true;
    if (i < last && t_[i].isOp(u'(')) {
        const size_t close = sql::closing(t_, i, last);
        if (close >= last)
            missing(907, "missing right parenthesis");
        for (const Range& c : sql::splitTopLevel(t_, i + 1, close))
            insertColumns_ << targetColumn(c);
        i = close + 1;
    }
    if (!at(i, u"VALUES"))
        missing(926, "missing VALUES keyword");
    if (++i >= last || !t_[i].isOp(u'('))
        missing(906, "missing left parenthesis");
    const size_t close = sql::closing(t_, i, last);
    if (close >= last)
        missing(907, "missing right parenthesis");
    values_ = {i + 1, close};
    i = close + 1;
    if (i < last) {
        expect(i, u"WHERE");
        insertWhere_ = {i, last};
        if (insertWhere_.empty())
            missing(936, "missing expression");
    }
}

// Oracle matches on the ON condition's columns, so UPDATE may not change them.
void MergeReader::checkOnColumns() const {
    for (size_t k = on_.first; k < on_.last; ++k) {
        const Token& t = t_[k];
        if (!sql::isName(t) || (k + 1 < on_.last && (t_[k + 1].isOp(u'.') || t_[k + 1].isOp(u'('))))
            continue;
        const bool qualified = k >= on_.first + 2 && t_[k - 1].isOp(u'.');
        if (qualified && upperName(t_[k - 2]) != ref_)
            continue;
        for (const auto& set : sets_) {
            if (set.first.compare(t.text.toString(), Qt::CaseInsensitive) == 0)
                throw oracleError(38104, QStringLiteral("ORA-38104: Columns referenced in the "
                                                        "ON Clause cannot be updated: "
                                                        "\"%1\".\"%2\"")
                                             .arg(ref_, upperName(t)));
        }
    }
}

QString MergeReader::retargeted(Range r) const {
    QString out;
    size_t copied = r.first;
    for (size_t k = r.first; k + 1 < r.last; ++k) {
        const bool qualifier = sql::isName(t_[k]) && t_[k + 1].isOp(u'.') &&
                               !(k > r.first && t_[k - 1].isOp(u'.')) && upperName(t_[k]) == ref_;
        if (!qualifier)
            continue;
        if (k > copied)
            out += text({copied, k}) + u' ';
        out += targetName_;
        copied = k + 1;
    }
    if (copied < r.last)
        out += text({copied, r.last});
    return out;
}

}  // namespace

bool isMerge(const std::vector<Token>& tokens) {
    return !tokens.empty() && tokens[0].is(u"MERGE");
}

MergePlan planMerge(const QString& sql, const std::vector<Token>& tokens, const QStringList& key) {
    return MergeReader(sql, tokens, key).plan();
}

namespace {

// The condition that `columns` are one of `rows` (their values as SQL literals).
QString oneOf(const QStringList& columns, const std::vector<QStringList>& rows, size_t first,
              size_t last) {
    QStringList terms;
    if (columns.size() == 1) {
        for (size_t k = first; k < last; ++k)
            terms << rows[k].value(0);
        return columns.front() + QStringLiteral(" IN (") + terms.join(u',') + u')';
    }
    for (size_t k = first; k < last; ++k) {
        QStringList equal;
        for (qsizetype c = 0; c < columns.size(); ++c)
            equal << columns[c] + QStringLiteral(" = ") + rows[k].value(c);
        terms << u'(' + equal.join(QStringLiteral(" AND ")) + u')';
    }
    return terms.join(QStringLiteral(" OR "));
}

}  // namespace

int64_t runMerge(const MergePlan& plan, const MergeStatement& execute, const MergeQuery& query) {
    if (!plan.duplicates.isEmpty() && !query(plan.duplicates).empty())
        throw oracleError(30926, QStringLiteral("ORA-30926: unable to get a stable set of rows "
                                                "in the source tables"));
    // Rows named in lists of a size any statement takes.
    auto inChunks = [](const std::vector<QStringList>& rows, const auto& each) {
        constexpr size_t kChunk = 500;
        for (size_t k = 0; k < rows.size(); k += kChunk)
            each(k, std::min(rows.size(), k + kChunk));
    };
    const std::vector<QStringList> updated =
        plan.updated.isEmpty() ? std::vector<QStringList>() : query(plan.updated);
    int64_t merged = 0;
    if (!plan.update.isEmpty())
        merged += execute(plan.update);
    std::vector<QStringList> doomed;
    inChunks(updated, [&](size_t first, size_t last) {
        for (QStringList& row :
             query(plan.doomed + oneOf(plan.doomedIdentity, updated, first, last) + u')'))
            doomed.push_back(std::move(row));
    });
    if (!plan.insert.isEmpty())
        merged += execute(plan.insert);
    inChunks(doomed, [&](size_t first, size_t last) {
        execute(QStringLiteral("DELETE FROM %1 WHERE %2")
                    .arg(plan.target, oneOf(plan.identity, doomed, first, last)));
    });
    return merged;
}

}  // namespace qv::embedded
