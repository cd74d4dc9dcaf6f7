// Draws the window's pictures and writes them to the folder given as argument: each at 1x in
// the format the window has always read, and at 2x for screens at 150 % and more ("NAME@2x",
// PNG for the bitmaps and the icon, JPEG for the photographs). Run by hand after changing a
// drawing; the files are committed under assets/pictures.
//
//   tarlo_picture_generator <output folder> [--sheet <contact-sheet.png>]

#include "Drawings.h"
#include "PictureWriters.h"
#include "Pictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <map>

namespace {

QByteArray encode(const DrawnPicture& picture)
{
    switch (picture.format) {
    case PictureFormat::Jpeg:
        return encodeJpeg(picture.image, picture.name == QLatin1String("Image3") ? 92 : 95);
    case PictureFormat::Bmp8:
        return encodeBmp(picture.image, 8);
    case PictureFormat::Bmp16:
        return encodeBmp(picture.image, 16);
    case PictureFormat::Bmp24:
        return encodeBmp(picture.image, 24);
    case PictureFormat::Bmp32:
        return encodeBmp(picture.image, 32);
    case PictureFormat::Png: {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        picture.image.save(&buffer, "PNG");
        return out;
    }
    }
    return {};
}

// A picture for denser screens: JPEG for the photographs, PNG for the rest (the 1x formats
// other than JPEG are there for the window's old readers, which know nothing of 2x). A grey
// picture (the greyed twins) is stored as grey levels, a third of the bytes.
QByteArray encodeDense(const DrawnPicture& picture)
{
    if (picture.format == PictureFormat::Jpeg)
        return encodeJpeg(picture.image, picture.name == QLatin1String("Image3") ? 92 : 95);
    QImage image = picture.image;
    if (picture.format != PictureFormat::Png) {
        image = image.convertToFormat(QImage::Format_RGB32);
        if (image.allGray())
            image = image.convertToFormat(QImage::Format_Grayscale8);
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    // Quality 0: the strongest compression, which costs only time here.
    image.save(&buffer, "PNG", 0);
    return out;
}

QImage decode(const DrawnPicture& picture, const QByteArray& bytes)
{
    if (picture.format == PictureFormat::Jpeg)
        return decodeJpeg(bytes);
    return QImage::fromData(bytes);
}

// The file name of a picture at a scale: "Image3.jpg", "Image3@2x.jpg", "SpeedButton1@2x.png".
QString fileName(const DrawnPicture& picture, int scale)
{
    if (scale == 1)
        return picture.name + QLatin1Char('.') + extensionOf(picture.format);
    return QStringLiteral("%1@%2x.%3")
        .arg(picture.name)
        .arg(scale)
        .arg(picture.format == PictureFormat::Jpeg ? QStringLiteral("jpg") : QStringLiteral("png"));
}

// A preview of the front panel with the window's controls laid over it, so the
// picture can be checked against the layout.
QImage windowMock(const std::map<QString, QImage>& pictures)
{
    const QImage& front = pictures.at(QStringLiteral("Image3"));
    const QImage& icon = pictures.at(QStringLiteral("Image6"));
    QImage mock(345, 505, QImage::Format_RGB32);
    mock.fill(QColor(180, 180, 180));
    QPainter p(&mock);
    p.drawImage(0, 0, front);
    const auto box = [&](QRect r, QColor fill, QColor edge) {
        p.setPen(edge);
        p.setBrush(fill);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    };
    box(QRect(50, 87, 249, 140), QColor(240, 251, 255), QColor(160, 170, 175)); // measurement display
    p.setPen(Qt::black);
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(50);
    big.setBold(true);
    p.setFont(big);
    p.drawText(QRect(110, 93, 130, 75), Qt::AlignCenter, QStringLiteral("7.02"));
    // Display pictures and the labels over the bubbles (display at picture 50,87).
    p.drawImage(50 + 1, 87 + 8, pictures.at(QStringLiteral("Image2")));
    p.drawImage(50 + 185, 87 + 8, pictures.at(QStringLiteral("Image1")));
    p.drawImage(50 + 52, 87 + 93, pictures.at(QStringLiteral("Image8")));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(17);
    small.setBold(true);
    p.setFont(small);
    p.setPen(QColor(0, 128, 128));
    p.drawText(QPoint(50 + 17, 87 + 65 + 18), QStringLiteral("O"));
    p.setPen(QColor(128, 128, 128));
    p.drawText(QPoint(50 + 198, 87 + 65 + 18), QStringLiteral("CO"));
    p.drawImage(275, 55, icon);
    box(QRect(253, 65, 15, 14), QColor(240, 240, 240), QColor(90, 90, 90)); // log check box
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setPixelSize(14);
    label.setBold(true);
    p.setFont(label);
    for (auto [x, text] : {std::pair{46, "BRI"}, std::pair{264, "CON"}}) {
        box(QRect(x, 251, text[0] == 'B' ? 32 : 41, 20), Qt::black, Qt::black);
        p.setPen(QColor(192, 192, 192));
        p.drawText(QRect(x, 251, 41, 20), Qt::AlignLeft | Qt::AlignVCenter, QLatin1String(text));
    }
    box(QRect(33, 269, 60, 28), Qt::white, QColor(100, 100, 100));
    box(QRect(255, 269, 60, 28), Qt::white, QColor(100, 100, 100));
    box(QRect(34, 352, 281, 104), Qt::black, Qt::black); // settings panel
    p.setPen(QColor(192, 192, 192));
    p.drawText(QPoint(42, 374), QStringLiteral("ZAKRES"));
    p.drawText(QPoint(42, 408), QStringLiteral("PRÓG ALARMU"));
    p.drawText(QPoint(42, 439), QStringLiteral("TWW (KH) WODY"));
    for (QRect r :
         {QRect(134, 358, 73, 29), QRect(230, 358, 73, 28), QRect(206, 391, 73, 28), QRect(222, 424, 57, 28)})
        box(r, Qt::white, QColor(100, 100, 100));
    return mock;
}

// Every picture but the front panel, enlarged four times without smoothing.
void writeSheet(const QString& path, const std::vector<std::pair<QString, QImage>>& pictures)
{
    const int scale = 4;
    const int cell = 340;
    const int columns = 4;
    const int rows = int((pictures.size() + columns - 1) / columns);
    QImage sheet(columns * cell + 20, rows * 340 + 20, QImage::Format_RGB32);
    sheet.fill(QColor(200, 200, 205));
    QPainter p(&sheet);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(11);
    p.setFont(f);
    int i = 0;
    for (const auto& [name, image] : pictures) {
        if (name == QLatin1String("Image3"))
            continue;
        const int x = 10 + (i % columns) * cell;
        const int y = 10 + (i / columns) * 340;
        QImage shown = image;
        int s = scale;
        while (shown.width() * s > cell - 10 || shown.height() * s > 320)
            --s;
        p.drawImage(QRect(x, y + 14, image.width() * s, image.height() * s), image);
        p.setPen(Qt::black);
        p.drawText(x, y + 10, QStringLiteral("%1 %2x%3").arg(name).arg(image.width()).arg(image.height()));
        ++i;
    }
    sheet.save(path);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: tarlo_picture_generator <output folder> [--sheet <file.png>]\n");
        return 2;
    }
    const QDir out(args.first());
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    const int sheetArg = args.indexOf(QStringLiteral("--sheet"));
    const QString sheetPath = sheetArg > 0 && sheetArg + 1 < args.size() ? args.at(sheetArg + 1) : QString();

    std::vector<std::pair<QString, QImage>> written;
    std::map<QString, QImage> decoded;
    try {
        for (int scale : {1, 2}) {
            for (const DrawnPicture& picture : drawAllPictures(scale)) {
                const QByteArray bytes = scale == 1 ? encode(picture) : encodeDense(picture);
                const QString path = out.filePath(fileName(picture, scale));
                QFile file(path);
                if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                    return 1;
                }
                const QImage back = decode(picture, bytes);
                std::printf("%-24s %4dx%-4d %6lld bytes\n", qPrintable(fileName(picture, scale)),
                            back.width(), back.height(), static_cast<long long>(bytes.size()));
                if (scale == 1) {
                    decoded[picture.name] = back;
                    written.emplace_back(picture.name, back);
                }
            }
        }
    } catch (const PictureWriteError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    if (!sheetPath.isEmpty()) {
        const QImage mock = windowMock(decoded);
        writeSheet(sheetPath, written);
        QString mockPath = sheetPath;
        mockPath.replace(QLatin1String(".png"), QLatin1String("-window.png"));
        mock.scaled(mock.size() * 2).save(mockPath);
    }
    return 0;
}
