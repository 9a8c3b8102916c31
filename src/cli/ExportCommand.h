#pragma once
// trevanix-cli export --csv FILE [list options]: the rows `list` prints for the same options,
// written as the all-data list's CSV file (the bytes the window writes for that list in its
// default layout). Exit status: 0 written, 1 the databases are not open or the file could not
// be written (the reason is printed, an existing file stays as it was; only a new path or a
// regular file is written), 2 wrong arguments or a refused date range. It runs beside the
// window program (read-only, no lock).

// usage prints the command line's usage and returns its exit status.
int ExportMain(int argc, char** argv, int (*usage)());
