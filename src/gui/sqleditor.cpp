#include "gui/sqleditor.h"

#include "gui/sqlhighlighter.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>

#include <algorithm>
#include <vector>

namespace qv {

namespace {

// Room on either side of the line numbers, in pixels.
constexpr int kNumberPadding = 4;

const QColor kNumberAreaBackground(0xf0, 0xf0, 0xf0);
const QColor kNumberAreaEdge(0xd0, 0xd0, 0xd0);
const QColor kNumberColour(0x80, 0x80, 0x80);
const QColor kMatchBackground(0xff, 0xe0, 0x8a);
const QColor kErrorLineBackground(0xff, 0xd6, 0xd6);

// The position of the parenthesis that pairs with the one at `at` in `text`; -1 when the
// character at `at` is no parenthesis of the statement (or lies in a string or comment), or
// has no partner.
qsizetype partnerOf(const QString& text, qsizetype at) {
    std::vector<qsizetype> open;
    qsizetype partner = -1;
    scanSql(text, kSqlInCode, [&](SqlToken kind, qsizetype start, qsizetype) {
        if (kind != SqlToken::Other)
            return;
        if (text[start] == u'(') {
            open.push_back(start);
        } else if (text[start] == u')' && !open.empty()) {
            const qsizetype from = open.back();
            open.pop_back();
            if (from == at)
                partner = start;
            else if (start == at)
                partner = from;
        }
    });
    return partner;
}

}  // namespace

SqlEditor::SqlEditor(QWidget* parent)
    : QPlainTextEdit(parent),
      highlighter_(new SqlHighlighter(document())),
      lineNumbers_(new QWidget(this)) {
    lineNumbers_->setObjectName(QStringLiteral("lineNumberArea"));
    lineNumbers_->installEventFilter(this);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &SqlEditor::updateMargins);
    connect(this, &QPlainTextEdit::updateRequest, this, &SqlEditor::updateLineNumberArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this,
            &SqlEditor::markMatchingParenthesis);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        // Colouring the text changes its formats, not the text: the error mark stays for that.
        if (errorMark_ && toPlainText() != errorText_)
            errorMark_.reset();
        markMatchingParenthesis();
    });
    updateMargins();
}

SqlEditor::~SqlEditor() = default;

int SqlEditor::lineNumberAreaWidth() const {
    int digits = 2;
    for (int n = blockCount(); n >= 100; n /= 10)
        ++digits;
    return 2 * kNumberPadding + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void SqlEditor::updateMargins() {
    setViewportMargins(lineNumberAreaWidth(), 0, 0, 0);
    placeLineNumberArea();
}

void SqlEditor::placeLineNumberArea() {
    const QRect r = contentsRect();
    lineNumbers_->setGeometry(r.left(), r.top(), lineNumberAreaWidth(), r.height());
}

void SqlEditor::updateLineNumberArea(const QRect& rect, int dy) {
    if (dy != 0)
        lineNumbers_->scroll(0, dy);
    else
        lineNumbers_->update(0, rect.y(), lineNumbers_->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateMargins();
}

void SqlEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    placeLineNumberArea();
}

void SqlEditor::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    // The numbers are as wide as the box's digits.
    if (event->type() == QEvent::FontChange)
        updateMargins();
}

bool SqlEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineNumbers_ && event->type() == QEvent::Paint) {
        paintLineNumbers(static_cast<QPaintEvent*>(event)->rect());
        return true;
    }
    return QPlainTextEdit::eventFilter(watched, event);
}

void SqlEditor::paintLineNumbers(const QRect& rect) {
    QPainter p(lineNumbers_);
    p.fillRect(rect, kNumberAreaBackground);
    const int right = lineNumbers_->width() - 1;
    p.setPen(kNumberAreaEdge);
    p.drawLine(right, rect.top(), right, rect.bottom());
    p.setPen(kNumberColour);
    p.setFont(font());
    const int lineHeight = fontMetrics().height();
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    while (block.isValid() && top <= rect.bottom()) {
        const qreal bottom = top + blockBoundingRect(block).height();
        if (block.isVisible() && bottom >= rect.top()) {
            p.drawText(0, qRound(top), right - kNumberPadding, lineHeight, Qt::AlignRight,
                       QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
    }
}

void SqlEditor::markMatchingParenthesis() {
    QList<QTextEdit::ExtraSelection> marks;
    const int caret = textCursor().position();
    const QTextDocument* doc = document();
    // The parenthesis after the caret, else the one before it.
    for (const int at : {caret, caret - 1}) {
        const QChar c = at >= 0 ? doc->characterAt(at) : QChar();
        if (c != u'(' && c != u')')
            continue;
        const qsizetype partner = partnerOf(toPlainText(), at);
        if (partner < 0)
            continue;
        for (const qsizetype pos : {qsizetype(at), partner}) {
            QTextEdit::ExtraSelection mark;
            mark.format.setBackground(kMatchBackground);
            mark.cursor = QTextCursor(document());
            mark.cursor.setPosition(int(pos));
            mark.cursor.setPosition(int(pos) + 1, QTextCursor::KeepAnchor);
            marks.append(mark);
        }
        break;
    }
    parenthesisMarks_ = marks;
    showMarks();
}

void SqlEditor::showMarks() {
    QList<QTextEdit::ExtraSelection> marks;
    if (errorMark_)
        marks.append(*errorMark_);
    // The parenthesis marks over the line's, so both show.
    marks += parenthesisMarks_;
    setExtraSelections(marks);
}

void SqlEditor::markError(int position) {
    errorMark_.reset();
    if (position >= 0) {
        QTextCursor caret(document());
        caret.setPosition(std::clamp(position, 0, document()->characterCount() - 1));
        QTextEdit::ExtraSelection mark;
        mark.format.setBackground(kErrorLineBackground);
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        mark.cursor = caret;
        mark.cursor.clearSelection();
        errorMark_ = mark;
        errorText_ = toPlainText();
        setTextCursor(caret);
        ensureCursorVisible();
    }
    showMarks();
}

int SqlEditor::markedErrorLine() const {
    return errorMark_ ? errorMark_->cursor.blockNumber() : -1;
}

void SqlEditor::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        event->accept();
        Q_EMIT runRequested();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

}  // namespace qv
