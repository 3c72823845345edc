#pragma once

#include "core/db/database.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace qv {

// What one piece of a script came to.
struct ScriptEvent {
    enum class Kind {
        Rows,      // a query's rows: `headings`, `rows` (at most the limit), `message` its count
        Feedback,  // a statement without rows: `message` as SQL*Plus says it
        Error,     // `message` is the server's error, or why a file could not be read
        Note,      // a SQL*Plus command passed over, or PROMPT's text
    };
    Kind kind = Kind::Note;
    QString file;  // the script the piece is in, as it was named
    int line = 0;  // where the piece starts in it
    QString statement;
    QStringList headings;
    std::vector<QStringList> rows;
    QString message;
};

struct ScriptSummary {
    int run = 0;      // statements run, failed ones included
    int failed = 0;   // statements and includes that failed
    int skipped = 0;  // SQL*Plus commands passed over
    bool stopped = false;
};

// "実行: 12　エラー: 1　スキップ: 3", and （中止） when stopped.
QString scriptSummaryText(const ScriptSummary& s);
// An event as lines of text: its place, then its rows (values tab-separated) or its message;
// each value and message passed through `escape` (a terminal's, for instance).
QStringList scriptEventLines(const ScriptEvent& e,
                             const std::function<QString(const QString&)>& escape = {});

// Runs a SQL script on one session as SQL*Plus would (sql::splitScript), each statement as it is
// written, without plan, statistics, statement ring or history, and goes on after an error.
// @file and START file run a file from the working folder, @@file one beside the script that
// names it (".sql" added to a name without one), nested up to 20 deep. DEFINE name = value and
// `defines` give &name its value; SET DEFINE OFF (or SET SCAN OFF) turns substitution off; a
// name without a value is asked for through `ask` when there is one, else the statement fails.
// SET LONG n sets how much of a LONG or LOB value is shown (80 characters at first, as in
// SQL*Plus). Other SQL*Plus commands are passed over with a note.
class ScriptRunner {
  public:
    using Report = std::function<void(const ScriptEvent&)>;
    using Ask = std::function<std::optional<QString>(const QString& name)>;

    ScriptRunner(Database& db, Report report, int maxRows, QHash<QString, QString> defines = {},
                 Ask ask = {});

    ScriptSummary run(const QString& path);
    // Asked from any thread: no statement starts after it (the caller cancels the one running).
    void stop() { stopped_ = true; }

  private:
    void runFile(const QString& path, const QString& shownName, int depth);
    void runText(const QString& text, const QString& name, const QString& folder, int depth);
    void runStatement(const QString& sql, const QString& name, int line);
    void command(const QString& text, const QString& name, int line);

    Database& db_;
    Report report_;
    int maxRows_;
    QHash<QString, QString> defined_;
    Ask ask_;
    bool substituting_ = true;
    int longShown_ = 80;  // characters of a LONG or LOB value shown (SQL*Plus's SET LONG)
    ScriptSummary summary_;
    std::atomic<bool> stopped_{false};
};

}  // namespace qv
