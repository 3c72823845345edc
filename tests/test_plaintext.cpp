// Text from the server, the driver or the user shows as it is wherever the window shows it: an
// error that looks like HTML must never pass for another message.
#include "core/tuning/tuningrun.h"
#include "gui/gridview.h"
#include "gui/historywindow.h"
#include "support/e2e.h"
#include "support/modalanswerer.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTextDocument>

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

class PlainTextTest : public test::WindowTest {
  protected:
    QLabel* label(const char* name) {
        return window()->findChild<QLabel*>(QString::fromLatin1(name));
    }
    // What a label shows: its text as it is, or what the markup it takes it for renders.
    static QString shown(const QLabel* l) {
        if (l->textFormat() == Qt::PlainText ||
            (l->textFormat() == Qt::AutoText && !Qt::mightBeRichText(l->text())))
            return l->text();
        QTextDocument d;
        d.setHtml(l->text());
        return d.toPlainText();
    }
    // What a tooltip shows: a tooltip takes text that looks like markup for markup.
    static QString shownTip(const QVariant& tip) {
        const QString text = tip.toString();
        if (!Qt::mightBeRichText(text))
            return text;
        QTextDocument d;
        d.setHtml(text);
        return d.toPlainText();
    }
    static QStringList tips(const QAbstractItemModel* m, int column) {
        QStringList all;
        for (int row = 0; row < m->rowCount(); ++row)
            all << shownTip(m->index(row, column).data(Qt::ToolTipRole));
        return all;
    }
};

const QString kFake = u"<s>x</s><font color=red size=5>ORA-00000 all good</font>"_s;

}  // namespace

TEST_F(PlainTextTest, ErrorsNamesAndStatementsShowLiterallyInLinesTooltipsAndBoxes) {
    // A service the driver cannot open: its description in the status bar and in the box that
    // tells the failure.
    test::ModalAnswerer answerer({QMessageBox::Yes});
    login(u"sqlite:/no/such/"_s + kFake + u"/x.db"_s, u"demo"_s);
    EXPECT_TRUE(shown(window()->statusPanel(1)).contains(kFake))
        << shown(window()->statusPanel(1)).toStdString();
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_TRUE(answerer.seen[0].contains(kFake)) << answerer.seen[0].toStdString();
    EXPECT_EQ(answerer.formats, QList<Qt::TextFormat>{Qt::PlainText});

    login(u"sqlite:sample"_s, u"demo"_s);
    model().startRecording();
    // The server's error in the plan and result lines.
    run(u"select * from \""_s + kFake + u"\""_s);
    for (const char* line : {"planMessage", "resultMessage"})
        EXPECT_TRUE(shown(label(line)).contains(kFake)) << line << shown(label(line)).toStdString();

    // Names in the plan's tooltips, the statement in the history window's.
    const QString sql = u"select * from customers where name = '"_s + kFake + u"'"_s;
    run(sql);
    ASSERT_TRUE(model().planGrid().visible());
    EXPECT_TRUE(tips(window()->planGrid()->model(), 0).join(u'\n').contains(kFake))
        << tips(window()->planGrid()->model(), 0).join(u'\n').toStdString();
    HistoryWindow history(model().historyFilePath(), program().historyNotifier());
    const QStringList statements = tips(history.findChild<QTableView*>()->model(), 4);
    EXPECT_TRUE(statements.contains(sql)) << statements.join(u'\n').toStdString();

    // A refusal that quotes the statement, in a message box.
    answerer.seen.clear();
    answerer.formats.clear();
    run(kFake + u"\x01"_s);
    EXPECT_EQ(answerer.seen,
              QStringList{u"QuervinStudio|"_s +
                          kMsgControlCharacter.arg(1).arg(kFake.size() + 1).arg(u"U+0001"_s)});
    EXPECT_EQ(answerer.formats, QList<Qt::TextFormat>{Qt::PlainText});
}
