#include "core/privatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qv {

bool makePrivateFolder(const QString& path) {
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent == clean || !makePrivateFolder(parent))
        return false;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(clean);
    if (::mkdir(name.constData(), 0700) != 0)
        return QFileInfo(clean).isDir();  // made by another program meanwhile
    // The umask may have taken rights away, never given more: the mode is set as meant.
    ::chmod(name.constData(), 0700);
    return true;
#else
    return QDir().mkdir(clean) || QFileInfo(clean).isDir();
#endif
}

bool createPrivateFile(const QString& path) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    ::close(fd);
    return true;
#else
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
#endif
}

bool isPrivateFolder(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
#else
    return QFileInfo(path).isDir();
#endif
}

QString foreignFileReason(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    if (S_ISLNK(st.st_mode))
        return kSymbolicLinkReason;
    if (st.st_uid != ::geteuid())
        return QStringLiteral("他のユーザーのファイルです");
#else
    Q_UNUSED(path)
#endif
    return QString();
}

}  // namespace qv
