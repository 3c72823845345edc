#pragma once

#include "support/scripteddb.h"
#include "tuning/runwindow.h"

#include <QStringList>

#include <memory>

namespace qv::test {

// A run's window for tests: the SQL text, the settings, two scripted connections ("Q" runs the
// statement, "S" reads statistics) sharing one script, and a record of everything shown.
class TestRunWindow : public RunWindow {
  public:
    TestRunWindow();

    std::shared_ptr<Script> script = std::make_shared<Script>();
    ScriptedDatabase query{QStringLiteral("Q"), script};
    ScriptedDatabase stats{QStringLiteral("S"), script};
    clsPublicVar options;
    QString sql;
    QString user = QStringLiteral("scott");
    QString service = QStringLiteral("ORCL");

    // Current texts of the three lines and the count label.
    QString eLine, qLine, sLine, count;
    QStringList lines() const { return {eLine, qLine, sLine, count}; }
    // Which grids are visible, as "E", "D" and "S" for plan, data and statistics.
    QString visibleGrids() const {
        return QString::fromLatin1(explan.visible() ? "E" : "") + (data.visible() ? "D" : "") +
               (statGrid.visible() ? "S" : "");
    }
    // Every text set, in order, as "E:", "Q:", "S:" or "C:" followed by the text.
    QStringList shown;
    QList<Answer> answers;
    QStringList questions;
    QStringList messages;
    QStringList ring;
    int twipsPerBlank = 90;

    GridModel explan, data, statGrid;
    ResultState result;

    QString sqlText() const override { return sql; }
    void setEMessage(const QString& mes) override { show(eLine, 'E', mes); }
    void setQMessage(const QString& mes) override { show(qLine, 'Q', mes); }
    void setSMessage(const QString& mes) override { show(sLine, 'S', mes); }
    void setCountLabel(const QString& text) override { show(count, 'C', text); }
    GridModel& grdExplan() override { return explan; }
    GridModel& grdData() override { return data; }
    GridModel& grdStats() override { return statGrid; }
    ResultState& resultState() override { return result; }
    Answer ask(const QString& text) override;
    void showMessage(const QString& text) override { messages.append(text); }
    int blankWidthTwips(int n) const override { return n * twipsPerBlank; }
    clsPublicVar& settings() override { return options; }
    Database& dbQuery() override { return query; }
    Database& dbStats() override { return stats; }
    QString oraUser() const override { return user; }
    QString oraDBQ() const override { return service; }
    void addToRing(const QString& s) override { ring.append(s); }

    // Answers the session-id query with `sid` and every statistics reading with the given
    // readings in turn (each a list of {number, name, value}).
    void scriptSession(const QString& sid, const QList<QList<QVariantList>>& readings);

  private:
    void show(QString& line, char tag, const QString& text) {
        line = text;
        shown.append(QString(QLatin1Char(tag)) + QLatin1Char(':') + text);
    }
};

// Statistic rows as the server returns them for the statistics query.
Reply statRows(const QList<QVariantList>& rows);

}  // namespace qv::test
