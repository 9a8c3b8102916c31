#pragma once
// Where an export or a printout may write, and why a write failed, in plain words. The CSV
// exports and the PDF printouts of the window and of trevanix-cli all ask here.

#include <QString>

#include <functional>

class QIODevice;

// A target is a new path, or a regular file, also through symbolic links: then the regular file
// the links end at is written (the links stay). Anything else is refused: a device, a FIFO, a
// socket, a folder, a link that leads to one of those or to nothing. So a write never replaces
// a device node (or whatever else a link points to) with a file.
struct WriteTarget {
    bool ok = false;
    QString path;   // the file to write when ok
    QString reason; // why not, when refused
};
WriteTarget CheckWriteTarget(const QString& path);

// Why writing `path` failed: errno of the failing call when it names a plain reason (no space
// left, read-only, permission), else what the folder shows (no free space, mounted read-only,
// not writable), else the device's own text.
QString WriteFailureReason(const QString& path, int errnoValue, const QString& deviceText);
// The plain words for an errno value, empty for one without them.
QString PlainErrnoReason(int errnoValue);

// "The file could not be written:" with the path and the reason on lines of their own.
std::string FileWriteFailedText(const QString& path, const QString& reason);

// Writes `path` whole or not at all: the target checked as above, the bytes written by `write`
// into a temporary copy (QSaveFile) that replaces the file only when every write and the commit
// succeeded. False with the reason in plain words otherwise; the old file stays as it was.
bool WriteFileSafely(const QString& path, const std::function<bool(QIODevice&)>& write,
                     QString* reason);
