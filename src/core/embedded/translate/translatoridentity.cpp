// Identity columns as the translation writes into them (ColumnFacts in oracledialect.h); the
// INSERT side is in translatorstore.cpp.
#include "core/embedded/translate/translator.h"

namespace qv::embedded {

const ColumnFacts* TableFacts::identityColumn() const {
    for (const ColumnFacts& c : columns) {
        if (!c.identity.isEmpty())
            return &c;
    }
    return nullptr;
}

// UPDATE table [alias] SET [alias.]column = value, (column, ...) = (query) ...
void Translator::refuseIdentityUpdate(size_t last) const {
    size_t i = 1;
    if (last < 5 || !sql::isName(t_[i]))
        return;
    QString name = sql::unquoted(t_[i]);
    while (i + 2 < last && t_[i + 1].isOp(u'.') && sql::isName(t_[i + 2])) {
        i += 2;
        name = sql::unquoted(t_[i]);
    }
    const TableFacts* facts = table(name);
    const ColumnFacts* identity = facts ? facts->identityColumn() : nullptr;
    const size_t set = groups_.findTopLevel(i, last, u"SET");
    if (!identity || !identity->generatedAlways || set >= last)
        return;
    size_t end = last;
    for (const char16_t* word : {u"WHERE", u"RETURNING", u"LOG"})
        end = std::min(end, groups_.findTopLevel(set + 1, last, word));
    auto names = [&](size_t at) {
        return sql::isName(t_[at]) &&
               sql::unquoted(t_[at]).compare(identity->name, Qt::CaseInsensitive) == 0;
    };
    for (const auto& [a, b] : groups_.splitTopLevel(set + 1, end)) {
        size_t targetEnd = a;
        while (targetEnd < b && !t_[targetEnd].isOp(u'='))
            ++targetEnd;
        for (size_t k = a; k < targetEnd; ++k) {
            // A column, alias.column, or one of a parenthesised list.
            const bool column = k + 1 == targetEnd || t_[k + 1].isOp(u',') || t_[k + 1].isOp(u')');
            if (column && names(k))
                throw oracleError(32796, QStringLiteral("ORA-32796: cannot update a generated "
                                                        "always identity column"));
        }
    }
}

}  // namespace qv::embedded
