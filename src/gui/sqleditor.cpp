#include "gui/sqleditor.h"

#include "core/sql/sqlwords.h"

#include <Qsci/qscilexersql.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include <functional>
#include <string>

namespace qv {

namespace {

const QColor kKeywordColour(0x00, 0x00, 0x8b);
const QColor kStringColour(0xa3, 0x15, 0x15);
const QColor kCommentColour(0x00, 0x80, 0x00);
const QColor kNumberColour(0x00, 0x7a, 0x7a);
const QColor kMarginBackground(0xf0, 0xf0, 0xf0);
const QColor kMarginNumbers(0x80, 0x80, 0x80);
const QColor kMatchBackground(0xff, 0xe0, 0x8a);
const QColor kErrorLineBackground(0xff, 0xd6, 0xd6);

constexpr int kErrorMarker = 1;
// What separates a completion list's items and an item from its image number: characters no
// label holds.
constexpr long kItemSeparator = '\x1e';
constexpr long kTypeSeparator = '\x1f';
// Room on either side of the line numbers, in pixels.
constexpr int kNumberPadding = 4;

// QScintilla's SQL lexer with Oracle's keywords (sql/sqlwords.h), and no SQL*Plus words.
class SqlLexer : public QsciLexerSQL {
  public:
    explicit SqlLexer(QObject* parent) : QsciLexerSQL(parent) {}
    const char* keywords(int set) const override {
        static const std::string words = sql::sqlKeywords().join(u' ').toLower().toStdString();
        return set == 1 ? words.c_str() : nullptr;
    }
};

// The styles drawn in colour: keywords, strings (q'...' too), comments and numbers. A quoted
// name ("...", which the lexer takes for a string) stays plain, as other names do.
const std::pair<int, QColor> kColoured[] = {
    {QsciLexerSQL::Keyword, kKeywordColour},
    {QsciLexerSQL::SingleQuotedString, kStringColour},
    {QsciLexerSQL::QuotedOperator, kStringColour},
    {QsciLexerSQL::Comment, kCommentColour},
    {QsciLexerSQL::CommentLine, kCommentColour},
    {QsciLexerSQL::CommentDoc, kCommentColour},
    {QsciLexerSQL::CommentDocKeyword, kCommentColour},
    {QsciLexerSQL::CommentDocKeywordError, kCommentColour},
    {QsciLexerSQL::PlusComment, kCommentColour},
    {QsciLexerSQL::Number, kNumberColour},
};

bool isCommentStyle(int style) {
    return style == QsciLexerSQL::Comment || style == QsciLexerSQL::CommentLine ||
           style == QsciLexerSQL::CommentDoc || style == QsciLexerSQL::CommentDocKeyword ||
           style == QsciLexerSQL::CommentDocKeywordError || style == QsciLexerSQL::PlusComment;
}

}  // namespace

SqlEditor::SqlEditor(QWidget* parent) : QsciScintilla(parent) {
    setUtf8(true);
    // UTF-16 offsets are found from the lines' own counts, not by reading the text.
    SendScintilla(SCI_ALLOCATELINECHARACTERINDEX, SC_LINECHARACTERINDEX_UTF16);
    // Return ends a line with LF, as the box always has; a paste keeps its own line ends.
    setEolMode(EolUnix);
    // The horizontal scroll bar as wide as the longest line shown, and only when one is wider.
    SendScintilla(SCI_SETSCROLLWIDTH, 1L);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1L);
    setLexer(new SqlLexer(this));
    setMarginType(0, NumberMargin);
    setMarginLineNumbers(0, true);
    setMarginWidth(1, 0);
    setMarginsBackgroundColor(kMarginBackground);
    setMarginsForegroundColor(kMarginNumbers);
    setBraceMatching(SloppyBraceMatch);
    setMatchedBraceBackgroundColor(kMatchBackground);
    setMatchedBraceForegroundColor(Qt::black);
    markerDefine(Background, kErrorMarker);
    setMarkerBackgroundColor(kErrorLineBackground, kErrorMarker);
    setIndentationsUseTabs(false);
    setIndentationWidth(4);
    setTabWidth(4);
    // The completion list in our own order (columns before tables before keywords), ten rows
    // at a time, narrowed by the box itself as the word goes on, in any case.
    SendScintilla(SCI_AUTOCSETORDER, SC_ORDER_CUSTOM);
    SendScintilla(SCI_AUTOCSETIGNORECASE, 1L);
    SendScintilla(SCI_AUTOCSETMAXHEIGHT, 10L);
    SendScintilla(SCI_AUTOCSETSEPARATOR, kItemSeparator);
    SendScintilla(SCI_AUTOCSETTYPESEPARATOR, kTypeSeparator);
    connect(this, &QsciScintilla::linesChanged, this, &SqlEditor::updateLineNumberWidth);
    connect(this, &QsciScintillaBase::SCN_CHARADDED, this, [this](int c) {
        // After a qualifier's dot, once the box has taken it.
        if (c == '.')
            QMetaObject::invokeMethod(
                this, [this] { Q_EMIT completionWanted(true); }, Qt::QueuedConnection);
    });
    connect(this, qOverload<const char*, int, int, int>(&QsciScintillaBase::SCN_AUTOCSELECTION),
            this, [this](const char* label, int position) { itemChosen(label, position); });
    // Styling is no edit: only a change of the text takes the error mark away.
    connect(this, &QsciScintilla::textChanged, this, [this] { markerDeleteAll(kErrorMarker); });
    setSqlFont(font());
}

SqlEditor::~SqlEditor() = default;

void SqlEditor::setSqlFont(const QFont& font) {
    QsciLexer* sql = lexer();
    QFont plain(font);
    plain.setBold(false);
    plain.setItalic(false);
    sql->setDefaultFont(plain);
    sql->setFont(plain, -1);
    sql->setDefaultPaper(Qt::white);
    sql->setPaper(Qt::white, -1);
    sql->setDefaultColor(Qt::black);
    sql->setColor(Qt::black, -1);
    for (const auto& [style, colour] : kColoured) {
        sql->setColor(colour, style);
        QFont f(plain);
        f.setBold(style == QsciLexerSQL::Keyword);
        f.setItalic(isCommentStyle(style));
        sql->setFont(f, style);
    }
    setMarginsFont(plain);
    // QScintilla hands a family to Scintilla as Latin-1, which a Japanese name is not; Scintilla
    // passes the bytes to QFont as UTF-8.
    const QByteArray family = plain.family().toUtf8();
    for (int style = 0; style <= STYLE_LASTPREDEFINED; ++style)
        SendScintilla(SCI_STYLESETFONT, style, family.constData());
    updateLineNumberWidth();
}

void SqlEditor::updateLineNumberWidth() {
    QString digits = QStringLiteral("99");
    for (int n = lines(); n >= 100; n /= 10)
        digits += u'9';
    const int width = QFontMetrics(lexer()->defaultFont()).horizontalAdvance(digits);
    setMarginWidth(0, width + 2 * kNumberPadding);
}

int SqlEditor::bytePosition(qsizetype offset) const {
    auto* self = const_cast<SqlEditor*>(this);
    const int end = self->length();
    if (offset <= 0)
        return 0;
    if (offset >= offsetOf(end))
        return end;
    return int(self->SendScintilla(SCI_POSITIONRELATIVECODEUNITS, 0UL, long(offset)));
}

qsizetype SqlEditor::offsetOf(int bytePosition) const {
    return const_cast<SqlEditor*>(this)->SendScintilla(SCI_COUNTCODEUNITS, 0UL, long(bytePosition));
}

qsizetype SqlEditor::caretOffset() const {
    return offsetOf(int(SendScintilla(SCI_GETCURRENTPOS)));
}

void SqlEditor::setCaretOffset(qsizetype offset) {
    SendScintilla(SCI_GOTOPOS, bytePosition(offset));
}

TextRange SqlEditor::selectedRange() const {
    return {offsetOf(int(SendScintilla(SCI_GETSELECTIONSTART))),
            offsetOf(int(SendScintilla(SCI_GETSELECTIONEND)))};
}

void SqlEditor::selectRange(TextRange range) {
    SendScintilla(SCI_SETSEL, bytePosition(range.begin), long(bytePosition(range.end)));
}

void SqlEditor::replaceRange(TextRange range, const QString& text) {
    // Its own undo step, never joined to the typing or the paste before it.
    beginUndoAction();
    selectRange(range);
    replaceSelectedText(text);
    endUndoAction();
}

void SqlEditor::replaceText(const QString& text) {
    // Through the target, which neither selects nor scrolls: a caret moved to the end of a long
    // line would lay the whole line out once more before the caller places the caret.
    const QByteArray bytes = text.toUtf8();
    beginUndoAction();
    SendScintilla(SCI_SETTARGETRANGE, 0UL, long(length()));
    SendScintilla(SCI_REPLACETARGET, ulong(bytes.size()), bytes.constData());
    endUndoAction();
    // Styled now, so that the layout made for the caret is the one painted.
    SendScintilla(SCI_COLOURISE, 0UL, -1L);
}

void SqlEditor::applyEdits(const std::vector<TextEdit>& edits) {
    beginUndoAction();
    // From the last, so that the positions of those before stay as they were.
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
        const int begin = bytePosition(it->range.begin);
        SendScintilla(SCI_SETTARGETRANGE, begin, long(bytePosition(it->range.end)));
        const QByteArray bytes = it->text.toUtf8();
        SendScintilla(SCI_REPLACETARGET, bytes.size(), bytes.constData());
    }
    endUndoAction();
}

void SqlEditor::markError(qsizetype offset) {
    markerDeleteAll(kErrorMarker);
    if (offset < 0)
        return;
    const int at = bytePosition(offset);
    SendScintilla(SCI_GOTOPOS, at);
    markerAdd(int(SendScintilla(SCI_LINEFROMPOSITION, at)), kErrorMarker);
}

int SqlEditor::markedErrorLine() const {
    return int(SendScintilla(SCI_MARKERNEXT, 0L, 1L << kErrorMarker));
}

void SqlEditor::showCompletion(const Completion& completion) {
    completion_ = completion;
    if (completion.items.empty()) {
        cancelList();
        return;
    }
    QByteArray list;
    for (const CompletionItem& item : completion.items) {
        if (!list.isEmpty())
            list += char(kItemSeparator);
        list += item.label.toUtf8();
    }
    // The word typed so far is the list's start; the box narrows the list as it goes on.
    const int typed =
        int(SendScintilla(SCI_GETCURRENTPOS)) - bytePosition(completion.replaced.begin);
    SendScintilla(SCI_AUTOCSHOW, typed, list.constData());
    Q_EMIT completionListShown(int(completion.items.size()));
}

void SqlEditor::itemChosen(const char* label, int position) {
    // The item's name goes in, not the label the list shows, and as one undo step.
    SendScintilla(SCI_AUTOCCANCEL);
    const QString chosen = QString::fromUtf8(label);
    for (const CompletionItem& item : completion_.items) {
        if (item.label == chosen) {
            replaceRange({offsetOf(position), caretOffset()}, item.insert);
            return;
        }
    }
}

void SqlEditor::paste() {
    if (isReadOnly())
        return;
    const QString text = QApplication::clipboard()->text();
    if (!text.isEmpty())
        replaceRange(selectedRange(), text);
}

void SqlEditor::setBottomMargin(int pixels) {
    setViewportMargins(0, 0, 0, pixels);
}

void SqlEditor::contextMenuEvent(QContextMenuEvent* event) {
    // The commands a text box of Qt offers, in its words (Qt's own translations).
    QMenu menu(this);
    auto add = [&](const char* source, QKeySequence::StandardKey key, bool enabled,
                   std::function<void()> command) {
        QAction* a = menu.addAction(QCoreApplication::translate("QWidgetTextControl", source));
        a->setShortcut(key);
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, std::move(command));
    };
    const bool editable = !isReadOnly();
    const bool selected = hasSelectedText();
    add("&Undo", QKeySequence::Undo, editable && isUndoAvailable(), [this] { undo(); });
    add("&Redo", QKeySequence::Redo, editable && isRedoAvailable(), [this] { redo(); });
    menu.addSeparator();
    add("Cu&t", QKeySequence::Cut, editable && selected, [this] { cut(); });
    add("&Copy", QKeySequence::Copy, selected, [this] { copy(); });
    add("&Paste", QKeySequence::Paste, editable && SendScintilla(SCI_CANPASTE) != 0,
        [this] { paste(); });
    add("Delete", QKeySequence::UnknownKey, editable && selected, [this] { removeSelectedText(); });
    menu.addSeparator();
    add("Select All", QKeySequence::SelectAll, length() > 0, [this] { selectAll(); });
    menu.exec(event->globalPos());
}

void SqlEditor::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::ControlModifier) {
        event->accept();
        Q_EMIT runRequested();
        return;
    }
    if (key == Qt::Key_Escape) {
        // The list closes; anything else Esc does is the window's.
        if (isListActive()) {
            cancelList();
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !isListActive() &&
        (mods & ~Qt::ShiftModifier) == Qt::NoModifier) {
        // Lines selected are indented or unindented; otherwise Tab moves on, as in a form.
        int fromLine = 0, fromIndex = 0, toLine = 0, toIndex = 0;
        getSelection(&fromLine, &fromIndex, &toLine, &toIndex);
        const bool backward = key == Qt::Key_Backtab || (mods & Qt::ShiftModifier);
        if (hasSelectedText() && fromLine != toLine)
            SendScintilla(backward ? SCI_BACKTAB : SCI_TAB);
        else
            QWidget::focusNextPrevChild(!backward);
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        event->accept();
        return;
    }
    QsciScintilla::keyPressEvent(event);
}

}  // namespace qv
