#pragma once
// The percentage bar of the status dialog: the filled share is (position - minimum) /
// (maximum - minimum), with the percentage written in it; nothing while maximum <= minimum.

#include <QWidget>

class CPercentBar : public QWidget {
public:
    explicit CPercentBar(QWidget* parent = nullptr);
    void SetRange(int minimum, int maximum);
    void SetPos(int position);
    int Pos() const { return pos_; }
    // The text painted in the bar, e.g. "40%"; empty when nothing is painted.
    QString Text() const;
    void SetDetail(const QString& detail);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int min_ = 0, max_ = 100, pos_ = 0;
    QString detail_;
};
