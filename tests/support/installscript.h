#pragma once

// The DBA's install script of tests/data/orders_install.sql and what its closing queries list,
// for the runners that load it (the CLI, the window).
#include <QFile>
#include <QString>

namespace qv::test {

inline QString installScriptPath() {
    return QStringLiteral(QUERVIN_TEST_DATA "/orders_install.sql");
}

// What the script's closing queries printed: from its "verify" prompt to the summary, without the
// script's path before each line number.
inline QString verificationOf(QString out) {
    out.remove(installScriptPath() + u':');
    const qsizetype from = out.indexOf(QStringLiteral(": verify\n"));
    const qsizetype to = out.lastIndexOf(QStringLiteral("実行: "));
    if (from < 0 || to < from)
        return out;
    const qsizetype start = from + 9;
    return out.mid(start, to - start);
}

// Every row the script means to make, checked by hand against the script.
inline QString expectedVerification() {
    QFile f(QStringLiteral(QUERVIN_TEST_DATA "/orders_install.expected"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace qv::test
