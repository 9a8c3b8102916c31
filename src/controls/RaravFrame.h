#pragma once
// The skinned frame of the main window: no system frame, a 20-pixel caption strip of its own
// with the title and the minimise, maximise/restore and close buttons, thin borders, rounded
// 11 x 11 corners, and dragging by the strip.

#include <QMainWindow>
#include <QPixmap>

class CRaravFrame : public QMainWindow {
    Q_OBJECT
public:
    enum CaptionButton { None, Minimize, Maximize, Close };

    explicit CRaravFrame(QWidget* parent = nullptr);

    // Which caption button lies under a point of the window (None elsewhere).
    CaptionButton HitCaptionButton(const QPoint& p) const;
    bool InCaption(const QPoint& p) const { return p.y() >= 0 && p.y() < kCaptionHeight; }
    CaptionButton Held() const { return held_; }

    static constexpr int kCaptionHeight = 20;
    static constexpr int kLeft = 6, kRight = 7, kBottom = 7;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void changeEvent(QEvent*) override;

private:
    void Act(CaptionButton b);
    QPixmap pieces_[10]; // 131..140
    CaptionButton held_ = None;
    bool dragging_ = false;
    QPoint dragOffset_;
};
