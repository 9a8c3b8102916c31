#pragma once
// The date picker of the search ranges and the birthday field: a calendar drop-down that shows
// the date in the display format of the settings.
//
// A whole date can be typed over the selected text (Ctrl+A, then "1975-06-30"): the typed text
// is read as a whole in the picker's format (any of "-", "/" or "." between the parts) when
// Enter is pressed or the focus leaves; an impossible date is refused visibly (the old date
// stays, the picker is framed red and says why) instead of being taken part by part.

#include <QDateEdit>
#include <QPointer>

class QValidator;

class CDateTimeCtrl : public QDateEdit {
    Q_OBJECT
public:
    explicit CDateTimeCtrl(QWidget* parent = nullptr);
    // 0 year-month-day, 1 month/day/year, 2 day/month/year (other values as 0).
    void SetDateFormat(int dateFormat);
    void SetDate(const QDate& date);
    // The date shown; a typed date still being entered is taken (or refused) first.
    QDate GetDate() const;
    // The accessible name of the picker and of its text field.
    void SetAccessibleName(const QString& name);

    // The typed text read as a date in the given Qt display format; invalid when it is not one.
    static QDate ParseTypedDate(const QString& typed, const QString& displayFormat);
    // True while the last typed date was refused (until a date is taken).
    bool Refused() const { return refused_; }

Q_SIGNALS:
    // A typed date was refused; the text says which and why.
    void DateRefused(const QString& why);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    // Tab goes to the next control, as everywhere on the page (Left and Right move between the
    // parts of the date).
    bool focusNextPrevChild(bool next) override;

private:
    // Takes the typed text (true) or refuses it; either way typing ends.
    bool CommitTyped();
    void ShowTyped();
    void EndTyping();
    void SetRefused(const QString& why);

    bool typing_ = false;
    QString typed_;
    bool refused_ = false;
    QPointer<const QValidator> held_; // the picker's own check, set aside while typing
};

// The search pickers of a list or the chart: the week that ends on `last`, in the date format
// of the settings.
void ShowWeekEndingAt(CDateTimeCtrl& start, CDateTimeCtrl& end, const QDate& last, int dateFormat);
