#include "cli/FhirCommand.h"

#include "cli/CliCommon.h"
#include "lab/LabConfig.h"
#include "platform/AppFolders.h"
#include "query/ResultOrigin.h"
#include "report/FhirBundle.h"

#include <QDate>
#include <QDir>
#include <cstdio>
#include <string>
#include <vector>

bool IsFhirExport(int argc, char** argv) {
    for (int i = 2; i < argc; ++i)
        if (std::string(argv[i]) == "--fhir")
            return true;
    return false;
}

int FhirExportMain(int argc, char** argv, int (*usage)()) {
    QString path;
    ListSearch search;
    const bool parsed =
        ParseListArgs(argc, argv, search, [&path](const std::string& option, const char* value) {
            if (option != "--fhir" || !path.isEmpty() || !*value)
                return false;
            path = QString::fromLocal8Bit(value);
            return true;
        });
    if (!parsed || path.isEmpty())
        return usage();
    // The patients' identifier system comes from here: a file that cannot be used as written
    // could name every patient in the wrong system, so nothing is written until it is mended.
    LabConfig lab;
    std::string labError;
    if (!LoadLabConfig(AppFolders::DefaultBaseFolder(), lab, &labError)) {
        LinePrompt().Inform(labError + "\r\nThe FHIR file was not written.", kMessageTitle);
        return kExitFailed;
    }
    std::vector<ResultRow> rows;
    std::vector<ResultOrigin> origins;
    {
        StoredResults store;
        if (store.Status())
            return store.Status();
        std::string message;
        if (!RunListSearch(store.Db().ResultTable, search, store.Settings(), QDate::currentDate(),
                           rows, &message)) {
            store.Tell(message);
            return kExitUsage;
        }
        // Corrections are followed back through the audit trail, so that a corrected result
        // keeps the identifier it was first sent with.
        if (!ReadResultOrigins(store.Db().ResultTable, rows, origins, &message)) {
            std::fprintf(stderr, "trevanix-cli: the audit trail cannot be read: %s\n",
                         Printable(message).c_str());
            return kExitFailed;
        }
    }
    QString reason;
    if (!WriteFhirFile(path, rows, origins, lab, QDateTime::currentDateTimeUtc(), &reason)) {
        LinePrompt().Inform(
            "The file could not be written:\r\n" +
                QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(path)))
                    .toLocal8Bit()
                    .toStdString() +
                "\r\n" + reason.toLocal8Bit().toStdString(),
            kMessageTitle);
        return kExitFailed;
    }
    std::fprintf(stderr, "%zu result%s written to %s\n", rows.size(), rows.size() == 1 ? "" : "s",
                 QDir::toNativeSeparators(path).toLocal8Bit().constData());
    return 0;
}
