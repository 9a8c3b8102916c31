// Draws every picture of the program: navigation and action buttons, view and dialog
// backgrounds, the pieces of the skinned frame and the icons. Run res/make_images.sh after a
// change; the PNG files it writes are kept in the repository.
//
// Look: calm and clinical. White and pale blue-grey surfaces, one teal accent, dark slate text,
// clear labels under every navigation pictogram.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

const QColor kTeal(0x1f, 0x7a, 0x8c);
const QColor kTealDark(0x16, 0x5c, 0x6a);
const QColor kTealLight(0xd8, 0xee, 0xf1);
const QColor kSlate(0x26, 0x32, 0x38);
const QColor kMuted(0x60, 0x6f, 0x78);
const QColor kLine(0xc9, 0xd3, 0xd8);
const QColor kSurface(0xf4, 0xf7, 0xf8);

QString g_out;
int g_count = 0;

void Save(const QImage& img, const QString& kind, int number) {
    const QString path = QStringLiteral("%1/%2/%3.png").arg(g_out, kind).arg(number);
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    ++g_count;
}

QFont Font(int pixelSize, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QImage Canvas(int w, int h, bool transparent) {
    QImage img(w, h, transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    img.fill(transparent ? Qt::transparent : kSurface);
    return img;
}

// ---- pictograms, drawn into a 48 x 48 box --------------------------------------------------

using Pictogram = std::function<void(QPainter&, const QColor&)>;

void Home(QPainter& p, const QColor& c) {
    QPainterPath roof;
    roof.moveTo(4, 24);
    roof.lineTo(24, 6);
    roof.lineTo(44, 24);
    p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(roof);
    p.drawRoundedRect(QRectF(11, 22, 26, 20), 2, 2);
    p.setBrush(c);
    p.drawRect(QRectF(21, 30, 6, 12));
}

void Download(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(24, 4), QPointF(24, 30));
    QPainterPath head;
    head.moveTo(13, 20);
    head.lineTo(24, 31);
    head.lineTo(35, 20);
    p.drawPath(head);
    QPainterPath tray;
    tray.moveTo(6, 32);
    tray.lineTo(6, 42);
    tray.lineTo(42, 42);
    tray.lineTo(42, 32);
    p.drawPath(tray);
}

void AllData(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(5, 6, 38, 36), 3, 3);
    for (int y : {16, 25, 34})
        p.drawLine(QPointF(5, y), QPointF(43, y));
    p.drawLine(QPointF(17, 6), QPointF(17, 42));
}

void Automatic(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(6, 6, 36, 36), 100 * 16, 300 * 16);
    QPainterPath arrow;
    arrow.moveTo(20, 2);
    arrow.lineTo(28, 7);
    arrow.lineTo(20, 13);
    p.drawPath(arrow);
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    QPainterPath play;
    play.moveTo(20, 16);
    play.lineTo(33, 24);
    play.lineTo(20, 32);
    play.closeSubpath();
    p.drawPath(play);
}

void Graph(QPainter& p, const QColor& c) {
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 4), QPointF(6, 42));
    p.drawLine(QPointF(6, 42), QPointF(44, 42));
    QPainterPath line;
    line.moveTo(10, 34);
    line.lineTo(19, 22);
    line.lineTo(28, 28);
    line.lineTo(41, 10);
    p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(line);
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    for (QPointF pt : {QPointF(19, 22), QPointF(28, 28), QPointF(41, 10)})
        p.drawEllipse(pt, 3.5, 3.5);
}

// A drop of blood, the analyzer's sample.
void Drop(QPainter& p, const QRectF& r, const QColor& c) {
    QPainterPath d;
    d.moveTo(r.center().x(), r.top());
    d.cubicTo(r.right(), r.top() + r.height() * 0.45, r.right(), r.bottom(), r.center().x(),
              r.bottom());
    d.cubicTo(r.left(), r.bottom(), r.left(), r.top() + r.height() * 0.45, r.center().x(), r.top());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(d);
}

// ---- buttons -------------------------------------------------------------------------------

// 105 x 105 navigation button: a tile with the pictogram and a label. The highlighted face
// marks the view that is shown.
QImage NavButton(const QString& label, const Pictogram& draw, bool highlighted) {
    QImage img = Canvas(105, 105, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(6, 8, 93, 89);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 28)); // soft shadow
    p.drawRoundedRect(tile.translated(0, 2), 14, 14);
    QLinearGradient g(tile.topLeft(), tile.bottomLeft());
    if (highlighted) {
        g.setColorAt(0, kTeal.lighter(112));
        g.setColorAt(1, kTealDark);
        p.setPen(QPen(kTealDark, 1));
    } else {
        g.setColorAt(0, Qt::white);
        g.setColorAt(1, QColor(0xee, 0xf3, 0xf5));
        p.setPen(QPen(kLine, 1));
    }
    p.setBrush(g);
    p.drawRoundedRect(tile, 14, 14);
    const QColor ink = highlighted ? Qt::white : kTeal;
    p.save();
    p.translate(28.5, 14);
    draw(p, ink);
    p.restore();
    p.setPen(highlighted ? Qt::white : kSlate);
    p.setFont(Font(13, true));
    p.drawText(QRectF(6, 66, 93, 24), Qt::AlignCenter, label);
    return img;
}

// 86 x 30 action button.
QImage ActionButton(const QString& label) {
    QImage img = Canvas(86, 30, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 30);
    g.setColorAt(0, kTeal.lighter(110));
    g.setColorAt(1, kTealDark);
    p.setBrush(g);
    p.setPen(QPen(kTealDark, 1));
    p.drawRoundedRect(QRectF(0.5, 0.5, 85, 29), 6, 6);
    p.setPen(Qt::white);
    p.setFont(Font(13, true));
    p.drawText(QRectF(0, 0, 86, 30), Qt::AlignCenter, label);
    return img;
}

// ---- backgrounds ---------------------------------------------------------------------------

// The common part of every view: a white navigation band behind the 105-pixel buttons, a thin
// accent line under it, and the product name on the left of the band.
QImage ViewBackground(int w, int h) {
    QImage img = Canvas(w, h, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient page(0, 0, 0, h);
    page.setColorAt(0, QColor(0xf7, 0xfa, 0xfb));
    page.setColorAt(1, QColor(0xe6, 0xee, 0xf1));
    p.fillRect(0, 0, w, h, page);
    p.fillRect(0, 0, w, 112, Qt::white);
    p.fillRect(0, 112, w, 3, kTeal);
    Drop(p, QRectF(40, 28, 34, 48), QColor(0xc6, 0x28, 0x28));
    p.setPen(kSlate);
    p.setFont(Font(28, true));
    p.drawText(QRectF(88, 26, 240, 36), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Trevanix"));
    p.setPen(kMuted);
    p.setFont(Font(13));
    p.drawText(QRectF(90, 62, 240, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("HbA1c Management Software"));
    return img;
}

void ViewTitle(QImage& img, const QString& title, const QString& hint) {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(kSlate);
    p.setFont(Font(20, true));
    p.drawText(QRectF(55, 128, 600, 30), Qt::AlignLeft | Qt::AlignVCenter, title);
    p.setPen(kMuted);
    p.setFont(Font(12));
    p.drawText(QRectF(55, 154, 780, 20), Qt::AlignLeft | Qt::AlignVCenter, hint);
}

QImage HomeBackground() {
    QImage img = ViewBackground(1009, 719);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A large calm card with what the program does, in three steps.
    const QRectF card(85, 175, 839, 440);
    p.setPen(QPen(kLine, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(card, 18, 18);
    QRadialGradient glow(QPointF(250, 390), 170);
    glow.setColorAt(0, kTealLight);
    glow.setColorAt(1, Qt::white);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(250, 390), 150, 150);
    Drop(p, QRectF(205, 300, 90, 130), QColor(0xc6, 0x28, 0x28));
    p.setPen(Qt::white);
    p.setFont(Font(22, true));
    p.drawText(QRectF(205, 360, 90, 40), Qt::AlignCenter, QStringLiteral("A1c"));
    p.setPen(kSlate);
    p.setFont(Font(26, true));
    p.drawText(QRectF(440, 215, 460, 40), Qt::AlignLeft, QStringLiteral("Welcome"));
    p.setFont(Font(15));
    p.setPen(kMuted);
    const QString steps[] = {
        QStringLiteral("Connect the analyzer with its USB cable."),
        QStringLiteral("Download fetches every result the analyzer holds.\nAutomatic waits for "
                       "the next measurement\nand stores it."),
        QStringLiteral("All data lists, searches and exports the stored results;\nGraph shows "
                       "them over time."),
    };
    qreal y = 280;
    int n = 1;
    for (const QString& s : steps) {
        p.setPen(Qt::NoPen);
        p.setBrush(kTeal);
        p.drawEllipse(QPointF(455, y + 11), 13, 13);
        p.setPen(Qt::white);
        p.setFont(Font(14, true));
        p.drawText(QRectF(442, y - 2, 26, 26), Qt::AlignCenter, QString::number(n++));
        p.setPen(kSlate);
        p.setFont(Font(15));
        p.drawText(QRectF(482, y, 420, 60), Qt::AlignLeft | Qt::TextWordWrap, s);
        y += 85;
    }
    return img;
}

QImage DialogBackground(int w, int h, const QString& title) {
    QImage img = Canvas(w, h, false);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, w, h, Qt::white);
    p.fillRect(0, 0, w, 6, kTeal);
    p.setPen(kSlate);
    p.setFont(Font(16, true));
    p.drawText(QRectF(24, 14, w - 48, 28), Qt::AlignLeft | Qt::AlignVCenter, title);
    return img;
}

// ---- the skinned frame ---------------------------------------------------------------------

QImage FramePiece(int w, int h, const std::function<void(QPainter&)>& draw) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return img;
}

void Strip(QPainter& p, int w, int h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, kTeal.lighter(115));
    g.setColorAt(1, kTealDark);
    p.fillRect(0, 0, w, h, g);
}

QImage CaptionButton(int kind, bool held) {
    return FramePiece(21, 19, [&](QPainter& p) {
        Strip(p, 21, 19);
        const QRectF box(2.5, 1.5, 16, 16);
        p.setPen(QPen(QColor(255, 255, 255, held ? 255 : 120), 1));
        p.setBrush(held ? (kind == 0 ? QColor(0xc6, 0x28, 0x28) : kTealDark.darker(120))
                        : QColor(255, 255, 255, 30));
        p.drawRoundedRect(box, 3, 3);
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        if (kind == 0) { // close
            p.drawLine(QPointF(7, 5.5), QPointF(14, 12.5));
            p.drawLine(QPointF(14, 5.5), QPointF(7, 12.5));
        } else if (kind == 1) { // maximize
            p.drawRect(QRectF(6.5, 5.5, 8, 7));
        } else { // minimize
            p.drawLine(QPointF(6.5, 12.5), QPointF(14.5, 12.5));
        }
    });
}

void MakeFrame() {
    Save(FramePiece(21, 21,
                    [](QPainter& p) { // 131 bottom-left corner
                        p.fillRect(0, 0, 21, 21, QColor(230, 230, 230));
                        p.setPen(QColor(161, 161, 161));
                        p.drawLine(4, 0, 4, 14);
                        p.drawLine(4, 14, 20, 14);
                    }),
         QStringLiteral("bmp"), 131);
    Save(FramePiece(21, 21,
                    [](QPainter& p) { // 132 bottom-right corner
                        p.fillRect(0, 0, 21, 21, QColor(230, 230, 230));
                        p.setPen(QColor(161, 161, 161));
                        p.drawLine(14, 0, 14, 14);
                        p.drawLine(0, 14, 14, 14);
                    }),
         QStringLiteral("bmp"), 132);
    Save(FramePiece(30, 17, [](QPainter& p) { Strip(p, 30, 17); }), QStringLiteral("bmp"), 133);
    Save(FramePiece(22, 19,
                    [](QPainter& p) { // 138 top-left piece: the strip and a small drop
                        Strip(p, 22, 19);
                        Drop(p, QRectF(7, 3, 10, 14), Qt::white);
                    }),
         QStringLiteral("bmp"), 138);
    Save(CaptionButton(0, false), QStringLiteral("bmp"), 134);
    Save(CaptionButton(0, true), QStringLiteral("bmp"), 135);
    Save(CaptionButton(1, false), QStringLiteral("bmp"), 136);
    Save(CaptionButton(1, true), QStringLiteral("bmp"), 137);
    Save(CaptionButton(2, false), QStringLiteral("bmp"), 139);
    Save(CaptionButton(2, true), QStringLiteral("bmp"), 140);
}

// The program icon, drawn on a 64 x 64 grid and scaled to `size`: a white drop on a teal tile.
QImage ProgramIcon(int size) {
    QImage icon = Canvas(size, size, true);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(kTeal);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    Drop(p, QRectF(18, 8, 28, 42), Qt::white);
    return icon;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(g_out + QStringLiteral("/png"));
    QDir().mkpath(g_out + QStringLiteral("/bmp"));

    struct Nav {
        int normal;
        QString label;
        Pictogram draw;
    };
    const Nav navs[] = {{213, QStringLiteral("Home"), Home},
                        {215, QStringLiteral("Download"), Download},
                        {217, QStringLiteral("All data"), AllData},
                        {219, QStringLiteral("Automatic"), Automatic},
                        {221, QStringLiteral("Graph"), Graph}};
    for (const Nav& n : navs) {
        Save(NavButton(n.label, n.draw, false), QStringLiteral("png"), n.normal);
        Save(NavButton(n.label, n.draw, true), QStringLiteral("png"), n.normal + 1);
    }
    // Action buttons, 86 x 30.
    const std::pair<int, const char*> actions[] = {
        {134, "Export"},    {273, "Search"}, {274, "Print"}, {276, "Settings"},
        {277, "Automatic"}, {294, "Save"},   {295, "Close"}};
    for (const auto& a : actions)
        Save(ActionButton(QString::fromLatin1(a.second)), QStringLiteral("png"), a.first);

    Save(HomeBackground(), QStringLiteral("bmp"), 209);
    QImage down = ViewBackground(1009, 719);
    ViewTitle(down, QStringLiteral("Download"),
              QStringLiteral("The results received in the last download."));
    Save(down, QStringLiteral("bmp"), 261);
    // No title: the list's search controls sit where it would go, and the highlighted "All
    // data" button names the view.
    QImage all = ViewBackground(1009, 719);
    Save(all, QStringLiteral("bmp"), 262);
    // Likewise: the graph's period and search controls sit where a title would go.
    QImage graph = ViewBackground(1009, 719);
    Save(graph, QStringLiteral("bmp"), 264);
    Save(DialogBackground(404, 207, QStringLiteral("Get HbA1c data")), QStringLiteral("bmp"), 275);
    Save(DialogBackground(560, 440, QStringLiteral("Setting information")), QStringLiteral("bmp"),
         270);
    MakeFrame();

    // Icon 171 of the status dialogs' buttons, and the program icon 128.
    QImage ok = Canvas(16, 16, true);
    {
        QPainter p(&ok);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kTeal, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(3, 8.5);
        tick.lineTo(6.5, 12);
        tick.lineTo(13, 4.5);
        p.drawPath(tick);
    }
    Save(ok, QStringLiteral("png"), 171);
    Save(ProgramIcon(64), QStringLiteral("png"), 128);
    // The same icon for the desktop's menu (hicolor theme sizes), into the packaging folder.
    if (argc > 2) {
        const QString icons = QString::fromLocal8Bit(argv[2]);
        QDir().mkpath(icons);
        for (int size : {48, 128, 256}) {
            const QString path = QStringLiteral("%1/%2.png").arg(icons).arg(size);
            if (!ProgramIcon(size).save(path, "PNG")) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            ++g_count;
        }
    }
    std::printf("%d images written to %s\n", g_count, qPrintable(g_out));
    return 0;
}
