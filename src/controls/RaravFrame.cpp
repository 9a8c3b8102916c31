#include "controls/RaravFrame.h"

#include "controls/PngButton.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

namespace {
QPixmap Piece(int id) {
    return QPixmap(ResourcePath(id, "BITMAP"));
}
} // namespace

CRaravFrame::CRaravFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowSystemMenuHint);
    setMouseTracking(true);
    for (int i = 0; i < 10; ++i)
        pieces_[i] = Piece(131 + i);
    // The client area: 20 pixels below the top, 6 from the left, 7 before right and bottom.
    setContentsMargins(kLeft, kCaptionHeight, kRight, kBottom);
}

CRaravFrame::CaptionButton CRaravFrame::HitCaptionButton(const QPoint& p) const {
    if (!InCaption(p))
        return None;
    const int right = width();
    if (p.x() > right - 23)
        return Close;
    if (p.x() > right - 44)
        return Maximize;
    if (p.x() > right - 65)
        return Minimize;
    return None;
}

void CRaravFrame::resizeEvent(QResizeEvent* e) {
    // Rounded corners with 11 x 11 ellipses.
    QBitmap mask(size());
    mask.fill(Qt::color0);
    QPainter p(&mask);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::color1);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, width(), height()), 5.5, 5.5);
    p.end();
    setMask(mask);
    QMainWindow::resizeEvent(e);
}

void CRaravFrame::paintEvent(QPaintEvent*) {
    const int w = width(), h = height();
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, w, h), 7, 7);
    p.fillPath(outline, QColor(230, 230, 230));
    p.setPen(QColor(11, 11, 12));
    p.drawLine(0, 19, w, 19);
    p.setPen(QColor(149, 169, 214));
    p.drawLine(10, 1, w - 10, 1);
    auto vline = [&](int x, QColor c) {
        p.setPen(c);
        p.drawLine(x, 20, x, h - 6);
    };
    vline(1, Qt::white);
    vline(5, QColor(161, 161, 161));
    vline(w - 3, QColor(196, 196, 196));
    vline(w - 6, Qt::white);
    vline(w - 7, QColor(161, 161, 161));
    auto hline = [&](int y, QColor c) {
        p.setPen(c);
        p.drawLine(5, y, w - 6, y);
    };
    hline(h - 3, QColor(184, 184, 184));
    hline(h - 6, Qt::white);
    hline(h - 7, QColor(161, 161, 161));
    const QPixmap& tile = pieces_[133 - 131];
    p.fillRect(QRect(22, 1, w - 22, 18), QColor(0x1f, 0x7a, 0x8c)); // under the tiles' edges
    for (int x = 23; x < w - 33; x += 30)
        p.drawPixmap(x, 2, 30, 17, tile);
    p.drawPixmap(1, h - 23, 21, 21, pieces_[0]);
    p.drawPixmap(w - 23, h - 23, 21, 21, pieces_[1]);
    p.drawPixmap(1, 1, 22, 19, pieces_[138 - 131]);
    p.drawPixmap(w - 23, 1, 21, 19, pieces_[(held_ == Close ? 135 : 134) - 131]);
    p.drawPixmap(w - 44, 1, 21, 19, pieces_[(held_ == Maximize ? 137 : 136) - 131]);
    p.drawPixmap(w - 65, 1, 21, 19, pieces_[(held_ == Minimize ? 140 : 139) - 131]);
    p.setPen(Qt::white);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    const QRect textRect(30, 0, std::max(0, w - 100), 20);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               p.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, textRect.width()));
}

void CRaravFrame::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !InCaption(e->position().toPoint())) {
        QMainWindow::mousePressEvent(e);
        return;
    }
    held_ = HitCaptionButton(e->position().toPoint());
    if (held_ != None) {
        update(QRect(0, 0, width(), kCaptionHeight));
        return;
    }
    // The strip drags the window: through the window system where it can, else by hand.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CRaravFrame::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton) && !isMaximized())
        move(e->globalPosition().toPoint() - dragOffset_);
    QMainWindow::mouseMoveEvent(e);
}

void CRaravFrame::mouseReleaseEvent(QMouseEvent* e) {
    dragging_ = false;
    const CaptionButton was = held_;
    if (was != None) {
        held_ = None;
        update(QRect(0, 0, width(), kCaptionHeight));
        if (HitCaptionButton(e->position().toPoint()) == was)
            Act(was);
        return;
    }
    QMainWindow::mouseReleaseEvent(e);
}

void CRaravFrame::mouseDoubleClickEvent(QMouseEvent* e) {
    if (InCaption(e->position().toPoint()) && HitCaptionButton(e->position().toPoint()) == None)
        Act(Maximize);
    else
        QMainWindow::mouseDoubleClickEvent(e);
}

void CRaravFrame::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowTitleChange)
        update(QRect(0, 0, width(), kCaptionHeight));
    QMainWindow::changeEvent(e);
}

void CRaravFrame::Act(CaptionButton b) {
    switch (b) {
    case Minimize:
        showMinimized();
        break;
    case Maximize:
        isMaximized() ? showNormal() : showMaximized();
        break;
    case Close:
        close();
        break;
    case None:
        break;
    }
}
