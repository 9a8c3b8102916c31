#pragma once
// trevanix-cli export --fhir FILE [list options]: the rows `list` prints for the same options,
// written as a FHIR R4 transaction Bundle (report/FhirBundle.h), the patients' identifier
// system taken from id_authority in lab_info.ini. Exit status as export --csv: 0 written, 1 the
// databases, the audit trail or lab_info.ini cannot be read or the file could not be written
// (the reason is printed, an existing file stays as it was), 2 wrong arguments or a refused
// date range, 3 another copy of the program is running.

// True when the export command asks for --fhir.
bool IsFhirExport(int argc, char** argv);
// usage prints the command line's usage and returns its exit status.
int FhirExportMain(int argc, char** argv, int (*usage)());
