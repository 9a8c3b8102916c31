#include "controls/PercentBar.h"

#include <QPainter>

CPercentBar::CPercentBar(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(22);
}

void CPercentBar::SetRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = maximum;
    update();
}

void CPercentBar::SetPos(int position) {
    if (position == pos_)
        return;
    pos_ = position;
    update();
}

void CPercentBar::SetDetail(const QString& detail) {
    detail_ = detail;
    update();
}

QString CPercentBar::Text() const {
    if (max_ <= min_)
        return QString();
    const int percent = static_cast<int>(100LL * (pos_ - min_) / (max_ - min_));
    return QStringLiteral("%1%").arg(percent);
}

void CPercentBar::paintEvent(QPaintEvent*) {
    if (max_ <= min_)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QColor(0xc9, 0xd3, 0xd8));
    p.setBrush(Qt::white);
    p.drawRoundedRect(r, 4, 4);
    const double share = std::clamp(double(pos_ - min_) / (max_ - min_), 0.0, 1.0);
    if (share > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x7a, 0x8c));
        p.drawRoundedRect(QRectF(r.left(), r.top(), r.width() * share, r.height()), 4, 4);
    }
    const QString text = detail_.isEmpty() ? Text() : detail_ + QStringLiteral("   ") + Text();
    // Dark text on the empty part, white on the filled part.
    p.setPen(QColor(0x26, 0x32, 0x38));
    p.drawText(r, Qt::AlignCenter, text);
    p.setClipRect(QRectF(r.left(), r.top(), r.width() * share, r.height()));
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text);
}
