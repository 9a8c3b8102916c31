#pragma once
// The two folders the program writes to.
//  - Base folder: settings, user list, result databases, raw dump. On Windows "c:\Trevanix";
//    elsewhere $TREVANIX_HOME when set, else the user's data folder (~/.local/share/Trevanix).
//    It holds patient data, so a folder created here is owner-only (0700).
//  - Data folder: the start-up directory's "DATA" folder (CSV export of the download list);
//    a start-up directory that is itself a "DATA" folder (any case) is used as it is.

#include <QString>

namespace AppFolders {

// Where the base folder should be, from the environment; nothing is created.
QString DefaultBaseFolder();

// Creates the folder and its missing parents; the folder itself is made owner-only when this
// call creates it. Returns the path without a trailing separator. Failure is not reported here:
// later file operations on the folder fail in their own places.
QString MakeBaseFolder(const QString& path);

// Computes the data folder for the given start-up directory and creates it (one level) when it
// is missing. The current directory is left as it was.
QString MakeDataFolder(const QString& startDir);

} // namespace AppFolders
