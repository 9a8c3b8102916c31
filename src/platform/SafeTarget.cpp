#include "SafeTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <string>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
#ifdef S_ISFIFO
    if (S_ISFIFO(mode))
        return "a named pipe (FIFO)";
#endif
#ifdef S_ISSOCK
    if (S_ISSOCK(mode))
        return "a socket";
#endif
    return "not a regular file";
}
#endif

QString Refused(const QString& what) {
    return QStringLiteral("not a regular file (%1); nothing was written to it").arg(what);
}

} // namespace

WriteTarget CheckWriteTarget(const QString& path) {
    WriteTarget t;
#ifndef Q_OS_UNIX
    const QFileInfo info(path);
    const QFileInfo end(info.isSymLink() ? info.canonicalFilePath() : path);
    t.ok = (!info.exists() && !info.isSymLink()) || (end.exists() && end.isFile());
    t.path = info.isSymLink() ? end.filePath() : path;
    if (!t.ok)
        t.reason = Refused(QStringLiteral("a folder, a device or a link that leads to no file"));
    return t;
#else
    const QByteArray native = QFile::encodeName(path);
    struct stat own {};
    if (::lstat(native.constData(), &own) != 0) {
        // A new path (or a folder that is missing: the write itself says so).
        t.ok = true;
        t.path = path;
        return t;
    }
    if (S_ISREG(own.st_mode)) {
        t.ok = true;
        t.path = path;
        return t;
    }
#ifdef S_ISLNK
    if (S_ISLNK(own.st_mode)) {
        // Written through to the regular file at the end of the links, never instead of it.
        const QString target = QFileInfo(path).canonicalFilePath();
        struct stat end {};
        if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &end) != 0) {
            t.reason = Refused(QStringLiteral("a symbolic link that leads to no file"));
            return t;
        }
        if (!S_ISREG(end.st_mode)) {
            t.reason = Refused(QStringLiteral("a symbolic link to %1 (%2)")
                                   .arg(QString::fromLatin1(KindOf(end.st_mode)),
                                        QDir::toNativeSeparators(target)));
            return t;
        }
        t.ok = true;
        t.path = target;
        return t;
    }
#endif
    t.reason = Refused(QString::fromLatin1(KindOf(own.st_mode)));
    return t;
#endif
}

QString PlainErrnoReason(int e) {
    switch (e) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("no space left on the disk");
#ifdef EFBIG
    case EFBIG:
        return QStringLiteral("the file would be larger than the system allows");
#endif
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied: the folder or the file may not be written");
    default:
        return QString();
    }
}

QString WriteFailureReason(const QString& path, int errnoValue, const QString& deviceText) {
    QString plain = PlainErrnoReason(errnoValue);
#ifdef Q_OS_UNIX
    if (plain.isEmpty()) {
        // The errno of a failure Qt reports late (at the close or the rename) may be gone: the
        // folder tells most reasons as well.
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        struct statvfs fs {};
        if (::statvfs(folder.constData(), &fs) == 0) {
            if (fs.f_flag & ST_RDONLY)
                plain = PlainErrnoReason(EROFS);
            else if (fs.f_bavail == 0)
                plain = PlainErrnoReason(ENOSPC);
            else if (::access(folder.constData(), W_OK) != 0)
                plain = PlainErrnoReason(EACCES);
        }
    }
#endif
    if (plain.isEmpty())
        return deviceText.isEmpty() ? QStringLiteral("unknown error") : deviceText;
    if (deviceText.isEmpty() ||
        deviceText.compare(QStringLiteral("Unknown error"), Qt::CaseInsensitive) == 0)
        return plain;
    return plain + QStringLiteral(" (") + deviceText + QStringLiteral(")");
}

std::string FileWriteFailedText(const QString& path, const QString& reason) {
    return "The file could not be written:\r\n" +
           QDir::toNativeSeparators(path).toLocal8Bit().toStdString() + "\r\n" +
           reason.toLocal8Bit().toStdString();
}

bool WriteFileSafely(const QString& path, const std::function<bool(QIODevice&)>& write,
                     QString* reason) {
    const WriteTarget target = CheckWriteTarget(path);
    if (!target.ok) {
        if (reason)
            *reason = target.reason;
        return false;
    }
    QSaveFile file(target.path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly) || !write(file)) {
        const int error = errno;
        if (reason)
            *reason = WriteFailureReason(target.path, error, file.errorString());
        file.cancelWriting();
        return false;
    }
    errno = 0;
    if (!file.commit()) {
        const int error = errno;
        if (reason)
            *reason = WriteFailureReason(target.path, error, file.errorString());
        return false;
    }
    return true;
}
