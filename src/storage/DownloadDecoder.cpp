#include "DownloadDecoder.h"

#include "Databases.h"
#include "platform/CrashPoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kIdWidth = 14;

bool IsTerminator(char c) {
    return c == '\r' || c == '\n';
}

int TwoCharInt(const char* p) {
    return std::atoi(std::string(p, 2).c_str());
}

// Leading blanks skipped, then digits up to the first non-digit.
int LeadingNumber(const char* p, size_t n) {
    size_t i = 0;
    while (i < n && std::isspace(static_cast<unsigned char>(p[i])))
        ++i;
    int v = 0;
    while (i < n && p[i] >= '0' && p[i] <= '9')
        v = v * 10 + (p[i++] - '0');
    return v;
}

// The dump is a convenience for service staff: the download goes on without it. A dump that
// could not be written whole returns why (empty when it was, or when the file is kept
// read-only on purpose).
std::string WriteDump(const std::string& text, const QString& baseFolder) {
    const QString path = QDir(baseFolder).filePath(QString::fromLatin1(kDumpFile));
    const QFileInfo info(path);
    if (info.exists() && !info.isWritable())
        return {};
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    const size_t end = text.find_first_of("SZ");
    const size_t len = end == std::string::npos ? text.size() : end;
    if (f.write(text.data(), static_cast<qint64>(len)) == static_cast<qint64>(len) && f.flush())
        return {};
    return f.errorString().toLocal8Bit().toStdString();
}

constexpr const char* kDownSchema = "down";

std::string DownloadTableName() {
    return QuoteIdentifier(kDownSchema) + "." + QuoteIdentifier(kDownloadTableName);
}

// Empties DownLoadData on its own (a rejected block leaves the download list empty). One
// statement: it happens whole or not at all.
void EmptyDownloadTable(CResultTable& down) {
    auto lock = down.Lock();
    if (!down.IsOpen())
        return;
    down.SetFilter("");
    down.DeleteWhere();
    ResetDefault(down);
}

// The download database on the main connection, so that one transaction covers both files.
// A file that went missing since the start is made anew first: it only holds the last list.
bool AttachDownloadDatabase(CResultDatabases& db) {
    if (!QFileInfo::exists(db.DownloadDbPath) || !db.DownloadTable.IsOpen()) {
        db.DownloadTable.Close();
        db.DownloadTable.SetTableName(kDownloadTableName);
        db.DownloadTable.OpenOrCreate(QFile::encodeName(db.DownloadDbPath).constData());
    }
    return db.ResultTable.Attach(QFile::encodeName(db.DownloadDbPath).constData(), kDownSchema);
}

bool StoreRecord(CResultTable& table, const DecodedRecord& r, bool mainTable) {
    table.AddNew(); // the new row starts cleared: P_AGE 0, P_DIAGNOSE 0, texts empty
    HbA1cRecord& v = table.Record;
    v.DATE = r.DATE.c_str();
    v.TIME = r.TIME.c_str();
    v.HbA1c_VALUE = r.HbA1c_VALUE.c_str();
    v.PID = r.PID.c_str();
    v.OPID = r.OPID.c_str();
    v.EQ_TYPE = r.EQ_TYPE.c_str();
    v.DATE_YEAR = r.DATE_YEAR;
    v.DATE_MONTH = r.DATE_MONTH;
    v.DATE_DAY = r.DATE_DAY;
    v.TIME_HOUR = r.TIME_HOUR;
    v.TIME_MIN = r.TIME_MIN;
    if (mainTable) {
        v.p_NAME = "";
        v.p_DOB = "19000101"; // placeholder for a birth date nobody entered yet
        v.P_DIAGNOSE = 0;
        v.P_MEMO = "";
    }
    if (!mainTable)
        return table.InsertInto(DownloadTableName());
    if (!table.Update())
        return false;
    IResultJournal* journal = table.Journal();
    if (!journal)
        return true;
    const ResultImage image{r.DATE,    r.TIME, r.HbA1c_VALUE, r.PID, r.OPID,
                            r.EQ_TYPE, "",     "19000101",    ""};
    return journal->ResultChanged(table, nullptr, &image);
}

// Each record the main table does not hold yet, into both tables (inside the store's
// transaction). The number added, or -1 when an insert failed.
int StoreNewRecords(const DownloadBlock& block, const std::string& text, int count,
                    CResultTable& main, IDownloadNotifier& notify) {
    int added = 0;
    for (int i = 0; i < count; ++i) {
        notify.ShowStatus(kStoringText);
        const DecodedRecord r =
            DecodeRecord(text.data() + static_cast<size_t>(i) * kReplyRecordLength,
                         block.HandshakeReplyU, block.PidDigit, block.OpidDigit);
        // Rows stored earlier in this run count too: a block that repeats a record stores it
        // once. A result the staff corrected or deleted stays as they left it.
        if (main.HoldsResult(r.DATE.c_str(), r.TIME.c_str(), r.HbA1c_VALUE.c_str(), r.PID.c_str(),
                             r.OPID.c_str()) ||
            main.WasReplaced(r.DATE.c_str(), r.TIME.c_str(), r.HbA1c_VALUE.c_str(), r.PID.c_str(),
                             r.OPID.c_str()))
            continue;
        if (!StoreRecord(main, r, true) || !StoreRecord(main, r, false))
            return -1;
        ++added;
    }
    return added;
}

// The store pass: the download list reset and every new record added to both tables, in one
// transaction over both files. Any failure rolls it all back: then neither table has changed
// and the result is -1, with the reason in `why`.
int StoreBlock(const DownloadBlock& block, const std::string& text, int count, CResultDatabases& db,
               IDownloadNotifier& notify, std::string& why) {
    CResultTable& main = db.ResultTable;
    auto mainLock = main.Lock();
    auto downLock = db.DownloadTable.Lock();
    int stored = -1;
    int failure = 0;
    std::string detail;
    const auto fail = [&]() {
        failure = main.LastErrorCode();
        detail = main.LastError();
    };
    if (!db.DatabaseReady || !main.IsOpen()) {
        why = "the result database is not open";
        return -1;
    }
    if (!AttachDownloadDatabase(db)) {
        fail();
    } else {
        {
            // BEGIN IMMEDIATE takes the write lock of both files now: a database held by another
            // program costs one bounded wait per block, not one per record.
            CDbTransaction tx(main);
            bool ok = tx.IsActive();
            if (ok)
                ok = main.EnsureDuplicateIndex() &&
                     main.Execute(main.CreateTableSql(DownloadTableName(), true).c_str()) &&
                     main.Execute(("DELETE FROM " + DownloadTableName()).c_str());
            const int added = ok ? StoreNewRecords(block, text, count, main, notify) : -1;
            ok = added >= 0;
            if (ok)
                CrashPoint("store-before-commit");
            if (ok && tx.Commit()) {
                stored = added;
                CrashPoint("store-after-commit");
            } else {
                fail();
            }
        } // rolled back here unless committed
        main.Detach(kDownSchema);
    }
    if (stored < 0) {
        why = PlainReason(failure);
        if (!detail.empty())
            why += " (" + detail + ")";
    }
    // The views read what they show through searches of their own when told of the store.
    ResetDefault(main);
    if (!db.DownloadTable.IsOpen()) {
        db.DownloadTable.SetTableName(kDownloadTableName);
        db.DownloadTable.Open(QFile::encodeName(db.DownloadDbPath).constData());
    }
    ResetDefault(db.DownloadTable);
    return stored;
}

} // namespace

bool RecordTerminatorOk(const std::string& text, int i) {
    const size_t at = static_cast<size_t>(i) * kReplyRecordLength + 41;
    const char a = at < text.size() ? text[at] : '\0';
    const char b = at + 1 < text.size() ? text[at + 1] : '\0';
    return IsTerminator(a) && IsTerminator(b);
}

std::string TrimId(const std::string& id14, bool handshakeReplyU, int digit) {
    std::string id = id14.substr(0, id14.find('\0'));
    std::string zeros(kIdWidth, '0');
    if (handshakeReplyU) {
        const size_t p = id.find(' ');
        if (p != std::string::npos && p > 0)
            id.resize(p + 1); // the ID and the one blank after it
    } else {
        // Settings outside 0-13 (a hand-edited file) keep 1 to 14 characters.
        const size_t keep = static_cast<size_t>(digit < 0           ? 1
                                                : digit >= kIdWidth ? kIdWidth
                                                                    : digit + 1);
        if (id.size() > keep)
            id.resize(keep);
        zeros.resize(keep);
    }
    if (id == zeros)
        for (char& c : id)
            c = ' ';
    return id;
}

DecodedRecord DecodeRecord(const char* rec, bool handshakeReplyU, int pidDigit, int opidDigit) {
    DecodedRecord r;
    r.DATE = "20" + std::string(rec, 6);
    r.DATE_YEAR = std::atoi(("20" + std::string(rec, 2)).c_str());
    r.DATE_MONTH = TwoCharInt(rec + 2);
    r.DATE_DAY = TwoCharInt(rec + 4);
    r.TIME = std::string(rec + 6, 4);
    r.TIME_HOUR = TwoCharInt(rec + 6);
    r.TIME_MIN = TwoCharInt(rec + 8);

    char result[3] = {rec[10], rec[11], rec[12]};
    r.EQ_TYPE = " ";
    if (static_cast<unsigned char>(result[0]) >= 0x80) {
        result[0] = static_cast<char>(static_cast<unsigned char>(result[0]) & 0x7f);
        r.EQ_TYPE = kTiltedText;
    }
    r.HbA1c_VALUE = std::to_string(LeadingNumber(result, 3));
    if (r.HbA1c_VALUE.size() < 3)
        r.HbA1c_VALUE.insert(0, 3 - r.HbA1c_VALUE.size(), '0');

    r.PID = TrimId(std::string(rec + 13, kIdWidth), handshakeReplyU, pidDigit);
    r.OPID = TrimId(std::string(rec + 27, kIdWidth), handshakeReplyU, opidDigit);
    return r;
}

int ProcessDownloadBlock(const DownloadBlock& block, CResultDatabases& db,
                         const DecoderFolders& folders, IDownloadNotifier& notify) {
    if (!folders.dataFolder.isEmpty() && !QFileInfo(folders.dataFolder).isDir())
        QDir().mkpath(folders.dataFolder);

    // The block is text: it ends at a NUL, and what follows reads as zeros, so the record that
    // holds the NUL fails its terminator check.
    const std::string text = block.BlockText.substr(0, block.BlockText.find('\0'));
    const std::string dumpError = WriteDump(text, folders.baseFolder);
    const auto tellDump = [&](bool stored) {
        if (!dumpError.empty())
            notify.DumpIncomplete(DumpFailureText(dumpError, stored));
    };

    const int count = block.BlockRecordCount < 0 ? 0 : block.BlockRecordCount;
    for (int i = 0; i < count; ++i) {
        notify.ShowStatus(kCheckingText);
        notify.ReportProgress(static_cast<int>(static_cast<double>(i) * 100.0 / count));
        if (!RecordTerminatorOk(text, i)) {
            EmptyDownloadTable(db.DownloadTable);
            notify.HideProgress();
            notify.BlockRejected(block.AutoMode);
            return kBlockRejected;
        }
    }

    notify.BlockAccepted();

    std::string why;
    const int stored = StoreBlock(block, text, count, db, notify, why);
    if (stored < 0) {
        // Nothing of the block is stored, and the lists still show what they showed: the frame
        // gets no completion code, so nobody reads of new results that are not there.
        notify.ShowStatus(kStoreFailStatus);
        notify.StoreFailed(why, block.AutoMode);
        tellDump(false);
        return kStoreFailed;
    }

    notify.ShowStatus(kCompleteText);
    notify.RowsStored(stored, block.AutoMode);
    tellDump(true);
    return stored;
}

std::string DumpFailureText(const std::string& why, bool stored) {
    return std::string("The copy of the received data (") + kDumpFile +
           ") could not be written whole: " + why + "." +
           (stored ? "\r\nThe results themselves are stored safely." : "");
}

std::string StoreFailureText(const std::string& why) {
    return std::string(kStoreFailText) + why +
           ".\r\nNothing was changed: the analyzer still holds these results. Download again "
           "later to fetch them (results stored before are never stored twice).";
}
