#pragma once
// trevanix-cli export --csv FILE [list options]: the rows `list` prints for the same options,
// written as the all-data list's CSV file (the bytes the window writes for that list in its
// default layout). Exit status: 0 written, 1 the databases are not open or the file could not
// be written (the reason is printed, an existing file stays as it was), 2 wrong arguments or a
// refused date range, 3 another copy of the program is running.

// usage prints the command line's usage and returns its exit status.
int ExportMain(int argc, char** argv, int (*usage)());
