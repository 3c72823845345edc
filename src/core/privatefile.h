#pragma once

#include <QString>

namespace qv {

// Files and folders that hold what the user typed (statements, bind values, logins): made
// readable by the user alone, whatever the umask, and never taken over from another user.
// Elsewhere than on Unix the system's own rights apply and these say yes.

// Makes `path` and the folders above it that are missing, each one the program makes readable
// and writable by the user alone (0700); folders already there keep their rights. False when
// a folder cannot be made.
bool makePrivateFolder(const QString& path);

// Makes the file `path`, empty, readable and writable by the user alone (0600), where no file
// (nor a symbolic link) is. False when it cannot be made or something is there already.
bool createPrivateFile(const QString& path);

// Whether the folder `path` is the user's own and no one else can write to it (owned by the
// user, neither group- nor world-writable): only such a folder may hold the user's files where
// the program finds them by itself.
bool isPrivateFolder(const QString& path);

// Why the program must not write into the file at `path`, in the user's words: it is a
// symbolic link (kSymbolicLinkReason), or it belongs to another user. Empty when it may (or
// when nothing is there).
QString foreignFileReason(const QString& path);
inline const QString kSymbolicLinkReason = QStringLiteral("シンボリックリンクです");

}  // namespace qv
