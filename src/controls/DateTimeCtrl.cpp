#include "controls/DateTimeCtrl.h"

#include "settings/DisplayFormats.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QToolTip>
#include <QValidator>

CDateTimeCtrl::CDateTimeCtrl(QWidget* parent) : QDateEdit(parent) {
    setCalendarPopup(true);
    setDate(QDate::currentDate());
    SetDateFormat(0);
}

void CDateTimeCtrl::SetDateFormat(int dateFormat) {
    setDisplayFormat(QString::fromStdString(DatePickerQtFormat(dateFormat)));
}

void CDateTimeCtrl::SetDate(const QDate& date) {
    EndTyping();
    SetRefused(QString());
    setDate(date);
}

QDate CDateTimeCtrl::GetDate() const {
    if (typing_)
        const_cast<CDateTimeCtrl*>(this)->CommitTyped();
    return date();
}

void CDateTimeCtrl::SetAccessibleName(const QString& name) {
    setAccessibleName(name);
    lineEdit()->setAccessibleName(name);
}

QDate CDateTimeCtrl::ParseTypedDate(const QString& typed, const QString& displayFormat) {
    // The parts in the order of the format, whatever stands between them.
    const QStringList parts =
        typed.trimmed().split(QRegularExpression(QStringLiteral("[-/. ]+")), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return {};
    QString order; // "ymd", "mdy" or "dmy"
    for (QChar c : displayFormat) {
        const QChar l = c.toLower();
        if ((l == QLatin1Char('y') || l == QLatin1Char('m') || l == QLatin1Char('d')) &&
            !order.contains(l))
            order += l;
    }
    if (order.size() != 3)
        return {};
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int v = parts[i].toInt(&ok);
        if (!ok || parts[i].size() > (order[i] == QLatin1Char('y') ? 4 : 2))
            return {};
        if (order[i] == QLatin1Char('y')) {
            if (parts[i].size() != 4) // a two-digit year is not a whole date
                return {};
            y = v;
        } else if (order[i] == QLatin1Char('m')) {
            m = v;
        } else {
            d = v;
        }
    }
    return QDate(y, m, d); // invalid for an impossible date
}

void CDateTimeCtrl::ShowTyped() {
    // Unheard and unchecked by the picker: a part of the date must not be taken (or "fixed")
    // while it is being typed.
    if (!held_)
        held_ = lineEdit()->validator();
    lineEdit()->setValidator(nullptr);
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(typed_);
}

void CDateTimeCtrl::EndTyping() {
    typing_ = false;
    typed_.clear();
    if (held_)
        lineEdit()->setValidator(held_);
    held_ = nullptr;
}

bool CDateTimeCtrl::CommitTyped() {
    const QString typed = typed_;
    EndTyping();
    const QDate d = ParseTypedDate(typed, displayFormat());
    if (d.isValid() && d >= minimumDate() && d <= maximumDate()) {
        SetRefused(QString());
        setDate(d);
        lineEdit()->setText(textFromDateTime(dateTime())); // also when the date did not change
        return true;
    }
    lineEdit()->setText(textFromDateTime(dateTime()));
    SetRefused(QStringLiteral("\"%1\" is not a date in the format %2: the date stays %3.")
                   .arg(typed, displayFormat(), textFromDateTime(dateTime())));
    return false;
}

void CDateTimeCtrl::SetRefused(const QString& why) {
    const bool refused = !why.isEmpty();
    if (refused == refused_ && !refused)
        return;
    refused_ = refused;
    setStyleSheet(refused ? QStringLiteral("CDateTimeCtrl { border: 2px solid #c0392b; }")
                          : QString());
    setToolTip(why);
    if (refused) {
        if (isVisible())
            QToolTip::showText(mapToGlobal(QPoint(0, height())), why, this);
        Q_EMIT DateRefused(why);
    }
}

void CDateTimeCtrl::keyPressEvent(QKeyEvent* e) {
    const QString text = e->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint() &&
                           !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typing_) {
        switch (e->key()) {
        case Qt::Key_Escape:
            EndTyping();
            lineEdit()->setText(textFromDateTime(dateTime()));
            return;
        case Qt::Key_Backspace:
            typed_.chop(1);
            ShowTyped();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            CommitTyped();
            QDateEdit::keyPressEvent(e); // a dialog's default button still hears Enter
            return;
        default:
            if (printable) {
                typed_ += text;
                ShowTyped();
                return;
            }
            CommitTyped();
            QDateEdit::keyPressEvent(e);
            return;
        }
    }
    // Typing over the whole selected text starts a whole date.
    const QLineEdit* edit = lineEdit();
    if (printable && text.at(0).isDigit() && edit->hasSelectedText() &&
        edit->selectedText() == edit->text()) {
        typing_ = true;
        typed_ = text;
        ShowTyped();
        return;
    }
    QDateEdit::keyPressEvent(e);
}

void CDateTimeCtrl::focusOutEvent(QFocusEvent* e) {
    if (typing_)
        CommitTyped();
    QDateEdit::focusOutEvent(e);
}

bool CDateTimeCtrl::focusNextPrevChild(bool next) {
    return QAbstractSpinBox::focusNextPrevChild(next);
}

void ShowWeekEndingAt(CDateTimeCtrl& start, CDateTimeCtrl& end, const QDate& last, int dateFormat) {
    start.SetDateFormat(dateFormat);
    end.SetDateFormat(dateFormat);
    end.SetDate(last);
    start.SetDate(last.addDays(-7));
}
