#include "support/scripteddb.h"

using namespace Qt::StringLiterals;

namespace qv::test {

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

void Script::onText(const QString& text, Reply reply, int times) {
    on(QRegularExpression::escape(text), std::move(reply), times);
}

Reply Script::answer(const QString& sql) {
    for (qsizetype i = rules_.size() - 1; i >= 0; --i) {
        Rule& rule = rules_[i];
        if (!rule.pattern.match(sql).hasMatch())
            continue;
        Reply reply = rule.reply;
        if (rule.times > 0 && --rule.times == 0)
            rules_.removeAt(i);
        return reply;
    }
    return Reply::ok();
}

namespace {

class ScriptedRecordset : public Recordset {
  public:
    explicit ScriptedRecordset(Reply reply) : reply_(std::move(reply)) {}

    bool eof() const override { return closed_ || row_ >= reply_.rows.size(); }
    void moveNext() override {
        check();
        if (reply_.failAfterRows >= 0 && row_ + 1 >= reply_.failAfterRows && reply_.fetchError)
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
        const QVariantList& r = reply_.rows[row_];
        return index < r.size() ? r[index] : QVariant();
    }
    int64_t skipToEnd() override {
        check();
        int64_t n = 0;
        while (!eof()) {
            moveNext();
            ++n;
        }
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

Reply ScriptedDatabase::run(const QString& sql) {
    if (!open_)
        throw notOpenError();
    script_->log.append(tag_ + u": "_s + sql);
    Reply reply = script_->answer(sql);
    if (reply.error)
        throw *reply.error;
    affected_ = reply.fields.isEmpty() ? reply.affected : 0;
    return reply;
}

void ScriptedDatabase::execute(const QString& sql) {
    run(sql);
}

std::unique_ptr<Recordset> ScriptedDatabase::openRecordset(const QString& sql) {
    return std::make_unique<ScriptedRecordset>(run(sql));
}

void ScriptedDatabase::close() {
    if (open_)
        script_->closed.append(tag_);
    open_ = false;
}

}  // namespace qv::test
