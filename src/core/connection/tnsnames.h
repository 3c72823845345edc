#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace qv {

// The Oracle client's networking directory on Windows, from the registry value "NET80" under
// HKEY_LOCAL_MACHINE\SOFTWARE\ORACLE; empty elsewhere and when none is known.
QString oracleNetDirectory();

// The TNSNAMES.ORA an Oracle client would read, or empty when there is none: the one in
// TNS_ADMIN, else in $ORACLE_HOME/network/admin, else in the platform's own places (on Windows
// <NET80>\admin, elsewhere /etc and /var/opt/oracle). The file name is matched without regard
// to case.
QString findTnsnamesFile();

// The net service names a TNSNAMES.ORA text defines, as an Oracle client resolves them, in
// file order, each once: every alias of every entry at the top level (`NAME[, NAME...] =`
// outside parentheses), written as it stands, domain included. Comments run from # to the end
// of the line; any line ends (LF, CR LF, CR) will do. A line that begins in the first column
// with a name starts a new entry even when the one before left a parenthesis open. For each
// `IFILE = path`, `include` gives the names of that file, which take its place in the list.
QStringList parseServiceNames(const QString& text,
                              const std::function<QStringList(const QString&)>& include = {});

// What one reading of a TNSNAMES.ORA gave: its names, and the files read, each once, in the
// order they were opened.
struct ServiceNameRead {
    QStringList names;
    QStringList files;
};

// The names of the file at `path` (parseServiceNames), with IFILE files followed (relative to
// the file that names them), and, when the sqlnet.ora beside `path` sets NAMES.DEFAULT_DOMAIN,
// that domain left off the names that end in it, as a user types them. Empty when the file
// cannot be read. Whatever the files are, the reading ends soon: each file is read at most once
// (files that include each other, in a cycle or twice over, cost one reading each), only
// regular files are opened (never a FIFO or a device, which could block), at most
// `kMaxTnsFiles` files and `maxBytes` bytes in all are read, and text is decoded as UTF-8 with
// bad bytes replaced. It touches no widget, so it can run on any thread.
ServiceNameRead readServiceNames(const QString& path, qint64 maxBytes = 64 * 1024 * 1024);
QStringList loadServiceNamesFromFile(const QString& path, qint64 maxBytes = 64 * 1024 * 1024);

inline constexpr int kMaxTnsFiles = 1000;

}  // namespace qv
