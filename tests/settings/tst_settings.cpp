#include "TestSupport.h"
#include "settings/DisplayFormats.h"
#include "settings/Settings.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString File() const { return QDir(dir_.path()).filePath("set_info.ini"); }

private Q_SLOTS:
    void missingFileIsCreatedWithDefaults() {
        QFile::remove(File());
        AppSettings s;
        s.unit = 5;
        LoadSettings(s, dir_.path());
        QCOMPARE(s.unit, 0);
        QCOMPARE(s.time, 1);
        QCOMPARE(ReadAll(File()),
                 QByteArray("[SETTING VALUE]\r\nunit=0\r\nDate=0\r\ntime=1\r\nhigh=2.4\r\n"
                            "low=2.4\r\nPID_Digit=13\r\nOPID_Digit=13\r\nlang=0\r\nName=\r\n"
                            "Hospital=\r\nEmail=\r\nCommand=\r\n"));
    }

    void sectionOnlyGivesMinusOneButDigits() {
        QVERIFY(WriteAll(File(), "[SETTING VALUE]\r\n"));
        AppSettings s;
        LoadSettings(s, dir_.path());
        QCOMPARE(s.PID_Digit, 13);
        QCOMPARE(s.OPID_Digit, 13);
        QCOMPARE(s.unit, -1);
        QCOMPARE(s.Date, -1);
        QCOMPARE(s.time, -1);
        QCOMPARE(s.lang, -1);
        QCOMPARE(s.high, -1.0f);
        QCOMPARE(s.Name, std::string("-1"));
        QCOMPARE(s.Command, std::string("-1"));
    }

    void saveThenLoadKeepsEveryValue() {
        AppSettings s;
        s.unit = 1;
        s.Date = 2;
        s.time = 0;
        s.high = 7.26f;
        s.PID_Digit = 9;
        s.Name = std::string(120, 'n'); // cut to 99 on reading
        s.Email = "a@b.c";
        QVERIFY(SaveSettings(s, dir_.path()));
        AppSettings r;
        LoadSettings(r, dir_.path());
        QCOMPARE(r.unit, 1);
        QCOMPARE(r.Date, 2);
        QCOMPARE(r.time, 0);
        QCOMPARE(r.high, 7.3f); // "%2.1f"
        QCOMPARE(r.PID_Digit, 9);
        QCOMPARE(r.Name, std::string(99, 'n'));
        QCOMPARE(r.Email, std::string("a@b.c"));
    }

    void resultTexts_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("mmol");
        QTest::addColumn<QString>("mmolList");
        QTest::addColumn<float>("chartPercent");
        QTest::addColumn<float>("chartMmol");
        QTest::newRow("040") << QByteArray("040") << "< 4 %"
                             << "< 20 mmol/mol"
                             << "< 20  mmol/mol" << 4.0f << 20.0f;
        QTest::newRow("041") << QByteArray("041") << "4.1 %"
                             << "21 mmol/mol"
                             << "21 mmol/mol" << 4.1f << 21.0f;
        QTest::newRow("057") << QByteArray("057") << "5.7 %"
                             << "39 mmol/mol"
                             << "39 mmol/mol" << 5.7f << 39.0f;
        QTest::newRow("065") << QByteArray("065") << "6.5 %"
                             << "48 mmol/mol"
                             << "48 mmol/mol" << 6.5f << 48.0f;
        QTest::newRow("139") << QByteArray("139") << "13.9 %"
                             << "128 mmol/mol"
                             << "128 mmol/mol" << 13.9f << 128.0f;
        QTest::newRow("140") << QByteArray("140") << "> 14 %"
                             << "> 130 mmol/mol"
                             << "> 130  mmol/mol" << 14.0f << 130.0f;
        QTest::newRow("garbage") << QByteArray("x") << "< 4 %"
                                 << "< 20 mmol/mol"
                                 << "< 20  mmol/mol" << 4.0f << 20.0f;
    }
    void resultTexts() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, percent);
        QFETCH(QString, mmol);
        QFETCH(QString, mmolList);
        QFETCH(float, chartPercent);
        QFETCH(float, chartMmol);
        QCOMPARE(QString::fromStdString(FormatResultText(stored, 0)), percent);
        QCOMPARE(QString::fromStdString(FormatResultText(stored, 1)), mmol);
        QCOMPARE(QString::fromStdString(FormatResultText(stored, 7)), mmol); // any non-zero
        QCOMPARE(QString::fromStdString(FormatResultListText(stored, 0)), percent);
        QCOMPARE(QString::fromStdString(FormatResultListText(stored, 1)), mmolList);
        QCOMPARE(ChartResultValue(stored, 0), chartPercent);
        QCOMPARE(ChartResultValue(stored, 1), chartMmol);
    }

    void dateAndTimeTexts_data() {
        QTest::addColumn<int>("dateFormat");
        QTest::addColumn<int>("timeFormat");
        QTest::addColumn<QString>("listDate");
        QTest::addColumn<QString>("listTime");
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("chart");
        QTest::newRow("ymd 24h") << 0 << 1 << "2024-01-31"
                                 << "14:05"
                                 << "2024-01-31 14:05"
                                 << "2024-01-31 14:05";
        QTest::newRow("mdy 12h") << 1 << 0 << "01-31-2024"
                                 << "02:05 PM"
                                 << "01-31-2024 02:05 PM"
                                 << "01/31/2024 14:05";
        QTest::newRow("dmy 24h") << 2 << 1 << "31-01-2024"
                                 << "14:05"
                                 << "31-01-2024 14:05"
                                 << "31/01/2024 14:05";
        QTest::newRow("missing keys read as -1: default formats") << -1 << -1 << "2024-01-31"
                                                                  << "14:05"
                                                                  << "2024-01-31 14:05"
                                                                  << "2024-01-31 14:05";
        QTest::newRow("out of range") << 7 << 3 << "2024-01-31"
                                      << "14:05"
                                      << "2024-01-31 14:05"
                                      << "2024-01-31 14:05";
    }
    void dateAndTimeTexts() {
        QFETCH(int, dateFormat);
        QFETCH(int, timeFormat);
        QFETCH(QString, listDate);
        QFETCH(QString, listTime);
        QFETCH(QString, dialog);
        QFETCH(QString, chart);
        const char* d = "20240131";
        const char* t = "1405";
        QCOMPARE(QString::fromStdString(FormatRecordDate(d, t, dateFormat, DateTimeStyle::List)),
                 listDate);
        QCOMPARE(QString::fromStdString(FormatRecordTime(d, t, timeFormat, DateTimeStyle::List)),
                 listTime);
        AppSettings s;
        s.Date = dateFormat;
        s.time = timeFormat;
        QCOMPARE(QString::fromStdString(FormatRecordDateTime(d, t, s)), dialog);
        QCOMPARE(QString::fromStdString(FormatChartLabel(d, t, dateFormat)), chart);
    }

    void twelveHourClockAroundMidnightAndNoon_data() {
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("midnight") << QByteArray("0005") << "12:05 AM";
        QTest::newRow("morning") << QByteArray("1159") << "11:59 AM";
        QTest::newRow("noon") << QByteArray("1200") << "12:00 PM";
        QTest::newRow("evening") << QByteArray("2359") << "11:59 PM";
    }
    void twelveHourClockAroundMidnightAndNoon() {
        QFETCH(QByteArray, time);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(FormatRecordTime("20240131", time, 0, DateTimeStyle::List)),
                 expected);
    }

    void titlesAndPickerFormats() {
        QCOMPARE(ChartDateAxisTitle(0), std::string("Date/Time (Year-Month-Day)"));
        QCOMPARE(ChartDateAxisTitle(1), std::string("Date/Time (Month/Day/Year)"));
        QCOMPARE(ChartDateAxisTitle(2), std::string("Date/Time (Day/Month/Year)"));
        QCOMPARE(ChartResultAxisTitle(0), std::string("HbA1c Result(%)"));
        QCOMPARE(ChartResultAxisTitle(1), std::string("HbA1c Result(mmol/mol)"));
        QCOMPARE(DatePickerFormat(1), std::string("MM'/'dd'/'yyy"));
        QCOMPARE(DatePickerQtFormat(2), std::string("dd/MM/yyyy"));
        QCOMPARE(MmolToPercent(48.0f), (48.0f + 23.5f) * 0.09149968f);
    }

    void dialogSaveWithoutChangeKeepsTheFile_data() {
        QTest::addColumn<int>("unit");
        QTest::newRow("percent") << 0;
        QTest::newRow("mmol/mol") << 1;
    }
    void dialogSaveWithoutChangeKeepsTheFile() {
        QFETCH(int, unit);
        AppSettings s;
        s.unit = unit;
        s.Date = 1;
        s.time = 0;
        s.PID_Digit = 4;
        s.high = 6.5f;
        s.low = 4.0f;
        s.Command = "note";
        QVERIFY(SaveSettings(s, dir_.path()));
        const QByteArray before = ReadAll(File());
        LoadSettings(s, dir_.path());
        SettingsDialogState st = SettingsDialogOpen(s);
        QCOMPARE(st.unitLabel, std::string(unit == 0 ? "%" : "mmol/mol"));
        SettingsDialogApply(st, s);
        QVERIFY(SaveSettings(s, dir_.path()));
        LoadSettings(s, dir_.path());
        QCOMPARE(ReadAll(File()), before);
    }

    void dialogReadsRadiosAsTheDialogDoes() {
        AppSettings s;
        SettingsDialogState st = SettingsDialogOpen(s);
        st.unitPercent = false;
        st.unitMmol = true;
        st.date[0] = false;
        st.date[1] = true;
        st.time12 = true;
        st.time24 = false;
        st.pidDigitIndex = 2;
        st.name = "Dr. Who";
        SettingsDialogApply(st, s);
        QCOMPARE(s.unit, 1);
        QCOMPARE(st.unitLabel, std::string("mmol/mol"));
        QCOMPARE(s.Date, 1);
        QCOMPARE(s.time, 0);
        QCOMPARE(s.PID_Digit, 2);
        QCOMPARE(s.Name, std::string("Dr. Who"));
        QCOMPARE(s.high, 2.4f); // shown in percent, kept in percent
        st.date[2] = true;      // two radios checked reads as the third format
        SettingsDialogApply(st, s);
        QCOMPARE(s.Date, 2);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
