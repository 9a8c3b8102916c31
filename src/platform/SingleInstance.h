#pragma once
// Keeps a second copy of the program from starting. Stands in for the named mutex "HbA1cDesk":
// a lock file of that name in the user's runtime folder (or the temp folder). A lock left by a
// copy that crashed is recognised from its process ID and taken over.

#include <QLockFile>
#include <QString>
#include <memory>

class SingleInstanceGuard {
public:
    // lockDir empty: the user's runtime folder, else the temp folder.
    explicit SingleInstanceGuard(const QString& lockDir = QString());
    ~SingleInstanceGuard();

    // True when this process now holds the name; false when another running copy does.
    bool TryAcquire();
    bool AlreadyRunning() const { return alreadyRunning_; }
    QString LockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool alreadyRunning_ = false;
};
