#include "core/regularfile.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace qv {

RegularFileOpen openRegularFile(const QString& path, QFile& file, QString& reason) {
    reason.clear();
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = qt_error_string(errno);
        return RegularFileOpen::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        reason = qt_error_string(errno);
        ::close(fd);
        return RegularFileOpen::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return RegularFileOpen::NotRegular;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        reason = file.errorString();
        ::close(fd);
        return RegularFileOpen::Failed;
    }
    return RegularFileOpen::Opened;
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return RegularFileOpen::NotRegular;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return RegularFileOpen::Failed;
    }
    return RegularFileOpen::Opened;
#endif
}

}  // namespace qv
