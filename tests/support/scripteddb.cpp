#include "support/scripteddb.h"

#include "core/tuning/runbinds.h"

using namespace Qt::StringLiterals;

namespace qv::test {

Reply Reply::fail(const QString& description, int32_t number) {
    static const QRegularExpression ora(QStringLiteral("^ORA-(\\d{5})"));
    Reply r;
    const QRegularExpressionMatch m = ora.match(description);
    r.error = DbError(number, description,
                      m.hasMatch() ? QList<DiagRecord>{{QStringLiteral("HY000"),
                                                        m.captured(1).toInt(), description}}
                                   : QList<DiagRecord>{});
    return r;
}

Reply Reply::table(const QStringList& names, const QList<QVariantList>& rows) {
    Reply r;
    for (const QString& n : names)
        r.fields.append(FieldInfo{n, FieldType::Text, 30});
    r.rows = rows;
    return r;
}

void Script::on(const QString& pattern, Reply reply, int times) {
    rules_.append(Rule{QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                          QRegularExpression::DotMatchesEverythingOption),
                       std::move(reply), times});
}

Reply Script::answer(const QString& sql) {
    for (qsizetype i = rules_.size() - 1; i >= 0; --i) {
        if (!rules_[i].pattern.match(sql).hasMatch())
            continue;
        const Reply reply = rules_[i].reply;
        if (rules_[i].times > 0 && --rules_[i].times == 0)
            rules_.removeAt(i);
        return reply;
    }
    return Reply();
}

namespace {

// Fails as a driver's recordset does when the code under test misuses it: reading past the
// end, an unknown field, or anything after close.
class ScriptedRecordset : public Recordset {
  public:
    explicit ScriptedRecordset(Reply reply) : reply_(std::move(reply)) {}

    bool eof() const override { return closed_ || row_ >= reply_.rows.size(); }
    void moveNext() override {
        check();
        if (reply_.fetchError && row_ + 1 >= reply_.failAfterRows)
            throw *reply_.fetchError;
        ++row_;
    }
    int fieldCount() const override { return static_cast<int>(reply_.fields.size()); }
    const FieldInfo& field(int index) const override {
        if (index < 0 || index >= fieldCount())
            throw itemNotFoundError();
        return reply_.fields[index];
    }
    QVariant value(int index) override {
        check();
        field(index);
        if (eof())
            throw noCurrentRecordError();
        return reply_.rows[row_].value(index);
    }
    int64_t skipRows(int64_t limit) override {
        int64_t n = 0;
        for (check(); !eof() && n < limit; ++n)
            moveNext();
        return n;
    }
    void close() override { closed_ = true; }

  private:
    void check() const {
        if (closed_)
            throw notOpenError();
    }
    Reply reply_;
    qsizetype row_ = 0;
    bool closed_ = false;
};

}  // namespace

Reply ScriptedDatabase::run(const QString& sql, const QString& logged) {
    if (!open_)
        throw notOpenError();
    failIfStopped();
    Reply reply;
    {
        std::lock_guard lock(script_->mutex);
        script_->log.append(tag_ + u": "_s + logged);
        reply = script_->answer(sql);
    }
    if (reply.whenAnswered)
        reply.whenAnswered();
    if (reply.rowsNow)
        reply.rows = reply.rowsNow();
    if (reply.error)
        throw *reply.error;
    affected_ = reply.fields.isEmpty() ? reply.affected : 0;
    return reply;
}

std::unique_ptr<Recordset> ScriptedDatabase::openRecordset(const QString& sql) {
    return std::make_unique<ScriptedRecordset>(run(sql, sql));
}

std::unique_ptr<Recordset> ScriptedDatabase::openRecordset(const QString& sql,
                                                           const BindList& binds) {
    QString missing;
    const BindList used = bindsForRun(sql, binds, missing);
    if (!missing.isEmpty())
        throw notAllBoundError(missing);
    QStringList values;
    for (const BindValue& b : used)
        values << b.name + u'=' + bindValueText(b);
    return std::make_unique<ScriptedRecordset>(
        run(sql, sql + u" ["_s + values.join(u", "_s) + u']'));
}

void ScriptedDatabase::setAutoCommit(bool on) {
    transactionCall(on ? u"[autocommit on]" : u"[autocommit off]");
    autoCommit_ = on;
}

void ScriptedDatabase::transactionCall(QStringView call) {
    if (!open_)
        throw notOpenError();
    script_->log.append(tag_ + u": "_s + call.toString());
    if (const Reply reply = script_->answer(call.toString()); reply.error)
        throw *reply.error;
}

void ScriptedDatabase::close() {
    if (open_)
        script_->closed.append(tag_);
    open_ = false;
}

}  // namespace qv::test
