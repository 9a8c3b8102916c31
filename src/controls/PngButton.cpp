#include "controls/PngButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace {

QImage Load(int id, const char* type) {
    QImage img(ResourcePath(id, type));
    return img.isNull() ? QImage() : img.convertToFormat(QImage::Format_ARGB32);
}

// Applies a per-pixel colour function to unpremultiplied ARGB.
template <typename F> QImage Mapped(const QImage& image, F f) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = f(line[x]);
    }
    return out;
}

int Clamp(double v) {
    return std::clamp(static_cast<int>(v + 0.5), 0, 255);
}

} // namespace

// The pictures are compiled into this static library; a library's resources must be
// registered by name, or the linker drops them.
static void RegisterPictures() {
    Q_INIT_RESOURCE(resources);
}

QString ResourcePath(int id, const char* type) {
    static const bool registered = (RegisterPictures(), true);
    (void)registered;
    const bool png = std::strcmp(type, "PNG") == 0;
    return QStringLiteral(":/%1/%2.png")
        .arg(png ? QStringLiteral("png") : QStringLiteral("bmp"))
        .arg(id);
}

QImage BrightenedImage(const QImage& image) {
    return Mapped(image, [](QRgb c) {
        auto f = [](int v) { return Clamp(v * 1.05 + 0.05 * 255); };
        return qRgba(f(qRed(c)), f(qGreen(c)), f(qBlue(c)), qAlpha(c));
    });
}

QImage GreyImage(const QImage& image) {
    return Mapped(image, [](QRgb c) {
        const int g = Clamp(0.3 * qRed(c) + 0.59 * qGreen(c) + 0.11 * qBlue(c));
        return qRgba(g, g, g, qAlpha(c));
    });
}

CPngButton::CPngButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    // Tab reaches every button; Space and Enter press it.
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

bool CPngButton::SetImage(int id, const char* type) {
    image_ = Load(id, type);
    composed_ = false;
    update();
    return !image_.isNull();
}

bool CPngButton::SetSecondImage(int id, const char* type) {
    hasSecond_ = true;
    second_ = Load(id, type);
    composed_ = false;
    update();
    return !second_.isNull();
}

void CPngButton::SetImage(const QImage& image) {
    image_ = image.convertToFormat(QImage::Format_ARGB32);
    composed_ = false;
    update();
}

void CPngButton::SetSecondImage(const QImage& image) {
    hasSecond_ = true;
    second_ = image.convertToFormat(QImage::Format_ARGB32);
    composed_ = false;
    update();
}

void CPngButton::SetChecked(bool c) {
    checked_ = c;
    update();
}

QSize CPngButton::sizeHint() const {
    return image_.isNull() ? QSize(105, 105) : image_.size();
}

QImage CPngButton::ParentBackground() const {
    QImage bg(size(), QImage::Format_ARGB32_Premultiplied);
    QWidget* p = parentWidget();
    bg.fill(p ? p->palette().color(QPalette::Window) : Qt::white);
    if (p) {
        // The parent paints itself only (no children, so not this button) into the copy.
        QPainter painter(&bg);
        p->render(&painter, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
    }
    return bg;
}

void CPngButton::ComposeFaces(const QImage& background) {
    const QImage bg = background.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto over = [&](const QImage& img, QPoint at) {
        QImage face = bg;
        QPainter p(&face);
        p.drawImage(at, img);
        return face;
    };
    faces_[Normal] = over(image_, QPoint(0, 0));
    faces_[Pressed] = over(image_, QPoint(1, 1));
    faces_[Hover] = over(BrightenedImage(image_), QPoint(0, 0));
    faces_[Disabled] = over(GreyImage(image_), QPoint(0, 0));
    if (hasSecond_) {
        faces_[Checked] = over(second_, QPoint(0, 0));
        faces_[PressedChecked] = over(second_, QPoint(1, 1));
        faces_[HoverChecked] = over(BrightenedImage(second_), QPoint(0, 0));
    } else {
        faces_[Checked] = faces_[Normal];
        faces_[PressedChecked] = faces_[Pressed];
        faces_[HoverChecked] = faces_[Hover];
    }
    composed_ = true;
}

CPngButton::Face CPngButton::CurrentFace() const {
    if (DisabledLook)
        return Disabled;
    if (isDown())
        return checked_ ? PressedChecked : Pressed;
    if (hover_)
        return checked_ ? HoverChecked : Hover;
    return checked_ ? Checked : Normal;
}

void CPngButton::paintEvent(QPaintEvent*) {
    if (image_.isNull())
        return; // nothing to draw without a picture
    if (!composed_)
        ComposeFaces(ParentBackground());
    QPainter p(this);
    p.drawImage(0, 0, faces_[CurrentFace()]);
    if (hasFocus())
        DrawFocusFrame(p, rect());
}

void DrawFocusFrame(QPainter& p, const QRect& r) {
    // Two rings, dark inside light, so the frame shows on any picture.
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255), 1));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    QPen dark(QColor(0, 70, 160), 2);
    dark.setJoinStyle(Qt::MiterJoin);
    p.setPen(dark);
    p.drawRect(QRectF(r).adjusted(2, 2, -2, -2));
    p.restore();
}

void CPngButton::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        !(e->modifiers() & ~Qt::KeypadModifier) && !e->isAutoRepeat()) {
        if (Toggle)
            checked_ = !checked_;
        click();
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat() && Toggle)
        checked_ = !checked_;
    QAbstractButton::keyPressEvent(e);
}

bool CPngButton::event(QEvent* e) {
    // A shortcut presses the button at once (the toolkit would press it after a pause).
    if (e->type() == QEvent::Shortcut) {
        if (isEnabled()) {
            if (Toggle)
                checked_ = !checked_;
            click();
        }
        return true;
    }
    return QAbstractButton::event(e);
}

void CPngButton::focusInEvent(QFocusEvent* e) {
    update();
    QAbstractButton::focusInEvent(e);
}

void CPngButton::focusOutEvent(QFocusEvent* e) {
    update();
    QAbstractButton::focusOutEvent(e);
}

void CPngButton::enterEvent(QEnterEvent* e) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(e);
}

void CPngButton::leaveEvent(QEvent* e) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void CPngButton::mousePressEvent(QMouseEvent* e) {
    if (Toggle && e->button() == Qt::LeftButton)
        checked_ = !checked_;
    QAbstractButton::mousePressEvent(e);
}

void CPngButton::mouseDoubleClickEvent(QMouseEvent* e) {
    // A quick second click is a click too.
    mousePressEvent(e);
}
