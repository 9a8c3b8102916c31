// The image button, the skinned frame, the percentage bar and the status dialog windows.

#include "controls/DateTimeCtrl.h"
#include "controls/PercentBar.h"
#include "controls/PngButton.h"
#include "controls/RaravFrame.h"
#include "views/link/StatusDlgs.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A picture with colour, transparency and a sharp corner, so every face differs visibly.
QImage Picture() {
    QImage img(40, 30, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.fillRect(5, 5, 30, 20, QColor(30, 120, 140));
    p.fillRect(10, 10, 8, 8, QColor(200, 40, 40));
    return img;
}

QImage Background() {
    QImage bg(40, 30, QImage::Format_ARGB32_Premultiplied);
    bg.fill(QColor(240, 244, 246));
    return bg;
}

bool IsGrey(const QImage& img) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c))
                return false;
        }
    return true;
}

} // namespace

class TestControls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameImageTwiceDiffersOnlyByTheStateEffects();
    void facesFollowThePointerAndTheFlags();
    void doubleClickIsTwoClicks();
    void resourcesLoad_data();
    void resourcesLoad();
    void captionButtonsAndRoundedShape();
    void percentBarText_data();
    void percentBarText();
    void datePickerShowsTheSettingsFormat_data();
    void datePickerShowsTheSettingsFormat();
    void processDialogFollowsItsModel();
    void checkingDialogAnswersOk();
    void buttonsWorkFromTheKeyboard_data();
    void buttonsWorkFromTheKeyboard();
    void typedWholeDate_data();
    void typedWholeDate();
    void processDialogIsReadAndClosedFromTheKeyboard();
};

void TestControls::sameImageTwiceDiffersOnlyByTheStateEffects() {
    CPngButton b;
    b.resize(40, 30);
    b.SetImage(Picture());
    b.SetSecondImage(Picture());
    b.ComposeFaces(Background());
    QVERIFY(b.FacesComposed());
    using F = CPngButton::Face;
    QCOMPARE(b.FaceImage(F::Checked), b.FaceImage(F::Normal));
    QCOMPARE(b.FaceImage(F::PressedChecked), b.FaceImage(F::Pressed));
    QCOMPARE(b.FaceImage(F::HoverChecked), b.FaceImage(F::Hover));
    QVERIFY(b.FaceImage(F::Hover) != b.FaceImage(F::Normal));
    // Pressed: the picture one pixel right and down.
    const QImage& normal = b.FaceImage(F::Normal);
    const QImage& pressed = b.FaceImage(F::Pressed);
    QCOMPARE(pressed.pixel(11, 11), normal.pixel(10, 10));
    QCOMPARE(pressed.pixel(6, 6), normal.pixel(5, 5));
    QVERIFY(pressed.pixel(5, 5) != normal.pixel(5, 5));
    // Hover: brighter, not a different picture.
    const QRgb n = normal.pixel(20, 20), h = b.FaceImage(F::Hover).pixel(20, 20);
    QVERIFY(qRed(h) > qRed(n) && qGreen(h) > qGreen(n) && qBlue(h) > qBlue(n));
    QCOMPARE(qRed(h), qMin(255, int(qRed(n) * 1.05 + 12.75 + 0.5)));
    QVERIFY(IsGrey(b.FaceImage(F::Disabled).copy(5, 5, 30, 20)));
    QCOMPARE(b.FaceImage(F::Disabled).pixel(0, 0), normal.pixel(0, 0)); // background kept
}

void TestControls::facesFollowThePointerAndTheFlags() {
    QWidget parent;
    parent.resize(200, 100);
    CPngButton b(&parent);
    b.setGeometry(10, 10, 40, 30);
    b.SetImage(Picture());
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    using F = CPngButton::Face;
    QCOMPARE(b.CurrentFace(), F::Normal);
    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
    QApplication::sendEvent(&b, &enter);
    QCOMPARE(b.CurrentFace(), F::Hover);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    QCOMPARE(b.CurrentFace(), F::Normal); // back at once
    b.DisabledLook = true;
    QCOMPARE(b.CurrentFace(), F::Disabled);
    b.DisabledLook = false;
    b.Toggle = true;
    QTest::mouseClick(&b, Qt::LeftButton);
    QVERIFY(b.IsChecked());
    QCOMPARE(b.CurrentFace(), F::Checked);
    QTest::mouseClick(&b, Qt::LeftButton);
    QVERIFY(!b.IsChecked());
    // The first paint composed the faces from the parent's background.
    QTRY_VERIFY(b.FacesComposed());
}

void TestControls::doubleClickIsTwoClicks() {
    CPngButton b;
    b.resize(40, 30);
    b.SetImage(Picture());
    int clicks = 0;
    QObject::connect(&b, &QAbstractButton::clicked, [&]() { ++clicks; });
    QTest::mouseClick(&b, Qt::LeftButton);
    QTest::mouseDClick(&b, Qt::LeftButton);
    QTest::mouseRelease(&b, Qt::LeftButton);
    QCOMPARE(clicks, 2);
}

void TestControls::resourcesLoad_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QSize>("size");
    for (int id = 213; id <= 222; ++id)
        QTest::addRow("navigation %d", id) << id << "PNG" << QSize(105, 105);
    QTest::newRow("export") << 134 << "PNG" << QSize(86, 30);
    QTest::newRow("search") << 273 << "PNG" << QSize(86, 30);
    QTest::newRow("home background") << 209 << "BITMAP" << QSize(1009, 719);
    QTest::newRow("download background") << 261 << "BITMAP" << QSize(1009, 719);
    QTest::newRow("graph background") << 264 << "BITMAP" << QSize(1009, 719);
    QTest::newRow("frame corner") << 131 << "BITMAP" << QSize(21, 21);
    QTest::newRow("title tile") << 133 << "BITMAP" << QSize(30, 17);
    QTest::newRow("close held") << 135 << "BITMAP" << QSize(21, 19);
    QTest::newRow("top-left piece") << 138 << "BITMAP" << QSize(22, 19);
}

void TestControls::resourcesLoad() {
    QFETCH(int, id);
    QFETCH(QString, type);
    QFETCH(QSize, size);
    const QImage img(ResourcePath(id, type.toLatin1().constData()));
    QCOMPARE(img.size(), size);
    CPngButton b;
    QVERIFY(b.SetImage(id, type.toLatin1().constData()));
    QVERIFY(!b.SetImage(9999, "PNG")); // no such picture: nothing to draw
}

void TestControls::captionButtonsAndRoundedShape() {
    CRaravFrame f;
    f.resize(400, 300);
    using B = CRaravFrame::CaptionButton;
    QCOMPARE(f.HitCaptionButton(QPoint(390, 5)), B::Close);
    QCOMPARE(f.HitCaptionButton(QPoint(370, 5)), B::Maximize);
    QCOMPARE(f.HitCaptionButton(QPoint(350, 5)), B::Minimize);
    QCOMPARE(f.HitCaptionButton(QPoint(320, 5)), B::None);
    QCOMPARE(f.HitCaptionButton(QPoint(390, 25)), B::None);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QVERIFY(!f.mask().contains(QPoint(0, 0))); // rounded corners
    QVERIFY(!f.mask().contains(QPoint(399, 299)));
    QVERIFY(f.mask().contains(QPoint(200, 150)));
    QVERIFY(f.mask().contains(QPoint(6, 0)));
    QCOMPARE(f.contentsMargins(), QMargins(6, 20, 7, 7));
    // Press and release on close closes; release elsewhere only clears the held state.
    QTest::mousePress(&f, Qt::LeftButton, {}, QPoint(390, 5));
    QCOMPARE(f.Held(), B::Close);
    QTest::mouseRelease(&f, Qt::LeftButton, {}, QPoint(200, 150));
    QCOMPARE(f.Held(), B::None);
    QVERIFY(f.isVisible());
    QTest::mousePress(&f, Qt::LeftButton, {}, QPoint(390, 5));
    QTest::mouseRelease(&f, Qt::LeftButton, {}, QPoint(392, 6));
    QVERIFY(!f.isVisible());
}

void TestControls::percentBarText_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QString>("text");
    QTest::newRow("40 of 100") << 0 << 100 << 40 << "40%";
    QTest::newRow("offset range") << 100 << 300 << 150 << "25%";
    QTest::newRow("full") << 0 << 9999 << 9999 << "100%";
    QTest::newRow("empty range paints nothing") << 5 << 5 << 5 << "";
}

void TestControls::percentBarText() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, pos);
    QFETCH(QString, text);
    CPercentBar bar;
    bar.SetRange(min, max);
    bar.SetPos(pos);
    QCOMPARE(bar.Text(), text);
}

void TestControls::datePickerShowsTheSettingsFormat_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("text");
    QTest::newRow("year-month-day") << 0 << "2026-01-31";
    QTest::newRow("month/day/year") << 1 << "01/31/2026";
    QTest::newRow("day/month/year") << 2 << "31/01/2026";
    QTest::newRow("out of range") << 7 << "2026-01-31";
}

void TestControls::datePickerShowsTheSettingsFormat() {
    QFETCH(int, format);
    QFETCH(QString, text);
    CDateTimeCtrl picker;
    picker.SetDateFormat(format);
    picker.SetDate(QDate(2026, 1, 31));
    QCOMPARE(picker.text(), text);
    QCOMPARE(picker.GetDate(), QDate(2026, 1, 31));
}

void TestControls::processDialogFollowsItsModel() {
    ProcessDlgModel model;
    CProcessDlg dlg(model);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Process"));
    QVERIFY(!dlg.isVisible());
    model.SetText("Data is transferred from analyzer.");
    model.Show();
    QTRY_VERIFY(dlg.isVisible());
    QCOMPARE(dlg.TextLine()->Text(), QStringLiteral("Data is transferred from analyzer."));
    model.SetProgress(40, "Records received: 4 of 10");
    QTRY_VERIFY(dlg.Bar()->isVisible());
    QCOMPARE(dlg.Bar()->Text(), QStringLiteral("40%"));
    // Close only hides, in the model too; the next text and show bring it back.
    QTest::mouseClick(dlg.CloseButton(), Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!model.IsVisible());
    model.SetText("Receiving data - Completed \r\n(Close this message box)");
    model.Show();
    QTRY_VERIFY(dlg.isVisible());
    QCOMPARE(dlg.TextLine()->Text(),
             QStringLiteral("Receiving data - Completed \n(Close this message box)"));
}

void TestControls::checkingDialogAnswersOk() {
    CheckingDlgModel model;
    CCheckingDlg dlg(model);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Checking"));
    model.SetText("Automatic mode was terminated.");
    model.Show();
    QTRY_VERIFY(dlg.isVisible());
    QCOMPARE(model.Answer(), 0);
    QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
    QCOMPARE(model.Answer(), 1);
    QVERIFY(!model.IsVisible());
    QVERIFY(!dlg.isVisible());
}

void TestControls::buttonsWorkFromTheKeyboard_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TestControls::buttonsWorkFromTheKeyboard() {
    QFETCH(int, key);
    QWidget page;
    page.resize(200, 60);
    auto* first = new QPushButton(QStringLiteral("first"), &page);
    auto* button = new CPngButton(&page);
    button->SetImage(Picture());
    button->setGeometry(100, 10, 40, 30);
    page.show();
    QApplication::setActiveWindow(&page);
    QVERIFY(QTest::qWaitForWindowActive(&page));
    first->setFocus();
    const QImage unfocused = button->grab().toImage();
    // Tab reaches the button, which shows a focus frame.
    QTest::keyClick(first, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button);
    QVERIFY(button->grab().toImage() != unfocused);
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::keyClick(button, static_cast<Qt::Key>(key));
    QCOMPARE(clicked.count(), 1);
}

void TestControls::typedWholeDate_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("expected"); // invalid: refused, the old date stays
    const QDate refused;
    QTest::newRow("year first") << 0 << "1975-06-30" << QDate(1975, 6, 30);
    QTest::newRow("month first") << 1 << "06/30/1975" << QDate(1975, 6, 30);
    QTest::newRow("day first") << 2 << "30/06/1975" << QDate(1975, 6, 30);
    QTest::newRow("other separators, one-digit parts") << 2 << "1.6.1975" << QDate(1975, 6, 1);
    QTest::newRow("impossible day") << 0 << "1975-02-30" << refused;
    QTest::newRow("day first typed month first") << 2 << "06/30/1975" << refused;
    QTest::newRow("two-digit year") << 1 << "06/30/75" << refused;
    QTest::newRow("not a date") << 0 << "19750630" << refused;
}

void TestControls::typedWholeDate() {
    QFETCH(int, format);
    QFETCH(QString, typed);
    QFETCH(QDate, expected);
    const QDate before(2024, 3, 15);
    for (bool byEnter : {true, false}) {
        QWidget page;
        auto* picker = new CDateTimeCtrl(&page);
        auto* next = new QPushButton(QStringLiteral("next"), &page);
        next->move(0, 40);
        picker->SetDateFormat(format);
        picker->SetDate(before);
        page.show();
        QApplication::setActiveWindow(&page);
        QVERIFY(QTest::qWaitForWindowActive(&page));
        picker->setFocus();
        QSignalSpy refusals(picker, &CDateTimeCtrl::DateRefused);
        QTest::keyClick(picker, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(picker, typed);
        if (byEnter)
            QTest::keyClick(picker, Qt::Key_Return);
        else
            QTest::keyClick(picker, Qt::Key_Tab); // the focus leaves
        QCOMPARE(picker->GetDate(), expected.isValid() ? expected : before);
        QCOMPARE(picker->Refused(), !expected.isValid());
        QCOMPARE(refusals.count(), expected.isValid() ? 0 : 1);
        if (!expected.isValid()) {
            QVERIFY(refusals.at(0).at(0).toString().contains(typed));
            QVERIFY(picker->toolTip().contains(typed)); // said where it happened
        }
        QCOMPARE(picker->text(), picker->GetDate().toString(picker->displayFormat()));
    }
}

void TestControls::processDialogIsReadAndClosedFromTheKeyboard() {
    ProcessDlgModel model;
    CProcessDlg dlg(model);
    model.SetText("Data is transferred from analyzer.");
    model.SetProgress(40, "Records received: 4 of 10");
    model.Show();
    QTRY_VERIFY(dlg.isVisible());
    // Its text and progress are on the accessibility tree.
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&dlg);
    QVERIFY(a);
    QStringList names;
    for (int i = 0; i < a->childCount(); ++i)
        names << a->child(i)->text(QAccessible::Name);
    QVERIFY2(names.contains(QStringLiteral("Data is transferred from analyzer.")),
             qPrintable(names.join('|')));
    QVERIFY2(names.contains(QStringLiteral("Records received: 4 of 10")),
             qPrintable(names.join('|')));
    // Escape acts as Close: the window and the model are hidden.
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!model.IsVisible());
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
