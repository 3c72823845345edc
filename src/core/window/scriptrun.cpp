// A script run statement by statement on one session (scriptrun.h).
#include "core/window/scriptrun.h"

#include "core/db/dberror.h"
#include "core/sql/sqlscript.h"
#include "core/tuning/resultstep.h"
#include "core/tuning/statementfeedback.h"
#include "core/window/sqlfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace qv {

namespace {

// As deep as SQL*Plus nests @ files.
constexpr int kMaxNesting = 20;

QString rowCountText(int64_t n) {
    return n == 0 ? QStringLiteral("レコードが選択されませんでした。")
                  : QStringLiteral("%1行が選択されました。").arg(n);
}

}  // namespace

QString scriptSummaryText(const ScriptSummary& s) {
    return QStringLiteral("実行: %1　エラー: %2　スキップ: %3%4")
        .arg(s.run)
        .arg(s.failed)
        .arg(s.skipped)
        .arg(s.stopped ? QStringLiteral("（中止）") : QString());
}

QStringList scriptEventLines(const ScriptEvent& e,
                             const std::function<QString(const QString&)>& escape) {
    auto text = [&](const QString& s) { return escape ? escape(s) : s; };
    auto row = [&](const QStringList& values) {
        QStringList shown;
        for (const QString& v : values)
            shown << text(v);
        return shown.join(u'\t');
    };
    const QString place = text(QStringLiteral("%1:%2").arg(e.file).arg(e.line));
    if (e.kind != ScriptEvent::Kind::Rows)
        return {place + QStringLiteral(": ") + text(e.message)};
    QStringList lines{place, row(e.headings)};
    for (const QStringList& values : e.rows)
        lines << row(values);
    lines << text(e.message);
    return lines;
}

ScriptRunner::ScriptRunner(Database& db, Report report, int maxRows,
                           QHash<QString, QString> defines, Ask ask)
    : db_(db),
      report_(std::move(report)),
      maxRows_(maxRows),
      defined_(std::move(defines)),
      ask_(std::move(ask)) {}

ScriptSummary ScriptRunner::run(const QString& path) {
    summary_ = {};
    runFile(path, path, 0);
    summary_.stopped = stopped_;
    return summary_;
}

void ScriptRunner::runFile(const QString& path, const QString& shownName, int depth) {
    QString error;
    const std::optional<SqlFile> file = readSqlFile(path, error);
    if (!file) {
        ++summary_.failed;
        report_({ScriptEvent::Kind::Error,
                 shownName,
                 0,
                 {},
                 {},
                 {},
                 QStringLiteral("SP2-0310: ファイル\"%1\"をオープンできません。%2")
                     .arg(shownName, error)});
        return;
    }
    runText(file->savedText, shownName, QFileInfo(path).absolutePath(), depth);
}

void ScriptRunner::runText(const QString& text, const QString& name, const QString& folder,
                           int depth) {
    for (const sql::ScriptPiece& piece : sql::splitScript(text)) {
        if (stopped_)
            return;
        switch (piece.kind) {
            case sql::ScriptPiece::Kind::Statement:
                runStatement(piece.text, name, piece.line);
                break;
            case sql::ScriptPiece::Kind::Command:
                command(piece.text, name, piece.line);
                break;
            case sql::ScriptPiece::Kind::Include: {
                QString file = piece.text;
                if (file.isEmpty())
                    break;
                if (QFileInfo(file).suffix().isEmpty())
                    file += QStringLiteral(".sql");
                const QString path =
                    QDir::isAbsolutePath(file) || !piece.nested ? file : folder + u'/' + file;
                if (depth + 1 >= kMaxNesting) {
                    ++summary_.failed;
                    report_({ScriptEvent::Kind::Error,
                             name,
                             piece.line,
                             piece.text,
                             {},
                             {},
                             QStringLiteral("SP2-0309: SQL*Plusのコマンド・プロシージャは%1レベル"
                                            "までしかネストできません。")
                                 .arg(kMaxNesting)});
                    break;
                }
                runFile(path, file, depth + 1);
                break;
            }
        }
    }
}

void ScriptRunner::command(const QString& text, const QString& name, int line) {
    const QString word = sql::commandWord(text);
    const QString rest = text.trimmed().mid(text.trimmed().indexOf(u' ') + 1).trimmed();
    QString note = QStringLiteral("SQL*Plusのコマンドは実行しません: ") + text.trimmed();
    if (word == u"PRO" || word == u"PROMPT") {
        note = text.trimmed().contains(u' ') ? rest : QString();
    } else if (word == u"DEF" || word == u"DEFINE") {
        static const QRegularExpression kDefine(
            QStringLiteral(R"(^([A-Za-z][A-Za-z0-9_$#]*)\s*=\s*(.*)$)"));
        const QRegularExpressionMatch m = kDefine.match(rest);
        if (m.hasMatch()) {
            QString value = m.captured(2).trimmed();
            if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                value.back() == value.front())
                value = value.mid(1).chopped(1);
            defined_.insert(m.captured(1).toUpper(), value);
            note = QStringLiteral("DEFINE %1 = \"%2\"").arg(m.captured(1).toUpper(), value);
        }
    } else if (word == u"SET") {
        const QStringList words = rest.toUpper().split(u' ', Qt::SkipEmptyParts);
        if (words.size() >= 2 && (words[0] == u"DEFINE" || words[0] == u"DEF" ||
                                  words[0] == u"SCAN" || words[0] == u"SCA")) {
            if (words[1] == u"OFF" || words[1] == u"ON") {
                substituting_ = words[1] == u"ON";
                note = QStringLiteral("SET %1 %2").arg(words[0], words[1]);
            }
        }
        bool number = false;
        const int length = words.size() >= 2 ? words[1].toInt(&number) : 0;
        if (words.size() >= 2 && words[0] == u"LONG" && number && length > 0) {
            longShown_ = length;
            note = QStringLiteral("SET LONG %1").arg(length);
        }
    }
    ++summary_.skipped;
    report_({ScriptEvent::Kind::Note, name, line, text, {}, {}, note});
}

void ScriptRunner::runStatement(const QString& written, const QString& name, int line) {
    QString sql = written;
    if (substituting_) {
        QStringList missing;
        sql = sql::substitute(written, defined_, missing);
        for (const QString& variable : missing) {
            const std::optional<QString> value = ask_ ? ask_(variable) : std::nullopt;
            if (!value) {
                ++summary_.run;
                ++summary_.failed;
                report_({ScriptEvent::Kind::Error,
                         name,
                         line,
                         written,
                         {},
                         {},
                         QStringLiteral("置換変数 &%1 に値がありません。").arg(variable)});
                return;
            }
            defined_.insert(variable, *value);
        }
        if (!missing.isEmpty())
            sql = sql::substitute(written, defined_, missing);
    }
    ++summary_.run;
    ScriptEvent e{ScriptEvent::Kind::Feedback, name, line, sql, {}, {}, {}};
    try {
        std::unique_ptr<Recordset> rs = db_.openRecordset(sql);
        const int k = rs->fieldCount();
        if (k == 0) {
            e.message = statementFeedback(sql, db_.recordsAffected());
            rs->close();
            report_(e);
            // What a block wrote with DBMS_OUTPUT, as SQL*Plus shows it with SERVEROUTPUT on.
            for (const QString& output : db_.takeWarnings())
                report_({ScriptEvent::Kind::Note, name, line, sql, {}, {}, output});
            return;
        }
        e.kind = ScriptEvent::Kind::Rows;
        for (int i = 0; i < k; ++i)
            e.headings << rs->field(i).name;
        int64_t n = 0;
        while (!rs->eof() && !stopped_) {
            if (n >= maxRows_) {
                n += rs->skipToEnd();
                break;
            }
            QStringList row;
            for (int i = 0; i < k; ++i) {
                const FieldType type = rs->field(i).type;
                // A LONG or LOB value as SQL*Plus shows one: its first SET LONG characters.
                const QVariant value = rs->value(i);
                row << (isLongField(type) && !value.isNull()
                            ? resultCell(value, type).text.left(longShown_)
                            : resultCell(value, type).text);
            }
            e.rows.push_back(row);
            ++n;
            rs->moveNext();
        }
        rs->close();
        e.message = rowCountText(n);
        report_(e);
    } catch (const DbError& error) {
        ++summary_.failed;
        e.kind = ScriptEvent::Kind::Error;
        e.rows.clear();
        e.message = error.description();
        report_(e);
    }
}

}  // namespace qv
