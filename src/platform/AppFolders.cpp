#include "AppFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace AppFolders {

QString DefaultBaseFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("c:/Trevanix");
#else
    const QByteArray env = qgetenv("TREVANIX_HOME");
    if (!env.isEmpty())
        return QDir::cleanPath(QFile::decodeName(env));
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/Trevanix"));
#endif
}

QString MakeBaseFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    QDir dir(clean);
    if (!dir.exists()) {
        const QString parent = QFileInfo(clean).absolutePath();
        QDir().mkpath(parent);
        if (QDir().mkdir(clean))
            QFile::setPermissions(clean, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
    }
    return clean;
}

QString MakeDataFolder(const QString& startDir) {
    const QString clean = QDir::cleanPath(startDir);
    const QString last = QFileInfo(clean).fileName();
    QString folder = clean;
    if (last.compare(QStringLiteral("DATA"), Qt::CaseInsensitive) != 0)
        folder = clean + (clean.endsWith(QLatin1Char('/')) ? "" : "/") + QStringLiteral("DATA");
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
    return folder;
}

} // namespace AppFolders
