#pragma once

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace qv::sql {

// One piece of a script as SQL*Plus splits it.
struct ScriptPiece {
    enum class Kind {
        Statement,  // SQL or a PL/SQL unit, to run as `text`
        Command,    // a SQL*Plus command the program does not run (SET, PROMPT, REM, SPOOL ...)
        Include,    // @file or @@file: `text` is the file as written
    };
    Kind kind = Kind::Statement;
    QString text;         // a statement without its terminator; a command's whole line(s)
    int line = 0;         // where it starts, counted from 1
    bool nested = false;  // @@: the file is found beside the script, not in the working folder
};

// Splits `script` as SQL*Plus reads it:
// - a SQL statement ends with a `;` that is the last thing on its line (blanks and comments
//   after it aside), or with a line holding only `/`;
// - a PL/SQL unit (BEGIN or DECLARE, CREATE [OR REPLACE] PROCEDURE, FUNCTION, PACKAGE [BODY],
//   TRIGGER, TYPE [BODY]) keeps its semicolons and ends at a line holding only `/`;
// - a `/` line right after a statement ended by `;` runs nothing again;
// - at a statement's start, a SQL*Plus command takes its line, and the next ones while a line
//   ends in ` -`; EXEC[UTE] call becomes BEGIN call; END; @file, @@file and START file are
//   includes. Blank lines belong to the statement they stand in.
// Semicolons and slashes inside quotes (q'[...]' too) and comments count for nothing.
std::vector<ScriptPiece> splitScript(const QString& script);

// The first word of a SQL*Plus command, upper case (SET, PROMPT ...), or empty for a piece that
// is no command.
QString commandWord(const QString& command);

// SQL*Plus's substitution in `text`: &name and &&name (an optional '.' after the name ends it)
// by `defined`'s value of NAME (upper case). Names without a value go into `missing` and are
// left as written.
QString substitute(const QString& text, const QHash<QString, QString>& defined,
                   QStringList& missing);

}  // namespace qv::sql
