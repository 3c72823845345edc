#pragma once

#include "core/tuning/runwindow.h"
#include "support/checks.h"
#include "support/scripteddb.h"

#include <QStringList>

#include <memory>

namespace qv::test {

// A run's window for tests: the SQL text, the settings, two scripted connections ("Q" runs the
// statement, "S" reads statistics) sharing one script, and a record of everything shown.
class TestRunWindow : public RunWindow {
  public:
    // `shared`: a script another window's connections use too, as two windows use one server.
    explicit TestRunWindow(std::shared_ptr<Script> shared = std::make_shared<Script>())
        : script(std::move(shared)) {
        options.set(&Settings::maxDisplayRows, 1000);
    }

    std::shared_ptr<Script> script = std::make_shared<Script>();
    ScriptedDatabase query{QStringLiteral("Q"), script};
    ScriptedDatabase stats{QStringLiteral("S"), script};
    SharedSettings options{Settings{}};
    QString sql;

    // Current texts of the three lines and the count label.
    QString planLine, resultLine, statsLine, count;
    QStringList lines() const { return {planLine, resultLine, statsLine, count}; }
    // Which grids are visible, as "E", "D" and "S" for plan, data and statistics.
    QString visibleGrids() const {
        return QString::fromLatin1(plan.visible() ? "E" : "") + (data.visible() ? "D" : "") +
               (statistics.visible() ? "S" : "");
    }
    // Every text set, in order, as "E:", "Q:", "S:" or "C:" followed by the text.
    QStringList shown;
    // Answers to the questions asked, in turn; Cancel when they run out.
    QList<Answer> answers;
    QStringList questions, messages, notes, ring;

    GridModel plan, data, statistics;

    QString sqlText() const override { return sql; }
    BindList binds() const override { return values; }
    BindList values;  // of the statement's bind variables
    void setPlanMessage(const QString& text) override { show(planLine, 'E', text); }
    void setResultMessage(const QString& text) override { show(resultLine, 'Q', text); }
    void setStatsMessage(const QString& text) override { show(statsLine, 'S', text); }
    void setCountLabel(const QString& text) override { show(count, 'C', text); }
    GridModel& planGrid() override { return plan; }
    GridModel& resultGrid() override { return data; }
    GridModel& statsGrid() override { return statistics; }
    Answer ask(const QString& text) override {
        questions.append(text);
        return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
    }
    void showMessage(const QString& text) override { messages.append(text); }
    void showNote(const QString& text) override { notes.append(text); }
    QString& sessionStatisticsLevel() override { return statisticsLevel; }
    QString statisticsLevel;
    SessionTransaction& transaction() override { return sessionTransaction; }
    SessionTransaction sessionTransaction;
    SessionMemory& sessionMemory() override { return memory; }
    SessionMemory memory;
    int blankWidthTwips(int n) const override { return n * 90; }
    const SharedSettings& settings() const override { return options; }
    Database& queryDatabase() override { return query; }
    Database& statsDatabase() override { return stats; }
    QString userName() const override { return QStringLiteral("scott"); }
    QString serviceName() const override { return QStringLiteral("ORCL"); }
    void addToRing(const QString& s) override { ring.append(s); }
    RunControl& control() override { return runControl; }
    RunControl runControl;
    PlanStepLock* planStepLock() override { return planLock; }
    PlanStepLock* planLock = nullptr;  // the program's, when the test has several windows

    // Answers the session-id query with `sid` and every statistics reading with the given
    // readings in turn (each a list of {number, name, value}).
    void scriptSession(const QString& sid, const QList<QList<QVariantList>>& readings);

  private:
    void show(QString& line, char tag, const QString& text) {
        line = text;
        shown.append(QString(QLatin1Char(tag)) + QLatin1Char(':') + text);
    }
};

// Statistic rows ({number, name, value} each) as the server returns them for the statistics
// query.
Reply statRows(const QList<QVariantList>& rows);
// A result of one column N holding 1, 2, ... n.
Reply numberRows(int n);
// The plan query's answer: rows, each depth, operation, options, owner, name, type,
// cardinality, cost, bytes, optimizer (left out at the end: null); the id of each row is its
// position.
Reply planRows(const QList<QVariantList>& steps);

// A carried-out run of `sql` whose statistics step gave `changes` ({number, name, change}
// each) and whose plan step gave `plan` ({depth, operation, cardinality} each); an empty list
// stands for a step that was not done.
RunRecord runRecord(const QString& sql, const QList<QVariantList>& changes,
                    const QList<QVariantList>& plan);

}  // namespace qv::test
