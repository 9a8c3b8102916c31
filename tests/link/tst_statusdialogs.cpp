#include "link/StatusDialogs.h"

#include <QTest>

class TestStatusDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameTextDoesNotRepaint() {
        ProcessDlgModel dlg;
        int changes = 0;
        dlg.SetObserver([&changes] { ++changes; });
        dlg.SetText("Received data is checked.");
        dlg.SetText("Received data is checked.");
        QCOMPARE(dlg.Repaints(), 1);
        QCOMPARE(changes, 1);
        dlg.SetText("Other");
        QCOMPARE(dlg.Repaints(), 2);
        QCOMPARE(dlg.Text(), std::string("Other"));
    }

    void closingOnlyHidesAndKeepsTheText() {
        ProcessDlgModel dlg;
        dlg.SetText("first");
        dlg.Show();
        QVERIFY(dlg.IsVisible());
        dlg.Hide();
        QVERIFY(!dlg.IsVisible());
        QCOMPARE(dlg.Text(), std::string("first"));
        dlg.SetText("second");
        dlg.Show();
        QVERIFY(dlg.IsVisible());
        QCOMPARE(dlg.Text(), std::string("second"));
        QCOMPARE(dlg.Caption(), std::string("Close"));
        dlg.SetCaption("Cancel");
        QCOMPARE(dlg.Caption(), std::string("Cancel"));
    }

    void checkingAnswerIsOneOnlyAfterOk() {
        CheckingDlgModel dlg;
        QCOMPARE(dlg.Answer(), 0);
        dlg.SetText("Automatic mode was terminated.");
        dlg.Show();
        dlg.AnswerOk();
        QCOMPARE(dlg.Answer(), 1);
        QVERIFY(!dlg.IsVisible());
        dlg.SetText("Automatic mode was terminated."); // same text still resets the answer
        QCOMPARE(dlg.Answer(), 0);
        dlg.AnswerOk();
        dlg.AnswerNo();
        QCOMPARE(dlg.Answer(), 0);
    }

    void progressIsClamped() {
        ProcessDlgModel dlg;
        QCOMPARE(dlg.ProgressPercent(), -1);
        dlg.SetProgress(140, "x");
        QCOMPARE(dlg.ProgressPercent(), 100);
        dlg.SetProgress(-1, "");
        QCOMPARE(dlg.ProgressPercent(), -1);
    }
};

QTEST_GUILESS_MAIN(TestStatusDialogs)
#include "tst_statusdialogs.moc"
