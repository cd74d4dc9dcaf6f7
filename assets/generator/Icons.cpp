// Draws the desktop's icons into a hicolor tree, at build time:
//
//   tarlo_icons <output folder> <viewer icon.svg>
//   tarlo_icons --ico windows/Tarlo01.ico
//
// writes <output folder>/<N>x<N>/apps/tarlo01.png and tarlo02-history.png for each size the
// desktop asks for, and scalable/apps/tarlo01.svg. The window's icon comes from its drawing
// (the one AppIcon.png is made from); the viewer's from its SVG, which is installed as it is.
// The second form writes the Windows program's icon, at the sizes Windows shows, from the same
// drawing; it is run by hand when the drawing changes, and the file is kept in the tree, since
// the Windows build cannot run this tool.

#include "Drawings.h"
#include "PictureWriters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QSvgRenderer>

#include <cstdio>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

bool save(const QImage& image, const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).path()) || !image.save(path, "PNG")) {
        std::fprintf(stderr, "tarlo_icons: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--ico")) {
        QList<QImage> images;
        for (const int size : {16, 20, 24, 32, 40, 48, 64, 256})
            images << appIcon(size / 64.0);
        QFile file(args[1]);
        if (!file.open(QIODevice::WriteOnly) || file.write(encodeIco(images)) < 0 || !file.flush()) {
            std::fprintf(stderr, "tarlo_icons: cannot write %s\n", qPrintable(args[1]));
            return 1;
        }
        return 0;
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: tarlo_icons <output folder> <viewer icon.svg> | --ico <file.ico>\n");
        return 2;
    }
    const QDir out(args[0]);
    QSvgRenderer viewer(args[1]);
    if (!viewer.isValid()) {
        std::fprintf(stderr, "tarlo_icons: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    for (const int size : kSizes) {
        const QString folder = QStringLiteral("%1x%1/apps/").arg(size);
        QImage drawn(size, size, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter p(&drawn);
        viewer.render(&p);
        p.end();
        if (!save(appIcon(size / 64.0), out.filePath(folder + QStringLiteral("tarlo01.png"))) ||
            !save(drawn, out.filePath(folder + QStringLiteral("tarlo02-history.png"))))
            return 1;
    }
    const QString svg = out.filePath(QStringLiteral("scalable/apps/tarlo01.svg"));
    QDir().mkpath(QFileInfo(svg).path());
    QSvgGenerator generator;
    generator.setFileName(svg);
    generator.setSize(QSize(64, 64));
    generator.setViewBox(QRect(0, 0, 64, 64));
    generator.setTitle(QStringLiteral("PH Controller Tarlo-01"));
    QPainter p;
    if (!p.begin(&generator)) {
        std::fprintf(stderr, "tarlo_icons: cannot write %s\n", qPrintable(svg));
        return 1;
    }
    p.setRenderHint(QPainter::Antialiasing);
    paintAppIcon(p);
    p.end();
    return 0;
}
