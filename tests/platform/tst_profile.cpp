#include "TestSupport.h"
#include "platform/AppFolders.h"
#include "platform/ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Utf16(const QString& text, bool littleEndian) {
    QByteArray out(littleEndian ? "\xFF\xFE" : "\xFE\xFF", 2);
    for (const QChar c : text) {
        const char lo = static_cast<char>(c.unicode() & 0xFF);
        const char hi = static_cast<char>(c.unicode() >> 8);
        out.append(littleEndian ? lo : hi);
        out.append(littleEndian ? hi : lo);
    }
    return out;
}

} // namespace

class TestProfile : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void readsValues_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray crlf = "[User Count]\r\ncurrent_user=Trevanix.sqlite\r\ncnt=1\r\n"
                                "[User Set]\r\nno1=Trevanix.sqlite\r\n";
        QTest::newRow("crlf") << crlf << QByteArray("User Count") << QByteArray("cnt")
                              << QByteArray("1");
        QTest::newRow("lf only") << QByteArray(crlf).replace("\r\n", "\n") << QByteArray("User Set")
                                 << QByteArray("no1") << QByteArray("Trevanix.sqlite");
        QTest::newRow("section and key in other case")
            << crlf << QByteArray("user count") << QByteArray("CURRENT_USER")
            << QByteArray("Trevanix.sqlite");
        QTest::newRow("missing key gives -1")
            << crlf << QByteArray("User Count") << QByteArray("nothing") << QByteArray("-1");
        QTest::newRow("missing section gives -1")
            << crlf << QByteArray("Table Count") << QByteArray("cnt") << QByteArray("-1");
        QTest::newRow("key of another section is not found")
            << crlf << QByteArray("User Set") << QByteArray("cnt") << QByteArray("-1");
        QTest::newRow("blanks around key and value")
            << QByteArray("[S]\n  Key1 =  some value  \n") << QByteArray("S") << QByteArray("key1")
            << QByteArray("some value");
        QTest::newRow("quoted value") << QByteArray("[S]\nk=\" padded \"\n") << QByteArray("S")
                                      << QByteArray("k") << QByteArray(" padded ");
        QTest::newRow("empty value is empty, not the default")
            << QByteArray("[S]\nk=\n") << QByteArray("S") << QByteArray("k") << QByteArray("");
        QTest::newRow("value cut at 99 characters")
            << QByteArray("[S]\nk=" + QByteArray(150, 'x') + "\n") << QByteArray("S")
            << QByteArray("k") << QByteArray(99, 'x');
        QTest::newRow("no file") << QByteArray() << QByteArray("S") << QByteArray("k")
                                 << QByteArray("-1");
        // Windows editors save with a byte-order mark, or as UTF-16.
        const QString text = QString::fromUtf8(crlf) + QStringLiteral("[N]\r\nname=Zoë\r\n");
        QTest::newRow("utf-8 with byte-order mark")
            << QByteArray("\xEF\xBB\xBF" + crlf) << QByteArray("User Count")
            << QByteArray("current_user") << QByteArray("Trevanix.sqlite");
        QTest::newRow("utf-16 little endian")
            << Utf16(text, true) << QByteArray("User Count") << QByteArray("current_user")
            << QByteArray("Trevanix.sqlite");
        QTest::newRow("utf-16 big endian") << Utf16(text, false) << QByteArray("user set")
                                           << QByteArray("no1") << QByteArray("Trevanix.sqlite");
        QTest::newRow("utf-16 letters beyond ASCII come out as UTF-8")
            << Utf16(text, true) << QByteArray("N") << QByteArray("name")
            << QByteArray("Zo\xC3\xAB");
    }
    void readsValues() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        const QString path = Path("read.ini");
        QFile::remove(path);
        if (!file.isNull())
            QVERIFY(WriteAll(path, file));
        QCOMPARE(QByteArray::fromStdString(
                     ReadProfileString(path, section.toStdString(), key.toStdString())),
                 expected);
    }

    void writesNewFileWithCrlfInOrder() {
        const QString path = Path("new.ini");
        QFile::remove(path);
        QVERIFY(WriteProfileString(path, "User Count", "current_user", "Trevanix.sqlite"));
        QVERIFY(WriteProfileString(path, "User Count", "cnt", "1"));
        QVERIFY(WriteProfileString(path, "User Set", "no1", "Trevanix.sqlite"));
        QVERIFY(WriteProfileString(path, "user count", "CNT", "2")); // replaces in place
        QCOMPARE(ReadAll(path), QByteArray("[User Count]\r\ncurrent_user=Trevanix.sqlite\r\n"
                                           "CNT=2\r\n[User Set]\r\nno1=Trevanix.sqlite\r\n"));
    }

    void rewriteKeepsLfStyleCommentsAndOrder() {
        const QString path = Path("lf.ini");
        QVERIFY(WriteAll(path, "; kept\n[A]\nb=1\na=2\n\n[B]\nx=1\n"));
        QVERIFY(WriteProfileString(path, "A", "c", "3"));
        QVERIFY(WriteProfileString(path, "B", "x", "9"));
        QCOMPARE(ReadAll(path), QByteArray("; kept\n[A]\nb=1\na=2\nc=3\n\n[B]\nx=9\n"));
    }

    // A rewrite keeps the file's encoding, so the editor that saved it still reads it.
    void rewriteKeepsTheEncoding_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QString in = QStringLiteral("[User Count]\r\ncurrent_user=Zoë.sqlite\r\n");
        const QString out = in + QStringLiteral("cnt=2\r\n");
        QTest::newRow("utf-8 mark") << QByteArray("\xEF\xBB\xBF" + in.toUtf8())
                                    << QByteArray("\xEF\xBB\xBF" + out.toUtf8());
        QTest::newRow("utf-16 le") << Utf16(in, true) << Utf16(out, true);
        QTest::newRow("utf-16 be") << Utf16(in, false) << Utf16(out, false);
        QTest::newRow("plain bytes") << QByteArray("[User Count]\ncurrent_user=Zo\xEB\n")
                                     << QByteArray("[User Count]\ncurrent_user=Zo\xEB\ncnt=2\n");
    }
    void rewriteKeepsTheEncoding() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QString path = Path("enc.ini");
        QVERIFY(WriteAll(path, before));
        QVERIFY(WriteProfileString(path, "User Count", "cnt", "2"));
        QCOMPARE(ReadAll(path), after);
    }

    void readIntOfMissingKeyIsMinusOne() {
        const QString path = Path("int.ini");
        QVERIFY(WriteAll(path, "[S]\nn=12\nt=abc\n"));
        QCOMPARE(ReadProfileInt(path, "S", "n"), 12);
        QCOMPARE(ReadProfileInt(path, "S", "missing"), -1);
        QCOMPARE(ReadProfileInt(path, "S", "t"), 0);
    }

    void dataFolder_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("expected");
        QTest::newRow("appends DATA") << "prog"
                                      << "prog/DATA";
        QTest::newRow("already DATA") << "prog/DATA"
                                      << "prog/DATA";
        QTest::newRow("already data, other case") << "prog2/data"
                                                  << "prog2/data";
        QTest::newRow("DATA only as part of a name") << "database"
                                                     << "database/DATA";
    }
    void dataFolder() {
        QFETCH(QString, start);
        QFETCH(QString, expected);
        const QString startDir = dir_.filePath(start);
        QVERIFY(QDir().mkpath(startDir));
        const QString before = QDir::currentPath();
        QCOMPARE(AppFolders::MakeDataFolder(startDir), dir_.filePath(expected));
        QVERIFY(QFileInfo(dir_.filePath(expected)).isDir());
        QVERIFY(!QFileInfo(dir_.filePath(expected) + "/DATA").exists() ||
                expected.endsWith("/DATA/DATA"));
        QCOMPARE(QDir::currentPath(), before);
    }

    void baseFolderCreatedOwnerOnly() {
        const QString base = dir_.filePath("a/b/Trevanix");
        QCOMPARE(AppFolders::MakeBaseFolder(base + "/"), base);
        QVERIFY(QFileInfo(base).isDir());
        QCOMPARE(QFile::permissions(base) & 0x0077, QFileDevice::Permissions());
        // An existing folder is left as it is.
        QVERIFY(QFile::setPermissions(base, QFile::permissions(base) | QFileDevice::ReadGroup));
        AppFolders::MakeBaseFolder(base);
        QVERIFY(QFile::permissions(base) & QFileDevice::ReadGroup);
    }

    void baseFolderFollowsEnvironment() {
        qputenv("TREVANIX_HOME", dir_.filePath("home//x/").toLocal8Bit());
        QCOMPARE(AppFolders::DefaultBaseFolder(), dir_.filePath("home/x"));
        qunsetenv("TREVANIX_HOME");
        QVERIFY(AppFolders::DefaultBaseFolder().endsWith("/Trevanix"));
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
