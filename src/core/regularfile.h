#pragma once

#include <QFile>
#include <QString>

namespace qv {

// How openRegularFile() went.
enum class RegularFileOpen {
    Opened,
    Failed,      // the file could not be opened: missing, no right to read it, ...
    NotRegular,  // a FIFO, a device, a directory, a socket: nothing a user means to read
};

// Opens `path` for reading into `file` (which must not be open) when it is a regular file. It
// never waits: the file is opened without blocking and checked on the open file, so a FIFO with
// no writer or a device, even one put in the file's place after a look at its name, blocks
// neither the open nor a read. When it fails, `reason` is the system's word for why (empty for
// NotRegular) and `file` stays closed. Elsewhere than on Unix the name is looked at first.
RegularFileOpen openRegularFile(const QString& path, QFile& file, QString& reason);

}  // namespace qv
