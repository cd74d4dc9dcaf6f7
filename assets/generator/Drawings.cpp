#include "Drawings.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

const QColor windowGrey(180, 180, 180);  // window background around flags and the switch
const QColor buttonFace(240, 240, 240);  // face of the picture buttons
const QColor displayBlue(240, 251, 255); // background of the measurement display
const QColor bezelWhite(255, 255, 255);  // the front panel's display window
const QColor brandBlue(40, 125, 245);

// A picture of w x h logical pixels drawn at `scale` device pixels a logical pixel: the
// painter's coordinates stay the logical ones, so every drawing serves every scale.
QImage canvas(int w, int h, const QColor& background, qreal scale)
{
    QImage image(qRound(w * scale), qRound(h * scale), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(background);
    return image;
}

void smooth(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QFont font(int pixelSize, bool bold = true, const QString& family = QStringLiteral("DejaVu Sans"))
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QImage opaque(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

QPointF onCircle(QPointF centre, double radius, double degrees)
{
    const double a = degrees * M_PI / 180.0;
    return centre + QPointF(radius * std::cos(a), -radius * std::sin(a));
}

// Filled triangle arrow head with its tip `size` ahead of `base` along `direction`.
void arrowHead(QPainter& p, QPointF base, QPointF direction, double size, const QColor& colour)
{
    const double len = std::hypot(direction.x(), direction.y());
    const QPointF d = direction / len;
    const QPointF n(-d.y(), d.x());
    const QPointF tip = base + d * size;
    const QPolygonF head{tip, base + n * size * 0.85 - d * size * 0.15,
                         base - n * size * 0.85 - d * size * 0.15};
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

// A straight block arrow from `from` to `to` (tip), with outline.
void blockArrow(QPainter& p, QPointF from, QPointF to, double shaft, double headWidth, double headLength,
                const QColor& fill, const QColor& light, const QColor& outline)
{
    const QPointF v = to - from;
    const double len = std::hypot(v.x(), v.y());
    const QPointF d = v / len;
    const QPointF n(-d.y(), d.x());
    const QPointF neck = to - d * headLength;
    const QPolygonF arrow{from + n * shaft / 2,     neck + n * shaft / 2, neck + n * headWidth / 2, to,
                          neck - n * headWidth / 2, neck - n * shaft / 2, from - n * shaft / 2};
    QLinearGradient g(from + n * headWidth / 2, from - n * headWidth / 2);
    g.setColorAt(0, light);
    g.setColorAt(1, fill);
    p.setBrush(g);
    p.setPen(QPen(outline, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolygon(arrow);
}

void screw(QPainter& p, QPointF c, double angle)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawEllipse(c + QPointF(0.6, 0.8), 7.2, 7.2);
    QRadialGradient g(c - QPointF(2.2, 2.6), 9.0);
    g.setColorAt(0, QColor(235, 235, 235));
    g.setColorAt(0.55, QColor(160, 160, 165));
    g.setColorAt(1, QColor(80, 80, 85));
    p.setBrush(g);
    p.setPen(QPen(QColor(30, 30, 30), 0.8));
    p.drawEllipse(c, 6.4, 6.4);
    const QPointF d(std::cos(angle) * 4.6, std::sin(angle) * 4.6);
    p.setPen(QPen(QColor(45, 45, 50), 1.7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c - d, c + d);
    p.setPen(QPen(QColor(255, 255, 255, 110), 0.7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c - d + QPointF(0.6, 0.9), c + d + QPointF(0.6, 0.9));
}

void led(QPainter& p, QPointF c, const QColor& colour, const QString& label)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(c, 5.2, 5.2);
    QRadialGradient g(c - QPointF(1.3, 1.5), 5.0);
    g.setColorAt(0, colour.lighter(170));
    g.setColorAt(0.5, colour);
    g.setColorAt(1, colour.darker(220));
    p.setBrush(g);
    p.drawEllipse(c, 4.0, 4.0);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(c - QPointF(1.4, 1.5), 1.1, 0.9);
    p.setFont(font(9));
    p.setPen(QColor(170, 170, 170));
    p.drawText(QRectF(c.x() - 25, c.y() + 7, 50, 12), Qt::AlignHCenter | Qt::AlignTop, label);
}

// ---- the controller's front panel -------------------------------------------------

QImage frontPanel(qreal scale)
{
    QImage image = canvas(350, 503, windowGrey, scale);
    QPainter p(&image);
    smooth(p);

    // Case: black, rounded, with a faint sheen at the top and a highlight edge.
    QPainterPath body;
    body.addRoundedRect(QRectF(0.5, 0.5, 349, 502), 18, 18);
    p.fillPath(body, QColor(0, 0, 0));
    QLinearGradient sheen(0, 0, 0, 46);
    sheen.setColorAt(0, QColor(255, 255, 255, 34));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillPath(body, sheen);
    QLinearGradient edge(0, 0, 120, 503);
    edge.setColorAt(0, QColor(175, 175, 180));
    edge.setColorAt(0.35, QColor(95, 95, 100));
    edge.setColorAt(1, QColor(45, 45, 48));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(edge), 2.0));
    p.drawRoundedRect(QRectF(1.5, 1.5, 347, 500), 17, 17);
    p.setPen(QPen(QColor(34, 34, 36), 1.0));
    p.drawRoundedRect(QRectF(5.5, 5.5, 339, 492), 13, 13);

    for (QPointF c : {QPointF(17, 17), QPointF(333, 17), QPointF(17, 486), QPointF(333, 486)})
        screw(p, c, 0.6 + c.x() * 0.01 + c.y() * 0.003);

    // Model name in blue at the top.
    {
        const QFont f = font(32, true);
        QPainterPath text;
        const QString name = QStringLiteral("Tarlo-02");
        const QFontMetricsF fm(f);
        const double width = fm.horizontalAdvance(name);
        text.addText(QPointF(140 - width / 2, 46), f, name);
        QLinearGradient g(0, 16, 0, 48);
        g.setColorAt(0, QColor(120, 185, 255));
        g.setColorAt(0.5, QColor(45, 130, 250));
        g.setColorAt(1, QColor(20, 85, 210));
        p.setPen(QPen(QColor(10, 40, 110), 0.8));
        p.setBrush(g);
        p.drawPath(text);
    }

    // White display window with a tab at the top right for the log controls.
    QPainterPath bezel;
    bezel.addRoundedRect(QRectF(38, 76, 273, 162), 9, 9);
    QPainterPath tab;
    tab.addRoundedRect(QRectF(245, 50, 66, 40), 7, 7);
    bezel = bezel.united(tab).simplified();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawPath(bezel.translated(0, -1));
    p.setBrush(bezelWhite);
    p.setPen(QPen(QColor(120, 120, 125), 1.0));
    p.drawPath(bezel);
    p.setFont(font(8));
    p.setPen(QColor(120, 120, 120));
    p.drawText(QRectF(248, 53, 24, 11), Qt::AlignCenter, QStringLiteral("LOG"));

    // The LCD glass inside, where the measurement display lies.
    {
        const QRectF glass(45.5, 84.5, 258, 147);
        p.setPen(QPen(QColor(110, 120, 125), 1.2));
        p.setBrush(displayBlue);
        p.drawRoundedRect(glass, 3, 3);
        QLinearGradient shade(0, 85, 0, 92);
        shade.setColorAt(0, QColor(0, 40, 60, 60));
        shade.setColorAt(1, QColor(0, 40, 60, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawRect(QRectF(46.5, 85.5, 256, 6));
    }

    // Device type below the display window, centred between the BRI and CON labels.
    {
        QFont f = font(12, true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
        p.setFont(f);
        p.setPen(brandBlue);
        p.drawText(QRectF(95, 240, 160, 16), Qt::AlignCenter, QStringLiteral("pH CONTROLLER"));
    }

    // Indicator lamps between the brightness and contrast settings.
    led(p, QPointF(135, 276), QColor(40, 200, 70), QStringLiteral("O2"));
    led(p, QPointF(175, 276), QColor(40, 200, 70), QStringLiteral("CO2"));
    led(p, QPointF(215, 276), QColor(225, 40, 35), QStringLiteral("ALARM"));

    // Lower settings panel: black, slightly recessed, with a thin grey edge.
    {
        const QRectF outer(28.5, 346.5, 292, 115);
        QLinearGradient rim(outer.topLeft(), outer.bottomRight());
        rim.setColorAt(0, QColor(85, 85, 88));
        rim.setColorAt(1, QColor(150, 150, 155));
        p.setPen(QPen(QBrush(rim), 1.2));
        p.setBrush(QColor(0, 0, 0));
        p.drawRoundedRect(outer, 5, 5);
        p.setPen(QPen(QColor(22, 22, 24), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(outer.adjusted(2, 2, -2, -2), 4, 4);
    }
    p.end();
    return opaque(image);
}

// ---- display pictures --------------------------------------------------------------

void bubble(QPainter& p, QPointF c, double r)
{
    QRadialGradient g(c - QPointF(r * 0.35, r * 0.4), r * 1.3);
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(0.45, QColor(150, 235, 250));
    g.setColorAt(1, QColor(0, 185, 225));
    p.setBrush(g);
    p.setPen(QPen(QColor(0, 150, 200), 1.0));
    p.drawEllipse(c, r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(c - QPointF(r * 0.38, r * 0.42), r * 0.22, r * 0.16);
}

// Bubbles rising (bigger towards the top) with an arrow beside them.
QImage bubbles(bool arrowDownAtLeft, qreal scale)
{
    QImage image = canvas(59, 80, displayBlue, scale);
    QPainter p(&image);
    smooth(p);
    struct B {
        double x, y, r;
    };
    const B set[] = {{16, 51, 3.5}, {27, 44, 5},  {15, 33, 6}, {30, 23, 7.5},
                     {17, 11, 8},   {33, 6, 3.2}, {9, 22, 2.5}};
    const QColor arrowFill(0, 150, 205), arrowLight(90, 215, 245), arrowEdge(0, 95, 150);
    for (const B& b : set) {
        const double x = arrowDownAtLeft ? 59 - b.x : b.x;
        bubble(p, QPointF(x, b.y), b.r);
    }
    if (arrowDownAtLeft)
        blockArrow(p, QPointF(10, 5), QPointF(10, 55), 5, 13, 11, arrowFill, arrowLight, arrowEdge);
    else
        blockArrow(p, QPointF(49, 55), QPointF(49, 5), 5, 13, 11, arrowFill, arrowLight, arrowEdge);
    p.end();
    return opaque(image);
}

void radioWaves(QPainter& p, QPointF c, double scale, const QColor& colour, bool bothSides)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(c, 2.2 * scale, 2.2 * scale);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, 1.7 * scale, Qt::SolidLine, Qt::RoundCap));
    for (double r : {5.5, 9.0, 12.5}) {
        const QRectF box(c.x() - r * scale, c.y() - r * scale, 2 * r * scale, 2 * r * scale);
        if (bothSides) {
            p.drawArc(box, -38 * 16, 76 * 16);
            p.drawArc(box, 142 * 16, 76 * 16);
        } else {
            p.drawArc(box, 48 * 16, 84 * 16);
        }
    }
}

// USB trident pointing right inside `box`.
void usbSymbol(QPainter& p, const QRectF& box, const QColor& colour)
{
    const double cy = box.center().y();
    const double x0 = box.left(), w = box.width(), h = box.height();
    const double line = std::max(1.3, h * 0.09);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(x0 + line * 1.6, cy), line * 1.6, line * 1.6);
    p.setPen(QPen(colour, line, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const double tipBase = x0 + w - line * 3.2;
    p.drawLine(QPointF(x0 + line * 2.5, cy), QPointF(tipBase, cy));
    arrowHead(p, QPointF(tipBase - 0.5, cy), QPointF(1, 0), line * 3.0, colour);
    p.setPen(QPen(colour, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const double up = cy - h * 0.30, down = cy + h * 0.30;
    p.drawPolyline(
        QPolygonF{QPointF(x0 + w * 0.30, cy), QPointF(x0 + w * 0.45, up), QPointF(x0 + w * 0.64, up)});
    p.drawPolyline(
        QPolygonF{QPointF(x0 + w * 0.40, cy), QPointF(x0 + w * 0.55, down), QPointF(x0 + w * 0.74, down)});
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(x0 + w * 0.64 + line * 0.9, up), line * 1.25, line * 1.25);
    const double s = line * 2.3;
    p.drawRect(QRectF(x0 + w * 0.74, down - s / 2, s, s));
}

QImage displayIcon(bool usb, qreal scale)
{
    QImage image = canvas(30, 16, displayBlue, scale);
    QPainter p(&image);
    smooth(p);
    if (usb)
        usbSymbol(p, QRectF(1.5, 1, 27, 14), QColor(35, 45, 60));
    else
        radioWaves(p, QPointF(15, 8), 1.0, QColor(0, 95, 185), true);
    p.end();
    return opaque(image);
}

// ---- small icons -------------------------------------------------------------------

QPainterPath sheetPath(const QRectF& r, double ear)
{
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - ear, r.top());
    path.lineTo(r.right(), r.top() + ear);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    return path;
}

void sheet(QPainter& p, const QRectF& r, double ear)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 45));
    p.drawPath(sheetPath(r.translated(1, 1), ear));
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(1, QColor(228, 232, 236));
    p.setBrush(g);
    p.setPen(QPen(QColor(110, 115, 120), 1.0));
    p.drawPath(sheetPath(r, ear));
    QPainterPath fold;
    fold.moveTo(r.right() - ear, r.top());
    fold.lineTo(r.right() - ear, r.top() + ear);
    fold.lineTo(r.right(), r.top() + ear);
    fold.closeSubpath();
    p.setBrush(QColor(205, 210, 215));
    p.drawPath(fold);
}

QImage spreadsheetIcon(qreal scale)
{
    QImage image = canvas(32, 32, bezelWhite, scale);
    QPainter p(&image);
    smooth(p);
    sheet(p, QRectF(7.5, 1.5, 21, 28), 6);
    // A small table with a green header row.
    const QRectF table(10.5, 10.5, 15, 15);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 170, 90));
    p.drawRect(QRectF(table.left(), table.top(), table.width(), 3.75));
    p.setPen(QPen(QColor(40, 140, 70), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawRect(table);
    for (int i = 1; i < 4; ++i)
        p.drawLine(QPointF(table.left(), table.top() + i * 3.75),
                   QPointF(table.right(), table.top() + i * 3.75));
    for (int i = 1; i < 3; ++i)
        p.drawLine(QPointF(table.left() + i * 5, table.top()), QPointF(table.left() + i * 5, table.bottom()));
    // Green badge at the lower left.
    QLinearGradient g(0, 17, 0, 30);
    g.setColorAt(0, QColor(45, 170, 85));
    g.setColorAt(1, QColor(20, 115, 55));
    p.setBrush(g);
    p.setPen(QPen(QColor(15, 90, 40), 1.0));
    p.drawRoundedRect(QRectF(2.5, 17.5, 12, 12), 2, 2);
    p.setPen(QPen(QColor(255, 255, 255), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.6, 20.6), QPointF(11.4, 26.4));
    p.drawLine(QPointF(11.4, 20.6), QPointF(5.6, 26.4));
    p.end();
    return opaque(image);
}

QImage roundFlag(bool polish, qreal scale)
{
    QImage image = canvas(24, 24, windowGrey, scale);
    QPainter p(&image);
    smooth(p);
    const QPointF c(12, 12);
    const double r = 10.6;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 55));
    p.drawEllipse(c + QPointF(0.5, 0.8), r + 0.6, r + 0.6);
    QPainterPath disc;
    disc.addEllipse(c, r, r);
    p.save();
    p.setClipPath(disc);
    if (polish) {
        p.fillRect(QRectF(0, 0, 24, 12), QColor(250, 250, 250));
        p.fillRect(QRectF(0, 12, 24, 12), QColor(220, 20, 60));
    } else {
        const QColor blue(1, 33, 105), red(200, 16, 46);
        p.fillRect(QRectF(0, 0, 24, 24), blue);
        p.setPen(QPen(Qt::white, 4.2));
        p.drawLine(QPointF(0, 0), QPointF(24, 24));
        p.drawLine(QPointF(24, 0), QPointF(0, 24));
        p.setPen(QPen(red, 1.4));
        p.drawLine(QPointF(0, -0.8), QPointF(12, 11.2));
        p.drawLine(QPointF(24, 24.8), QPointF(12, 12.8));
        p.drawLine(QPointF(24.8, 0), QPointF(12.8, 12));
        p.drawLine(QPointF(-0.8, 24), QPointF(11.2, 12));
        p.fillRect(QRectF(9, 0, 6, 24), Qt::white);
        p.fillRect(QRectF(0, 9, 24, 6), Qt::white);
        p.fillRect(QRectF(10.2, 0, 3.6, 24), red);
        p.fillRect(QRectF(0, 10.2, 24, 3.6), red);
    }
    // Gloss over the upper half.
    QLinearGradient gloss(0, 1, 0, 13);
    gloss.setColorAt(0, QColor(255, 255, 255, 120));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(4.5, 1.8, 15, 10));
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(90, 90, 95), 0.9));
    p.drawEllipse(c, r, r);
    p.end();
    return opaque(image);
}

QImage folderWithArrow(qreal scale)
{
    QImage image = canvas(32, 32, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    // Back of the folder with its tab.
    QPainterPath back;
    back.addRoundedRect(QRectF(2.5, 9.5, 25, 19), 1.5, 1.5);
    QPainterPath tab;
    tab.addRoundedRect(QRectF(2.5, 6.5, 11, 6), 1.5, 1.5);
    back = back.united(tab);
    p.setPen(QPen(QColor(170, 120, 15), 1.0));
    p.setBrush(QColor(225, 165, 35));
    p.drawPath(back);
    // Front flap, slanted.
    QPolygonF front{QPointF(6.5, 14.5), QPointF(30.5, 14.5), QPointF(27.5, 28.5), QPointF(2.5, 28.5)};
    QLinearGradient g(0, 14, 0, 29);
    g.setColorAt(0, QColor(255, 232, 120));
    g.setColorAt(1, QColor(245, 190, 45));
    p.setBrush(g);
    p.drawPolygon(front);
    blockArrow(p, QPointF(22, 24), QPointF(22, 1.5), 5, 13, 9, QColor(30, 160, 55), QColor(120, 225, 120),
               QColor(10, 95, 30));
    p.end();
    return opaque(image);
}

QImage floppyDisk(qreal scale)
{
    QImage image = canvas(32, 32, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    const QPolygonF body{QPointF(3.5, 3.5), QPointF(25.5, 3.5), QPointF(28.5, 6.5), QPointF(28.5, 28.5),
                         QPointF(3.5, 28.5)};
    QLinearGradient g(0, 3, 0, 29);
    g.setColorAt(0, QColor(70, 105, 190));
    g.setColorAt(1, QColor(30, 55, 130));
    p.setBrush(g);
    p.setPen(QPen(QColor(15, 25, 70), 1.0));
    p.drawPolygon(body);
    // Metal shutter with its window.
    QLinearGradient metal(9, 0, 23, 0);
    metal.setColorAt(0, QColor(235, 235, 240));
    metal.setColorAt(1, QColor(165, 170, 178));
    p.setBrush(metal);
    p.setPen(QPen(QColor(90, 95, 105), 0.8));
    p.drawRect(QRectF(9.5, 3.5, 14, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(55, 60, 70));
    p.drawRect(QRectF(18.5, 5, 3, 6));
    // Label.
    p.setBrush(QColor(250, 250, 248));
    p.setPen(QPen(QColor(150, 155, 165), 0.8));
    p.drawRoundedRect(QRectF(6.5, 16.5, 19, 11), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 60, 55));
    p.drawRect(QRectF(7, 17, 18, 2));
    p.setPen(QPen(QColor(150, 170, 205), 0.9));
    for (double y : {21.5, 24.5})
        p.drawLine(QPointF(9, y), QPointF(23, y));
    p.end();
    return opaque(image);
}

QImage sheetWithExclamation(qreal scale)
{
    QImage image = canvas(32, 32, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    sheet(p, QRectF(5.5, 1.5, 21, 28), 6);
    p.setPen(QPen(QColor(185, 192, 200), 0.9));
    for (double y : {8.5, 12.5, 16.5, 20.5, 24.5})
        p.drawLine(QPointF(8.5, y), QPointF(y < 9 ? 18 : 23.5, y));
    // Red exclamation mark in front of the lines.
    p.setPen(QPen(QColor(255, 255, 255), 2.0));
    p.setBrush(QColor(215, 30, 30));
    QPainterPath mark;
    mark.moveTo(13.2, 6);
    mark.lineTo(19.8, 6);
    mark.lineTo(18.0, 20.5);
    mark.lineTo(15.0, 20.5);
    mark.closeSubpath();
    mark.addEllipse(QPointF(16.5, 25), 2.6, 2.6);
    p.drawPath(mark);
    p.setPen(Qt::NoPen);
    p.drawPath(mark);
    p.end();
    return opaque(image);
}

void computer(QPainter& p, double x0)
{
    QLinearGradient frame(0, 3, 0, 23);
    frame.setColorAt(0, QColor(95, 98, 105));
    frame.setColorAt(1, QColor(45, 47, 52));
    p.setBrush(frame);
    p.setPen(QPen(QColor(25, 25, 30), 1.0));
    p.drawRoundedRect(QRectF(x0 + 0.5, 3.5, 27, 19), 2, 2);
    QLinearGradient screen(0, 6, 0, 20);
    screen.setColorAt(0, QColor(110, 185, 255));
    screen.setColorAt(1, QColor(25, 85, 195));
    p.setBrush(screen);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(x0 + 3, 6, 22, 14));
    p.setPen(QPen(QColor(255, 255, 255, 230), 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{QPointF(x0 + 5, 16), QPointF(x0 + 9, 12), QPointF(x0 + 13, 14),
                             QPointF(x0 + 17, 9), QPointF(x0 + 23, 11)});
    p.setPen(QPen(QColor(60, 60, 65), 0.8));
    p.setBrush(QColor(140, 142, 148));
    p.drawRect(QRectF(x0 + 11.5, 22.5, 5, 4));
    p.drawRoundedRect(QRectF(x0 + 6.5, 26.5, 15, 3), 1, 1);
}

void controller(QPainter& p, double x0)
{
    p.setPen(QPen(QColor(120, 120, 125), 1.0));
    p.setBrush(QColor(12, 12, 14));
    p.drawRoundedRect(QRectF(x0 + 2.5, 2.5, 23, 27), 3, 3);
    p.setPen(QPen(QColor(150, 150, 150), 0.6));
    p.setBrush(QColor(255, 255, 255));
    p.drawRoundedRect(QRectF(x0 + 5, 5, 18, 11), 1.5, 1.5);
    p.setPen(QColor(20, 20, 20));
    p.setFont(font(8));
    p.drawText(QRectF(x0 + 5, 5, 18, 11), Qt::AlignCenter, QStringLiteral("7,0"));
    p.setPen(Qt::NoPen);
    p.setBrush(brandBlue);
    p.drawRect(QRectF(x0 + 8, 18, 12, 1.6));
    p.setPen(QPen(QColor(110, 110, 115), 0.7));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(x0 + 5.5, 21.5, 17, 5.5), 1, 1);
}

QImage transfer(bool toController, qreal scale)
{
    QImage image = canvas(80, 32, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    if (toController) {
        computer(p, 1);
        controller(p, 52);
        blockArrow(p, QPointF(31, 16), QPointF(51, 16), 6, 15, 9, QColor(205, 30, 30), QColor(255, 130, 120),
                   QColor(120, 10, 10));
    } else {
        controller(p, 0);
        computer(p, 51);
        blockArrow(p, QPointF(29, 16), QPointF(49, 16), 6, 15, 9, QColor(30, 160, 55), QColor(120, 225, 120),
                   QColor(10, 95, 30));
    }
    p.end();
    return opaque(image);
}

QImage refreshArrows(qreal scale)
{
    QImage image = canvas(20, 20, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    const QColor blue(25, 105, 215);
    const QPointF c(10, 10);
    const double r = 6.3;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    p.setPen(QPen(blue, 2.1, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    // Two arcs running counter-clockwise, each ending in a head.
    for (double start : {20.0, 200.0}) {
        const double end = start + 125;
        p.drawArc(box, int(start * 16), int(125 * 16));
        const double a = end * M_PI / 180.0;
        const QPointF tangent(-std::sin(a), -std::cos(a));
        arrowHead(p, onCircle(c, r, end), tangent, 3.6, blue);
        p.setPen(QPen(blue, 2.1, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
    }
    p.end();
    return opaque(image);
}

QImage powerSymbol(qreal scale)
{
    QImage image = canvas(20, 20, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    const QColor red(210, 30, 30);
    p.setPen(QPen(red, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF box(3.2, 4.2, 13.6, 13.6);
    p.drawArc(box, 125 * 16, 290 * 16);
    p.drawLine(QPointF(10, 2.6), QPointF(10, 10));
    p.end();
    return opaque(image);
}

QImage usbButton(qreal scale)
{
    QImage image = canvas(20, 20, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    usbSymbol(p, QRectF(1, 3, 18, 14), QColor(35, 45, 60));
    p.end();
    return opaque(image);
}

QImage wirelessButton(qreal scale)
{
    QImage image = canvas(20, 20, buttonFace, scale);
    QPainter p(&image);
    smooth(p);
    radioWaves(p, QPointF(10, 15.5), 0.92, QColor(0, 105, 210), false);
    p.end();
    return opaque(image);
}

// Grey rocker switch; `on` shows the right half pressed, with its red mark.
QImage rocker(bool on, qreal scale)
{
    QImage image = canvas(41, 27, windowGrey, scale);
    QPainter p(&image);
    smooth(p);
    QLinearGradient housing(0, 1, 0, 26);
    housing.setColorAt(0, QColor(95, 95, 100));
    housing.setColorAt(1, QColor(55, 55, 60));
    p.setBrush(housing);
    p.setPen(QPen(QColor(35, 35, 38), 1.0));
    p.drawRoundedRect(QRectF(1.5, 1.5, 38, 23), 4, 4);

    const QRectF left(4.5, 4.5, 16, 17), right(20.5, 4.5, 16, 17);
    auto half = [&](const QRectF& r, bool pressed, bool red) {
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        if (red) {
            g.setColorAt(0, QColor(170, 25, 25));
            g.setColorAt(1, QColor(235, 60, 50));
        } else if (pressed) {
            g.setColorAt(0, QColor(120, 120, 125));
            g.setColorAt(1, QColor(165, 165, 170));
        } else {
            g.setColorAt(0, QColor(238, 238, 240));
            g.setColorAt(1, QColor(195, 195, 200));
        }
        p.setBrush(g);
        p.setPen(QPen(QColor(70, 70, 75), 0.8));
        p.drawRect(r);
    };
    half(left, !on, false);
    half(right, on, on);
    // Ridge between the halves, lit from the raised side.
    p.setPen(QPen(QColor(60, 60, 65), 1.2));
    p.drawLine(QPointF(20.5, 4.5), QPointF(20.5, 21.5));
    // Symbols: O on the left, I on the right.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(on ? QColor(110, 110, 115) : QColor(75, 75, 80), 1.4));
    p.drawEllipse(QPointF(12.5, 13), 3.2, 3.2);
    p.setPen(QPen(on ? QColor(255, 245, 240) : QColor(110, 110, 115), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28.5, 9.5), QPointF(28.5, 16.5));
    p.end();
    return opaque(image);
}

// The switch's bottom-left pixel is its transparent colour: no drawn pixel may end up
// with the same 5-5-5 value as the background, or it would turn transparent too.
QImage keepBackgroundUnique(QImage image, const QColor& background)
{
    const QRgb bg = background.rgb();
    const auto key = [](QRgb c) {
        return ((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3);
    };
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xff000000u) != bg && key(line[x]) == key(bg))
                line[x] = qRgb(qRed(line[x]), qGreen(line[x]),
                               qBlue(line[x]) >= 128 ? qBlue(line[x]) - 8 : qBlue(line[x]) + 8);
    }
    return image;
}

} // namespace

void paintAppIcon(QPainter& p)
{
    p.setPen(QPen(QColor(130, 130, 135), 1.5));
    p.setBrush(QColor(8, 8, 10));
    p.drawRoundedRect(QRectF(7.5, 1.5, 49, 61), 8, 8);
    p.setPen(QPen(QColor(120, 120, 125), 0.8));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(11.5, 8.5, 41, 25), 3, 3);
    p.setBrush(displayBlue);
    p.drawRect(QRectF(14.5, 11.5, 35, 19));
    p.setPen(QColor(15, 15, 20));
    p.setFont(font(16));
    p.drawText(QRectF(14.5, 11.5, 35, 19), Qt::AlignCenter, QStringLiteral("7,0"));
    p.setFont(font(9));
    p.setPen(brandBlue);
    p.drawText(QRectF(8, 34, 48, 11), Qt::AlignCenter, QStringLiteral("pH"));
    p.setPen(QPen(QColor(110, 110, 115), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(12.5, 46.5, 39, 11), 2, 2);
}

QImage appIcon(qreal scale)
{
    QImage image = canvas(64, 64, Qt::transparent, scale);
    QPainter p(&image);
    smooth(p);
    paintAppIcon(p);
    p.end();
    return image;
}

QImage greyed(const QImage& image, QRgb background)
{
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    background |= 0xff000000u;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] | 0xff000000u) == background)
                continue;
            const int lum = (299 * qRed(line[x]) + 587 * qGreen(line[x]) + 114 * qBlue(line[x]) + 500) / 1000;
            const int v = 255 - (255 - lum) * 3 / 4;
            line[x] = qRgb(v, v, v);
        }
    }
    return out;
}

QString extensionOf(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Jpeg:
        return QStringLiteral("jpg");
    case PictureFormat::Png:
        return QStringLiteral("png");
    default:
        return QStringLiteral("bmp");
    }
}

std::vector<DrawnPicture> drawAllPictures(qreal scale)
{
    using F = PictureFormat;
    const QRgb face = buttonFace.rgb();
    const QRgb grey = windowGrey.rgb();
    const QImage sheetIcon = spreadsheetIcon(scale);
    const QImage polish = roundFlag(true, scale), british = roundFlag(false, scale);
    const QImage folder = folderWithArrow(scale), floppy = floppyDisk(scale),
                 defaults = sheetWithExclamation(scale);
    const QImage send = transfer(true, scale), fetch = transfer(false, scale);
    const QImage plainGrey = opaque(canvas(57, 25, windowGrey, scale));

    return {
        {"Image3", F::Jpeg, frontPanel(scale)},
        {"Image1", F::Jpeg, bubbles(true, scale)},
        {"Image2", F::Jpeg, bubbles(false, scale)},
        {"Image4", F::Jpeg, displayIcon(false, scale)},
        {"Image8", F::Jpeg, displayIcon(true, scale)},
        {"Image6", F::Bmp24, sheetIcon},
        {"Image5", F::Bmp8, greyed(sheetIcon, bezelWhite.rgb())},
        {"Image7", F::Bmp24, plainGrey},
        {"Image13", F::Bmp24, polish},
        {"Image12", F::Bmp8, greyed(polish, grey)},
        {"Image14", F::Bmp24, british},
        {"Image15", F::Bmp8, greyed(british, grey)},
        {"SpeedButton1", F::Bmp16, folder},
        {"SpeedButton10", F::Bmp16, greyed(folder, face)},
        {"SpeedButton2", F::Bmp16, floppy},
        {"SpeedButton11", F::Bmp16, greyed(floppy, face)},
        {"SpeedButton3", F::Bmp32, send},
        {"SpeedButton14", F::Bmp8, greyed(send, face)},
        {"SpeedButton4", F::Bmp32, fetch},
        {"SpeedButton13", F::Bmp8, greyed(fetch, face)},
        {"SpeedButton6", F::Bmp32, defaults},
        {"SpeedButton12", F::Bmp8, greyed(defaults, face)},
        {"SpeedButton5", F::Bmp24, refreshArrows(scale)},
        {"SpeedButton7", F::Bmp24, powerSymbol(scale)},
        {"SpeedButton8", F::Bmp24, usbButton(scale)},
        {"SpeedButton9", F::Bmp24, wirelessButton(scale)},
        {"ToggleSwitch1Off", F::Bmp16, keepBackgroundUnique(rocker(false, scale), windowGrey)},
        {"ToggleSwitch1On", F::Bmp16, keepBackgroundUnique(rocker(true, scale), windowGrey)},
        {"AppIcon", F::Png, appIcon(scale)},
    };
}
