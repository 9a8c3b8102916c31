// The FHIR R4 export: what a receiver reads in each Observation, identifiers that stay the same
// from one export to the next and across corrections, and files the official R4 JSON schema
// accepts whatever bytes the results hold.

#include "ResultRows.h"
#include "TestSupport.h"
#include "query/ResultEdit.h"
#include "report/FhirBundle.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <ctime>

#ifndef TREVANIX_FHIR_VALIDATOR
#error "TREVANIX_FHIR_VALIDATOR must name tools/fhir-validator/validate.js"
#endif

namespace {

ResultRow Row(const std::string& date, const std::string& time, const std::string& value,
              const std::string& pid, const std::string& opid, const std::string& note = " ") {
    ResultRow r;
    r.key.DATE = date;
    r.key.TIME = time;
    r.key.HbA1c_VALUE = value;
    r.key.PID = pid;
    r.key.OPID = opid;
    r.key.p_DOB = "19000101";
    r.EQ_TYPE = note;
    return r;
}

const QDateTime kMade(QDate(2026, 12, 9), QTime(5, 0), QTimeZone::utc());

QByteArray Bundle(const std::vector<ResultRow>& rows, const std::vector<ResultOrigin>& origins = {},
                  const std::string& idAuthority = "CLINIC", const QDateTime& made = kMade) {
    LabConfig c;
    c.idAuthority = idAuthority;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!WriteFhirBundle(out, rows, origins, c, made))
        qWarning("the bundle was not written");
    return out.data();
}

QJsonArray Entries(const QByteArray& bundle) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bundle, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s\n%s", qPrintable(error.errorString()), bundle.constData());
    return doc.object().value("entry").toArray();
}

// The first object of an array member; empty when there is none.
QJsonObject First(const QJsonValue& v) {
    const QJsonArray a = v.toArray();
    return a.isEmpty() ? QJsonObject() : a.first().toObject();
}

// Runs the schema check on the files; its exit status, with what it said in `said`.
int Validate(const QStringList& files, QString& said) {
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty()) {
        said = "node is not installed";
        return -1;
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(node, QStringList{QStringLiteral(TREVANIX_FHIR_VALIDATOR)} + files);
    if (!p.waitForFinished(120000)) {
        said = "the validator did not finish";
        return -1;
    }
    said = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Stored results and their corrections in a real result database.
struct Store {
    Store() : db(home.path(), &prompt) { db.OpenDatabases(); }
    std::vector<ResultRow> Rows() {
        std::vector<ResultRow> rows;
        ReadResultRows(db.ResultTable, false, rows);
        return rows;
    }
    std::vector<ResultOrigin> Origins(const std::vector<ResultRow>& rows) {
        std::vector<ResultOrigin> origins;
        std::string error;
        if (!ReadResultOrigins(db.ResultTable, rows, origins, &error))
            qWarning("origins: %s", error.c_str());
        return origins;
    }
    bool Correct(const ListRowKey& key, const std::string& pid, const std::string& opid) {
        ResultEdits e;
        e.PID = pid;
        e.OPID = opid;
        e.p_DOB = key.p_DOB;
        return ModifyStoredResult(db.ResultTable, key, e, AuditStampNow()).kind ==
               EditOutcome::Done;
    }
    QTemporaryDir home;
    ScriptedPrompt prompt;
    CResultDatabases db;
};

} // namespace

class TestFhir : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void observationReadsAsStored_data();
    void observationReadsAsStored();
    void patientSystemFromIdAuthority_data();
    void patientSystemFromIdAuthority();
    void identifiersStayTheSame();
    void correctionsKeepTheFirstIdentifier_data();
    void correctionsKeepTheFirstIdentifier();
    void schemaAcceptsEveryExportAndRejectsABrokenOne();
};

void TestFhir::observationReadsAsStored_data() {
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("pid");
    QTest::addColumn<QByteArray>("opid");
    QTest::addColumn<QByteArray>("note");
    QTest::addColumn<QString>("effective");   // empty: left out
    QTest::addColumn<QByteArray>("quantity"); // raw JSON; empty: no valueQuantity
    QTest::addColumn<QString>("subject");     // empty: no subject
    QTest::addColumn<QString>("performer");   // empty: no performer
    QTest::addColumn<QString>("noteText");    // empty: no note
    const QByteArray pct = R"(,"unit":"%","system":"http://unitsofmeasure.org","code":"%"})";
    QTest::newRow("normal, winter")
        << QByteArray("20240105") << QByteArray("0930") << QByteArray("065")
        << QByteArray("12345         ") << QByteArray("77  ") << QByteArray(" ")
        << "2024-01-05T09:30:00+01:00"
        << R"({"value":6.5)" + pct << "12345"
        << "77"
        << "";
    QTest::newRow("below range, summer time, tilted")
        << QByteArray("20240705") << QByteArray("2359") << QByteArray("040") << QByteArray("P1")
        << QByteArray("OP") << QByteArray("Analyzer Tilted") << "2024-07-05T23:59:00+02:00"
        << R"({"value":4.0,"comparator":"<")" + pct << "P1"
        << "OP"
        << "Analyzer Tilted";
    QTest::newRow("above range") << QByteArray("20240105") << QByteArray("0000")
                                 << QByteArray("141") << QByteArray("P1") << QByteArray("OP")
                                 << QByteArray(" ") << "2024-01-05T00:00:00+01:00"
                                 << R"({"value":14.0,"comparator":">")" + pct << "P1"
                                 << "OP"
                                 << "";
    QTest::newRow("quotes, backslash, JSON in IDs")
        << QByteArray("20240105") << QByteArray("0930") << QByteArray("065")
        << QByteArray(R"(a"},"x":{"\)") << QByteArray("O'Brien\\") << QByteArray(" ")
        << "2024-01-05T09:30:00+01:00"
        << R"({"value":6.5)" + pct << R"(a"},"x":{"\)"
        << "O'Brien\\"
        << "";
    QTest::newRow("control bytes kept escaped, VT and FF as blanks")
        << QByteArray("20240105") << QByteArray("0930") << QByteArray("065")
        << QByteArray("A\x01\tB\r\nC\x1f") << QByteArray("x\x0by\x0cz") << QByteArray(" ")
        << "2024-01-05T09:30:00+01:00"
        << R"({"value":6.5)" + pct << QString::fromLatin1("A\x01\tB\r\nC\x1f") << "x y z"
        << "";
    QTest::newRow("Latin-1 bytes, no-break space as a blank")
        << QByteArray("20240105") << QByteArray("0930") << QByteArray("065")
        << QByteArray("M\xfcller\xa0J\x80") << QByteArray("\xff") << QByteArray("Analyzer Tilted")
        << "2024-01-05T09:30:00+01:00"
        << R"({"value":6.5)" + pct << QString::fromUtf8("M\u00fcller J\u0080")
        << QString::fromUtf8("\u00ff") << "Analyzer Tilted";
    QTest::newRow("UTF-8 stays UTF-8")
        << QByteArray("20240105") << QByteArray("0930") << QByteArray("065")
        << QByteArray("J\xc3\xbcrgen \xe2\x82\xac") << QByteArray("77") << QByteArray(" ")
        << "2024-01-05T09:30:00+01:00"
        << R"({"value":6.5)" + pct << QString::fromUtf8("J\u00fcrgen \u20ac") << "77"
        << "";
    QTest::newRow("no IDs, blanks only")
        << QByteArray("20240105") << QByteArray("0930") << QByteArray("065") << QByteArray("      ")
        << QByteArray("\xa0") << QByteArray("  ") << "2024-01-05T09:30:00+01:00"
        << R"({"value":6.5)" + pct << ""
        << ""
        << "";
    QTest::newRow("no real date, no number")
        << QByteArray("20240231") << QByteArray("0930") << QByteArray("nan") << QByteArray("P1")
        << QByteArray("OP") << QByteArray(" ") << "" << QByteArray() << "P1"
        << "OP"
        << "";
    QTest::newRow("hour 24") << QByteArray("20240105") << QByteArray("2400") << QByteArray("065")
                             << QByteArray("P1") << QByteArray("OP") << QByteArray(" ") << ""
                             << R"({"value":6.5)" + pct << "P1"
                             << "OP"
                             << "";
}

void TestFhir::observationReadsAsStored() {
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, time);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, pid);
    QFETCH(QByteArray, opid);
    QFETCH(QByteArray, note);
    QFETCH(QString, effective);
    QFETCH(QByteArray, quantity);
    QFETCH(QString, subject);
    QFETCH(QString, performer);
    QFETCH(QString, noteText);
    const QByteArray bytes =
        Bundle({Row(date.toStdString(), time.toStdString(), value.toStdString(), pid.toStdString(),
                    opid.toStdString(), note.toStdString())});
    const QJsonObject doc = QJsonDocument::fromJson(bytes).object();
    QCOMPARE(doc.value("resourceType").toString(), QStringLiteral("Bundle"));
    QCOMPARE(doc.value("type").toString(), QStringLiteral("transaction"));
    QCOMPARE(doc.value("timestamp").toString(), QStringLiteral("2026-12-09T05:00:00+00:00"));
    const QJsonArray entries = Entries(bytes);
    QCOMPARE(entries.size(), 1);
    const QJsonObject entry = entries[0].toObject();
    const QJsonObject o = entry.value("resource").toObject();
    QCOMPARE(o.value("resourceType").toString(), QStringLiteral("Observation"));
    QCOMPARE(o.value("status").toString(), QStringLiteral("final"));
    const QJsonObject category = First(First(o.value("category")).value("coding"));
    QCOMPARE(category.value("system").toString(),
             QStringLiteral("http://terminology.hl7.org/CodeSystem/observation-category"));
    QCOMPARE(category.value("code").toString(), QStringLiteral("laboratory"));
    const QJsonObject loinc = First(o.value("code").toObject().value("coding"));
    QCOMPARE(loinc.value("system").toString(), QStringLiteral("http://loinc.org"));
    QCOMPARE(loinc.value("code").toString(), QStringLiteral("4548-4"));
    QCOMPARE(loinc.value("display").toString(),
             QStringLiteral("Hemoglobin A1c/Hemoglobin.total in Blood"));
    // The request updates the Observation that carries the entry's identifier.
    const QJsonObject id = First(o.value("identifier"));
    QCOMPARE(id.value("system").toString(), QString(kFhirResultSystem));
    QCOMPARE(entry.value("request").toObject().value("method").toString(), QStringLiteral("PUT"));
    QCOMPARE(entry.value("request").toObject().value("url").toString(),
             "Observation?identifier=" + QString(kFhirResultSystem) + "|" +
                 id.value("value").toString());
    QCOMPARE(entry.value("fullUrl").toString(),
             "urn:uuid:" + FhirEntryUuid(id.value("value").toString().toStdString())
                               .toString(QUuid::WithoutBraces));

    QCOMPARE(o.value("effectiveDateTime").toString(), effective);
    QCOMPARE(o.contains("effectiveDateTime"), !effective.isEmpty());
    // The decimal as written, so that "14.0" keeps its precision.
    const int at = bytes.indexOf("\"valueQuantity\":");
    if (quantity.isEmpty()) {
        QCOMPARE(at, -1);
        QCOMPARE(
            First(o.value("dataAbsentReason").toObject().value("coding")).value("code").toString(),
            QStringLiteral("error"));
    } else {
        QVERIFY2(at >= 0 && bytes.mid(at + 16, quantity.size()) == quantity, bytes.constData());
    }
    const QJsonObject subj = o.value("subject").toObject().value("identifier").toObject();
    QCOMPARE(subj.value("value").toString(), subject);
    QCOMPARE(o.contains("subject"), !subject.isEmpty());
    if (!subject.isEmpty())
        QCOMPARE(subj.value("system").toString(), QStringLiteral("urn:trevanix:patient-id:CLINIC"));
    const QJsonObject perf = First(o.value("performer")).value("identifier").toObject();
    QCOMPARE(perf.value("value").toString(), performer);
    QCOMPARE(o.contains("performer"), !performer.isEmpty());
    QCOMPARE(First(o.value("note")).value("text").toString(), noteText);
    QCOMPARE(o.contains("note"), !noteText.isEmpty());
}

void TestFhir::patientSystemFromIdAuthority_data() {
    QTest::addColumn<QByteArray>("authority");
    QTest::addColumn<QString>("system");
    QTest::newRow("none: the default") << QByteArray() << QString(kFhirDefaultPatientSystem);
    QTest::newRow("a name") << QByteArray("CLINIC") << "urn:trevanix:patient-id:CLINIC";
    QTest::newRow("blanks and bytes encoded")
        << QByteArray("St. M\xe4ry's") << "urn:trevanix:patient-id:St.%20M%C3%A4ry%27s";
    QTest::newRow("an OID") << QByteArray("1.2.840.113619") << "urn:oid:1.2.840.113619";
    QTest::newRow("a URI as it stands")
        << QByteArray("https://hospital.example/mrn") << "https://hospital.example/mrn";
    QTest::newRow("not quite a URI")
        << QByteArray("MRN: main") << "urn:trevanix:patient-id:MRN%3A%20main";
    QTest::newRow("numbers, no OID") << QByteArray("1..2") << "urn:trevanix:patient-id:1..2";
}

void TestFhir::patientSystemFromIdAuthority() {
    QFETCH(QByteArray, authority);
    QFETCH(QString, system);
    const QJsonArray entries =
        Entries(Bundle({Row("20240105", "0930", "065", "P1", "OP")}, {}, authority.toStdString()));
    QCOMPARE(entries[0]
                 .toObject()
                 .value("resource")
                 .toObject()
                 .value("subject")
                 .toObject()
                 .value("identifier")
                 .toObject()
                 .value("system")
                 .toString(),
             system);
}

void TestFhir::identifiersStayTheSame() {
    std::vector<ResultRow> rows = {
        Row("20240105", "0930", "065", "P1  ", "OP"), Row("20240105", "0930", "065", "P1 ", "OP"),
        Row("20240105", "0930", "066", "P1  ", "OP"), Row("20240105", "0930", "065", "P1  ", "OP")};
    // Exported twice: the same bytes but for the timestamp.
    const QByteArray first = Bundle(rows);
    QByteArray second = Bundle(rows, {}, "CLINIC", kMade.addSecs(3600));
    QVERIFY(first != second);
    second.replace("T06:00:00+00:00", "T05:00:00+00:00");
    QCOMPARE(second, first);
    // Padding counts (it is how the result is stored); a twin gets a suffix, never a clash.
    QStringList ids, urls;
    for (const auto& e : Entries(first)) {
        ids << First(e.toObject().value("resource").toObject().value("identifier"))
                   .value("value")
                   .toString();
        urls << e.toObject().value("fullUrl").toString();
    }
    QCOMPARE(ids[3], ids[0] + "-2");
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 4);
    QCOMPARE(QSet<QString>(urls.begin(), urls.end()).size(), 4);
    // The identifier depends on the five stored values only, not on the list's order, the
    // name or the memo.
    ResultRow named = rows[2];
    named.key.p_NAME = "Kim";
    named.key.P_MEMO = "memo";
    const QJsonArray alone = Entries(Bundle({named}));
    QCOMPARE(alone[0].toObject().value("fullUrl").toString(), urls[2]);
    // Receivers keep matching on these: the identifier of a result never changes between
    // program versions.
    QCOMPARE(FhirResultIdentifier({"20240105", "0930", "065", "12345", "77"}),
             std::string("0cb6ff7ad38038c1422eb51cfb7f16133459877ad2572371a6428dc21966c4bd"));
}

void TestFhir::correctionsKeepTheFirstIdentifier_data() {
    QTest::addColumn<QByteArrayList>("pids"); // the PID after each correction, in order
    QTest::newRow("never corrected") << QByteArrayList{};
    QTest::newRow("corrected once") << QByteArrayList{"B"};
    QTest::newRow("corrected twice") << QByteArrayList{"B", "C"};
    QTest::newRow("corrected and back") << QByteArrayList{"B", "A"};
    QTest::newRow("memo only, PID the same") << QByteArrayList{"A"};
    QTest::newRow("through Latin-1, quote and control bytes")
        << QByteArrayList{"M\xfcller\x01\"\\", "J\xc3\xbcrgen"};
}

void TestFhir::correctionsKeepTheFirstIdentifier() {
    QFETCH(QByteArrayList, pids);
    Store store;
    QVERIFY(StoreRows(store.db.ResultTable, {{"20240105", "0930", "065", "A", "7"},
                                             {"20240106", "1000", "070", "B", "7"}}));
    const auto observation = [&store](const QString& date) {
        const std::vector<ResultRow> rows = store.Rows();
        for (const auto& e : Entries(Bundle(rows, store.Origins(rows)))) {
            const QJsonObject o = e.toObject().value("resource").toObject();
            if (o.value("effectiveDateTime").toString().startsWith(date))
                return o;
        }
        return QJsonObject();
    };
    const QJsonObject before = observation("2024-01-05");
    const QJsonObject otherBefore = observation("2024-01-06");
    for (const QByteArray& pid : pids) {
        for (const ResultRow& r : store.Rows())
            if (r.key.DATE == "20240105")
                QVERIFY(store.Correct(r.key, pid.toStdString(), "7"));
    }
    const QJsonObject after = observation("2024-01-05");
    QCOMPARE(after.value("identifier"), before.value("identifier"));
    QCOMPARE(after.value("status").toString(),
             pids.isEmpty() ? QStringLiteral("final") : QStringLiteral("amended"));
    QCOMPARE(after.value("subject").toObject().value("identifier").toObject().value("value"),
             QJsonValue(pids.isEmpty() ? QStringLiteral("A") : QString::fromUtf8(pids.last())));
    // The result nobody changed stays as it was.
    const QJsonObject other = observation("2024-01-06");
    QCOMPARE(other.value("identifier"), otherBefore.value("identifier"));
    QCOMPARE(other.value("status").toString(), QStringLiteral("final"));
}

void TestFhir::schemaAcceptsEveryExportAndRejectsABrokenOne() {
    QTemporaryDir dir;
    // Every row of the structure test in one file, a corrected result, an empty export, and an
    // id_authority that is no URI.
    std::vector<ResultRow> rows;
    rows.push_back(Row("20240105", "0930", "065", "12345         ", "77  "));
    rows.push_back(Row("20240705", "2359", "040", "P1", "OP", "Analyzer Tilted"));
    rows.push_back(Row("20240105", "0000", "141", "P1", "OP"));
    rows.push_back(Row("20240105", "0931", "065", R"(a"},"x":{"\)", "O'Brien\\"));
    rows.push_back(Row("20240105", "0932", "065", "A\x01\tB\r\nC\x1f", "x\x0by\x0cz"));
    rows.push_back(Row("20240105", "0933", "065", "M\xfcller\xa0J\x80", "\xff", "Analyzer Tilted"));
    rows.push_back(Row("20240105", "0934", "065", "J\xc3\xbcrgen \xe2\x82\xac \xe2\x80\xa8", "77"));
    rows.push_back(Row("20240105", "0935", "065", "      ", "\xa0", "  "));
    rows.push_back(Row("20240231", "0930", "nan", "P1", "OP"));
    rows.push_back(Row("20240105", "2400", "065", "P1", "OP"));
    rows.push_back(Row("20240105", "0930", "065", "12345         ", "77  ")); // a twin
    std::vector<ResultOrigin> origins;
    for (const ResultRow& r : rows)
        origins.push_back({IdentityOf(r.key), false});
    origins[1].corrected = true;
    const QString all = dir.filePath("all.json");
    const QString empty = dir.filePath("empty.json");
    const QString broken = dir.filePath("broken.json");
    QString reason;
    LabConfig c;
    c.idAuthority = "St. Mary's";
    QVERIFY(WriteFhirFile(all, rows, origins, c, kMade, &reason));
    QVERIFY(WriteFhirFile(empty, {}, {}, LabConfig(), QDateTime(), &reason));
    QByteArray bytes = ReadAll(all);
    QVERIFY(bytes.contains("\"status\":\"amended\""));
    QString said;
    QVERIFY2(Validate({all, empty}, said) == 0, qPrintable(said));
    // The check can fail: a status FHIR does not know, and a raw no-break space in a string.
    QVERIFY(WriteAll(broken, QByteArray(bytes).replace("\"amended\"", "\"corrected-ish\"")));
    QCOMPARE(Validate({broken}, said), 1);
    QVERIFY2(said.contains("status") || said.contains("enum"), qPrintable(said));
    QVERIFY(WriteAll(broken, QByteArray(bytes).replace("M\xc3\xbcller ", "M\xc3\xbcller\xc2\xa0")));
    QCOMPARE(Validate({broken}, said), 1);
}

int main(int argc, char** argv) {
    // Offsets from UTC as a clinic in central Europe sees them, summer time included.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    QCoreApplication app(argc, argv);
    TestFhir test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fhir.moc"
