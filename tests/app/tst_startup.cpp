#include "TestSupport.h"
#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/TrevanixApp.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/wait.h>
#include <unistd.h>

class TestStartup : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    CTrevanixApp::Options Opts(const QString& lockDir) const {
        CTrevanixApp::Options o;
        o.lockDir = lockDir;
        o.baseFolder = dir_.filePath("base");
        o.startDir = dir_.filePath("start");
        o.showWindow = false;
        return o;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(QDir().mkpath(dir_.filePath("start"))); }

    void firstCopyStartsSecondIsRefused() {
        const QString lockDir = dir_.filePath("lock1");
        QVERIFY(QDir().mkpath(lockDir));
        ScriptedPrompt p1;
        CTrevanixApp first(p1, Opts(lockDir));
        QVERIFY(first.InitInstance());
        QVERIFY(first.MainWindow());
        QVERIFY(p1.messages.empty());
        QCOMPARE(first.MainWindow()->windowTitle(),
                 QStringLiteral("Trevanix Management Software 1.00.03"));
        QCOMPARE(first.MainWindow()->Databases().DatabaseReady, 1);
        QVERIFY(QFileInfo(dir_.filePath("base/Trevanix.sqlite")).exists());
        QCOMPARE(first.DataFolder(), dir_.filePath("start/DATA"));
        QVERIFY(QFileInfo(first.DataFolder()).isDir());
        QCOMPARE(first.CounterTicksPerMs(), 1e6);

        ScriptedPrompt p2;
        CTrevanixApp second(p2, Opts(lockDir));
        QVERIFY(!second.InitInstance());
        QVERIFY(second.AlreadyRunning());
        QVERIFY(!second.MainWindow());
        QCOMPARE(p2.messages.size(), size_t(1));
        QCOMPARE(p2.messages[0].text,
                 std::string("HbA1c is already running..\r\n Will automatically terminate the "
                             "program."));
        // The first copy goes on as before.
        QVERIFY(first.MainWindow()->Databases().ResultTable.IsOpen());
    }

    void staleLockOfACrashedCopyDoesNotBlock() {
        const QString lockDir = dir_.filePath("lock2");
        QVERIFY(QDir().mkpath(lockDir));
        const QString lockPath = QDir(lockDir).filePath("HbA1cDesk.lock");
        // A copy that takes the name and dies without cleaning up.
        const pid_t child = fork();
        if (child == 0) {
            QLockFile lock(lockPath);
            lock.tryLock(0);
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(QFile::exists(lockPath));

        ScriptedPrompt prompt;
        CTrevanixApp app(prompt, Opts(lockDir));
        QVERIFY(app.InitInstance());
        QVERIFY(prompt.messages.empty());
        QVERIFY(app.MainWindow());
    }

    void aboutBoxShowsProgramAndVersion() {
        CAboutDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About Trevanix"));
        QString all;
        for (QLabel* l : dlg.findChildren<QLabel*>())
            all += l->text();
        QVERIFY(all.contains("Windows Communication Program"));
        QVERIFY(all.contains("1.00.01"));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
