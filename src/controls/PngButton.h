#pragma once
// The image button of every view and dialog. Its faces are composed once, at the first paint,
// from the picture over a copy of the parent's background under the button, so the button sits
// seamlessly on the view's full-size picture; every later paint is one copy.
//
// Faces: normal; pressed (one pixel right and down); hover (brightened: each colour times 1.05
// plus 5 %); disabled (grey: 0.3 R + 0.59 G + 0.11 B); and, with a second image, checked,
// pressed-checked and hover-checked.

#include <QAbstractButton>
#include <QImage>

class QPainter;

class CPngButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Face {
        Normal,
        Pressed,
        Hover,
        Checked,
        PressedChecked,
        HoverChecked,
        Disabled,
        FaceCount
    };

    explicit CPngButton(QWidget* parent = nullptr);

    // Loads picture number id of the given type ("PNG" or "BITMAP"); false when there is none.
    bool SetImage(int id, const char* type = "PNG");
    bool SetSecondImage(int id, const char* type = "PNG");
    // Direct images (tests, generated faces).
    void SetImage(const QImage& image);
    void SetSecondImage(const QImage& image);

    bool DisabledLook = false; // draw the disabled face whatever the state
    bool Toggle = false;       // each press flips the checked flag
    bool IsChecked() const { return checked_; }
    void SetChecked(bool c);

    // The face the next paint shows, and every face (empty before the first paint).
    Face CurrentFace() const;
    const QImage& FaceImage(Face f) const { return faces_[f]; }
    bool FacesComposed() const { return composed_; }
    // Composes the faces now over the given background (normally done at the first paint from
    // the parent's own painting).
    void ComposeFaces(const QImage& background);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool event(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    QImage ParentBackground() const;

    QImage image_;
    QImage second_;
    bool hasSecond_ = false;
    bool hover_ = false;
    bool checked_ = false;
    bool composed_ = false;
    QImage faces_[FaceCount];
};

// The keyboard focus frame of the image buttons, inside r.
void DrawFocusFrame(QPainter& p, const QRect& r);

// Colour matrices of the faces, on one image.
QImage BrightenedImage(const QImage& image);
QImage GreyImage(const QImage& image);
// ":/png/<id>.png" or ":/bmp/<id>.png".
QString ResourcePath(int id, const char* type);
