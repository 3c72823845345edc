#include "core/embedded/parse/parsedstatement.h"

#include "core/sql/tokenlist.h"

#include <algorithm>

namespace qv::embedded {

ParsedStatement::ParsedStatement(QString text)
    : text_(std::move(text)), tokens_(sql::tokenize(text_)) {}

ParsedStatement::ParsedStatement(const ParsedStatement& outer, int from, int to)
    : text_(outer.text_.mid(from, to - from)) {
    const auto first =
        std::lower_bound(outer.tokens_.begin(), outer.tokens_.end(), from,
                         [](const sql::Token& t, int offset) { return t.begin < offset; });
    const QStringView text(text_);
    for (auto t = first; t != outer.tokens_.end() && t->end <= to; ++t) {
        sql::Token moved = *t;
        moved.begin -= from;
        moved.end -= from;
        moved.text = text.mid(moved.begin, moved.end - moved.begin);
        tokens_.push_back(moved);
    }
}

const QHash<QString, QString>& ParsedStatement::aliases() const {
    std::call_once(aliasesRead_, [this] { aliases_ = tableAliases(tokens_); });
    return aliases_;
}

const QList<Predicate>& ParsedStatement::conditions() const {
    std::call_once(conditionsRead_, [this] { conditions_ = readPredicates(tokens_); });
    return conditions_;
}

const std::vector<Hint>& ParsedStatement::hints() const {
    std::call_once(hintsRead_, [this] { hints_ = readHints(text_, tokens_); });
    return hints_;
}

const QHash<QString, QString>& ParsedStatement::quotedNames() const {
    std::call_once(quotedRead_, [this] {
        for (const sql::Token& t : tokens_) {
            if (t.kind == sql::TokenKind::Quoted) {
                const QString name = sql::unquoted(t);
                quoted_.insert(name.toLower(), name);
            }
        }
    });
    return quoted_;
}

QString ParsedStatement::firstQueryBlock() const {
    return embedded::firstQueryBlock(tokens_);
}

}  // namespace qv::embedded
