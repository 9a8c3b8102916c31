#include "controls/DateTimeCtrl.h"

#include "settings/DisplayFormats.h"

CDateTimeCtrl::CDateTimeCtrl(QWidget* parent) : QDateEdit(parent) {
    setCalendarPopup(true);
    setDate(QDate::currentDate());
    SetDateFormat(0);
}

void CDateTimeCtrl::SetDateFormat(int dateFormat) {
    setDisplayFormat(QString::fromStdString(DatePickerQtFormat(dateFormat)));
}

void ShowWeekEndingAt(CDateTimeCtrl& start, CDateTimeCtrl& end, const QDate& last, int dateFormat) {
    start.SetDateFormat(dateFormat);
    end.SetDateFormat(dateFormat);
    end.SetDate(last);
    start.SetDate(last.addDays(-7));
}
