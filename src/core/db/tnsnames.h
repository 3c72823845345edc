#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace qv {

// The Oracle client's networking directory: on Windows the registry value "NET80" under
// HKEY_LOCAL_MACHINE\SOFTWARE\ORACLE; elsewhere the directory named by TNS_ADMIN, else
// $ORACLE_HOME/network. Empty when none is known.
QString oracleNetDirectory();

// The TNSNAMES.ORA file of the Oracle client, or empty when there is none. On Windows it is
// <net path>\admin\TNSNAMES.ORA; elsewhere TNS_ADMIN's directory, else
// $ORACLE_HOME/network/admin, with the file name matched without regard to case.
QString findTnsnamesFile();

// The net service names listed in a TNSNAMES.ORA text, in file order. An entry is listed under
// the text before ".WORLD" on the line that opens it (at depth 0), once, when a later line of
// the entry (depth not 0) contains "PROTOCOL = ". Lines starting with "#" are skipped entirely.
QStringList parseServiceNames(const QString& text);

// parseServiceNames of the file at `path`; empty when it cannot be read. Any file, however
// large or malformed, is read without hanging: text is decoded as UTF-8 with bad bytes
// replaced, and at most `maxBytes` are read.
QStringList loadServiceNamesFromFile(const QString& path, qint64 maxBytes = 64 * 1024 * 1024);

}  // namespace qv
