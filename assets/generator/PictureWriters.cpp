#include "PictureWriters.h"

#include <QBuffer>
#include <QHash>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

void put16(QByteArray& out, quint16 v)
{
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void onError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

void onOutput(j_common_ptr) {}

// The compression itself; plain data only in this frame (see onError).
bool compress(jpeg_compress_struct* cinfo, ErrorManager* err, const QImage* rgb, int quality,
              unsigned char** buffer, unsigned long* size)
{
    if (setjmp(err->jump))
        return false;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, buffer, size);
    cinfo->image_width = static_cast<JDIMENSION>(rgb->width());
    cinfo->image_height = static_cast<JDIMENSION>(rgb->height());
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    // Full-resolution chroma: the pictures are small and full of coloured edges.
    for (int i = 0; i < cinfo->num_components; ++i) {
        cinfo->comp_info[i].h_samp_factor = 1;
        cinfo->comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<uchar*>(rgb->constScanLine(static_cast<int>(cinfo->next_scanline)));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

QByteArray encodeBmp(const QImage& source, int bitsPerPixel)
{
    if (source.isNull())
        throw PictureWriteError("empty picture");
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
        throw PictureWriteError("unsupported bit depth");
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();

    // Palette: the picture's own colours, sorted so the file does not depend on hashing.
    std::vector<QRgb> palette;
    QHash<QRgb, int> index;
    if (bitsPerPixel == 8) {
        for (int y = 0; y < height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < width; ++x)
                if (!index.contains(line[x] | 0xff000000u)) {
                    index.insert(line[x] | 0xff000000u, 0);
                    if (index.size() > 256)
                        throw PictureWriteError("more than 256 colours for an 8-bit bitmap");
                }
        }
        palette.assign(index.keyBegin(), index.keyEnd());
        std::sort(palette.begin(), palette.end());
        for (int i = 0; i < int(palette.size()); ++i)
            index[palette[size_t(i)]] = i;
    }

    const int rowBytes = ((width * bitsPerPixel + 31) / 32) * 4;
    const quint32 paletteBytes = quint32(palette.size()) * 4;
    const quint32 offset = 14 + 40 + paletteBytes;
    const quint32 imageBytes = quint32(rowBytes) * quint32(height);

    QByteArray out;
    out.reserve(int(offset + imageBytes));
    out.append("BM", 2);
    put32(out, offset + imageBytes);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, quint32(width));
    put32(out, quint32(height)); // positive: bottom-up
    put16(out, 1);
    put16(out, quint16(bitsPerPixel));
    put32(out, 0); // BI_RGB
    put32(out, imageBytes);
    put32(out, 3780); // 96 dpi
    put32(out, 3780);
    put32(out, quint32(palette.size()));
    put32(out, 0);
    for (QRgb c : palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }

    for (int y = height - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const int start = int(out.size());
        for (int x = 0; x < width; ++x) {
            const QRgb c = line[x];
            switch (bitsPerPixel) {
            case 8:
                out.append(char(index.value(c | 0xff000000u)));
                break;
            case 16:
                put16(out, quint16(((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3)));
                break;
            default:
                out.append(char(qBlue(c)));
                out.append(char(qGreen(c)));
                out.append(char(qRed(c)));
                if (bitsPerPixel == 32)
                    out.append(char(0xff));
            }
        }
        while (int(out.size()) - start < rowBytes)
            out.append(char(0));
    }
    return out;
}

QByteArray encodeJpeg(const QImage& source, int quality)
{
    if (source.isNull())
        throw PictureWriteError("empty picture");
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);

    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.output_message = onOutput;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = compress(&cinfo, &err, &rgb, std::clamp(quality, 1, 100), &buffer, &size);
    jpeg_destroy_compress(&cinfo);
    QByteArray out;
    if (ok)
        out = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    if (!ok)
        throw PictureWriteError("libjpeg could not compress the picture");
    return out;
}

QByteArray encodeIco(const QList<QImage>& images)
{
    QByteArray header;
    QByteArray data;
    put16(header, 0); // reserved
    put16(header, 1); // an icon
    put16(header, quint16(images.size()));
    const qsizetype firstData = 6 + 16 * images.size();
    for (const QImage& image : images) {
        if (image.isNull() || image.width() != image.height() || image.width() > 256)
            throw PictureWriteError("an icon's pictures are squares of 1 to 256 pixels");
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
            throw PictureWriteError("the icon's picture could not be written as PNG");
        const int side = image.width() == 256 ? 0 : image.width(); // 0 stands for 256
        header.append(char(side)).append(char(side)).append(char(0)).append(char(0));
        put16(header, 1);  // colour planes
        put16(header, 32); // bits per pixel
        put32(header, quint32(png.size()));
        put32(header, quint32(firstData + data.size()));
        data.append(png);
    }
    return header + data;
}
