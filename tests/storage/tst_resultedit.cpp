// Correcting and deleting one stored result: exactly the picked rows change, the values are
// bound, and every change leaves its audit rows in the same transaction, or nothing at all.

#include "ResultRows.h"
#include "TestSupport.h"
#include "query/ResultEdit.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

namespace {

struct Fixture {
    explicit Fixture(const std::vector<StoredRow>& rows) : db(home.path(), &prompt) {
        db.OpenDatabases();
        StoreRows(db.ResultTable, rows);
    }
    // Rows as "DATE TIME VALUE PID OPID NAME DOB DIAGNOSE MEMO EQ_TYPE", sorted.
    QStringList Rows() {
        QStringList out;
        Query("SELECT DATE,TIME,HbA1c_VALUE,PID,OPID,p_NAME,p_DOB,P_DIAGNOSE,P_MEMO,EQ_TYPE FROM "
              "HospitalTlb",
              [&out](sqlite3_stmt* st) {
                  QStringList cells;
                  for (int c = 0; c < 10; ++c)
                      cells << QString::fromUtf8(
                          reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
                  out << cells.join(QLatin1Char('|'));
              });
        out.sort();
        return out;
    }
    std::vector<AuditEntry> Trail() {
        std::vector<AuditEntry> trail;
        std::string error;
        if (!ReadAuditTrail(db.ResultTable, trail, &error))
            qWarning("audit trail: %s", error.c_str());
        return trail;
    }
    template <typename F> void Query(const char* sql, F each) {
        sqlite3_stmt* st = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db.ResultTable.Database(), sql, -1, &st, nullptr), SQLITE_OK);
        while (sqlite3_step(st) == SQLITE_ROW)
            each(st);
        sqlite3_finalize(st);
    }
    QTemporaryDir home;
    ScriptedPrompt prompt;
    CResultDatabases db;
};

ListRowKey Key(const StoredRow& r) {
    ListRowKey k;
    k.DATE = r.date;
    k.TIME = r.time;
    k.HbA1c_VALUE = r.value;
    k.PID = r.pid;
    k.OPID = r.opid;
    k.p_DOB = "19000101"; // as StoreRows leaves it
    return k;
}

const AuditStamp kStamp{"2026-12-08T09:30:12.345Z", "nurse"};
const StoredRow kPicked{"20240105", "0930", "065", "123 ", "7 "};
const StoredRow kOtherPatient{"20240105", "0930", "065", "555 ", "7 "};
const StoredRow kQuoted{"20240106", "1000", "070", "12'3 ", "O'P "};

ResultEdits Edits(const std::string& pid) {
    ResultEdits e;
    e.PID = pid;
    e.OPID = "8";
    e.p_NAME = "Kim";
    e.p_DOB = "19700203";
    e.P_DIAGNOSE = 2;
    e.P_MEMO = "line one\nline two";
    return e;
}

QJsonObject Json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

} // namespace

class TestResultEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deleteTakesIdenticalRowsAndNothingElse() {
        Fixture f({kPicked, kPicked, kOtherPatient});
        const EditOutcome out = DeleteStoredResult(f.db.ResultTable, Key(kPicked), kStamp);
        QCOMPARE(out.kind, EditOutcome::Done);
        QCOMPARE(out.rows, 2);
        QCOMPARE(f.Rows().size(), 1);
        QVERIFY(f.Rows()[0].startsWith("20240105|0930|065|555 |7 |"));
        // One audit row per stored row removed, each with the whole row before.
        const auto trail = f.Trail();
        QCOMPARE(trail.size(), size_t(2));
        for (const AuditEntry& e : trail) {
            QCOMPARE(e.action, std::string("delete"));
            QCOMPARE(e.user, std::string("nurse"));
            QCOMPARE(e.when, kStamp.when);
            QCOMPARE(e.table, std::string("HospitalTlb"));
            QVERIFY(e.after.empty());
            const QJsonObject before = Json(e.before);
            QCOMPARE(before.size(), CResultTable::kColumnCount);
            QCOMPARE(before.value("PID").toString(), QStringLiteral("123 "));
            QCOMPARE(before.value("p_DOB").toString(), QStringLiteral("19000101"));
        }
    }

    void modifyChangesOnlyThePickedPatient_data() {
        QTest::addColumn<int>("which"); // 0 the plain IDs, 1 IDs holding quotes
        QTest::newRow("plain IDs") << 0;
        QTest::newRow("quotes in the IDs") << 1;
    }
    void modifyChangesOnlyThePickedPatient() {
        QFETCH(int, which);
        const StoredRow picked = which == 0 ? kPicked : kQuoted;
        StoredRow other = picked; // same date, time and value, another patient
        other.pid = "555 ";
        Fixture f({picked, other});
        const QStringList before = f.Rows();
        const EditOutcome out =
            ModifyStoredResult(f.db.ResultTable, Key(picked), Edits("999"), kStamp);
        QCOMPARE(out.kind, EditOutcome::Done);
        QCOMPARE(out.rows, 1);
        const QStringList after = f.Rows();
        const QString otherRow =
            QString::fromStdString(other.date + "|" + other.time + "|" + other.value + "|555 |");
        QVERIFY(std::any_of(after.begin(), after.end(),
                            [&](const QString& r) { return r.startsWith(otherRow); }));
        QVERIFY(after.contains(
            QString::fromStdString(picked.date + "|" + picked.time + "|" + picked.value) +
            "|999|8|Kim|19700203|2|line one\nline two| "));
        for (const QString& r : before)
            if (r.startsWith(otherRow))
                QVERIFY(after.contains(r)); // the other patient's row is untouched

        const auto trail = f.Trail();
        QCOMPARE(trail.size(), size_t(1));
        const QJsonObject b = Json(trail[0].before), a = Json(trail[0].after);
        QCOMPARE(trail[0].action, std::string("modify"));
        QCOMPARE(b.value("PID").toString(), QString::fromStdString(picked.pid));
        QCOMPARE(a.value("PID").toString(), QStringLiteral("999"));
        QCOMPARE(a.value("P_MEMO").toString(), QStringLiteral("line one\nline two"));
        QCOMPARE(a.value("P_DIAGNOSE").toInt(), 2);
        // Columns the correction does not name keep their stored values.
        for (const char* kept : {"DATE", "TIME", "HbA1c_VALUE", "EQ_TYPE", "P_AGE", "DATE_YEAR"})
            QCOMPARE(a.value(kept), b.value(kept));
    }

    void aChangeThatDoesNotHappenLeavesNoAuditRow_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("kind");
        QTest::newRow("no such result") << "gone" << int(EditOutcome::NotFound);
        QTest::newRow("read-only file") << "readonly" << int(EditOutcome::Failed);
        QTest::newRow("held by another program") << "held" << int(EditOutcome::Failed);
        QTest::newRow("audit table that cannot take the row")
            << "audit" << int(EditOutcome::AuditFailed);
    }
    void aChangeThatDoesNotHappenLeavesNoAuditRow() {
        QFETCH(QString, fault);
        QFETCH(int, kind);
        for (const bool deleting : {true, false}) {
            Fixture f({kPicked});
            const QStringList before = f.Rows();
            ListRowKey key = Key(kPicked);
            sqlite3* other = nullptr;
            if (fault == "gone")
                key.PID = "124 ";
            if (fault == "audit") // made by another tool, without the columns the program writes
                QVERIFY(f.db.ResultTable.Execute("CREATE TABLE AuditTrail (note TEXT)"));
            if (fault == "readonly")
                QVERIFY(f.db.ResultTable.Execute("PRAGMA query_only=1"));
            if (fault == "held") {
                f.db.ResultTable.SetBusyTimeout(200);
                QCOMPARE(sqlite3_open(f.db.ResultTable.Path().c_str(), &other), SQLITE_OK);
                QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr),
                         SQLITE_OK);
            }
            const EditOutcome out =
                deleting ? DeleteStoredResult(f.db.ResultTable, key, kStamp)
                         : ModifyStoredResult(f.db.ResultTable, key, Edits("999"), kStamp);
            f.db.ResultTable.Execute("PRAGMA query_only=0");
            if (other) {
                sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
                sqlite3_close(other);
            }
            QCOMPARE(int(out.kind), kind);
            QCOMPARE(f.Rows(), before);
            if (fault == "audit") {
                int notes = -1;
                f.Query("SELECT count(*) FROM AuditTrail",
                        [&notes](sqlite3_stmt* st) { notes = sqlite3_column_int(st, 0); });
                QCOMPARE(notes, 0);
            } else {
                QVERIFY(f.Trail().empty());
            }
            const std::string text = EditFailureText(out, deleting);
            QVERIFY(!text.empty());
            if (kind != int(EditOutcome::NotFound))
                QVERIFY2(text.find("Nothing was changed") != std::string::npos, text.c_str());
            if (fault == "readonly")
                QVERIFY2(text.find("read-only") != std::string::npos, text.c_str());
            if (fault == "held")
                QVERIFY2(text.find("in use by another program") != std::string::npos, text.c_str());
        }
    }

    // Of rows that share the five values, exactly those identical in every column to the picked
    // one change; IDs that hold a NUL byte or were stored as a blob are found as listed.
    void changesExactlyTheRowsIdenticalToThePickedOne_data() {
        QTest::addColumn<QStringList>("rows"); // PID, OPID and P_MEMO as SQL expressions
        QTest::addColumn<int>("picked");       // index among the rows, in insertion order
        QTest::addColumn<int>("changed");
        QTest::newRow("memos differ") << QStringList{"'1','7','a'", "'1','7','b'"} << 0 << 1;
        QTest::newRow("memos differ, second picked")
            << QStringList{"'1','7','a'", "'1','7','b'"} << 1 << 1;
        QTest::newRow("identical duplicates go together")
            << QStringList{"'1','7','a'", "'1','7','a'", "'1','7','b'"} << 1 << 2;
        QTest::newRow("PID holding a NUL byte")
            << QStringList{"'12'||char(0)||'3','7',''", "'12','7',''"} << 0 << 1;
        QTest::newRow("PID stored as a blob") << QStringList{"x'313233','7',''"} << 0 << 1;
        QTest::newRow("OPID NULL") << QStringList{"'1',NULL,''"} << 0 << 1;
    }
    void changesExactlyTheRowsIdenticalToThePickedOne() {
        QFETCH(QStringList, rows);
        QFETCH(int, picked);
        QFETCH(int, changed);
        for (const bool deleting : {true, false}) {
            Fixture f({});
            for (const QString& r : rows)
                QVERIFY(f.db.ResultTable.Execute(
                    ("INSERT INTO HospitalTlb (DATE,TIME,HbA1c_VALUE,PID,OPID,P_MEMO,p_DOB,"
                     "P_DIAGNOSE) VALUES ('20240105','0930','065'," +
                     r.toStdString() + ",'19000101',0)")
                        .c_str()));
            std::vector<ResultRow> listed;
            QVERIFY(ReadResultRows(f.db.ResultTable, false, listed));
            QCOMPARE(listed.size(), size_t(rows.size()));
            std::sort(listed.begin(), listed.end(), [](const ResultRow& a, const ResultRow& b) {
                return a.key.rowid < b.key.rowid;
            });
            const ListRowKey key = listed[static_cast<size_t>(picked)].key;
            const EditOutcome out =
                deleting ? DeleteStoredResult(f.db.ResultTable, key, kStamp)
                         : ModifyStoredResult(f.db.ResultTable, key, Edits("999"), kStamp);
            QCOMPARE(int(out.kind), int(EditOutcome::Done));
            QCOMPARE(out.rows, changed);
            QCOMPARE(f.Trail().size(), size_t(changed));
            int left = -1, edited = -1;
            f.Query("SELECT count(*), sum(PID='999') FROM HospitalTlb", [&](sqlite3_stmt* st) {
                left = sqlite3_column_int(st, 0);
                edited = sqlite3_column_int(st, 1);
            });
            QCOMPARE(left, deleting ? rows.size() - changed : rows.size());
            QCOMPARE(edited, deleting ? 0 : changed);
            int pickedNow = -1; // the picked row itself is the one gone or changed
            f.Query(("SELECT count(*) FROM HospitalTlb WHERE rowid=" + std::to_string(key.rowid) +
                     (deleting ? "" : " AND PID='999'"))
                        .c_str(),
                    [&](sqlite3_stmt* st) { pickedNow = sqlite3_column_int(st, 0); });
            QCOMPARE(pickedNow, deleting ? 0 : 1);
            for (const AuditEntry& e : f.Trail())
                QVERIFY2(!QJsonDocument::fromJson(QByteArray::fromStdString(e.before)).isNull(),
                         e.before.c_str());
        }
    }

    // A list that is out of date changes nothing: the picked row was corrected meanwhile.
    void aRowChangedSinceItWasListedIsNotFound() {
        Fixture f({kPicked});
        std::vector<ResultRow> listed;
        QVERIFY(ReadResultRows(f.db.ResultTable, false, listed));
        QCOMPARE(ModifyStoredResult(f.db.ResultTable, listed[0].key, Edits("5"), kStamp).kind,
                 EditOutcome::Done);
        const QStringList now = f.Rows();
        QCOMPARE(DeleteStoredResult(f.db.ResultTable, listed[0].key, kStamp).kind,
                 EditOutcome::NotFound);
        QCOMPARE(f.Rows(), now);
    }

    void trailReadsNewestFirst() {
        Fixture f({kPicked, kQuoted, kOtherPatient});
        QVERIFY(f.Trail().empty()); // no table yet
        QCOMPARE(ModifyStoredResult(f.db.ResultTable, Key(kQuoted), Edits("1"),
                                    {"2026-12-08T10:00:00.000Z", "a"})
                     .kind,
                 EditOutcome::Done);
        QCOMPARE(DeleteStoredResult(f.db.ResultTable, Key(kOtherPatient),
                                    {"2026-12-08T11:00:00.000Z", "b"})
                     .kind,
                 EditOutcome::Done);
        auto trail = f.Trail();
        QCOMPARE(trail.size(), size_t(2));
        QCOMPARE(trail[0].user, std::string("b"));
        QCOMPARE(trail[0].action, std::string("delete"));
        QCOMPARE(trail[1].user, std::string("a"));
        QVERIFY(trail[0].id > trail[1].id);
        // Once the largest ID is taken SQLite picks free ones at random: the order is the time's.
        QVERIFY(f.db.ResultTable.Execute(
            "UPDATE AuditTrail SET ID=9223372036854775807 WHERE OS_USER='a'"));
        trail = f.Trail();
        QCOMPARE(trail.size(), size_t(2));
        QCOMPARE(trail[0].user, std::string("b"));
        QCOMPARE(trail[1].user, std::string("a"));
    }

    void whatIsNotATrailTableIsRefused_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("says");
        QTest::newRow("a view") << "CREATE VIEW AuditTrail AS SELECT 1 AS ID"
                                << "is a view";
        QTest::newRow("a view, other case") << "CREATE VIEW audittrail AS SELECT 1"
                                            << "is a view";
        QTest::newRow("a table of another tool") << "CREATE TABLE AuditTrail (note TEXT)"
                                                 << "no column ID";
    }
    void whatIsNotATrailTableIsRefused() {
        QFETCH(QString, sql);
        QFETCH(QString, says);
        Fixture f({kPicked});
        QVERIFY(f.db.ResultTable.Execute(sql.toUtf8().constData()));
        std::vector<AuditEntry> trail;
        std::string error;
        QVERIFY(!ReadAuditTrail(f.db.ResultTable, trail, &error));
        QVERIFY2(error.find(says.toStdString()) != std::string::npos, error.c_str());
        QVERIFY(trail.empty());
    }

    // The analyzer can send any byte in an ID: the rows of the trail are valid JSON (valid UTF-8)
    // whatever is stored, a byte that is not part of a UTF-8 character read as its Latin-1 one.
    void trailRowsAreValidJsonForAnyStoredBytes_data() {
        QTest::addColumn<QByteArray>("pid");
        QTest::addColumn<QString>("reads");
        QTest::newRow("high bytes")
            << QByteArray("\x80\xff\xe9 ") << QString::fromUtf8("\u0080\u00ff\u00e9 ");
        QTest::newRow("UTF-8 kept") << QByteArray("J\xc3\xb6rg") << QString::fromUtf8("J\u00f6rg");
        QTest::newRow("cut short") << QByteArray("a\xe2\x82") << QString::fromUtf8("a\u00e2\u0082");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << QString::fromUtf8("\u00c0\u00af");
        QTest::newRow("surrogate")
            << QByteArray("\xed\xa0\x80") << QString::fromUtf8("\u00ed\u00a0\u0080");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QString::fromUtf8("\u00f4\u0090\u0080\u0080");
        QTest::newRow("controls") << QByteArray("1\t2\n3\x1b[2J\"")
                                  << QString::fromUtf8("1\t2\n3\x1b[2J\"");
    }
    void trailRowsAreValidJsonForAnyStoredBytes() {
        QFETCH(QByteArray, pid);
        QFETCH(QString, reads);
        Fixture f({{"20240105", "0930", "065", pid.toStdString(), "7 "}});
        ListRowKey key = Key(kPicked);
        key.PID = pid.toStdString();
        ResultEdits edits = Edits(pid.toStdString());
        QCOMPARE(ModifyStoredResult(f.db.ResultTable, key, edits, kStamp).kind, EditOutcome::Done);
        const auto trail = f.Trail();
        QCOMPARE(trail.size(), size_t(1));
        for (const std::string& row : {trail[0].before, trail[0].after}) {
            QStringDecoder utf8(QStringDecoder::Utf8);
            const QString text = utf8(QByteArray::fromStdString(row));
            QVERIFY2(!utf8.hasError(), row.c_str());
            QJsonParseError error;
            const QJsonDocument doc =
                QJsonDocument::fromJson(QByteArray::fromStdString(row), &error);
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(doc.object().value("PID").toString(), reads);
        }
    }
};

QTEST_GUILESS_MAIN(TestResultEdit)
#include "tst_resultedit.moc"
