// The SQL box as a tuner uses it all day, in a query window painted on each step:
// - the completion list shown (補完 after an alias, in a 5-table join, and after a prefix) with
//   20,000 columns in the login's dictionary: target 50 ms for the slowest;
// - a keystroke in the middle of a 5,000-line statement: target 16 ms for the slowest of 200;
// - a 2 MB one-line SQL file opened: target 1 s; a keystroke at its end: target 50 ms;
// - 整形 of a 2,000-line statement, the box's text replaced and painted: target 200 ms.
#include "benchsupport.h"
#include "gui/mainframe.h"
#include "gui/querywindow.h"
#include "gui/sqlfilecommands.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

using namespace qv;

namespace {

constexpr int kTables = 400;
constexpr int kColumnsEach = 50;

// A SQLite file of kTables tables of kColumnsEach columns.
void makeWideSchema(const QString& path) {
    embedded::EmbeddedDatabase db(path, QStringLiteral("BENCH"),
                                  embedded::EmbeddedDatabase::OpenMode::CreateIfMissing);
    for (int t = 0; t < kTables; ++t) {
        QStringList columns;
        for (int c = 0; c < kColumnsEach; ++c)
            columns << QStringLiteral("col_%1_%2 number(10)").arg(t).arg(c);
        db.execute(QStringLiteral("create table tab_%1 (%2)").arg(t).arg(columns.join(u',')));
    }
}

// Milliseconds `step` takes, the window painted after it.
template <class Step>
double timed(QWidget& window, Step step) {
    QElapsedTimer t;
    t.start();
    step();
    window.repaint();
    return t.nsecsElapsed() / 1e6;
}

double completionWorst(MainFrame& frame, QueryWindow& w) {
    SqlEditor* box = w.sqlEdit();
    QString join = QStringLiteral("select  from tab_1 a");
    for (int t = 2; t <= 5; ++t)
        join += QStringLiteral(" join tab_%1 t%1 on t%1.col_%1_0 = a.col_1_0").arg(t);
    const std::pair<QString, int> cases[] = {
        {QStringLiteral("select a. from tab_1 a"), 9},  // after an alias
        {join, 7},                                      // the join's columns, tables, keywords
        {QStringLiteral("select * from tab_3"), 19},    // tables after a prefix
    };
    double worst = 0;
    for (const auto& [text, caret] : cases) {
        box->setText(text);
        box->setCaretOffset(caret);
        int shown = 0;
        const auto c = QObject::connect(box, &SqlEditor::completionListShown,
                                        [&](int count) { shown = count; });
        worst = std::max(worst, timed(frame, [&] { w.completeAtCaret(); }));
        QObject::disconnect(c);
        if (shown == 0)
            std::fprintf(stderr, "no list for %s\n", qPrintable(text));
        box->cancelList();
    }
    return worst;
}

// The slowest of `count` keystrokes at the caret.
double slowestKeystroke(MainFrame& frame, SqlEditor* box, int count) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i)
        times.push_back(timed(frame, [&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QApplication::sendEvent(box, &press);
            QApplication::sendEvent(box, &release);
        }));
    return *std::max_element(times.begin(), times.end());
}

QString longStatement(int lines) {
    QString sql = QStringLiteral("select c.customer_id, c.name, o.total_amount\n");
    for (int i = 0; i < lines - 2; ++i)
        sql += QStringLiteral("  , nvl(o.amount_%1, 0) + %1 as a_%1 -- 'figure' %1\n").arg(i);
    return sql + QStringLiteral("from customers c join orders o on o.customer_id = c.customer_id");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ProgramState program(
        std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("quervin.ini"))));
    MainFrame frame(program);
    frame.resize(1200, 900);
    frame.show();
    QueryWindow& w = *frame.activeQueryWindow();
    SqlEditor* box = w.sqlEdit();
    box->setFocus();

    const QString schema = dir.filePath(QStringLiteral("wide.db"));
    makeWideSchema(schema);
    QEventLoop reading;
    bool read = false;
    QObject::connect(&w.model().dictionary(), &DictionaryLoader::read, [&] {
        read = true;
        reading.quit();
    });
    QTimer::singleShot(60'000, &reading, &QEventLoop::quit);
    w.model().connection().setLogin(
        {QStringLiteral("sqlite:") + schema, QStringLiteral("bench"), QString()});
    w.model().connection().connectToService();
    if (w.model().connection().waitForAttempt(60'000) && !read)
        reading.exec();
    if (!read) {
        std::fprintf(stderr, "the login or its dictionary did not end\n");
        return 1;
    }
    const double completion = completionWorst(frame, w);

    box->setText(longStatement(5000));
    box->setCaretOffset(box->text().size() / 2);
    frame.repaint();
    const double typing = slowestKeystroke(frame, box, 200);

    QByteArray oneLine = "select * from orders where order_id in (0";
    for (int i = 1; oneLine.size() < 2 * 1024 * 1024; ++i)
        oneLine += ", " + QByteArray::number(i);
    oneLine += ")";
    const QString file = dir.filePath(QStringLiteral("long.sql"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(oneLine) != oneLine.size())
        return 1;
    out.close();
    box->setText(QString());
    const double open = timed(frame, [&] { openSqlFile(w, file); });
    box->setCaretOffset(box->text().size());
    const double keyAtEnd = slowestKeystroke(frame, box, 20);

    box->setText(longStatement(2000));
    const double format = timed(frame, [&] { w.formatSql(); });
    if (!box->text().startsWith(QStringLiteral("SELECT c.customer_id")))
        std::fprintf(stderr, "整形 did not lay the statement out\n");

    std::printf(
        "completion %.1f ms, keystroke %.1f ms, open %.1f ms, key at end %.1f ms, "
        "format %.1f ms\n",
        completion, typing, open, keyAtEnd, format);
    bench::report("completion list, 20,000 columns in the dictionary", bench::ms(completion),
                  "target 50 ms", completion / 50, 1.00);
    bench::report("keystroke in a 5,000-line statement (slowest of 200)", bench::ms(typing),
                  "target 16 ms", typing / 16, 1.00);
    bench::report("open a 2 MB one-line SQL file", bench::ms(open), "target 1000 ms", open / 1000,
                  1.00);
    bench::report("keystroke at the end of the 2 MB line (slowest of 20)", bench::ms(keyAtEnd),
                  "target 50 ms", keyAtEnd / 50, 1.00);
    bench::report("整形 of a 2,000-line statement", bench::ms(format), "target 200 ms",
                  format / 200, 1.00);
    return 0;
}
