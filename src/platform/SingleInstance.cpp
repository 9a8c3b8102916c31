#include "SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

SingleInstanceGuard::SingleInstanceGuard(const QString& lockDir) {
    QString dir = lockDir;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    path_ = QDir(dir).filePath(QStringLiteral("HbA1cDesk.lock"));
    lock_ = std::make_unique<QLockFile>(path_);
    // The program runs for days: the lock never goes stale by age, only when its owner is gone.
    lock_->setStaleLockTime(0);
}

SingleInstanceGuard::~SingleInstanceGuard() {
    if (lock_ && lock_->isLocked())
        lock_->unlock();
}

bool SingleInstanceGuard::TryAcquire() {
    if (lock_->isLocked())
        return true;
    if (lock_->tryLock(0)) {
        alreadyRunning_ = false;
        return true;
    }
    if (lock_->error() == QLockFile::LockFailedError) {
        // tryLock has already taken over a lock whose owner process is gone; what is left is
        // held by a running copy.
        alreadyRunning_ = true;
        return false;
    }
    // The lock file cannot be written at all (folder missing or read-only): do not keep the
    // user from working for that.
    alreadyRunning_ = false;
    return true;
}
