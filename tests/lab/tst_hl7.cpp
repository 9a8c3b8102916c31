// The HL7 messages of one result: segments and fields where a lab system reads them, escaping
// that no stored byte can break, MLLP framing and the acknowledgement's fields.

#include "lab/Hl7Message.h"

#include <QTimeZone>
#include <QtTest>

namespace {

LabConfig Config() {
    LabConfig c;
    c.sendingFacility = "Clinic";
    c.receivingApplication = "LIS";
    c.receivingFacility = "Hospital";
    c.idAuthority = "CLINIC";
    return c;
}

LabResult Result(const std::string& value, const std::string& pid = "12345         ") {
    LabResult r;
    r.DATE = "20240105";
    r.TIME = "0930";
    r.HbA1c_VALUE = value;
    r.PID = pid;
    r.OPID = "77            ";
    r.EQ_TYPE = " ";
    r.p_DOB = "19000101";
    return r;
}

QStringList Segments(const std::string& m) {
    return QString::fromStdString(m).split(QLatin1Char('\r'), Qt::SkipEmptyParts);
}

// Field n of the segment that begins with `name` (MSH counts its separator as field 1).
QString Field(const std::string& m, const char* name, int n, int occurrence = 0) {
    int seen = 0;
    for (const QString& s : Segments(m)) {
        const QStringList f = s.split(QLatin1Char('|'));
        if (f[0] != QLatin1String(name) || seen++ != occurrence)
            continue;
        const int at = QLatin1String(name) == QLatin1String("MSH") ? n - 1 : n;
        return at < f.size() ? f[at] : QString();
    }
    return QStringLiteral("<none>");
}

const QDateTime kMade(QDate(2026, 12, 9), QTime(10, 15, 30), QTimeZone(3600));

} // namespace

class TestHl7 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void headerAndPatient() {
        LabResult r = Result("065");
        r.p_NAME = "Kim";
        r.p_DOB = "19700203";
        const std::string m = BuildResultMessage(Config(), r, LabStatus::Final, 0, "ABC123", kMade);
        QCOMPARE(Segments(m).size(), 4); // MSH PID OBR OBX, no note
        QVERIFY(QString::fromStdString(m).startsWith("MSH|^~\\&|TREVANIX|Clinic|LIS|Hospital|"));
        QCOMPARE(Field(m, "MSH", 7), QStringLiteral("20261209101530+0100"));
        QCOMPARE(Field(m, "MSH", 9), QStringLiteral("ORU^R01^ORU_R01"));
        QCOMPARE(Field(m, "MSH", 10), QStringLiteral("ABC123"));
        QCOMPARE(Field(m, "MSH", 11), QStringLiteral("P"));
        QCOMPARE(Field(m, "MSH", 12), QStringLiteral("2.5.1"));
        QCOMPARE(Field(m, "MSH", 15), QStringLiteral("AL"));
        QCOMPARE(Field(m, "MSH", 16), QStringLiteral("NE"));
        QCOMPARE(Field(m, "MSH", 18), QStringLiteral("UNICODE UTF-8"));
        QCOMPARE(Field(m, "PID", 3), QStringLiteral("12345^^^CLINIC^MR"));
        QCOMPARE(Field(m, "PID", 5), QStringLiteral("Kim"));
        QCOMPARE(Field(m, "PID", 7), QStringLiteral("19700203"));
        QCOMPARE(Field(m, "OBR", 4),
                 QStringLiteral("4548-4^Hemoglobin A1c/Hemoglobin.total in Blood^LN"));
        QCOMPARE(Field(m, "OBR", 7), QStringLiteral("202401050930"));
        QCOMPARE(Field(m, "OBR", 25), QStringLiteral("F"));
        // The placeholder birthday is no birthday.
        const std::string none =
            BuildResultMessage(Config(), Result("065"), LabStatus::Final, 0, "X", kMade);
        QCOMPARE(Field(none, "PID", 7), QString());
    }

    void observations_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("unit");
        QTest::addColumn<char>("status");
        QTest::addColumn<QStringList>("obx"); // per OBX: type, code, value, units
        const QString pct = "4548-4^Hemoglobin A1c/Hemoglobin.total in Blood^LN";
        const QString ifcc = "59261-8^Hemoglobin A1c/Hemoglobin.total in Blood by IFCC protocol^LN";
        QTest::newRow("normal") << "065" << 0 << 'F' << QStringList{"NM", pct, "6.5", "%^%^UCUM"};
        QTest::newRow("below the range")
            << "039" << 0 << 'C' << QStringList{"SN", pct, "<^4.0", "%^%^UCUM"};
        QTest::newRow("at the lower limit")
            << "040" << 0 << 'F' << QStringList{"SN", pct, "<^4.0", "%^%^UCUM"};
        QTest::newRow("above the range")
            << "141" << 0 << 'D' << QStringList{"SN", pct, ">^14.0", "%^%^UCUM"};
        QTest::newRow("mmol/mol") << "065" << 1 << 'W'
                                  << QStringList{"NM", pct,  "6.5", "%^%^UCUM",
                                                 "NM", ifcc, "48",  "mmol/mol^mmol/mol^UCUM"};
        QTest::newRow("mmol/mol above")
            << "150" << 1 << 'F' << QStringList{"SN", pct,  ">^14.0", "%^%^UCUM",
                                                "SN", ifcc, ">^130",  "mmol/mol^mmol/mol^UCUM"};
    }
    void observations() {
        QFETCH(QString, stored);
        QFETCH(int, unit);
        QFETCH(char, status);
        QFETCH(QStringList, obx);
        LabResult r = Result(stored.toStdString());
        r.EQ_TYPE = "Analyzer Tilted";
        const std::string m =
            BuildResultMessage(Config(), r, static_cast<LabStatus>(status), unit, "X", kMade);
        for (int i = 0; i < obx.size() / 4; ++i) {
            QCOMPARE(Field(m, "OBX", 1, i), QString::number(i + 1));
            QCOMPARE(Field(m, "OBX", 2, i), obx[4 * i]);
            QCOMPARE(Field(m, "OBX", 3, i), obx[4 * i + 1]);
            QCOMPARE(Field(m, "OBX", 5, i), obx[4 * i + 2]);
            QCOMPARE(Field(m, "OBX", 6, i), obx[4 * i + 3]);
            QCOMPARE(Field(m, "OBX", 11, i), QString(QLatin1Char(status)));
            QCOMPARE(Field(m, "OBX", 14, i), QStringLiteral("202401050930"));
            QCOMPARE(Field(m, "OBX", 16, i), QStringLiteral("77"));
        }
        QCOMPARE(Field(m, "OBX", 1, obx.size() / 4), QStringLiteral("<none>"));
        QCOMPARE(Field(m, "OBR", 25),
                 QString(QLatin1Char(status == 'W' || status == 'D' ? 'C' : status)));
        QCOMPARE(Field(m, "NTE", 3), QStringLiteral("Analyzer Tilted"));
    }

    void escaping_data() {
        QTest::addColumn<QByteArray>("pid");
        QTest::addColumn<QString>("field");
        QTest::newRow("delimiters")
            << QByteArray("a|b^c~d\\e&f") << "a\\F\\b\\S\\c\\R\\d\\E\\e\\T\\f";
        QTest::newRow("segment and line breaks")
            << QByteArray("1\r2\n3\t4") << "1\\X0D\\2\\X0A\\3\\X09\\4";
        QTest::newRow("escape and vertical tab")
            << QByteArray("\x1b[2J\x0b") << "\\X1B\\[2J\\X0B\\";
        QTest::newRow("latin-1 byte") << QByteArray("M\xfcller") << "M\u00fcller";
        QTest::newRow("utf-8 kept") << QByteArray("M\xc3\xbcller") << "M\u00fcller";
    }
    void escaping() {
        QFETCH(QByteArray, pid);
        QFETCH(QString, field);
        const std::string m = BuildResultMessage(Config(), Result("065", pid.toStdString()),
                                                 LabStatus::Final, 0, "X", kMade);
        QCOMPARE(Segments(m).size(), 4); // nothing broke a segment
        QCOMPARE(Field(m, "PID", 3), field + "^^^CLINIC^MR");
        QCOMPARE(QString::fromUtf8(m.c_str()).toUtf8().toStdString(), m); // valid UTF-8
    }

    void framesAndAcks() {
        std::string buffer = "noise" + MllpFrame("MSH|a\rMSA|AA|ID1") + MllpFrame("second");
        buffer += "\x0bpartial";
        std::string m;
        QVERIFY(TakeMllpFrame(buffer, m));
        QCOMPARE(m, std::string("MSH|a\rMSA|AA|ID1"));
        QVERIFY(TakeMllpFrame(buffer, m));
        QCOMPARE(m, std::string("second"));
        QVERIFY(!TakeMllpFrame(buffer, m));
        QCOMPARE(buffer, std::string("\x0bpartial"));

        const Hl7Ack ack = ParseAck("MSH|^~\\&|LIS\rMSA|AE|ID7|bad PID\rERR|||207");
        QCOMPARE(ack.code, std::string("AE"));
        QCOMPARE(ack.controlId, std::string("ID7"));
        QCOMPARE(ack.text, std::string("bad PID"));
        QCOMPARE(ParseAck("MSH|^~\\&\rERR|||101^x|E||||Required field missing").text,
                 std::string("Required field missing"));
        QCOMPARE(ParseAck("garbage").code, std::string());
        QVERIFY(NewControlId() != NewControlId());
        QCOMPARE(NewControlId().size(), size_t(20));
    }
};

QTEST_GUILESS_MAIN(TestHl7)
#include "tst_hl7.moc"
