#pragma once

#include <QString>

namespace qv {

// Whether `dir` lies under /usr or /opt (/usr/local/bin and /opt/<name>/bin included): a
// folder that a package manager or an installer owns. A program started from there never
// writes its tuning-history file beside itself, even as root, since removing the package
// would leave the file behind, owned by nobody; it writes into the user's data folder.
// A build or unpacked folder anywhere else is not. Both the path as given and the one it
// resolves to through symbolic links are looked at.
bool isPackageManagedFolder(const QString& dir);

}  // namespace qv
