#include "gui/findbar.h"

#include "gui/plaintext.h"
#include "gui/sqleditor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace qv {

namespace {

QToolButton* optionButton(const QString& text, const QString& tip, const char* name,
                          QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QPushButton* commandButton(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

}  // namespace

FindBar::FindBar(SqlEditor* editor, QWidget* parent)
    : QWidget(parent),
      editor_(editor),
      findEdit_(new QLineEdit(this)),
      replaceEdit_(new QLineEdit(this)),
      replaceRow_(new QWidget(this)),
      matchCase_(optionButton(QStringLiteral("Aa"), QStringLiteral("大文字と小文字を区別"),
                              "matchCase", this)),
      wholeWord_(
          optionButton(QStringLiteral("単語"), QStringLiteral("単語単位"), "wholeWord", this)),
      regex_(optionButton(QStringLiteral(".*"), QStringLiteral("正規表現"), "regularExpression",
                          this)),
      message_(plainLabel(new QLabel(this))) {
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    findEdit_->setObjectName(QStringLiteral("findText"));
    replaceEdit_->setObjectName(QStringLiteral("replaceText"));
    message_->setObjectName(QStringLiteral("findMessage"));

    auto* findRow = new QHBoxLayout;
    findRow->addWidget(plainLabel(new QLabel(QStringLiteral("検索"), this)));
    findRow->addWidget(findEdit_, 1);
    QPushButton* next = commandButton(QStringLiteral("次を検索"), "findNextButton", this);
    QPushButton* previous = commandButton(QStringLiteral("前を検索"), "findPreviousButton", this);
    findRow->addWidget(next);
    findRow->addWidget(previous);
    for (QToolButton* option : {matchCase_, wholeWord_, regex_})
        findRow->addWidget(option);
    findRow->addWidget(message_);
    QToolButton* closeButton = new QToolButton(this);
    closeButton->setObjectName(QStringLiteral("closeFindBar"));
    closeButton->setText(QStringLiteral("×"));
    closeButton->setToolTip(QStringLiteral("閉じる"));
    closeButton->setAutoRaise(true);
    findRow->addWidget(closeButton);

    auto* replace = new QHBoxLayout(replaceRow_);
    replace->setContentsMargins(0, 0, 0, 0);
    replace->addWidget(plainLabel(new QLabel(QStringLiteral("置換"), replaceRow_)));
    replace->addWidget(replaceEdit_, 1);
    QPushButton* one = commandButton(QStringLiteral("置換"), "replaceButton", replaceRow_);
    QPushButton* all = commandButton(QStringLiteral("すべて置換"), "replaceAllButton", replaceRow_);
    replace->addWidget(one);
    replace->addWidget(all);
    replace->addStretch();

    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(2, 1, 2, 1);
    rows->setSpacing(1);
    rows->addLayout(findRow);
    rows->addWidget(replaceRow_);

    connect(next, &QPushButton::clicked, this, &FindBar::findNext);
    connect(previous, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(one, &QPushButton::clicked, this, &FindBar::replaceOne);
    connect(all, &QPushButton::clicked, this, &FindBar::replaceAll);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::close);
    // As the text is typed, the first match from where the search began is selected.
    connect(findEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.isEmpty())
            message_->clear();
        else
            find(true, editor_->selectedRange().begin);
    });
    hide();
}

int FindBar::barHeight() const {
    return sizeHint().height();
}

void FindBar::setReplaceShown(bool shown) {
    replaceRow_->setVisible(shown);
    // The tab order runs through the visible fields only.
    adjustSize();
}

void FindBar::open(bool replace) {
    const QString selected = editor_->selectedText();
    if (!selected.isEmpty() && !selected.contains(u'\n') && !selected.contains(u'\r'))
        findEdit_->setText(selected);
    setReplaceShown(replace);
    message_->clear();
    show();
    Q_EMIT layoutChanged();
    QLineEdit* field = replace && !findEdit_->text().isEmpty() ? replaceEdit_ : findEdit_;
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
}

void FindBar::close() {
    hide();
    Q_EMIT layoutChanged();
    editor_->setFocus(Qt::OtherFocusReason);
}

std::optional<TextSearch> FindBar::search() {
    SearchOptions options;
    options.matchCase = matchCase_->isChecked();
    options.wholeWord = wholeWord_->isChecked();
    options.regularExpression = regex_->isChecked();
    QString error;
    std::optional<TextSearch> s = TextSearch::make(findEdit_->text(), options, error);
    if (!s)
        message_->setText(error);
    return s;
}

void FindBar::find(bool forward, qsizetype from) {
    const std::optional<TextSearch> s = search();
    if (!s)
        return;
    const QString text = editor_->text();
    const std::optional<TextRange> found = forward ? s->next(text, from) : s->previous(text, from);
    if (!found) {
        message_->setText(kMsgNotFound.arg(findEdit_->text()));
        return;
    }
    message_->clear();
    editor_->selectRange(*found);
    editor_->ensureCursorVisible();
}

void FindBar::findNext() {
    if (findEdit_->text().isEmpty()) {
        open(false);
        return;
    }
    const TextRange at = editor_->selectedRange();
    // An empty match found last is passed over, so that the search moves on.
    find(true, at.end > at.begin ? at.end : at.end + 1);
}

void FindBar::findPrevious() {
    if (findEdit_->text().isEmpty()) {
        open(false);
        return;
    }
    find(false, editor_->selectedRange().begin);
}

void FindBar::replaceOne() {
    const std::optional<TextSearch> s = search();
    if (!s)
        return;
    const QString text = editor_->text();
    const TextRange selected = editor_->selectedRange();
    if (s->matches(text, selected)) {
        const QString with = s->replacementAt(text, selected, replaceEdit_->text());
        editor_->replaceRange(selected, with);
        find(true, selected.begin + with.size());
        return;
    }
    find(true, selected.begin);
}

void FindBar::replaceAll() {
    const std::optional<TextSearch> s = search();
    if (!s)
        return;
    const std::vector<TextEdit> edits = s->replaceAll(editor_->text(), replaceEdit_->text());
    if (edits.empty()) {
        message_->setText(kMsgNotFound.arg(findEdit_->text()));
        return;
    }
    editor_->applyEdits(edits);
    message_->setText(kMsgReplaced.arg(edits.size()));
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // Enter in a field (which passes it on) finds the next match, Shift+Enter the previous
    // one; in the replace field it replaces.
    if (event->key() == Qt::Key_Escape) {
        close();
    } else if (enter && replaceEdit_->hasFocus()) {
        replaceOne();
    } else if (enter) {
        if (event->modifiers() & Qt::ShiftModifier)
            findPrevious();
        else
            findNext();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

}  // namespace qv
