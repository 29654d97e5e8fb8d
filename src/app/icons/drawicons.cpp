// Draws the toolbar and menu icons. Everything is built from plain geometry,
// no fonts, so the output is identical on every machine.
// Usage: QT_QPA_PLATFORM=offscreen drawicons <output-dir>

#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>

#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 32;

const QColor kInk(0x37, 0x47, 0x4f);     // outlines and neutral shapes
const QColor kBlue(0x1e, 0x88, 0xe5);    // primary accent
const QColor kRed(0xd3, 0x2f, 0x2f);
const QColor kGreen(0x2e, 0x7d, 0x32);
const QColor kAmber(0xf9, 0xa8, 0x25);
const QColor kPaper(0xff, 0xff, 0xff);

QPen pen(const QColor &c, qreal w = 2.0)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void badge(QPainter &p, const QColor &fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kPaper, 3.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
}

void drawExit(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInk.lighter(260));
    p.drawRect(QRectF(6, 4, 12, 24));
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(kInk));
    p.drawPolyline(QPolygonF({{18, 10}, {18, 4}, {6, 4}, {6, 28}, {18, 28}, {18, 22}}));
    p.setPen(pen(kRed, 2.5));
    p.drawLine(QPointF(12, 16), QPointF(28, 16));
    p.drawPolyline(QPolygonF({{23, 11}, {28, 16}, {23, 21}}));
}

// 中: a box with a long vertical stroke through its middle.
void drawChinese(QPainter &p)
{
    badge(p, kRed);
    p.drawRect(QRectF(8.5, 11.5, 15, 9));
    p.drawLine(QPointF(16, 5), QPointF(16, 27));
}

// "EN" from filled shapes rather than a font, for crisp results at 16 px.
void drawEnglish(QPainter &p)
{
    badge(p, kBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRect(QRectF(6, 9, 3, 15));
    p.drawRect(QRectF(6, 9, 8, 3));
    p.drawRect(QRectF(6, 15, 7, 3));
    p.drawRect(QRectF(6, 21, 8, 3));
    p.drawRect(QRectF(17, 9, 3, 15));
    p.drawRect(QRectF(23, 9, 3, 15));
    p.drawPolygon(QPolygonF({{17, 9}, {20, 9}, {26, 24}, {23, 24}}));
}

void drawOpen(QPainter &p)
{
    p.setPen(pen(kAmber.darker(150)));
    p.setBrush(kAmber.darker(115));
    p.drawPolygon(QPolygonF({{3, 26}, {3, 7}, {11, 7}, {14, 10}, {25, 10}, {25, 14}, {3, 26}}));
    p.setBrush(kAmber);
    p.drawPolygon(QPolygonF({{3, 26}, {8, 14}, {30, 14}, {25, 26}}));
}

void eye(QPainter &p, const QColor &iris)
{
    QPainterPath outline(QPointF(2, 16));
    outline.cubicTo(QPointF(8, 6), QPointF(24, 6), QPointF(30, 16));
    outline.cubicTo(QPointF(24, 26), QPointF(8, 26), QPointF(2, 16));
    p.setPen(pen(kInk));
    p.setBrush(kPaper);
    p.drawPath(outline);
    p.setPen(Qt::NoPen);
    p.setBrush(iris);
    p.drawEllipse(QPointF(16, 16), 5.5, 5.5);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(16, 16), 2.2, 2.2);
}

void drawEnable(QPainter &p) { eye(p, kBlue); }

void drawDisable(QPainter &p)
{
    eye(p, kInk.lighter(250));
    // Punch a transparent gap around the slash so it reads against the outline.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(pen(Qt::black, 6.0));
    p.drawLine(QPointF(5, 27), QPointF(27, 5));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(pen(kRed, 2.5));
    p.drawLine(QPointF(5, 27), QPointF(27, 5));
}

void magnifier(QPainter &p, bool plus)
{
    p.setPen(QPen(kInk, 4.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 20), QPointF(28, 28));
    p.setPen(pen(kInk));
    p.setBrush(QColor(0xe3, 0xf2, 0xfd));
    p.drawEllipse(QPointF(13, 13), 9.5, 9.5);
    p.setPen(pen(kBlue, 2.5));
    p.drawLine(QPointF(8.5, 13), QPointF(17.5, 13));
    if (plus)
        p.drawLine(QPointF(13, 8.5), QPointF(13, 17.5));
}

void drawZoomIn(QPainter &p) { magnifier(p, true); }
void drawZoomOut(QPainter &p) { magnifier(p, false); }

void drawSave(QPainter &p)
{
    p.setPen(pen(kBlue.darker(160)));
    p.setBrush(kBlue);
    p.drawPolygon(QPolygonF({{4, 4}, {24, 4}, {28, 8}, {28, 28}, {4, 28}}));
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRect(QRectF(9, 17, 14, 10));   // label
    p.setBrush(kBlue.lighter(160));
    p.drawRect(QRectF(10, 5, 11, 7));    // shutter
    p.setBrush(kBlue.darker(160));
    p.drawRect(QRectF(17, 6, 3, 5));     // shutter slot
    p.setPen(pen(kInk.lighter(200), 1.0));
    p.drawLine(QPointF(11, 20.5), QPointF(21, 20.5));
    p.drawLine(QPointF(11, 23.5), QPointF(21, 23.5));
}

void drawSheetExport(QPainter &p)
{
    const QRectF sheet(3, 3, 20, 24);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawRect(QRectF(3, 3, 20, 6));
    p.setPen(pen(kGreen.lighter(130), 1.0));
    for (qreal y : {13.5, 18.5, 23.5})
        p.drawLine(QPointF(3, y), QPointF(23, y));
    p.drawLine(QPointF(10.5, 9), QPointF(10.5, 27));
    p.setPen(pen(kGreen.darker(130)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(sheet);
    // Down arrow on a disc: "write out".
    p.setPen(QPen(kPaper, 2.0));
    p.setBrush(kGreen.darker(120));
    p.drawEllipse(QPointF(23, 23), 8, 8);
    p.setPen(pen(kPaper, 2.5));
    p.drawLine(QPointF(23, 18), QPointF(23, 27.5));
    p.drawPolyline(QPolygonF({{19, 23.5}, {23, 27.5}, {27, 23.5}}));
}

void drawPause(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(8, 6, 6, 20), 1.5, 1.5);
    p.drawRoundedRect(QRectF(18, 6, 6, 20), 1.5, 1.5);
}

void drawPlay(QPainter &p)
{
    p.setPen(QPen(kGreen, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{10, 6.5}, {25, 16}, {10, 25.5}}));
}

void swatch(QPainter &p, Qt::GlobalColor colour)
{
    const QColor c(colour);
    p.setPen(QPen(c.darker(170), 1.0));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(4.5, 4.5, 23, 23), 4, 4);
}

// The application's icon: air-quality bands behind a measured curve.
void drawApplication(QPainter &p)
{
    p.setPen(Qt::NoPen);
    const QColor bands[] = {QColor(0x00, 0xe4, 0x00), QColor(0xff, 0xff, 0x00),
                            QColor(0xff, 0x7e, 0x00), QColor(0xff, 0x00, 0x00)};
    QPainterPath frame;
    frame.addRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setClipPath(frame);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(bands[i]);
        p.drawRect(QRectF(1, 31 - 7.5 * (i + 1), 30, 7.5));
    }
    p.setClipping(false);
    p.setPen(pen(kInk, 2.5));
    p.setBrush(Qt::NoBrush);
    const QPointF curve[] = {{4, 25}, {9, 22}, {13, 24}, {18, 13}, {22, 17}, {28, 7}};
    p.drawPolyline(curve, 6);
    p.setPen(pen(kInk, 1.5));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
}

struct Icon
{
    const char *file;
    std::function<void(QPainter &)> draw;
};

bool render(const QDir &dir, const Icon &icon, int size = kSize)
{
    const QString name = QString::fromLatin1(icon.file);
    // BMP carries no alpha channel, so those get a white ground.
    const bool opaque = name.endsWith(QLatin1String(".bmp"));
    QImage img(size, size, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    img.fill(opaque ? Qt::white : Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(qreal(size) / kSize, qreal(size) / kSize); // drawn on a 32-unit grid
        icon.draw(p);
    }
    if (!opaque)
        img = img.convertToFormat(QImage::Format_ARGB32);
    return img.save(dir.filePath(name));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: drawicons <output-dir>\n";
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists()) {
        err << "drawicons: no such directory: " << dir.path() << '\n';
        return 1;
    }

    const Icon icons[] = {
        {"exit.png", drawExit},
        {"china.png", drawChinese},
        {"uk.png", drawEnglish},
        {"open.png", drawOpen},
        {"enable.png", drawEnable},
        {"disable.png", drawDisable},
        {"enlarge.png", drawZoomIn},
        {"reduce.png", drawZoomOut},
        {"save.png", drawSave},
        {"Execl.bmp", drawSheetExport},
        {"Pause.bmp", drawPause},
        {"Play.bmp", drawPlay},
        {"ZoomIn.bmp", drawZoomIn},
        {"ZoomOut.bmp", drawZoomOut},
        {"blue.bmp", [](QPainter &p) { swatch(p, Qt::blue); }},
        {"cyan.bmp", [](QPainter &p) { swatch(p, Qt::cyan); }},
        {"magenta.bmp", [](QPainter &p) { swatch(p, Qt::magenta); }},
        {"darkgreen.bmp", [](QPainter &p) { swatch(p, Qt::darkGreen); }},
        {"darkYellow.bmp", [](QPainter &p) { swatch(p, Qt::darkYellow); }},
    };

    int failures = 0;
    for (const Icon &icon : icons) {
        if (!render(dir, icon)) {
            err << "drawicons: cannot write " << dir.filePath(QString::fromLatin1(icon.file)) << '\n';
            ++failures;
        }
    }
    // The application icon, in the sizes the desktop's icon theme takes.
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QByteArray file = "pm25monitor-" + QByteArray::number(size) + ".png";
        if (!render(dir, Icon{file.constData(), drawApplication}, size)) {
            err << "drawicons: cannot write " << file << '\n';
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
