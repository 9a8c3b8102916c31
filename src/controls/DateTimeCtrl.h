#pragma once
// The date picker of the search ranges and the birthday field: a calendar drop-down that shows
// the date in the display format of the settings.

#include <QDateEdit>

class CDateTimeCtrl : public QDateEdit {
public:
    explicit CDateTimeCtrl(QWidget* parent = nullptr);
    // 0 year-month-day, 1 month/day/year, 2 day/month/year (other values as 0).
    void SetDateFormat(int dateFormat);
    void SetDate(const QDate& date) { setDate(date); }
    QDate GetDate() const { return date(); }
};

// The search pickers of a list or the chart: the week that ends on `last`, in the date format
// of the settings.
void ShowWeekEndingAt(CDateTimeCtrl& start, CDateTimeCtrl& end, const QDate& last, int dateFormat);
