#include "core/editor/completion.h"

#include "core/editor/statementscope.h"
#include "core/sql/sqlwords.h"
#include "core/sql/tokenlist.h"

#include <QSet>

#include <algorithm>

namespace qv {

namespace {

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#' || c.isSurrogate();
}

// Whether a word is typed in small letters only (and has one).
bool inSmallLetters(QStringView word) {
    bool letter = false;
    for (const QChar c : word) {
        if (c.isUpper())
            return false;
        letter = letter || c.isLower();
    }
    return letter;
}

// Whether only quotes can spell `name`: not an Oracle identifier in capitals, or reserved.
bool needsQuotes(const QString& name) {
    if (name.isEmpty() || !name[0].isLetter() || sql::isReservedWord(name))
        return true;
    for (const QChar c : name) {
        if (c.isLower() || !(c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'#'))
            return true;
    }
    return false;
}

struct Qualifier {
    QString name;     // as the dictionary holds it
    QString written;  // as typed
};

// The word being typed at the caret and the qualifiers before it ("owner.table.").
struct Typed {
    TextRange range;
    QString prefix;
    bool quoted = false;  // begun with "
    std::vector<Qualifier> qualifiers;
    qsizetype chainBegin = 0;  // where the first qualifier starts
};

Typed readTyped(const QString& text, qsizetype caret) {
    Typed typed;
    qsizetype b = caret;
    while (b > 0 && isNameChar(text[b - 1]))
        --b;
    typed.prefix = text.mid(b, caret - b);
    typed.quoted = b > 0 && text[b - 1] == u'"' &&
                   (b == 1 || (!isNameChar(text[b - 2]) && text[b - 2] != u'"'));
    qsizetype p = typed.quoted ? b - 1 : b;
    typed.range = {p, caret};
    while (typed.qualifiers.size() < 2 && p > 0 && text[p - 1] == u'.') {
        const qsizetype end = p - 1;
        Qualifier q;
        if (end > 0 && text[end - 1] == u'"') {
            const qsizetype open = end >= 2 ? text.lastIndexOf(u'"', end - 2) : -1;
            if (open < 0)
                break;
            q.name = text.mid(open + 1, end - 2 - open);
            q.written = text.mid(open, end - open);
            p = open;
        } else {
            qsizetype s = end;
            while (s > 0 && isNameChar(text[s - 1]))
                --s;
            if (s == end)
                break;
            q.written = text.mid(s, end - s);
            q.name = q.written.toUpper();
            p = s;
        }
        typed.qualifiers.insert(typed.qualifiers.begin(), q);
    }
    typed.chainBegin = p;
    return typed;
}

// The tokens of the statement the caret is in: the text is cut at each ; and / line.
std::vector<sql::Token> statementAt(const std::vector<sql::Token>& all, const QString& text,
                                    qsizetype caret) {
    auto lineEndBetween = [&](int from, int to) {
        return QStringView(text).mid(from, to - from).contains(u'\n');
    };
    auto ends = [&](size_t i) {
        if (all[i].isOp(u';'))
            return true;
        return all[i].isOp(u'/') && (i == 0 || lineEndBetween(all[i - 1].end, all[i].begin)) &&
               (i + 1 == all.size() || lineEndBetween(all[i].end, all[i + 1].begin));
    };
    size_t first = 0, last = all.size();
    for (size_t i = 0; i < all.size(); ++i) {
        if (!ends(i))
            continue;
        if (all[i].end <= caret)
            first = i + 1;
        else if (all[i].begin >= caret) {
            last = i;
            break;
        }
    }
    return {all.begin() + qsizetype(first), all.begin() + qsizetype(last)};
}

class Offer {
  public:
    Offer(const Typed& typed, bool lower) : typed_(typed), lower_(lower) {}

    bool full() const { return items.size() >= kMaxCompletionItems; }
    // A name of the dictionary (or the statement), inserted as its rules say.
    void name(const QString& name, const QString& detail, CompletionKind kind) {
        if (!fits(name))
            return;
        const QString insert = typed_.quoted || needsQuotes(name)
                                   ? sql::quotedName(name)
                                   : (lower_ ? name.toLower() : name);
        add(insert, detail, kind);
    }
    // A keyword or a function, in capitals unless typed in small letters.
    void word(const QString& word, CompletionKind kind) {
        if (!typed_.quoted && fits(word))
            add(lower_ ? word.toLower() : word, QString(), kind);
    }
    void columns(const SchemaObject& object) {
        for (const SchemaColumn& c : object.columns)
            name(c.name, c.type, CompletionKind::Column);
    }
    void columns(const QStringList& names) {
        for (const QString& c : names)
            name(c, QString(), CompletionKind::Column);
    }
    void objects(const SchemaObjects& schema) {
        std::vector<const SchemaObject*> sorted;
        for (const SchemaObject& o : schema.objects())
            sorted.push_back(&o);
        std::sort(sorted.begin(), sorted.end(),
                  [](const SchemaObject* a, const SchemaObject* b) { return a->name < b->name; });
        for (const SchemaObject* o : sorted) {
            const bool view = o->kind == SchemaObjectKind::View;
            name(o->name,
                 view                                 ? QStringLiteral("VIEW")
                 : o->kind == SchemaObjectKind::Table ? QStringLiteral("TABLE")
                                                      : QString(),
                 view ? CompletionKind::View : CompletionKind::Table);
        }
    }
    void keywordsAndFunctions() {
        for (const QString& f : sql::sqlFunctions())
            word(f, CompletionKind::Function);
        QStringList keywords = sql::sqlKeywords();
        keywords.sort();
        for (const QString& k : keywords)
            word(k, CompletionKind::Keyword);
    }

    std::vector<CompletionItem> items;

  private:
    bool fits(const QString& name) const {
        return !full() && name.startsWith(typed_.prefix,
                                          typed_.quoted ? Qt::CaseSensitive : Qt::CaseInsensitive);
    }
    void add(const QString& insert, const QString& detail, CompletionKind kind) {
        const QString label = detail.isEmpty() ? insert : insert + QStringLiteral("  ") + detail;
        if (!seen_.contains(label)) {
            seen_.insert(label);
            items.push_back({label, insert, kind});
        }
    }

    const Typed& typed_;
    bool lower_;
    QSet<QString> seen_;
};

// The columns of the table `ref` stands for; the owner to read when they are not known yet.
QString offerColumns(const TableReference& ref, const SchemaDictionary& dictionary, Offer& offer) {
    if (ref.derived) {
        offer.columns(ref.columns);
        return {};
    }
    const SchemaObjects* schema =
        ref.owner.isEmpty() ? dictionary.own.get() : dictionary.schemaOf(ref.owner);
    if (!schema)
        return dictionary.own ? ref.owner : QString();
    if (const SchemaObject* o = schema->find(ref.name))
        offer.columns(*o);
    return {};
}

}  // namespace

Completion completeAt(const QString& text, qsizetype caret, const SchemaDictionary& dictionary) {
    const Typed typed = readTyped(text, caret);
    const bool lower = !typed.quoted &&
                       (typed.prefix.isEmpty() ? !typed.qualifiers.empty() &&
                                                     inSmallLetters(typed.qualifiers.back().written)
                                               : inSmallLetters(typed.prefix));
    Completion out;
    out.replaced = typed.range;
    // The statement is read without what is being typed: an opening quote would run on over
    // the rest, and a table being named is no table of the statement yet.
    const QString rest = QString(text).remove(typed.chainBegin, caret - typed.chainBegin);
    const int at = int(typed.chainBegin);
    const std::vector<sql::Token> tokens = statementAt(sql::tokenize(rest), rest, at);
    const StatementScope scope = statementScope(tokens);
    Offer offer(typed, lower);
    if (typed.qualifiers.size() == 1) {
        const QString& q = typed.qualifiers[0].name;
        const SchemaObject* own = dictionary.own ? dictionary.own->find(q) : nullptr;
        if (const TableReference* ref = scope.resolve(q, at)) {
            out.ownerToRead = offerColumns(*ref, dictionary, offer);
        } else if (const NamedQuery* with = scope.withQuery(q)) {
            offer.columns(with->columns);
        } else if (own) {
            offer.columns(*own);
        } else if (const SchemaObjects* schema = dictionary.schemaOf(q)) {
            offer.objects(*schema);
        } else if (dictionary.own) {
            out.ownerToRead = q;
        }
    } else if (typed.qualifiers.size() == 2) {
        const SchemaObjects* schema = dictionary.schemaOf(typed.qualifiers[0].name);
        const SchemaObject* o = schema ? schema->find(typed.qualifiers[1].name) : nullptr;
        if (o)
            offer.columns(*o);
        else if (!schema && dictionary.own)
            out.ownerToRead = typed.qualifiers[0].name;
    } else {
        for (const TableReference& ref : scope.tables) {
            if (at >= ref.scopeBegin && at <= ref.scopeEnd)
                offerColumns(ref, dictionary, offer);
        }
        for (const TableReference& ref : scope.tables) {
            if (!ref.alias.isEmpty() && at >= ref.scopeBegin && at <= ref.scopeEnd)
                offer.name(ref.alias, ref.name, CompletionKind::Alias);
        }
        for (const NamedQuery& q : scope.withQueries)
            offer.name(q.name, QString(), CompletionKind::Table);
        if (dictionary.own)
            offer.objects(*dictionary.own);
        offer.keywordsAndFunctions();
    }
    if (!typed.qualifiers.empty() && offer.items.empty() && out.ownerToRead.isEmpty())
        offer.keywordsAndFunctions();
    out.items = std::move(offer.items);
    return out;
}

}  // namespace qv
