#pragma once

#include "core/editor/schemadictionary.h"
#include "core/editor/textsearch.h"

#include <QString>

#include <vector>

namespace qv {

enum class CompletionKind { Column, Alias, Table, View, Function, Keyword };

struct CompletionItem {
    QString label;   // what the list shows: the name as inserted, then what it is
    QString insert;  // what replaces the word being typed
    CompletionKind kind = CompletionKind::Keyword;
};

// What 補完 offers at the caret.
struct Completion {
    TextRange replaced;  // the word being typed, which the chosen item replaces
    std::vector<CompletionItem> items;
    // Not empty: the names after this owner (as the dictionary holds it) are not read yet; read
    // them into the dictionary, then ask again.
    QString ownerToRead;
};

// At most this many items are offered; a longer prefix narrows them.
inline constexpr size_t kMaxCompletionItems = 2000;

// The names that complete the word before `caret` in `text` (UTF-16 positions): after `x.`, the
// columns of what the alias, table or WITH query x stands for in the statement around the caret,
// or the objects of the owner x; otherwise the columns of the tables the statement reads, its
// aliases, the schema's tables and views, Oracle's functions and keywords, in that order, each
// starting with the word typed (in any case; a word begun with " in its exact case). A word typed
// all in small letters (or, when none is typed yet, after a qualifier in small letters) gets the
// name in small letters; otherwise it comes as the dictionary has it, keywords and functions in
// capitals. A name that only quotes can spell is inserted quoted. Where the dictionary knows
// nothing of the qualifier, keywords and functions are what is offered.
Completion completeAt(const QString& text, qsizetype caret, const SchemaDictionary& dictionary);

}  // namespace qv
